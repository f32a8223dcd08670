#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/main_frame.h"
#include "app/orbelune_app.h"
#include "app/pano_view.h"
#include "app/pano_wnd.h"
#include "image/rgb_image.h"
#include "platform/settings_store.h"
#include "scripted_ui.h"

namespace {

bool SamePixels(const orbelune::RgbImage& a, const orbelune::RgbImage& b) {
    return a.width() == b.width() && a.height() == b.height() &&
           std::equal(a.data(), a.data() + a.byteCount(), b.data());
}

class PanoViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        app.now = [this] { return clock; };
        ASSERT_TRUE(app.InitInstance());
        app.frame()->show();
        view = app.panoView();
        wnd = view->imageWnd();
        dir = std::filesystem::temp_directory_path() /
              ("orbelune_pano_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        app.SetFile(QString::fromStdString((dir / "ring.JPG").string()),
                    QStringLiteral("ring.JPG"));
        ui.Clear();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // A new panorama arriving the way the unwarp delivers it.
    void Deliver(int width, int height) {
        view->PrepareForNewPanorama();
        app.SwitchView(2);
        orbelune::RgbImage& current = view->currentImage();
        ASSERT_EQ(current.AllocatePixels(width, height), orbelune::err::kNone);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width * 3; ++x) {
                current.row(y)[x] = static_cast<std::uint8_t>(40 + (x * 7 + y * 3) % 160);
            }
        }
        view->InitCropLines();
        view->ShowNewPanorama();
        view->UpdateSizeCaption();
        view->ShowNavigation();
        view->SetProgressIdlePlace();
    }
    // A drag of the slider's handle ending in a release.
    void DragSlider(CPanoView::Slider which, int value) {
        QSlider* s = view->slider(which);
        s->setSliderDown(true);
        s->setValue(value);
        s->setSliderDown(false);
    }
    std::string PathIn(const std::string& name) const { return (dir / name).string(); }

    std::time_t clock = 100000;
    orbelune::MemorySettingsStore store;
    ScriptedUi ui;
    COrbeluneApp app{store, ui};
    CPanoView* view = nullptr;
    CPanoWnd* wnd = nullptr;
    std::filesystem::path dir;
};

TEST_F(PanoViewTest, ShareAsA360WebPageProposesTheFolderWritesItAndOffersTheBrowser) {
    Deliver(720, 180);
    EXPECT_EQ(view->shareButton()->text(), QStringLiteral("Share as 360°…"));
    // Cancelled: nothing written.
    QTest::mouseClick(view->shareButton(), Qt::LeftButton);
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_TRUE(ui.dialogs[0].save);
    EXPECT_EQ(ui.dialogs[0].proposed.toStdString(), PathIn("ring_360"));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(app.busy());

    ui.Clear();
    clock += 10;
    ui.fileNames.push_back(QString::fromStdString(PathIn("web")));
    ui.answers.push_back(UiServices::Answer::Yes);
    view->OnShare360();
    ASSERT_EQ(ui.messages.size(), 1u) << ui.LastMessage().toStdString();
    EXPECT_EQ(ui.messages[0].buttons, UiServices::Buttons::YesNo);
    EXPECT_TRUE(ui.LastMessage().startsWith(QStringLiteral("The web page is in ") +
                                            QString::fromStdString(PathIn("web"))));
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0].toStdString(), PathIn("web/index.html"));
    std::ifstream page(PathIn("web/index.html"));
    const std::string text{std::istreambuf_iterator<char>(page), {}};
    EXPECT_NE(text.find("<title>ring</title>"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(PathIn("web/panorama.jpg")));
    EXPECT_EQ(app.lastTaskEnd(), clock);
    EXPECT_FALSE(app.busy());
    EXPECT_EQ(ui.waitDepth, 0);

    // No: the page stays, nothing opens. A destination that is a file: said.
    ui.Clear();
    clock += 10;
    ui.fileNames.push_back(QString::fromStdString(PathIn("web")));
    ui.answers.push_back(UiServices::Answer::No);
    view->OnShare360();
    EXPECT_TRUE(ui.opened.empty());
    ui.Clear();
    clock += 10;
    std::ofstream(PathIn("taken")) << "x";
    ui.fileNames.push_back(QString::fromStdString(PathIn("taken")));
    view->OnShare360();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Stop);
    EXPECT_TRUE(ui.LastMessage().contains(QStringLiteral("exists and is not a folder")));
    EXPECT_TRUE(ui.opened.empty());
    EXPECT_FALSE(app.busy());

    // A custom mirror's panorama is not reprojected as if it were a cylinder.
    ui.Clear();
    clock += 10;
    app.session().SetFromCustomMirror(true);
    view->OnShare360();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Stop);
    EXPECT_TRUE(ui.dialogs.empty());
    EXPECT_FALSE(std::filesystem::exists(PathIn("ring_360")));
    EXPECT_FALSE(app.busy());
}

}  // namespace

