#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/main_frame.h"
#include "app/movie_props_dlg.h"
#include "app/orbelune_app.h"
#include "app/pano_view.h"
#include "app/pano_wnd.h"
#include "app/ui_services.h"
#include "export/panorama_movie.h"
#include "platform/settings_store.h"
#include "scripted_ui.h"

namespace {

const QString kSaveFailed = QStringLiteral(
    "QuickTime save failed with error code %1.\n\nMake sure that your movie isn't open in another "
    "application, or try saving it under a different name.");

// The save command of the panorama view with a scripted desktop and, unless a
// test wants the real one, a recorded movie build.
class MovieSaveTest : public ::testing::Test {
protected:
    void SetUp() override { Start({}); }
    void Start(MoviePlatformProbe probe) {
        app = std::make_unique<COrbeluneApp>(store, ui, std::move(probe));
        app->now = [this] { return clock; };
        ASSERT_TRUE(app->InitInstance());
        view = app->panoView();
        dir = std::filesystem::temp_directory_path() /
              ("orbelune_movie_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        app->SetFile(QString::fromStdString((dir / "ring.jpg").string()),
                     QStringLiteral("ring.jpg"));
        view->buildMovie =
            [this](const orbelune::RgbImage& image, const orbelune::MovieSettings& settings,
                   const std::string& destination, const orbelune::MovieBuildHooks&) {
                ++builds;
                builtWidth = image.width();
                built = settings;
                builtPath = destination;
                return buildResult;
            };
        ui.Clear();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    void Deliver(int width, int height) {
        view->PrepareForNewPanorama();
        app->SwitchView(2);
        orbelune::RgbImage& current = view->currentImage();
        ASSERT_EQ(current.AllocatePixels(width, height), orbelune::err::kNone);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width * 3; ++x)
                current.row(y)[x] = static_cast<std::uint8_t>((x * 5 + y * 11) % 251);
        view->InitCropLines();
        view->ShowNewPanorama();
        ui.Clear();
    }
    // Answers the movie properties dialog with `act`, recording what it opened with.
    void AnswerDialog(std::function<void(CMoviePropsDlg&)> act) {
        app->runMoviePropsDialog = [this, act](CMoviePropsDlg& dlg) {
            ++dialogs;
            openedMovie = dlg.movieFileEdit()->text();
            openedHtml = dlg.htmlFileEdit()->text();
            openedTitle = dlg.titleEdit()->text();
            act(dlg);
            return dlg.result();
        };
    }
    std::string PathIn(const std::string& name) const { return (dir / name).string(); }

    std::time_t clock = 50000;
    orbelune::MemorySettingsStore store;
    ScriptedUi ui;
    std::unique_ptr<COrbeluneApp> app;
    CPanoView* view = nullptr;
    std::filesystem::path dir;

    int buildResult = 0;
    int builds = 0;
    int builtWidth = 0;
    orbelune::MovieSettings built;
    std::string builtPath;
    int dialogs = 0;
    QString openedMovie, openedHtml, openedTitle;
};

TEST_F(MovieSaveTest, ConfirmedDialogStoresTheSettingsBuildsAndOpensTheMovie) {
    Deliver(800, 200);
    AnswerDialog([](CMoviePropsDlg& dlg) {
        dlg.zoomSlider()->setValue(118);
        dlg.panSlider()->setValue(90);
        dlg.tiltSlider()->setValue(-5);
        QTest::mouseClick(dlg.saveButton(), Qt::LeftButton);
    });
    store.ClearWrites();
    QTest::mouseClick(view->saveMovieButton(), Qt::LeftButton);

    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(openedMovie.toStdString(), PathIn("ring.mov"));
    EXPECT_EQ(openedHtml, QStringLiteral("ring.html"));
    EXPECT_EQ(openedTitle, QStringLiteral("ring"));

    const std::vector<std::string> order{"DEFAULTS/DEFAULT_MOVIE_WIDTH",
                                         "DEFAULTS/DEFAULT_MOVIE_HEIGHT",
                                         "DEFAULTS/COMPRESSOR",
                                         "DEFAULTS/QUALITY",
                                         "DEFAULTS/CORRECTION",
                                         "DEFAULTS/ZOOM",
                                         "DEFAULTS/PAN",
                                         "DEFAULTS/TILT",
                                         "DEFAULTS/TILES"};
    EXPECT_EQ(store.writes(), order);
    EXPECT_EQ(store.GetInt("DEFAULTS", "ZOOM", 0), 118);
    EXPECT_EQ(store.GetInt("DEFAULTS", "PAN", 0), 90);
    EXPECT_EQ(store.GetInt("DEFAULTS", "TILT", 0), -5);
    EXPECT_EQ(store.GetInt("DEFAULTS", "TILES", 0), 1);

    ASSERT_EQ(builds, 1);
    EXPECT_EQ(builtWidth, 800);
    EXPECT_EQ(builtPath, PathIn("ring.mov"));
    EXPECT_EQ(built.tiles, 1);
    EXPECT_EQ(built.pan, 90);
    EXPECT_EQ(built.movieWidth, 400);
    EXPECT_EQ(view->movieSettings().confirmedHeight, 180);
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0].toStdString(), PathIn("ring.mov"));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(app->lastTaskEnd(), clock);
    EXPECT_FALSE(app->busy());
    EXPECT_EQ(ui.waitDepth, 0);
}

