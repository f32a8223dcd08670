#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QProgressBar>
#include <QTest>

#include "app/about_dlg.h"
#include "app/main_frame.h"
#include "app/pano_view.h"
#include "app/round_view.h"
#include "app/start_view.h"
#include "app/task.h"
#include "app_fixture.h"
#include "image/image_layer.h"

namespace {

constexpr int kFirst = CMainFrame::kFirstPane;

class MainFrameTest : public AppFixture {
protected:
    void SetUp() override { Start(); }
    CMainFrame* frame() { return app->frame(); }
    QWidget* start() { return app->startView(); }
    QWidget* round() { return app->roundView(); }
    QWidget* pano() { return app->panoView(); }
    static bool AnyBarVisible(QWidget* view) {
        for (QProgressBar* bar : view->findChildren<QProgressBar*>()) {
            if (bar->isVisibleTo(view)) return true;
        }
        return false;
    }
};

TEST_F(MainFrameTest, WindowOpensAtTheViewSizeAndMayGrowButNotShrink) {
    EXPECT_EQ(frame()->clientRect().size(), QSize(760, 540));
    EXPECT_EQ(frame()->minimumSize(), frame()->size());
    EXPECT_GT(frame()->maximumSize().width(), 760);
    const Qt::WindowFlags flags = frame()->windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::CustomizeWindowHint));
}

TEST_F(MainFrameTest, StartsWithTheStartViewFillingTheWindowAndTheOthersHidden) {
    EXPECT_EQ(frame()->activeView(), start());
    EXPECT_EQ(CMainFrame::PaneId(start()), kFirst);
    EXPECT_EQ(CMainFrame::PaneId(round()), kFirst + 1);
    EXPECT_EQ(CMainFrame::PaneId(pano()), kFirst + 2);
    EXPECT_TRUE(start()->isVisibleTo(frame()));
    EXPECT_FALSE(round()->isVisibleTo(frame()));
    EXPECT_FALSE(pano()->isVisibleTo(frame()));
    EXPECT_EQ(start()->geometry(), frame()->clientRect());
}

TEST_F(MainFrameTest, SwitchViewExchangesPaneIdsAndShowsExactlyOneView) {
    EXPECT_EQ(app->SwitchView(2), start());
    EXPECT_EQ(app->view(), 2);
    EXPECT_EQ(CMainFrame::PaneId(pano()), kFirst);
    EXPECT_EQ(CMainFrame::PaneId(start()), kFirst + 2);
    EXPECT_EQ(CMainFrame::PaneId(round()), kFirst + 1);
    EXPECT_TRUE(pano()->isVisibleTo(frame()));
    EXPECT_FALSE(start()->isVisibleTo(frame()));
    EXPECT_EQ(pano()->geometry(), frame()->clientRect());
    EXPECT_EQ(frame()->activeView(), pano());

    EXPECT_EQ(app->SwitchView(1), pano());
    EXPECT_EQ(CMainFrame::PaneId(round()), kFirst);
    EXPECT_EQ(CMainFrame::PaneId(pano()), kFirst + 1);
    EXPECT_EQ(CMainFrame::PaneId(start()), kFirst + 2);
    EXPECT_TRUE(round()->isVisibleTo(frame()));
    EXPECT_FALSE(pano()->isVisibleTo(frame()));

    EXPECT_EQ(app->SwitchView(0), round());
    EXPECT_EQ(CMainFrame::PaneId(start()), kFirst);
    EXPECT_TRUE(start()->isVisibleTo(frame()));
    EXPECT_FALSE(round()->isVisibleTo(frame()));
    EXPECT_EQ(app->view(), 0);
}

TEST_F(MainFrameTest, SwitchingToTheShownViewChangesNothing) {
    app->SwitchView(1);
    EXPECT_EQ(app->SwitchView(1), round());
    EXPECT_EQ(CMainFrame::PaneId(round()), kFirst);
    EXPECT_EQ(CMainFrame::PaneId(start()), kFirst + 1);
    EXPECT_TRUE(round()->isVisibleTo(frame()));
}

TEST_F(MainFrameTest, BadIndexShowsTheMessageAndSwitchesNothing) {
    EXPECT_EQ(app->SwitchView(3), nullptr);
    EXPECT_EQ(app->SwitchView(-1), nullptr);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text,
              QStringLiteral("Background not set!  Invalid display parameter."));
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Stop);
    EXPECT_EQ(app->view(), 0);
    EXPECT_EQ(frame()->activeView(), start());
    EXPECT_EQ(CMainFrame::PaneId(start()), kFirst);
}