TEST_F(PanoViewTest, SliderReleaseAppliesToTheBaseAndBusyPutsItBack) {
    Deliver(300, 100);
    const orbelune::RgbImage base = wnd->images().base;
    const orbelune::RgbImage delivered = view->currentImage();
    wnd->cropLines().Set(10, 60);

    // Moving without letting go changes nothing.
    view->slider(CPanoView::kBrightness)->setSliderDown(true);
    view->slider(CPanoView::kBrightness)->setValue(80);
    EXPECT_TRUE(SamePixels(view->currentImage(), delivered));
    view->slider(CPanoView::kBrightness)->setSliderDown(false);
    EXPECT_EQ(view->lastAccepted().brightness, 80);
    EXPECT_DOUBLE_EQ(view->adjustments().brightness, 0.3);
    EXPECT_FALSE(SamePixels(view->currentImage(), delivered));
    EXPECT_TRUE(SamePixels(wnd->images().base, base));
    EXPECT_EQ(wnd->cropLines().top(), 0);  // the release gives up the crop lines
    EXPECT_EQ(wnd->cropLines().bottom(), 99);
    EXPECT_FALSE(app.busy());
    const orbelune::RgbImage brighter = view->currentImage();

    app.SetBusy(true);
    DragSlider(CPanoView::kSaturation, 250);
    EXPECT_EQ(view->slider(CPanoView::kSaturation)->value(), 100);
    EXPECT_EQ(ui.LastMessage(), QStringLiteral("Orbelune is busy doing another task."));
    EXPECT_TRUE(SamePixels(view->currentImage(), brighter));
    app.SetBusy(false);

    // A keyboard step counts as a release.
    ui.Clear();
    view->slider(CPanoView::kContrast)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(view->lastAccepted().contrast, 51);

    // Reset puts every slider back to neutral and the picture back to how it came.
    view->OnReset();
    EXPECT_EQ(view->slider(CPanoView::kBrightness)->value(), 50);
    EXPECT_EQ(view->slider(CPanoView::kSharpness)->value(), 0);  // off
    EXPECT_TRUE(SamePixels(view->currentImage(), delivered));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(app.busy());
}

TEST_F(PanoViewTest, CropUndoAndCaption) {
    Deliver(2000, 500);
    EXPECT_EQ(view->sizeCaption()->text(), QStringLiteral("PANO 2000 x 500"));
    DragSlider(CPanoView::kBrightness, 70);
    wnd->cropLines().Set(100, 399);
    QTest::mouseClick(view->cropButton(), Qt::LeftButton);
    EXPECT_EQ(view->sizeCaption()->text(), QStringLiteral("PANO 2000 x 300"));
    EXPECT_EQ(wnd->images().base.height(), 300);
    EXPECT_EQ(wnd->images().undo.height(), 500);
    EXPECT_EQ(wnd->cropLines().bottom(), 299);
    EXPECT_FALSE(app.busy());
    // The crop keeps the adjustment: current is the adjusted crop, base the plain one.
    EXPECT_FALSE(SamePixels(view->currentImage(), wnd->images().base));

    clock += 5;
    QTest::mouseClick(view->undoButton(), Qt::LeftButton);
    EXPECT_EQ(view->sizeCaption()->text(), QStringLiteral("PANO 2000 x 500"));
    EXPECT_EQ(wnd->images().base.height(), 500);
    EXPECT_TRUE(wnd->images().undo.empty());
    view->OnUndo();  // nothing left to undo
    EXPECT_EQ(wnd->images().base.height(), 500);

    // Inverted lines are refused with the user told.
    wnd->cropLines().Set(300, 200);
    ui.Clear();
    view->OnCrop();
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("Crop lines values are invalid."));
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Stop);
    EXPECT_EQ(wnd->images().base.height(), 500);
    EXPECT_FALSE(app.busy());
}

TEST_F(PanoViewTest, CropLinesFollowTheMouse) {
    Deliver(638, 310);  // vertical scale 0.5
    ASSERT_DOUBLE_EQ(wnd->verticalScale(), 155.0 / 310.0);
    QTest::mousePress(wnd, Qt::LeftButton, {}, QPoint(100, 20));  // row 40: the top line
    EXPECT_EQ(wnd->cropLines().dragState(), orbelune::CropLines::kTop);
    QTest::mouseMove(wnd, QPoint(100, 60));
    EXPECT_EQ(wnd->cropLines().top(), 120);
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, QPoint(100, 60));
    EXPECT_EQ(wnd->cropLines().top(), 120);

    QTest::mousePress(wnd, Qt::LeftButton, {}, QPoint(100, 150));  // row 300: the bottom line
    EXPECT_EQ(wnd->cropLines().dragState(), orbelune::CropLines::kBottom);
    QTest::mouseMove(wnd, QPoint(100, 40));  // above the top line
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, QPoint(100, 40));
    EXPECT_EQ(wnd->cropLines().bottom(), 120 + (310 - 120) / 2);

    // The bands a crop would remove are darkened; the kept rows are not.
    const QImage shot = wnd->grab().toImage();
    const QColor removed = shot.pixelColor(300, 10);
    const QColor kept = shot.pixelColor(300, 90);
    EXPECT_LT(removed.value(), kept.value());
}