TEST_F(MovieSaveTest, FailedBuildShowsItsCodeAndOpensNothing) {
    Deliver(800, 200);
    AnswerDialog([](CMoviePropsDlg& dlg) { dlg.OnOK(); });
    buildResult = 37;
    view->OnSaveMovie();
    ASSERT_EQ(builds, 1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.LastMessage(), kSaveFailed.arg(37));
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Information);
    EXPECT_TRUE(ui.opened.empty());
    EXPECT_EQ(app->lastTaskEnd(), 0);
    EXPECT_FALSE(app->busy());
    EXPECT_EQ(ui.waitDepth, 0);
}

TEST_F(MovieSaveTest, CancelledDialogChangesNothing) {
    Deliver(800, 200);
    AnswerDialog([](CMoviePropsDlg& dlg) {
        dlg.panSlider()->setValue(200);
        QTest::mouseClick(dlg.cancelButton(), Qt::LeftButton);
    });
    store.ClearWrites();
    view->OnSaveMovie();
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(store.writes().empty());
    EXPECT_EQ(view->movieSettings().pan, 2);
    EXPECT_EQ(builds, 0);
    EXPECT_FALSE(app->busy());
}

TEST_F(MovieSaveTest, MissingMovieLayerOrOldVrRefusesBeforeTheDialog) {
    Start({[] { return false; }, [] { return 0x210L; }});
    Deliver(800, 200);
    AnswerDialog([](CMoviePropsDlg& dlg) { dlg.OnOK(); });
    view->OnSaveMovie();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.LastMessage(), QStringLiteral("When this application was started, QuickTime "
                                               "was not installed.\n\nSaving is disabled."));
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Information);
    EXPECT_FALSE(app->busy());

    Start({[] { return true; }, [] { return 0x20FL; }});
    Deliver(800, 200);
    AnswerDialog([](CMoviePropsDlg& dlg) { dlg.OnOK(); });
    view->OnSaveMovie();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.LastMessage(), QStringLiteral("QuickTime VR 2.1 or greater is required."));
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Stop);
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(builds, 0);
    EXPECT_FALSE(app->busy());
}

TEST_F(MovieSaveTest, BusyProgramAndEmptyViewStartNothing) {
    AnswerDialog([](CMoviePropsDlg& dlg) { dlg.OnOK(); });
    view->OnSaveMovie();  // no panorama yet
    EXPECT_EQ(dialogs, 0);
    EXPECT_FALSE(app->busy());

    Deliver(800, 200);
    app->SetBusy(true);
    view->OnSaveMovie();
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(ui.LastMessage(), QStringLiteral("Orbelune is busy doing another task."));
}

TEST_F(MovieSaveTest, MovTypedInTheImageDialogBuildsWithCorrectedStoredSettings) {
    Deliver(800, 200);
    store.SetInt("DEFAULTS", "TILES", 6);
    store.SetInt("DEFAULTS", "ZOOM", 250);
    app->LoadSettings();
    ui.fileNames.push_back(QString::fromStdString(PathIn("typed.mov")));
    view->OnSavePanorama();
    ASSERT_EQ(builds, 1);
    EXPECT_EQ(builtPath, PathIn("typed.mov"));
    EXPECT_EQ(built.tiles, 1);
    EXPECT_EQ(built.zoom, 1.0f);
    EXPECT_EQ(ui.opened.size(), 1u);
}

TEST_F(MovieSaveTest, TheBuildsOwnFailuresAreToldOnceInWordsNotAsANumber) {
    Deliver(800, 200);
    AnswerDialog([](CMoviePropsDlg& dlg) { dlg.OnOK(); });
    buildResult = orbelune::movie_err::kNoTempFolder;
    view->OnSaveMovie();
    ASSERT_EQ(builds, 1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.LastMessage(),
              QStringLiteral("No temporary folder could be made for the movie's working files."));
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Stop);
    EXPECT_TRUE(ui.opened.empty());
    EXPECT_FALSE(app->busy());
}

