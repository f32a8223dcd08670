// Long work runs on a worker while the window keeps handling events.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "app/main_frame.h"
#include "app/pano_view.h"
#include "app/pano_wnd.h"
#include "app/round_view.h"
#include "app/task.h"
#include "app/ui_services.h"
#include "app_fixture.h"
#include "image/adjustments.h"
#include "platform/settings_keys.h"
#include "unwarp/unwarp.h"

namespace {

bool SamePixels(const orbelune::RgbImage& a, const orbelune::RgbImage& b) {
    return a.width() == b.width() && a.height() == b.height() &&
           std::equal(a.data(), a.data() + a.byteCount(), b.data());
}

// Holds the worker until the interface thread has done its part; gives up
// after a while so that a fault fails the test instead of hanging it.
bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 20000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

class TaskRunnerTest : public AppFixture {
protected:
    void SetUp() override {
        Start();
        app->frame()->show();
        ui.Clear();
    }

    // A photograph with a pattern, straight into the session.
    void LoadPhoto(int width, int height) {
        orbelune::RgbImage photo;
        ASSERT_EQ(photo.AllocatePixels(width, height), orbelune::err::kNone);
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = photo.row(y);
            for (int x = 0; x < width * 3; ++x)
                row[x] = static_cast<std::uint8_t>(x * 7 + y * 3);
        }
        app->session().TakeRawPhoto(std::move(photo));
        app->session().ring() = {width / 2, height / 2, height / 10, height / 2 - 10};
        app->SwitchView(1);
    }

    // At the worker's first progress report, the window's close box is pressed
    // on the interface thread; the worker waits until it has been.
    void CloseAtTheFirstReport(std::atomic<bool>& closed) {
        CMainFrame* frame = app->frame();
        auto heldOnce = std::make_shared<std::atomic<bool>>(false);
        app->workerProbe = [frame, heldOnce, &closed](int, int) {
            if (heldOnce->exchange(true)) return;
            QMetaObject::invokeMethod(
                frame,
                [frame, &closed] {
                    frame->close();
                    closed = true;
                },
                Qt::QueuedConnection);
            EXPECT_TRUE(WaitFor([&closed] { return closed.load(); }));
        };
    }

    // A panorama delivered the way the unwarp does.
    void Deliver(int width, int height) {
        CPanoView* view = app->panoView();
        view->PrepareForNewPanorama();
        app->SwitchView(2);
        orbelune::RgbImage& current = app->session().current();
        ASSERT_EQ(current.AllocatePixels(width, height), orbelune::err::kNone);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width * 3; ++x)
                current.row(y)[x] = static_cast<std::uint8_t>(40 + (x * 7 + y * 3) % 160);
        view->InitCropLines();
        view->ShowNewPanorama();
        view->ShowNavigation();
        view->SetProgressIdlePlace();
    }
};

TEST_F(TaskRunnerTest, UnwarpRunsOnAWorkerWhileTheWindowRepaintsAndGivesTheCoreResult) {
    // 6000 x 4000: 24 MP, as a current camera takes them.
    LoadPhoto(6000, 4000);
    QProgressBar* bar = app->panoView()->progressBar();
    std::atomic<int> barChanges{0};
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [&] { ++barChanges; });
    std::atomic<int> ticks{0};
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(0);
    std::atomic<bool> heldOnce{false};
    std::thread::id guiThread = std::this_thread::get_id();
    std::atomic<bool> onWorker{true};
    app->workerProbe = [&](int row, int count) {
        if (std::this_thread::get_id() == guiThread) onWorker = false;
        // Halfway the bar must have moved twice and the timer have fired.
        if (row == count / 2 && !heldOnce.exchange(true)) {
            EXPECT_TRUE(WaitFor([&] { return barChanges >= 2 && ticks >= 1; }));
        }
    };

    app->roundView()->OnUnwarp();
    timer.stop();
    app->workerProbe = nullptr;

    EXPECT_TRUE(heldOnce);
    EXPECT_TRUE(onWorker);
    EXPECT_GE(barChanges, 2);
    EXPECT_GE(ticks, 1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(app->view(), 2);
    EXPECT_FALSE(app->busy());
    EXPECT_FALSE(bar->isVisible());

    // The same as the core gives on this thread.
    orbelune::Session& session = app->session();
    orbelune::RgbImage expected;
    ASSERT_EQ(orbelune::Unwarp(session.raw(), session.ring(), session.mirror(),
                               orbelune::LoadCustomMirror(store), expected),
              0);
    orbelune::TurnColumns(
        expected,
        orbelune::SeamShift(orbelune::Read(store, orbelune::settings::kSeam), expected.width()));
    EXPECT_TRUE(SamePixels(session.images().base, expected));
}

