#include <QDir>

#include "app/main_frame.h"
#include "app/pano_view.h"
#include "app_fixture.h"
#include "platform/settings_keys.h"

namespace {

using Icon = UiServices::Icon;

class StartupTest : public AppFixture {};

TEST_F(StartupTest, FirstStartWritesTheSixDefaultsAndTheVersionOnly) {
    Start();
    const std::vector<std::string> expected = {"VERSION/VERSION",
                                               "DEFAULTS/DEFAULT_MOVIE_WIDTH",
                                               "DEFAULTS/DEFAULT_MOVIE_HEIGHT",
                                               "DEFAULTS/DEFAULT_SHARPNESS",
                                               "DEFAULTS/QUALITY",
                                               "DEFAULTS/CORRECTION",
                                               "DEFAULTS/COMPRESSOR"};
    EXPECT_EQ(store.writes(), expected);
    EXPECT_EQ(store.GetString("VERSION", "VERSION", ""), "3.0000");
    EXPECT_EQ(store.GetInt("DEFAULTS", "DEFAULT_MOVIE_WIDTH", 0), 400);
    EXPECT_EQ(store.GetInt("DEFAULTS", "DEFAULT_SHARPNESS", -1), 0);
    EXPECT_FALSE(store.Contains("EQUIPMENT", "MIRROR"));
    EXPECT_FALSE(store.Contains("DEFAULTS", "ZOOM"));

    EXPECT_EQ(app->frame()->windowTitle(), QStringLiteral("Orbelune - Version 3.0"));
    EXPECT_EQ(app->mirror(), 1);
    EXPECT_EQ(app->view(), 0);
    EXPECT_TRUE(app->hasMovieLayer());
    EXPECT_FALSE(app->busy());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(app->helpDir(), QDir::currentPath() + QStringLiteral("/help/"));
}

TEST_F(StartupTest, OlderVersionOverwritesStoredMovieDefaultsButCurrentOneIsLeftAlone) {
    store.SetString("VERSION", "VERSION", "2.1000");
    store.SetInt("DEFAULTS", "DEFAULT_MOVIE_WIDTH", 640);
    store.SetInt("DEFAULTS", "QUALITY", 4);
    store.ClearWrites();
    Start();
    EXPECT_EQ(store.GetString("VERSION", "VERSION", ""), "3.0000");
    EXPECT_EQ(store.GetInt("DEFAULTS", "DEFAULT_MOVIE_WIDTH", 0), 400);
    EXPECT_EQ(store.GetInt("DEFAULTS", "QUALITY", 0), 1);
    // Read before the upgrade: this run still uses the old values in memory.
    EXPECT_EQ(app->panoView()->movieSettings().movieWidth, 640);

    orbelune::MemorySettingsStore current;
    current.SetString("VERSION", "VERSION", "3.0000");
    current.SetInt("DEFAULTS", "QUALITY", 4);
    current.ClearWrites();
    COrbeluneApp second(current, ui);
    ASSERT_TRUE(second.InitInstance());
    EXPECT_TRUE(current.writes().empty());
    EXPECT_EQ(second.panoView()->movieSettings().quality, 4);
}

TEST_F(StartupTest, StoredValuesReachTheApplicationAndThePanoramaView) {
    store.SetString("VERSION", "VERSION", "3.0000");
    store.SetInt("DEFAULTS", "ZOOM", 150);
    store.SetInt("DEFAULTS", "TILES", 6);
    store.SetInt("EQUIPMENT", "MIRROR", 3);
    Start();
    EXPECT_FLOAT_EQ(app->panoView()->movieSettings().zoom, 1.5f);
    EXPECT_EQ(app->panoView()->movieSettings().tiles, 6);
    EXPECT_EQ(app->mirror(), 3);
}

TEST_F(StartupTest, MissingMovieLayerIsReportedAndTheProgramStillStarts) {
    MoviePlatformProbe probe;
    probe.initialise = [] { return false; };
    probe.vrVersion = [] { return 0L; };
    Start(probe);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text,
              QStringLiteral("QuickTime not available.  Please install QuickTime 4.0 or later.\n\n"
                             "Without Quicktime, movies will not play or be saved."));
    EXPECT_EQ(ui.messages[0].icon, Icon::Stop);
    EXPECT_EQ(ui.messages[1].text, QStringLiteral("QuickTime VR 2.1 or greater is required."));
    EXPECT_EQ(ui.messages[1].icon, Icon::Stop);
    EXPECT_FALSE(app->hasMovieLayer());
    EXPECT_EQ(app->ExitInstance(), 0);

    // An old VR layer alone gives only the second message.
    ScriptedUi ui2;
    MoviePlatformProbe old;
    old.vrVersion = [] { return 0x20FL; };
    COrbeluneApp second(store, ui2, old);
    ASSERT_TRUE(second.InitInstance());
    ASSERT_EQ(ui2.messages.size(), 1u);
    EXPECT_EQ(ui2.messages[0].text, QStringLiteral("QuickTime VR 2.1 or greater is required."));
    EXPECT_TRUE(second.hasMovieLayer());
}

TEST_F(StartupTest, BeginTaskRefusesWhileBusyWithBeepAndMessage) {
    Start();
    std::time_t clock = 1000;
    app->now = [&] { return clock; };
    EXPECT_FALSE(app->BeginTask());
    EXPECT_TRUE(app->busy());
    EXPECT_TRUE(app->BeginTask());
    EXPECT_TRUE(app->busy());
    EXPECT_EQ(ui.beeps, 1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("Orbelune is busy doing another task."));
    EXPECT_EQ(ui.messages[0].icon, Icon::Information);
    EXPECT_EQ(ui.messages[0].buttons, UiServices::Buttons::Ok);
}

TEST_F(StartupTest, BeginTaskSwallowsCommandsWithinTwoSecondsOfTheLastTask) {
    Start();
    std::time_t clock = 1000;
    app->now = [&] { return clock; };
    app->SetLastTaskEnd(1000);
    EXPECT_TRUE(app->BeginTask());
    clock = 1001;
    EXPECT_TRUE(app->BeginTask());
    EXPECT_FALSE(app->busy());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.beeps, 0);
    clock = 1002;
    EXPECT_FALSE(app->BeginTask());
    EXPECT_TRUE(app->busy());
}

TEST_F(StartupTest, AClockSetBackDoesNotLockOutCommands) {
    Start();
    std::time_t clock = 5000;
    app->now = [&] { return clock; };
    app->SetLastTaskEnd(9000);
    EXPECT_FALSE(app->BeginTask());
}

}  // namespace
