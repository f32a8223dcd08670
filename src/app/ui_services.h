#pragma once

#include <QString>

class QWidget;

// Everything the program asks of the desktop: message boxes, file dialogs, the
// default application, the wait cursor and the beep. The real one uses Qt;
// tests script the answers and record what was shown.
class UiServices {
public:
    enum class Icon { None, Information, Warning, Stop, Question };
    // SaveDiscardCancel answers Yes for Save and No for Discard.
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, SaveDiscardCancel };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~UiServices() = default;

    virtual Answer MessageBox(QWidget* parent, const QString& text, Icon icon, Buttons buttons) = 0;
    // Empty when cancelled. `filters` uses Qt's ";;" separated form; the dialog
    // starts in `directory` when one is given.
    virtual QString OpenFileName(QWidget* parent, const QString& title, const QString& filters,
                                 const QString& directory = QString()) = 0;
    // `selectedFilter`, when given, receives the filter the user chose.
    virtual QString SaveFileName(QWidget* parent, const QString& title, const QString& proposed,
                                 const QString& filters, QString* selectedFilter = nullptr) = 0;
    // Opens a local file or a web address with the default application.
    virtual bool OpenWithDefaultApp(const QString& fileOrUrl) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;  // no-op when none is showing
    virtual void Beep() = 0;
};
