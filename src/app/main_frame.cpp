#include "app/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <functional>

#include "app/about_dlg.h"
#include "app/artwork.h"
#include "app/orbelune_app.h"
#include "app/pano_view.h"
#include "app/round_view.h"
#include "app/start_view.h"
#include "image/image_layer.h"

namespace {
// Often enough for a smooth bar, rarely enough not to slow the work down.
constexpr qint64 kPumpIntervalMs = 30;
}  // namespace

CMainFrame::CMainFrame(COrbeluneApp& app)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      m_app(app) {
    // The window cannot be resized or maximised; the views are drawn for this size.
    setFixedSize(kClientWidth, kClientHeight);
    setWindowIcon(QIcon(artwork::AppIcon()));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, artwork::colors::kBackgroundBottom);
    setPalette(pal);

    // No menu bar: the keyboard commands and About live in the window's context menu.
    // Each command goes to the view it belongs to, and only while that view is shown.
    auto addCommand = [this](const QString& text, const QKeySequence& keys, int view,
                             std::function<void()> run) {
        auto* action = new QAction(text, this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, view, run] {
            if (view < 0 || m_app.m_nView == view) run();
        });
        addAction(action);
        m_commandActions.append(action);
    };
    addCommand(tr("&Manual"), QKeySequence(Qt::Key_F1), -1,
               [this] { m_app.m_pStartView->OnHelpManual(); });
    addCommand(tr("&Open..."), QKeySequence::Open, 0,
               [this] { m_app.m_pStartView->OnOpenRawImage(); });
    addCommand(tr("&Save Panorama..."), QKeySequence::Save, 2,
               [this] { m_app.m_pPanoView->OnSavePanorama(); });
    addCommand(tr("Save as VR &Movie..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), 2,
               [this] { m_app.m_pPanoView->OnSaveMovie(); });
    addCommand(tr("&Undo Crop"), QKeySequence::Undo, 2, [this] { m_app.m_pPanoView->OnUndo(); });
    m_pAboutAction = new QAction(tr("&About Orbelune..."), this);
    connect(m_pAboutAction, &QAction::triggered, this, &CMainFrame::OnAbout);
    addAction(m_pAboutAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    m_pumpTimer.start();
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::commandAction(Command command) const {
    return m_commandActions.value(static_cast<int>(command));
}

int CMainFrame::PaneId(const QWidget* view) {
    return view ? view->property(kPaneIdProperty).toInt() : 0;
}

void CMainFrame::SetPaneId(QWidget* view, int id) {
    view->setProperty(kPaneIdProperty, id);
}

void CMainFrame::CreateViews() {
    auto* start = new COrbeluneView(m_app, this);
    SetPaneId(start, kFirstPane);
    m_app.m_pStartView = start;
    m_app.m_nView = 0;
    m_pActiveView = start;

    auto* round = new CRoundView(m_app, this);
    SetPaneId(round, kFirstPane + 1);
    round->hide();
    auto* pano = new CPanoView(m_app, this);
    SetPaneId(pano, kFirstPane + 2);
    pano->hide();
    m_app.m_pRoundView = round;
    m_app.m_pPanoView = pano;

    round->SetPanoView(pano);
    start->SetViews(round, pano);
    start->show();
    RecalcLayout();
}

void CMainFrame::RecalcLayout() {
    for (QObject* child : children()) {
        auto* view = qobject_cast<QWidget*>(child);
        if (view && PaneId(view) == kFirstPane) view->setGeometry(rect());
    }
}

bool CMainFrame::ReportProgress(int row, int count) {
    if (m_app.m_nView == 1 && m_app.m_pRoundView) {
        m_app.m_pRoundView->ShowProgress(row, count);
    } else if (m_app.m_nView == 2 && m_app.m_pPanoView) {
        m_app.m_pPanoView->ShowProgress(row, count);
    }
    if (m_pumpTimer.elapsed() >= kPumpIntervalMs) {
        m_pumpTimer.restart();
        QCoreApplication::processEvents();
    }
    return true;
}

void CMainFrame::EndProgress() {
    if (m_app.m_nView == 1 && m_app.m_pRoundView) {
        m_app.m_pRoundView->HideProgress();
    } else if (m_app.m_nView == 2 && m_app.m_pPanoView) {
        m_app.m_pPanoView->HideProgress();
    }
}

void CMainFrame::OnAbout() {
    if (m_app.runAboutDialog) {
        CAboutDlg dlg(this);
        m_app.runAboutDialog(dlg);
        return;
    }
    CAboutDlg dlg(this);
    dlg.exec();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Closing in the middle of a load or save would pull the images from under
    // the running task; the user is told, as for any other command.
    if (m_app.m_bBusy) {
        m_app.ShowBusyMessage();
        event->ignore();
        return;
    }
    event->accept();
}

ProgressScope::ProgressScope(COrbeluneApp& app) : m_app(app) {
    CMainFrame* frame = app.frame();
    orbelune::SetImageProgress(
        [frame](int row, int count) { return frame ? frame->ReportProgress(row, count) : true; });
}

ProgressScope::~ProgressScope() {
    orbelune::SetImageProgress({});
    if (m_app.frame()) m_app.frame()->EndProgress();
}
