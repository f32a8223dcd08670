#pragma once

#include <QString>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

#include "app/folder_memory_ui.h"
#include "app/recent_files.h"
#include "orbelune_version.h"
#include "session/session.h"

class CMainFrame;
class COrbeluneView;
class CRoundView;
class CPanoView;
class CMirrorDlg;
class CAboutDlg;
class CMoviePropsDlg;
class UiServices;
class QWidget;
class CTask;
class ProgressRelay;

namespace orbelune {
class SettingsStore;
}

// What the program learns of the movie layer at start-up. Our movie layer is
// built in, so the real probe always succeeds; tests inject failures.
struct MoviePlatformProbe {
    std::function<bool()> initialise = [] { return true; };
    std::function<long()> vrVersion = [] { return 0x210L; };
};

// The application object: start-up order, shared state, one task at a time.
// Plain object (not the QApplication) so tests can make as many as they like.
class COrbeluneApp {
public:
    static constexpr double kVersion = orbelune::kVersionNumber;

    COrbeluneApp(orbelune::SettingsStore& store, UiServices& ui, MoviePlatformProbe probe = {});
    ~COrbeluneApp();

    // Builds the frame and views, reads the settings, probes the movie layer.
    bool InitInstance();
    int ExitInstance();
    void LoadSettings();

    // True when the caller must not start its task (busy, or within 2 s of the
    // last unwarp or save). Otherwise sets m_bBusy.
    bool BeginTask();
    // True within `seconds` after the last unwarp or save. A clock set back
    // before that moment does not count, or commands would be refused until
    // the clock caught up.
    bool WithinSecondsOfLastTask(std::time_t seconds) const;
    void ShowBusyMessage();
    // The view shown before, or null; shows the bad-index message for others.
    QWidget* SwitchView(int index);

    // Seconds clock used by BeginTask and the back command; tests replace it.
    std::function<std::time_t()> now = [] { return std::time(nullptr); };
    // How the modal dialogs run; empty means exec(). Tests drive the dialog
    // and return its result instead of entering a modal loop.
    std::function<int(CMirrorDlg&)> runMirrorDialog;
    std::function<void(CAboutDlg&)> runAboutDialog;
    std::function<int(CMoviePropsDlg&)> runMoviePropsDialog;

    orbelune::SettingsStore& store() { return m_store; }
    // The desktop, with the file dialogs' folders remembered.
    UiServices& ui() { return m_folderUi; }
    RecentFiles& recentFiles() { return m_recent; }
    // A file was written: the status line says so and offers its folder.
    void ReportSaved(const QString& path);
    CMainFrame* frame() { return m_pFrame.get(); }
    // What the user works on, and the operations on it.
    orbelune::Session& session() { return m_session; }

    bool busy() const { return m_bBusy; }
    void SetBusy(bool busy) { m_bBusy = busy; }
    bool hasMovieLayer() const { return m_bQuickTime; }
    long vrVersion() const { return m_nVRVersion; }
    int mirror() const { return m_session.mirror(); }
    int view() const { return m_nView; }
    const QString& workDir() const { return m_strWorkDir; }
    const QString& helpDir() const { return m_strHelpDir; }
    void SetHelpDir(const QString& dir) { m_strHelpDir = dir; }
    // The file worked on: its name alone, and its full path.
    QString fileName() const;
    QString pathName() const;
    void SetFile(const QString& pathName, const QString& fileName);
    std::time_t lastTaskEnd() const { return m_tLastTaskEnd; }
    void SetLastTaskEnd(std::time_t when) { m_tLastTaskEnd = when; }
    COrbeluneView* startView() const { return m_pStartView; }
    CRoundView* roundView() const { return m_pRoundView; }
    CPanoView* panoView() const { return m_pPanoView; }
    void SetViews(COrbeluneView* start, CRoundView* round, CPanoView* pano);

    // The running task, or null; tasks call these.
    CTask* runningTask() const { return m_pTask; }
    // Tasks started since the program began.
    int tasksStarted() const { return m_nTasksStarted; }
    const std::shared_ptr<ProgressRelay>& currentRelay() const { return m_relay; }
    void TaskStarted(CTask* task, std::shared_ptr<ProgressRelay> relay);
    void TaskEnded(CTask* task);
    // Runs `action` once the running task has ended (at once when none runs).
    void AfterTask(std::function<void()> action);
    // Closes the window when the running task has ended.
    void CloseAfterTask() { m_bCloseAfterTask = true; }
    // Progress to the view shown, and its end.
    void RouteProgress(int row, int count);
    void EndProgress();
    // Called on the worker thread at each progress report; tests hold the
    // worker there to act while a task runs.
    std::function<void(int row, int count)> workerProbe;

private:
    bool m_bBusy = false;
    bool m_bQuickTime = false;
    long m_nVRVersion = 0;  // the movie layer's VR version, read at start-up
    int m_nView = 0;
    QString m_strWorkDir;
    QString m_strHelpDir;
    std::time_t m_tLastTaskEnd = 0;
    COrbeluneView* m_pStartView = nullptr;
    CRoundView* m_pRoundView = nullptr;
    CPanoView* m_pPanoView = nullptr;

    orbelune::SettingsStore& m_store;
    UiServices& m_ui;
    MoviePlatformProbe m_probe;
    FolderMemoryUi m_folderUi{m_ui, m_store};
    RecentFiles m_recent{m_store};
    orbelune::Session m_session{m_store};
    CTask* m_pTask = nullptr;
    int m_nTasksStarted = 0;
    std::shared_ptr<ProgressRelay> m_relay;
    std::vector<std::function<void()>> m_afterTask;
    bool m_bCloseAfterTask = false;
    std::unique_ptr<CMainFrame> m_pFrame;
};
