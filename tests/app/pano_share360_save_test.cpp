#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QTest>
#include <filesystem>

#include "app/main_frame.h"
#include "app/orbelune_app.h"
#include "app/pano_view.h"
#include "export/exiftool_support.h"
#include "export/share360.h"
#include "image/rgb_image.h"
#include "platform/settings_store.h"
#include "scripted_ui.h"
#include "unwarp/mirror_types.h"

namespace {

using orbelune::testing::ReadTags;

const QString k360Filter = QStringLiteral("360° JPEG (*.jpg)");

// The panorama view with a panorama made from a camera photo that carries EXIF.
class PanoShareSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORBELUNE_REQUIRE_EXIFTOOL();
        app.now = [this] { return clock; };
        ASSERT_TRUE(app.InitInstance());
        view = app.panoView();
        dir = std::filesystem::temp_directory_path() /
              ("orbelune_share_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        const std::string photo = PathIn("ring.jpg");
        orbelune::RgbImage ring;
        ASSERT_EQ(ring.AllocatePixels(40, 30), orbelune::err::kNone);
        ASSERT_EQ(ring.SaveImageFile(photo, orbelune::ImageFormat::Jpeg), orbelune::err::kNone);
        orbelune::testing::RunExiftool(
            "-q -overwrite_original -Make=Acme '-DateTimeOriginal=2024:05:06 07:08:09'", photo);
        app.SetFile(QString::fromStdString(photo), QStringLiteral("ring.jpg"));

        view->PrepareForNewPanorama();
        app.SwitchView(2);
        orbelune::RgbImage& current = view->currentImage();
        ASSERT_EQ(current.AllocatePixels(360, 57), orbelune::err::kNone);
        for (int y = 0; y < 57; ++y)
            for (int x = 0; x < 360 * 3; ++x)
                current.row(y)[x] = static_cast<std::uint8_t>(40 + (x * 7 + y * 3) % 160);
        view->InitCropLines();
        view->ShowNewPanorama();
        ui.Clear();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    void SaveAs(const std::string& path, const QString& filter) {
        clock += 10;
        ui.Clear();
        ui.fileNames.push_back(QString::fromStdString(path));
        ui.selectedFilters.push_back(filter);
        view->OnSavePanorama();
    }
    std::string PathIn(const std::string& name) const { return (dir / name).string(); }

    std::time_t clock = 100000;
    orbelune::MemorySettingsStore store;
    ScriptedUi ui;
    COrbeluneApp app{store, ui};
    CPanoView* view = nullptr;
    std::filesystem::path dir;
};

TEST_F(PanoShareSaveTest, The360JpegTypeWritesThePhotoSphereAtTheMovieView) {
    view->movieSettings().pan = 45;
    view->movieSettings().tilt = 0;
    view->movieSettings().zoom = 1.5f;
    SaveAs(PathIn("shared"), k360Filter);  // the type adds the extension

    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_TRUE(ui.dialogs[0].filters.contains(k360Filter));
    EXPECT_TRUE(ui.messages.empty()) << ui.LastMessage().toStdString();
    EXPECT_TRUE(view->saveShare360());
    EXPECT_EQ(view->movieSettings().moviePath, PathIn("shared.jpg"));
    EXPECT_EQ(ui.waitDepth, 0);
    EXPECT_EQ(app.lastTaskEnd(), clock);
    auto tags = ReadTags(PathIn("shared.jpg"), "-XMP-GPano:all -Make -ImageWidth");
    EXPECT_EQ(tags["ProjectionType"], "equirectangular");
    EXPECT_EQ(tags["FullPanoWidthPixels"], "360");
    EXPECT_EQ(tags["InitialViewHeadingDegrees"], "45");
    const orbelune::ShareView expected =
        orbelune::ShareViewForPanorama(view->movieSettings(), 360, 57);
    EXPECT_NEAR(std::stod(tags["InitialHorizontalFOVDegrees"]), expected.horizontalFovDegrees,
                0.01);
    EXPECT_EQ(tags["Make"], "Acme");
    EXPECT_EQ(tags["ImageWidth"], "360");

    // The same name as a plain JPEG: the flat strip, the photo's tags, no XMP.
    SaveAs(PathIn("shared.jpg"), QStringLiteral("JPEG Files (*.jpg *.jpeg)"));
    EXPECT_FALSE(view->saveShare360());
    tags = ReadTags(PathIn("shared.jpg"), "-XMP-GPano:all -Make -DateTimeOriginal -ImageHeight");
    EXPECT_EQ(tags.count("ProjectionType"), 0u);
    EXPECT_EQ(tags["Make"], "Acme");
    EXPECT_EQ(tags["DateTimeOriginal"], "2024:05:06 07:08:09");
    EXPECT_EQ(tags["ImageHeight"], "57");
}

TEST_F(PanoShareSaveTest, MoviesAreDatedByThePhotoOrByNow) {
    std::int64_t stamped = -1;
    view->buildMovie = [&stamped](const orbelune::RgbImage&, const orbelune::MovieSettings&,
                                  const std::string&, const orbelune::MovieBuildHooks& hooks) {
        stamped = hooks.creationTime;
        return 0;
    };
    SaveAs(PathIn("pano.mov"), QString());
    EXPECT_EQ(stamped, 1714979289);  // 2024-05-06 07:08:09

    // A photo without a date: the time of the build.
    orbelune::RgbImage plain;
    ASSERT_EQ(plain.AllocatePixels(8, 8), orbelune::err::kNone);
    ASSERT_EQ(plain.SaveImageFile(PathIn("plain.bmp"), orbelune::ImageFormat::Bmp),
              orbelune::err::kNone);
    app.SetFile(QString::fromStdString(PathIn("plain.bmp")), app.fileName());
    SaveAs(PathIn("pano2.mov"), QString());
    EXPECT_EQ(stamped, clock);
}

TEST_F(PanoShareSaveTest, ACustomMirrorsPanoramaIsPlacedWhereItsCropLies) {
    // 20° above to 40° below the horizon in 60 rows of 360 columns: one degree a
    // row, as the sphere's rows are, so the rows are kept as they are.
    orbelune::StoreCustomMirror(store, {20, -40, false});
    view->PrepareForNewPanorama();
    orbelune::RgbImage& current = view->currentImage();
    ASSERT_EQ(current.AllocatePixels(360, 60), orbelune::err::kNone);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 360 * 3; ++x)
            current.row(y)[x] = static_cast<std::uint8_t>(30 + (x * 5 + y * 9) % 180);
    view->InitCropLines();
    view->ShowNewPanorama();
    app.session().SetFromCustomMirror(true);

