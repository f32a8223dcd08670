#include "app/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>

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

    // No system menu of ours to extend on Linux: the About entry lives in the
    // window's context menu and on F1.
    m_pAboutAction = new QAction(tr("&About Orbelune..."), this);
    m_pAboutAction->setShortcut(QKeySequence(Qt::Key_F1));
    m_pAboutAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_pAboutAction, &QAction::triggered, this, &CMainFrame::OnAbout);
    addAction(m_pAboutAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    m_pumpTimer.start();
}

CMainFrame::~CMainFrame() = default;

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
