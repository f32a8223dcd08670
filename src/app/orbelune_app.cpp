#include "app/orbelune_app.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMetaObject>

#include "app/main_frame.h"
#include "app/pano_view.h"
#include "app/round_view.h"
#include "app/start_view.h"
#include "app/task.h"
#include "app/ui_services.h"
#include "export/movie_settings.h"
#include "platform/settings_keys.h"

namespace {
constexpr long kMinimumVrVersion = 0x210;
// A repeated click this soon after an unwarp or a save is swallowed.
constexpr std::time_t kTaskSpacingSeconds = 2;
}  // namespace

COrbeluneApp::COrbeluneApp(orbelune::SettingsStore& store, UiServices& ui, MoviePlatformProbe probe)
    : m_store(store), m_ui(ui), m_probe(std::move(probe)) {}

COrbeluneApp::~COrbeluneApp() = default;

bool COrbeluneApp::InitInstance() {
    m_pFrame = std::make_unique<CMainFrame>(*this);
    m_pFrame->setWindowTitle(QString::asprintf("Orbelune - Version %.1f", kVersion));
    m_pFrame->CreateViews();
    if (m_pStartView) m_pStartView->update();
    LoadSettings();

    m_bQuickTime = m_probe.initialise && m_probe.initialise();
    if (!m_bQuickTime) {
        m_ui.MessageBox(m_pFrame.get(),
                        QStringLiteral("QuickTime not available.  Please install QuickTime 4.0 or "
                                       "later.\n\nWithout Quicktime, movies will not play or be "
                                       "saved."),
                        UiServices::Icon::Stop, UiServices::Buttons::Ok);
    }
    const long vrVersion = m_probe.vrVersion ? m_probe.vrVersion() : 0;
    m_nVRVersion = vrVersion;
    if (vrVersion < kMinimumVrVersion) {
        m_ui.MessageBox(m_pFrame.get(), QStringLiteral("QuickTime VR 2.1 or greater is required."),
                        UiServices::Icon::Stop, UiServices::Buttons::Ok);
    }

    m_strWorkDir = QDir::currentPath();
    m_strHelpDir = m_strWorkDir + QStringLiteral("/help/");
    return true;
}

int COrbeluneApp::ExitInstance() {
    m_bQuickTime = false;  // the built-in movie layer needs no shut-down
    return 0;
}

void COrbeluneApp::LoadSettings() {
    m_session.LoadSettings();
    if (m_pPanoView) m_pPanoView->SetSliderStartValues(50, 50, 100);
}

QString COrbeluneApp::fileName() const {
    return QFile::decodeName(QByteArray::fromStdString(m_session.fileName()));
}

QString COrbeluneApp::pathName() const {
    return QFile::decodeName(QByteArray::fromStdString(m_session.pathName()));
}

void COrbeluneApp::SetFile(const QString& pathName, const QString& fileName) {
    m_session.SetFile(QFile::encodeName(pathName).toStdString(),
                      QFile::encodeName(fileName).toStdString());
}

void COrbeluneApp::ReportSaved(const QString& path) {
    if (m_pFrame) m_pFrame->ShowSaved(path);
}

void COrbeluneApp::SetViews(COrbeluneView* start, CRoundView* round, CPanoView* pano) {
    m_pStartView = start;
    m_pRoundView = round;
    m_pPanoView = pano;
    m_nView = 0;
}

void COrbeluneApp::TaskStarted(CTask* task, std::shared_ptr<ProgressRelay> relay) {
    m_pTask = task;
    m_relay = std::move(relay);
    ++m_nTasksStarted;
}

void COrbeluneApp::TaskEnded(CTask* task) {
    if (m_pTask != task) return;
    m_pTask = nullptr;
    m_relay.reset();
    // What waited runs from the event loop, after the command that ran the task.
    std::vector<std::function<void()>> waiting;
    waiting.swap(m_afterTask);
    for (auto& action : waiting) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(action),
                                  Qt::QueuedConnection);
    }
    if (m_bCloseAfterTask && m_pFrame) {
        m_bCloseAfterTask = false;
        QMetaObject::invokeMethod(
            m_pFrame.get(), [frame = m_pFrame.get()] { frame->close(); }, Qt::QueuedConnection);
    }
}

void COrbeluneApp::AfterTask(std::function<void()> action) {
    if (m_pTask == nullptr) {
        action();
        return;
    }
    m_afterTask.push_back(std::move(action));
}

void COrbeluneApp::RouteProgress(int row, int count) {
    if (m_pFrame) {
        m_pFrame->ReportProgress(row, count);
    } else if (m_nView == 1 && m_pRoundView != nullptr) {
        m_pRoundView->ShowProgress(row, count);
    } else if (m_nView == 2 && m_pPanoView != nullptr) {
        m_pPanoView->ShowProgress(row, count);
    }
}

void COrbeluneApp::EndProgress() {
    if (m_pFrame) {
        m_pFrame->EndProgress();
    } else if (m_nView == 1 && m_pRoundView != nullptr) {
        m_pRoundView->HideProgress();
    } else if (m_nView == 2 && m_pPanoView != nullptr) {
        m_pPanoView->HideProgress();
    }
}

bool COrbeluneApp::BeginTask() {
    if (m_bBusy) {
        ShowBusyMessage();
        return true;
    }
    if (WithinSecondsOfLastTask(kTaskSpacingSeconds - 1)) return true;
    m_bBusy = true;
    return false;
}

bool COrbeluneApp::WithinSecondsOfLastTask(std::time_t seconds) const {
    const std::time_t elapsed = now() - m_tLastTaskEnd;
    return elapsed >= 0 && elapsed <= seconds;
}

void COrbeluneApp::ShowBusyMessage() {
    m_ui.Beep();
    m_ui.MessageBox(m_pFrame.get(), QStringLiteral("Orbelune is busy doing another task."),
                    UiServices::Icon::Information, UiServices::Buttons::Ok);
}

QWidget* COrbeluneApp::SwitchView(int index) {
    if (!m_pFrame) return nullptr;
    QWidget* active = m_pFrame->activeView();
    if (!active) return nullptr;

    QWidget* target = nullptr;
    switch (index) {
        case 0:
            target = m_pStartView;
            break;
        case 1:
            target = m_pRoundView;
            break;
        case 2:
            target = m_pPanoView;
            break;
        default:
            m_ui.MessageBox(m_pFrame.get(),
                            QStringLiteral("Background not set!  Invalid display parameter."),
                            UiServices::Icon::Stop, UiServices::Buttons::Ok);
            return nullptr;
    }
    if (!target || target == active) return active;

    m_nView = index;
    const int activeId = CMainFrame::PaneId(active);
    CMainFrame::SetPaneId(active, CMainFrame::PaneId(target));
    CMainFrame::SetPaneId(target, activeId);

    if (index == 1) {
        m_pRoundView->OnShow();
    } else if (index == 2) {
        m_pPanoView->SetProgressIdlePlace();
        m_pPanoView->RestoreSliders();
    }

    active->hide();
    target->show();
    m_pFrame->SetActiveView(target);
    m_pFrame->RecalcLayout();
    target->update();
    return active;
}
