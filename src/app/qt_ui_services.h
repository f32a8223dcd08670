#pragma once

#include "app/ui_services.h"

// The desktop as Qt offers it: message boxes, file dialogs, the default
// application, the override cursor and the beep.
class QtUiServices : public UiServices {
public:
    Answer MessageBox(QWidget* parent, const QString& text, Icon icon, Buttons buttons) override;
    QString OpenFileName(QWidget* parent, const QString& title, const QString& filters,
                         const QString& directory = QString()) override;
    QString SaveFileName(QWidget* parent, const QString& title, const QString& proposed,
                         const QString& filters, QString* selectedFilter = nullptr) override;
    bool OpenWithDefaultApp(const QString& fileOrUrl) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void Beep() override;

private:
    int m_waitDepth = 0;
};
