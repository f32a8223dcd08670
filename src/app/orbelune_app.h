#pragma once

#include <QString>
#include <ctime>
#include <functional>
#include <memory>

#include "orbelune_version.h"

class CMainFrame;
class COrbeluneView;
class CRoundView;
class CPanoView;
class CMirrorDlg;
class CAboutDlg;
class CMoviePropsDlg;
class UiServices;
class QWidget;

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
    UiServices& ui() { return m_ui; }
    CMainFrame* frame() { return m_pFrame.get(); }

    bool m_bBusy = false;
    bool m_bQuickTime = false;
    long m_nVRVersion = 0;  // the movie layer's VR version, read at start-up
    int m_nMirror = 1;
    int m_nView = 0;
    QString m_strWorkDir;
    QString m_strHelpDir;
    QString m_strFileName;
    QString m_strPathName;
    std::time_t m_tLastTaskEnd = 0;
    COrbeluneView* m_pStartView = nullptr;
    CRoundView* m_pRoundView = nullptr;
    CPanoView* m_pPanoView = nullptr;

private:
    orbelune::SettingsStore& m_store;
    UiServices& m_ui;
    MoviePlatformProbe m_probe;
    std::unique_ptr<CMainFrame> m_pFrame;
};
