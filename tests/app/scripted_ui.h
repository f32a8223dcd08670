#pragma once

#include <QString>
#include <deque>
#include <vector>

#include "app/ui_services.h"

// UiServices for tests: answers come from queues filled by the test; every
// request is recorded so the test can check what the user would have seen.
// With an empty queue a message box answers its first button (Ok/Yes) and a
// file dialog answers "cancelled".
class ScriptedUi : public UiServices {
public:
    struct Message {
        QString text;
        Icon icon;
        Buttons buttons;
    };
    struct FileDialog {
        bool save;
        QString title;
        QString proposed;  // for open dialogs, the folder it starts in
        QString filters;
    };

    // Scripted answers, consumed front first.
    std::deque<Answer> answers;
    std::deque<QString> fileNames;
    // The filter each save dialog reports as chosen; none: the first one.
    std::deque<QString> selectedFilters;
    bool openSucceeds = true;

    // What was asked of the desktop.
    std::vector<Message> messages;
    std::vector<FileDialog> dialogs;
    std::vector<QString> opened;
    int beeps = 0;
    int waitDepth = 0;     // current wait-cursor depth
    int maxWaitDepth = 0;  // deepest it went
    int waitBegins = 0;

    Answer MessageBox(QWidget*, const QString& text, Icon icon, Buttons buttons) override {
        messages.push_back({text, icon, buttons});
        if (!answers.empty()) {
            Answer a = answers.front();
            answers.pop_front();
            return a;
        }
        return (buttons == Buttons::Ok || buttons == Buttons::OkCancel) ? Answer::Ok : Answer::Yes;
    }
    QString OpenFileName(QWidget*, const QString& title, const QString& filters,
                         const QString& directory = QString()) override {
        dialogs.push_back({false, title, directory, filters});
        return NextFileName();
    }
    QString SaveFileName(QWidget*, const QString& title, const QString& proposed,
                         const QString& filters, QString* selectedFilter = nullptr) override {
        dialogs.push_back({true, title, proposed, filters});
        QString chosen = filters.section(QStringLiteral(";;"), 0, 0);
        if (!selectedFilters.empty()) {
            chosen = selectedFilters.front();
            selectedFilters.pop_front();
        }
        if (selectedFilter != nullptr) *selectedFilter = chosen;
        return NextFileName();
    }
    bool OpenWithDefaultApp(const QString& fileOrUrl) override {
        opened.push_back(fileOrUrl);
        return openSucceeds;
    }
    void BeginWaitCursor() override {
        ++waitBegins;
        ++waitDepth;
        if (waitDepth > maxWaitDepth) maxWaitDepth = waitDepth;
    }
    void EndWaitCursor() override {
        if (waitDepth > 0) --waitDepth;
    }
    void Beep() override { ++beeps; }

    // Text of the last message box, or empty.
    QString LastMessage() const { return messages.empty() ? QString() : messages.back().text; }
    void Clear() {
        messages.clear();
        dialogs.clear();
        opened.clear();
        beeps = 0;
        waitBegins = 0;
        maxWaitDepth = waitDepth;
    }

private:
    QString NextFileName() {
        if (fileNames.empty()) return QString();
        QString f = fileNames.front();
        fileNames.pop_front();
        return f;
    }
};
