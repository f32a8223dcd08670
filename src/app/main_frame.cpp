#include "app/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <functional>

#include "app/about_dlg.h"
#include "app/artwork.h"
#include "app/orbelune_app.h"
#include "app/pano_view.h"
#include "app/round_view.h"
#include "app/start_view.h"
#include "app/task.h"
#include "app/ui_services.h"

const QString CMainFrame::kCancelQuestion =
    QStringLiteral("Orbelune is still working on a task.\n\nCancel it and close Orbelune?");

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
            if (view < 0 || m_app.view() == view) run();
        });
        addAction(action);
        m_commandActions.append(action);
    };
    addCommand(tr("&Manual"), QKeySequence(Qt::Key_F1), -1,
               [this] { m_app.startView()->OnHelpManual(); });
    addCommand(tr("&Open..."), QKeySequence::Open, 0,
               [this] { m_app.startView()->OnOpenRawImage(); });
    addCommand(tr("&Save Panorama..."), QKeySequence::Save, 2,
               [this] { m_app.panoView()->OnSavePanorama(); });
    addCommand(tr("Save as VR &Movie..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), 2,
               [this] { m_app.panoView()->OnSaveMovie(); });
    addCommand(tr("&Undo Crop"), QKeySequence::Undo, 2, [this] { m_app.panoView()->OnUndo(); });
    addCommand(tr("&Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), 2,
               [this] { m_app.panoView()->OnRedo(); });
    m_pAboutAction = new QAction(tr("&About Orbelune..."), this);
    connect(m_pAboutAction, &QAction::triggered, this, &CMainFrame::OnAbout);
    addAction(m_pAboutAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
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
    m_pActiveView = start;

    auto* round = new CRoundView(m_app, this);
    SetPaneId(round, kFirstPane + 1);
    round->hide();
    auto* pano = new CPanoView(m_app, this);
    SetPaneId(pano, kFirstPane + 2);
    pano->hide();
    m_app.SetViews(start, round, pano);
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
    if (m_app.view() == 1 && m_app.roundView()) {
        m_app.roundView()->ShowProgress(row, count);
    } else if (m_app.view() == 2 && m_app.panoView()) {
        m_app.panoView()->ShowProgress(row, count);
    }
    return true;
}

void CMainFrame::EndProgress() {
    if (m_app.view() == 1 && m_app.roundView()) {
        m_app.roundView()->HideProgress();
    } else if (m_app.view() == 2 && m_app.panoView()) {
        m_app.panoView()->HideProgress();
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
    // the running task: the user may cancel it, and the window closes once it
    // has stopped (a cancelled save leaves no file behind).
    if (CTask* task = m_app.runningTask()) {
        event->ignore();
        if (task->cancelled()) return;
        if (m_app.ui().MessageBox(this, kCancelQuestion, UiServices::Icon::Question,
                                  UiServices::Buttons::YesNo) == UiServices::Answer::Yes) {
            task->Cancel();
            m_app.CloseAfterTask();
        }
        return;
    }
    if (m_app.busy()) {
        m_app.ShowBusyMessage();
        event->ignore();
        return;
    }
    event->accept();
}