TEST_F(PanoViewTest, SaveProposesTheNameAndWritesTheFile) {
    Deliver(400, 120);
    const std::string target = PathIn("out.bmp");
    ui.fileNames.push_back(QString::fromStdString(target));
    QTest::mouseClick(view->savePanoramaButton(), Qt::LeftButton);

    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_TRUE(ui.dialogs[0].save);
    EXPECT_EQ(ui.dialogs[0].title, QStringLiteral("Save current image as a panorama image file"));
    EXPECT_EQ(ui.dialogs[0].proposed, QString::fromStdString(PathIn("ring_pano.JPG")));
    EXPECT_TRUE(ui.dialogs[0].filters.contains(QStringLiteral("*.jpg")));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(view->saveFormat(), orbelune::ImageFormat::Bmp);
    EXPECT_EQ(view->movieSettings().moviePath, target);
    EXPECT_EQ(app.lastTaskEnd(), clock);
    EXPECT_EQ(ui.waitBegins, 1);
    EXPECT_EQ(ui.waitDepth, 0);
    EXPECT_FALSE(app.busy());
    orbelune::RgbImage back;
    ASSERT_EQ(back.LoadImageFile(target), orbelune::err::kNone);
    EXPECT_TRUE(SamePixels(back, view->currentImage()));

    // Within two seconds of the save a new command is swallowed.
    ui.Clear();
    view->OnSavePanorama();
    EXPECT_TRUE(ui.dialogs.empty());
    clock += 2;

    // An existing file is kept when the user says no to replacing it.
    const auto written = std::filesystem::last_write_time(target);
    ui.fileNames.push_back(QString::fromStdString(target));
    ui.answers.push_back(UiServices::Answer::No);
    view->OnSavePanorama();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].buttons, UiServices::Buttons::YesNo);
    EXPECT_EQ(std::filesystem::last_write_time(target), written);
    EXPECT_EQ(app.lastTaskEnd(), clock - 2);
    EXPECT_FALSE(app.busy());
}

TEST_F(PanoViewTest, SaveRefusalsAndFailuresAreReported) {
    Deliver(200, 60);
    auto saveTo = [this](const std::string& path) {
        clock += 10;
        ui.Clear();
        ui.fileNames.push_back(QString::fromStdString(path));
        view->OnSavePanorama();
        EXPECT_FALSE(app.busy());
    };

    // Cancelled dialog: nothing at all.
    clock += 10;
    ui.Clear();
    view->OnSavePanorama();
    EXPECT_EQ(ui.dialogs.size(), 1u);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(app.busy());

    saveTo(PathIn("noextension"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              QStringLiteral("There is a problem.  File format has not been selected."));
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Stop);

    // A file another program holds locked.
    const std::string held = PathIn("held.jpg");
    {
        std::FILE* f = std::fopen(held.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    const int holder = ::open(held.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_SH), 0);
    ui.answers.push_back(UiServices::Answer::Yes);  // replace it
    saveTo(held);
    ::close(holder);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text,
              QStringLiteral("File is busy in another application.  Please close the file or "
                             "choose a different name for the file."));
    EXPECT_EQ(ui.messages[1].icon, UiServices::Icon::Stop);
    EXPECT_EQ(std::filesystem::file_size(held), 0u);

    // A write that fails is not passed over in silence.
    const std::time_t before = app.lastTaskEnd();
    saveTo(PathIn("missing-folder/out.jpg"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Stop);
    EXPECT_FALSE(ui.messages[0].text.isEmpty());
    EXPECT_EQ(ui.waitDepth, 0);
    EXPECT_NE(app.lastTaskEnd(), before);

    // No panorama: the command ends quietly.
    view->FreeImages();
    clock += 10;
    ui.Clear();
    view->OnSavePanorama();
    EXPECT_TRUE(ui.dialogs.empty());
    EXPECT_FALSE(app.busy());
}

TEST_F(PanoViewTest, NavigationCommands) {
    Deliver(300, 90);
    clock += 10;
    view->OnBack();
    EXPECT_EQ(app.view(), 1);
    app.SwitchView(2);
    view->OnStartOver();
    EXPECT_EQ(app.view(), 0);
    EXPECT_FALSE(wnd->HasImage());
    EXPECT_TRUE(wnd->images().base.empty());
    EXPECT_FALSE(wnd->cropLines().shown());
    EXPECT_FALSE(app.busy());

    // The progress display raises the busy flag; it is back down once the work ends.
    app.SwitchView(2);
    view->PrepareForNewPanorama();
    EXPECT_TRUE(view->backButton()->isHidden());
    EXPECT_TRUE(view->sizeCaption()->isHidden());
    view->ShowProgress(5, 10);
    EXPECT_TRUE(app.busy());
    view->HideProgress();
    app.SetBusy(false);
}