    const auto expectPlaced = [this](const std::string& path, int top, int rows) {
        auto tags = ReadTags(path, "-XMP-GPano:all -ImageHeight");
        EXPECT_EQ(tags["FullPanoWidthPixels"], "360");
        EXPECT_EQ(tags["FullPanoHeightPixels"], "180");
        EXPECT_EQ(tags["CroppedAreaTopPixels"], std::to_string(top)) << path;
        EXPECT_EQ(tags["CroppedAreaImageHeightPixels"], std::to_string(rows)) << path;
        EXPECT_EQ(tags["ImageHeight"], std::to_string(rows)) << path;
    };
    SaveAs(PathIn("whole.jpg"), k360Filter);
    EXPECT_TRUE(ui.messages.empty()) << ui.LastMessage().toStdString();
    expectPlaced(PathIn("whole.jpg"), 70, 60);  // 90° − 20°

    // Rows 10 … 49 kept: the strip now starts 10° lower.
    app.session().cropLines().Set(10, 49);
    clock += 10;
    view->OnCrop();
    SaveAs(PathIn("cropped.jpg"), k360Filter);
    EXPECT_TRUE(ui.messages.empty()) << ui.LastMessage().toStdString();
    expectPlaced(PathIn("cropped.jpg"), 80, 40);

    // And the web page's picture the same.
    ui.Clear();
    ui.fileNames.push_back(QString::fromStdString(PathIn("page")));
    ui.answers.push_back(UiServices::Answer::No);
    clock += 10;
    view->OnShare360();
    expectPlaced(PathIn("page/panorama.jpg"), 80, 40);

    // Undone, the crop's elevations go back with its rows.
    clock += 10;
    view->OnUndo();
    SaveAs(PathIn("undone.jpg"), k360Filter);
    expectPlaced(PathIn("undone.jpg"), 70, 60);
}

}  // namespace