TEST_F(TaskRunnerTest, WheelStepsDuringATaskAskNothingAndTheLatestIsAppliedOnceAfter) {
    Deliver(900, 300);
    CPanoView* view = app->panoView();
    QSlider* brightness = view->slider(CPanoView::kBrightness);
    std::atomic<bool> stepped{false};
    std::atomic<bool> heldOnce{false};
    app->workerProbe = [&](int, int) {
        if (heldOnce.exchange(true)) return;
        // Two wheel notches while the first adjustment runs.
        QMetaObject::invokeMethod(
            brightness,
            [&] {
                brightness->setValue(60);
                brightness->setValue(70);
                stepped = true;
            },
            Qt::QueuedConnection);
        EXPECT_TRUE(WaitFor([&] { return stepped.load(); }));
    };
    const int tasksBefore = app->tasksStarted();
    ui.Clear();
    // A drag ending in a release starts the first adjustment.
    brightness->setSliderDown(true);
    brightness->setValue(55);
    brightness->setSliderDown(false);
    app->workerProbe = nullptr;
    ASSERT_TRUE(stepped);
    EXPECT_EQ(app->tasksStarted(), tasksBefore + 1);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();

    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(brightness->value(), 70);
    // Once for the release, once for both notches together.
    EXPECT_EQ(app->tasksStarted(), tasksBefore + 2);
    EXPECT_FALSE(app->busy());
    orbelune::SliderPositions positions = view->lastAccepted();
    EXPECT_EQ(positions.brightness, 70);
    orbelune::RgbImage expected;
    ASSERT_EQ(orbelune::ApplyAdjustmentsTo(app->session().images().base,
                                           orbelune::AdjustmentsFromSliders(positions), expected),
              orbelune::err::kNone);
    EXPECT_TRUE(SamePixels(app->session().current(), expected));
}

TEST_F(TaskRunnerTest, ClosingDuringASaveAsksAndACancelLeavesNoFile) {
    Deliver(2000, 600);
    const QString folder = temp.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString target = folder + QStringLiteral("/pano.bmp");
    ui.fileNames.push_back(target);
    ui.answers.push_back(UiServices::Answer::Yes);  // cancel and close
    std::atomic<bool> closed{false};
    CMainFrame* frame = app->frame();
    CloseAtTheFirstReport(closed);
    app->SetLastTaskEnd(0);
    app->panoView()->OnSavePanorama();
    app->workerProbe = nullptr;

    ASSERT_TRUE(closed);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, CMainFrame::kCancelQuestion);
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Question);
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_TRUE(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    EXPECT_FALSE(app->busy());
    // The window closes once the task has stopped.
    EXPECT_TRUE(frame->isVisible());
    QCoreApplication::processEvents();
    EXPECT_FALSE(frame->isVisible());
}

TEST_F(TaskRunnerTest, ClosingDuringATaskCanBeDeclinedAndAnIdleWindowClosesAtOnce) {
    Deliver(2000, 600);
    const QString target = temp.filePath(QStringLiteral("kept.bmp"));
    ui.fileNames.push_back(target);
    ui.answers.push_back(UiServices::Answer::No);  // keep working
    std::atomic<bool> closed{false};
    CMainFrame* frame = app->frame();
    CloseAtTheFirstReport(closed);
    app->SetLastTaskEnd(0);
    app->panoView()->OnSavePanorama();
    app->workerProbe = nullptr;
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(target));
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame->isVisible());

    ui.Clear();
    frame->close();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(frame->isVisible());
}

}  // namespace
