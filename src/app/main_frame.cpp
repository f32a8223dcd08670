#include "app/main_frame.h"

#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QUrl>
#include <algorithm>
#include <functional>

#include "app/about_dlg.h"
#include "app/artwork.h"
#include "app/orbelune_app.h"
#include "app/pano_view.h"
#include "app/pano_wnd.h"
#include "app/round_view.h"
#include "app/round_wnd.h"
#include "app/start_view.h"
#include "app/task.h"
#include "app/ui_services.h"
#include "app/view_stretch.h"
#include "app/workflow.h"
#include "platform/settings_store.h"

const QString CMainFrame::kCancelQuestion =
    QStringLiteral("Orbelune is still working on a task.\n\nCancel it and close Orbelune?");

CMainFrame::CMainFrame(COrbeluneApp& app) : QWidget(nullptr, Qt::Window), m_app(app) {
    m_pStatus = new QStatusBar(this);
    m_pStatus->setSizeGripEnabled(true);
    m_pShowInFolder = new QPushButton(tr("Show in folder"), m_pStatus);
    m_pShowInFolder->setToolTip(tr("Open the folder of the file just saved"));
    m_pShowInFolder->hide();
    m_pStatus->addPermanentWidget(m_pShowInFolder);
    connect(m_pShowInFolder, &QPushButton::clicked, this, &CMainFrame::OnShowInFolder);

    // The views are drawn for the client size: smaller would cut them off.
    const int statusHeight = m_pStatus->sizeHint().height();
    setMinimumSize(kClientWidth, kClientHeight + statusHeight);
    orbelune::SettingsStore& store = m_app.store();
    const int width = store.GetInt(kWindowSection, "WIDTH", kClientWidth);
    const int height = store.GetInt(kWindowSection, "HEIGHT", kClientHeight + statusHeight);
    // A stored size beyond any screen is as good as none.
    constexpr int kLargest = 16384;
    resize(std::clamp(width, kClientWidth, kLargest),
           std::clamp(height, kClientHeight + statusHeight, kLargest));
    m_bStoredMaximised = store.GetInt(kWindowSection, "MAXIMISED", 0) != 0;
    setAcceptDrops(true);
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
    addCommand(tr("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), 2,
               [this] { m_app.panoView()->OnUndo(); });
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
    // The round photo and the panorama take what the window gains. Each view is
    // cut inside its picture, where the background is plain across and down:
    // beside the ring view's instructions, between the panorama's two panels.
    new ViewStretch(round, round->imageWnd(), QPoint(520, 415));
    new ViewStretch(pano, pano->imageWnd(), QPoint(458, 280));
    start->show();
    RecalcLayout();
}

QRect CMainFrame::clientRect() const {
    return QRect(0, 0, width(), std::max(0, height() - m_pStatus->sizeHint().height()));
}

void CMainFrame::RecalcLayout() {
    const QRect client = clientRect();
    for (QObject* child : children()) {
        auto* view = qobject_cast<QWidget*>(child);
        if (view && view != m_pStatus && PaneId(view) == kFirstPane) view->setGeometry(client);
    }
    m_pStatus->setGeometry(0, client.bottom() + 1, width(), height() - client.height());
    m_pStatus->raise();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    RecalcLayout();
}

void CMainFrame::ShowAsStored() {
    if (m_bStoredMaximised) {
        showMaximized();
    } else {
        show();
    }
}

void CMainFrame::StorePlacement() {
    orbelune::SettingsStore& store = m_app.store();
    // A maximised window keeps the size it returns to.
    const QSize size =
        isMaximized() && normalGeometry().isValid() ? normalGeometry().size() : this->size();
    store.SetInt(kWindowSection, "WIDTH", size.width());
    store.SetInt(kWindowSection, "HEIGHT", size.height());
    store.SetInt(kWindowSection, "MAXIMISED", isMaximized() ? 1 : 0);
}

void CMainFrame::ShowSaved(const QString& path) {
    m_lastSaved = QFileInfo(path).absoluteFilePath();
    m_pStatus->showMessage(
        tr("Saved %1 in %2")
            .arg(QFileInfo(m_lastSaved).fileName(),
                 QDir::toNativeSeparators(QFileInfo(m_lastSaved).absolutePath())));
    m_pShowInFolder->show();
}

void CMainFrame::OnShowInFolder() {
    if (m_lastSaved.isEmpty()) return;
    const QString folder = QFileInfo(m_lastSaved).absolutePath();
    if (!m_app.ui().OpenWithDefaultApp(folder)) {
        m_app.ui().MessageBox(this,
                              tr("The folder %1 could not be opened: no program to show folders "
                                 "was found.")
                                  .arg(QDir::toNativeSeparators(folder)),
                              UiServices::Icon::Warning, UiServices::Buttons::Ok);
    }
}

QString CMainFrame::DroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return {};
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls[0].isLocalFile()) return {};
    return urls[0].toLocalFile();
}

bool CMainFrame::AcceptsDrops() const {
    return m_app.view() != 2 && !m_app.busy() && m_app.runningTask() == nullptr;
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (AcceptsDrops() && !DroppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty() || !AcceptsDrops()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // The drop ends before the file is read, so the source is not held up.
    QMetaObject::invokeMethod(
        this, [this, path] { workflow::OpenFile(m_app, path); }, Qt::QueuedConnection);
}

void CMainFrame::keyPressEvent(QKeyEvent* event) {
    // Enter presses the button that has the focus, as Space does.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto* button = qobject_cast<QAbstractButton*>(focusWidget());
        if (button != nullptr && button->isEnabled() && button->isVisible()) {
            button->click();
            event->accept();
            return;
        }
    }
    QWidget::keyPressEvent(event);
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
    // An unsaved panorama is not thrown away without a question.
    if (CPanoView* pano = m_app.panoView()) {
        CTask task(m_app, CTask::Rule::Busy);
        if (task.refused() || !pano->ConfirmDiscard()) {
            event->ignore();
            return;
        }
    }
    StorePlacement();
    event->accept();
}