TEST_F(MovieSaveTest, AStoredSizeTooLargeForAMovieIsCorrectedBeforeTheBuild) {
    Deliver(800, 200);
    // Stored beyond what a movie holds, and reaching the build without the
    // dialog (a .mov typed in the image dialog).
    view->movieSettings().confirmedWidth = 0;
    view->movieSettings().movieWidth = 40000;
    ui.fileNames.push_back(QString::fromStdString(PathIn("typed.mov")));
    view->OnSavePanorama();
    ASSERT_EQ(builds, 1);
    EXPECT_EQ(built.movieWidth, orbelune::kMaxMovieSide);
    EXPECT_EQ(orbelune::movie_props::SettingsProblem(built), "");
}

TEST_F(MovieSaveTest, RealBuildWritesAMovieFile) {
    Deliver(960, 240);
    view->buildMovie = nullptr;
    AnswerDialog([](CMoviePropsDlg& dlg) {
        dlg.codecCombo()->setCurrentIndex(0);
        emit dlg.codecCombo()->activated(0);
        dlg.OnOK();
    });
    view->OnSaveMovie();
    EXPECT_TRUE(ui.messages.empty()) << ui.LastMessage().toStdString();
    ASSERT_EQ(ui.opened.size(), 1u);
    std::ifstream movie(PathIn("ring.mov"), std::ios::binary);
    char header[8] = {};
    movie.read(header, 8);
    EXPECT_EQ(std::string(header + 4, 4), "moov");  // fast start: the movie atom first
}

TEST_F(MovieSaveTest, ClosingWhileTheTilesAreMadeCancelsBetweenTilesAndLeavesNoMovie) {
    Deliver(960, 240);
    app->frame()->show();
    view->buildMovie = nullptr;
    AnswerDialog([](CMoviePropsDlg& dlg) { dlg.OnOK(); });
    ui.answers.push_back(UiServices::Answer::Yes);  // cancel and close
    std::atomic<bool> closed{false};
    std::atomic<bool> heldOnce{false};
    CMainFrame* frame = app->frame();
    app->workerProbe = [&](int, int count) {
        // Tile counts are small; the panorama's rows come first and are many.
        if (count > 64 || heldOnce.exchange(true)) return;
        QMetaObject::invokeMethod(
            frame,
            [&] {
                frame->close();
                closed = true;
            },
            Qt::QueuedConnection);
        for (int i = 0; i < 20000 && !closed; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    view->OnSaveMovie();
    app->workerProbe = nullptr;
    ASSERT_TRUE(closed);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, CMainFrame::kCancelQuestion);
    EXPECT_TRUE(ui.opened.empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir));
    EXPECT_FALSE(app->busy());
}

TEST_F(MovieSaveTest, PagesAreWrittenOnlyAfterTheMovieIsBuilt) {
    Deliver(800, 200);
    std::ofstream(dir / "ring.html") << "old page";
    AnswerDialog([](CMoviePropsDlg& dlg) {
        QTest::mouseClick(dlg.generateHtmlCheck(), Qt::LeftButton);
        QTest::mouseClick(dlg.sharePageCheck(), Qt::LeftButton);
        dlg.OnOK();
    });
    buildResult = 37;
    view->OnSaveMovie();
    ASSERT_EQ(builds, 1);
    EXPECT_EQ(ui.LastMessage(), kSaveFailed.arg(37));
    std::ifstream oldPage(dir / "ring.html");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(oldPage), {}), "old page");
    EXPECT_FALSE(std::filesystem::exists(dir / "ring_360"));

    buildResult = 0;
    ui.Clear();
    clock += 10;
    view->OnSaveMovie();
    ASSERT_EQ(builds, 2);
    EXPECT_TRUE(ui.messages.empty()) << ui.LastMessage().toStdString();
    std::ifstream newPage(dir / "ring.html");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(newPage), {}).rfind("<HTML>\r\n", 0), 0u);
    EXPECT_TRUE(std::filesystem::exists(dir / "ring_360/index.html"));
    EXPECT_TRUE(std::filesystem::exists(dir / "ring_360/panorama.jpg"));
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0].toStdString(), PathIn("ring.mov"));

    // A .mov typed in the image dialog afterwards writes no pages.
    std::filesystem::remove_all(dir / "ring_360");
    ui.fileNames.push_back(QString::fromStdString(PathIn("typed.mov")));
    clock += 10;
    view->OnSavePanorama();
    EXPECT_EQ(builds, 3);
    EXPECT_FALSE(std::filesystem::exists(dir / "ring_360"));
}

}  // namespace
