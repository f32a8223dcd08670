#pragma once

#include "app/ui_services.h"

namespace orbelune {
class SettingsStore;
}

// Passes every request on to the desktop, and makes the open and the save
// dialogs start in the folder each was last left in (kept apart: photos are
// often read from a card and saved elsewhere).
class FolderMemoryUi : public UiServices {
public:
    static constexpr const char* kSection = "FOLDERS";
    static constexpr const char* kOpenKey = "OPEN";
    static constexpr const char* kSaveKey = "SAVE";

    FolderMemoryUi(UiServices& desktop, orbelune::SettingsStore& store)
        : m_desktop(desktop), m_store(store) {}

    Answer MessageBox(QWidget* parent, const QString& text, Icon icon, Buttons buttons) override {
        return m_desktop.MessageBox(parent, text, icon, buttons);
    }
    QString OpenFileName(QWidget* parent, const QString& title, const QString& filters,
                         const QString& directory = QString()) override;
    QString SaveFileName(QWidget* parent, const QString& title, const QString& proposed,
                         const QString& filters, QString* selectedFilter = nullptr) override;
    bool OpenWithDefaultApp(const QString& fileOrUrl) override {
        return m_desktop.OpenWithDefaultApp(fileOrUrl);
    }
    void BeginWaitCursor() override { m_desktop.BeginWaitCursor(); }
    void EndWaitCursor() override { m_desktop.EndWaitCursor(); }
    void Beep() override { m_desktop.Beep(); }

    // The folder remembered under `key`, when it still exists; else empty.
    QString Folder(const char* key) const;

private:
    void Remember(const char* key, const QString& chosenFile);

    UiServices& m_desktop;
    orbelune::SettingsStore& m_store;
};