TEST_F(MainFrameTest, ProgressGoesToTheShownViewOnlyAndEndsWithTheTask) {
    // The task's work reports from its worker; the bar of the view shown moves.
    auto runReporting = [this](bool* barSeen, QWidget* view) {
        CTask task(*app);
        ASSERT_FALSE(task.refused());
        const bool installed = task.Run([] {
            const bool has = orbelune::HasImageProgress();
            // Through the image layer's callback, as a decoder would.
            orbelune::ImageOperation op;
            static_cast<void>(op.Progress(3, 10));
            return has;
        });
        EXPECT_TRUE(installed);
        QCoreApplication::processEvents();
        *barSeen = AnyBarVisible(view);
        EXPECT_TRUE(app->busy());
    };
    bool seen = false;
    runReporting(&seen, start());
    EXPECT_FALSE(seen);
    EXPECT_FALSE(AnyBarVisible(round()));
    EXPECT_FALSE(AnyBarVisible(pano()));
    EXPECT_FALSE(orbelune::HasImageProgress());
    EXPECT_FALSE(app->busy());

    app->SwitchView(1);
    app->SetLastTaskEnd(0);
    runReporting(&seen, round());
    EXPECT_TRUE(seen);
    EXPECT_FALSE(AnyBarVisible(pano()));
    // The bar goes when the task ends, and so does the busy flag.
    EXPECT_FALSE(AnyBarVisible(round()));
    EXPECT_FALSE(app->busy());

    app->SwitchView(2);
    frame()->ReportProgress(1, 5);
    EXPECT_TRUE(AnyBarVisible(pano()));
    frame()->EndProgress();
    EXPECT_FALSE(AnyBarVisible(pano()));
}

TEST_F(MainFrameTest, AboutBoxIsReachableFromTheContextMenu) {
    QAction* about = frame()->aboutAction();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(frame()->actions().contains(about));
    EXPECT_EQ(frame()->contextMenuPolicy(), Qt::ActionsContextMenu);
    EXPECT_EQ(about->text(), QStringLiteral("&About Orbelune..."));

    QString shownTitle;
    app->runAboutDialog = [&](CAboutDlg& dlg) { shownTitle = dlg.windowTitle(); };
    about->trigger();
    EXPECT_EQ(shownTitle, QStringLiteral("About Orbelune"));
}

TEST_F(MainFrameTest, KeyboardCommandsReachTheShownViewOnly) {
    using Command = CMainFrame::Command;
    frame()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame()));
    EXPECT_EQ(frame()->commandAction(Command::Manual)->shortcut(), QKeySequence(Qt::Key_F1));

    // F1 opens the manual from any view (the web page when no PDF is found).
    QTest::keyClick(frame(), Qt::Key_F1);
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_TRUE(ui.opened[0].endsWith(QStringLiteral("Orbelune_Manual.pdf")) ||
                ui.opened[0] == COrbeluneView::OnlineManualUrl());

    // Ctrl+O asks for a photo on the start view; Ctrl+S does nothing there.
    ui.Clear();
    QTest::keyClick(frame(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(ui.dialogs.empty());
    QTest::keyClick(frame(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_FALSE(ui.dialogs[0].save);
    EXPECT_FALSE(app->busy());

    // With a panorama shown, Ctrl+S is Save Panorama and Ctrl+O does nothing.
    ui.Clear();
    app->SwitchView(2);
    ASSERT_EQ(app->panoView()->currentImage().AllocatePixels(60, 20), orbelune::err::kNone);
    app->panoView()->InitCropLines();
    app->panoView()->ShowNewPanorama();
    QTest::keyClick(frame(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(ui.dialogs.empty());
    frame()->commandAction(Command::SavePanorama)->trigger();
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_TRUE(ui.dialogs[0].save);
}

TEST_F(MainFrameTest, ClosingWhileBusyIsRefused) {
    app->SetBusy(true);
    QCloseEvent refused;
    QApplication::sendEvent(frame(), &refused);
    EXPECT_FALSE(refused.isAccepted());
    EXPECT_EQ(ui.LastMessage(), QStringLiteral("Orbelune is busy doing another task."));

    app->SetBusy(false);
    QCloseEvent accepted;
    QApplication::sendEvent(frame(), &accepted);
    EXPECT_TRUE(accepted.isAccepted());
}

}  // namespace
