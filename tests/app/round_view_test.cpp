#include <gtest/gtest.h>

#include <unistd.h>
#include <QAbstractButton>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <filesystem>

#include "app/image_wnd.h"
#include "app/main_frame.h"
#include "app/orbelune_app.h"
#include "app/pano_view.h"
#include "app/round_view.h"
#include "app/round_wnd.h"
#include "image/rgb_image.h"
#include "platform/settings_store.h"
#include "scripted_ui.h"
#include "unwarp/ring_params.h"
#include "unwarp/ring_synth.h"
#include "unwarp/test_scene.h"
#include "unwarp/unwarp.h"

namespace {

// A grey gradient photograph (or, with ringRadius, a synthetic ring photo)
// written to a temporary BMP file.
std::string WriteRawPhoto(int width, int height, const std::string& name, int ringRadius = 0) {
    orbelune::RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), orbelune::err::kNone);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width * 3; ++x)
            image.row(y)[x] = static_cast<std::uint8_t>((x + y) & 0xFF);
    }
    if (ringRadius > 0) {
        orbelune::SynthOptions options;
        options.width = width;
        options.height = height;
        options.xCenter = width / 2 + 10;
        options.yCenter = height / 2 - 5;
        options.outerRadius = ringRadius;
        options.supersample = 1;
        const auto size = orbelune::UnwarpOutputSize(ringRadius, options.mirrorType);
        EXPECT_EQ(orbelune::SynthesizeRing(orbelune::MakeTestScene(static_cast<int>(size.width),
                                                                   static_cast<int>(size.height)),
                                           options, image),
                  orbelune::err::kNone);
    }
    const auto path = std::filesystem::temp_directory_path() /
                      ("orbelune_round_" + std::to_string(::getpid()) + "_" + name + ".bmp");
    EXPECT_EQ(image.SaveImageFile(path.string(), orbelune::ImageFormat::Bmp), orbelune::err::kNone);
    return path.string();
}

class RoundViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        app.now = [this] { return clock; };
        ASSERT_TRUE(app.InitInstance());
        app.frame()->show();
        view = app.roundView();
        wnd = view->imageWnd();
        ui.Clear();
    }
    void TearDown() override {
        for (const auto& f : files)
            std::filesystem::remove(f);
    }

    // Opens a photograph the way the start view does.
    void Open(int width, int height, int ringRadius = 0) {
        files.push_back(WriteRawPhoto(width, height, std::to_string(files.size()), ringRadius));
        view->HideButtons();
        app.SwitchView(1);
        ASSERT_TRUE(view->LoadRawImage(QString::fromStdString(files.back())));
        view->ShowButtons();
        view->AfterLoad();
    }
    QPoint WindowPoint(int imageX, int imageY) const {
        const orbelune::RoundDisplay& d = wnd->display();
        return {static_cast<int>(d.originX + imageX * d.scale + 0.999),
                static_cast<int>(d.originY + imageY * d.scale + 0.999)};
    }

    std::time_t clock = 100000;
    orbelune::MemorySettingsStore store;
    ScriptedUi ui;
    COrbeluneApp app{store, ui};
    CRoundView* view = nullptr;
    CRoundWnd* wnd = nullptr;
    std::vector<std::string> files;
};

}  // namespace

TEST_F(RoundViewTest, AStoredRingThatCannotBelongToThePhotoIsFoundOrReset) {
    store.SetInt("DEFAULTS", "OuterRadius", 5000);
    store.SetInt("DEFAULTS", "InnerRadius", 900);
    Open(1600, 1200);  // no ring in a gradient: the photo's defaults
    EXPECT_EQ(wnd->ring(), (orbelune::RingParams{800, 600, 60, 300}));
    EXPECT_EQ(view->sizeLabel()->text(), QStringLiteral("1600 x 1200 (ring reset)"));

    Open(400, 300, 120);  // a ring photo: the ring is found
    EXPECT_NEAR(wnd->ring().XCenter, 210, 2);
    EXPECT_NEAR(wnd->ring().YCenter, 145, 2);
    EXPECT_NEAR(wnd->ring().OuterRadius, 121, 3);
    EXPECT_EQ(view->sizeLabel()->text(), QStringLiteral("400 x 300 (ring found)"));

    // Find ring moves a ring placed by hand back onto the mirror.
    wnd->ring() = orbelune::RingParams{150, 150, 60, 100};
    view->findRingButton()->click();
    EXPECT_NEAR(wnd->ring().XCenter, 210, 2);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(app.busy());

    // A stored ring that fits is kept, and the gradient has no ring to find.
    store.SetInt("DEFAULTS", "OuterRadius", 300);
    store.SetInt("DEFAULTS", "InnerRadius", 60);
    Open(1600, 1200);
    EXPECT_EQ(view->sizeLabel()->text(), QStringLiteral("1600 x 1200"));
    view->findRingButton()->click();
    EXPECT_EQ(wnd->ring(), (orbelune::RingParams{800, 600, 60, 300}));
    EXPECT_EQ(ui.LastMessage(), QStringLiteral("No ring was found in this photograph."));
}

TEST_F(RoundViewTest, LoadSetsRingFromStoreAndFitsTheDisplay) {
    store.SetInt("DEFAULTS", "XCENTER", 700);
    store.SetInt("DEFAULTS", "YCENTER", 500);
    store.SetInt("DEFAULTS", "OuterRadius", 420);
    Open(1600, 1200);
    EXPECT_EQ(wnd->ring(), (orbelune::RingParams{700, 500, 60, 420}));
    // The photo with a margin of 300 around it, centred.
    EXPECT_EQ(wnd->display().width, 316);
    EXPECT_EQ(wnd->display().height, 237);
    EXPECT_EQ(wnd->displayBitmap().size(), QSize(316, 237));
    EXPECT_EQ(view->sizeLabel()->text(), QStringLiteral("1600 x 1200"));
    EXPECT_FALSE(view->unwarpButton()->isHidden());
    EXPECT_EQ(ui.waitDepth, 0);
    EXPECT_FALSE(view->progressBar()->isVisible());  // hidden again after the rebuild
    EXPECT_FALSE(app.busy());

    const QImage shot = wnd->grab().toImage();
    // The ring's crosshair passes through the centre in the ring colour.
    const orbelune::RoundDisplay& d = wnd->display();
    const int cx = static_cast<int>(d.originX + 700 * d.scale);
    const int cy = static_cast<int>(d.originY + 500 * d.scale);
    const QColor ringColour(120, 255, 90);
    // The margin around the photo is the window's background.
    EXPECT_EQ(shot.pixelColor(d.originX - 5, d.originY + 30), QColor(Qt::black));
    EXPECT_TRUE(shot.pixelColor(cx - 20, cy) == ringColour ||
                shot.pixelColor(cx - 20, cy - 1) == ringColour ||
                shot.pixelColor(cx - 20, cy + 1) == ringColour);
    // A dark outline runs beside the bright line, so it shows on light pictures too.
    int line = 0;
    while (line < 1 && shot.pixelColor(cx - 20, cy + line) != ringColour)
        line = line == 0 ? -1 : line + 2;
    const auto light = [&](int dy) { return shot.pixelColor(cx - 20, cy + line + dy).lightness(); };
    EXPECT_LT(light(-1), light(-3) - 60);  // the picture is light above the line here

    EXPECT_NE(shot.pixelColor(cx - 20, cy + 12), ringColour);
}

TEST_F(RoundViewTest, FailedLoadShowsPlainErrorAndKeepsTheRing) {
    Open(800, 600);
    const orbelune::RingParams before = wnd->ring();
    ui.Clear();
    EXPECT_FALSE(view->LoadRawImage(QStringLiteral("/nonexistent/ring.jpg")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::None);
    EXPECT_EQ(ui.messages[0].buttons, UiServices::Buttons::Ok);
    // The file and the system's reason.
    EXPECT_EQ(ui.messages[0].text,
              QStringLiteral("\"ring.jpg\" cannot be opened (No such file or directory)."));
    EXPECT_EQ(wnd->ring(), before);
    EXPECT_TRUE(wnd->displayBitmap().isNull());
}

TEST_F(RoundViewTest, MouseDragsFollowTheRingRules) {
    Open(1600, 1200);  // ring 800, 600, 60, 300; window 476 x 356, scale 0.1975
    const orbelune::RoundDisplay display = wnd->display();
    auto image = [display](QPoint w) { return orbelune::WindowToImage(w.x(), w.y(), display); };

    // Press 30 px from the centre: the centre is taken even though the inner circle is near too.
    QTest::mousePress(wnd, Qt::LeftButton, {}, WindowPoint(830, 600));
    EXPECT_EQ(wnd->editor().grabbed(), orbelune::RingHandle::Centre);
    EXPECT_EQ(wnd->cursor().shape(), Qt::ClosedHandCursor);
    const QPoint inside(268, 190);
    QTest::mouseMove(wnd, inside);
    EXPECT_EQ(wnd->ring().XCenter, image(inside).x);
    EXPECT_EQ(wnd->ring().YCenter, image(inside).y);
    // Towards the left edge: the outer circle would cross it, so only y follows.
    const QPoint nearLeft(50, 185);
    QTest::mouseMove(wnd, nearLeft);
    EXPECT_EQ(wnd->ring().XCenter, image(inside).x);
    EXPECT_EQ(wnd->ring().YCenter, image(nearLeft).y);
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, nearLeft);
    EXPECT_TRUE(wnd->editor().picking());
    const int x = wnd->ring().XCenter;
    const int y = wnd->ring().YCenter;

    // The inner circle: inward it stops at 40, outward at OuterRadius - 80.
    QTest::mousePress(wnd, Qt::LeftButton, {}, WindowPoint(x + 65, y));
    EXPECT_EQ(wnd->editor().grabbed(), orbelune::RingHandle::Inner);
    QTest::mouseMove(wnd, WindowPoint(x + 4, y));
    EXPECT_EQ(wnd->ring().InnerRadius, 40);
    QTest::mouseMove(wnd, WindowPoint(x + 500, y));
    EXPECT_EQ(wnd->ring().InnerRadius, 220);
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, WindowPoint(x + 500, y));

    // The outer circle grows, but not past the nearer window edge.
    QTest::mousePress(wnd, Qt::LeftButton, {}, WindowPoint(x, y + 300));
    EXPECT_EQ(wnd->editor().grabbed(), orbelune::RingHandle::Outer);
    QTest::mouseMove(wnd, WindowPoint(x, y + 400));
    const int grown = wnd->ring().OuterRadius;
    EXPECT_GE(grown, 400);
    EXPECT_LE(grown, 404);
    QTest::mouseMove(wnd, QPoint(inside.x(), 400));  // below the window
    EXPECT_EQ(wnd->ring().OuterRadius, grown);
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, QPoint(inside.x(), 400));

    // Nothing is edited while a task runs.
    app.SetBusy(true);
    QTest::mousePress(wnd, Qt::LeftButton, {}, WindowPoint(x, y));
    QTest::mouseMove(wnd, WindowPoint(x + 50, y));
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, WindowPoint(x + 50, y));
    EXPECT_EQ(wnd->ring().XCenter, x);
    app.SetBusy(false);
}

TEST_F(RoundViewTest, DraggingTheSeamMarkerStoresTheSeam) {
    Open(1600, 1200);  // mirror 1: the seam runs against the angle
    EXPECT_DOUBLE_EQ(wnd->seamAngle(), 0);
    const orbelune::WindowPoint marker =
        orbelune::SeamMarkerPoint(wnd->ring(), wnd->display(), wnd->seamAngle());
    const QPoint at(static_cast<int>(marker.x), static_cast<int>(marker.y));
    QTest::mousePress(wnd, Qt::LeftButton, {}, at);
    EXPECT_EQ(wnd->editor().grabbed(), orbelune::RingHandle::Seam);
    // Straight above the centre: 270 degrees on the circle.
    const QPoint above = WindowPoint(800, 100);
    QTest::mouseMove(wnd, above);
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, above);
    EXPECT_EQ(store.GetInt("EQUIPMENT", "SEAM", -1), 90);
    EXPECT_DOUBLE_EQ(wnd->seamAngle(), 270);
    EXPECT_EQ(wnd->ring(), (orbelune::RingParams{800, 600, 60, 300}));

    // The marker is drawn in its colour where it now sits.
    const QImage shot = wnd->grab().toImage();
    const orbelune::WindowPoint moved =
        orbelune::SeamMarkerPoint(wnd->ring(), wnd->display(), wnd->seamAngle());
    EXPECT_EQ(shot.pixelColor(static_cast<int>(moved.x), static_cast<int>(moved.y)),
              QColor(230, 120, 0));

    // The next photo opens with the stored seam; the unwarp turns by it.
    Open(1600, 1200);
    EXPECT_DOUBLE_EQ(wnd->seamAngle(), 270);
}

TEST_F(RoundViewTest, UnwarpStoresTheRingThenShowsThePanorama) {
    Open(1600, 1200);
    wnd->ring() = {810, 590, 70, 330};
    store.ClearWrites();
    ui.Clear();
    QTest::mouseClick(view->unwarpButton(), Qt::LeftButton);

    EXPECT_EQ(store.writes(),
              (std::vector<std::string>{"DEFAULTS/XCENTER", "DEFAULTS/YCENTER",
                                        "DEFAULTS/OuterRadius", "DEFAULTS/InnerRadius"}));
    EXPECT_EQ(store.GetInt("DEFAULTS", "OuterRadius", 0), 330);
    EXPECT_EQ(app.view(), 2);
    EXPECT_FALSE(app.busy());
    EXPECT_EQ(app.lastTaskEnd(), clock);
    EXPECT_TRUE(ui.messages.empty());
    const auto size = orbelune::UnwarpOutputSize(330, app.mirror());
    CPanoView* pano = app.panoView();
    EXPECT_EQ(pano->currentImage().width(), size.width);
    EXPECT_EQ(pano->currentImage().height(), size.height);
    EXPECT_EQ(pano->sizeCaption()->text(),
              QString::asprintf("PANO %lld x %lld", size.width, size.height));
    EXPECT_FALSE(pano->backButton()->isHidden());
    EXPECT_FALSE(pano->progressBar()->isVisible());

    // Back within the second the unwarp ended does nothing; later it works.
    app.SwitchView(1);
    clock += 1;
    QTest::mouseClick(view->backButton(), Qt::LeftButton);
    EXPECT_EQ(app.view(), 1);
    EXPECT_FALSE(wnd->rawImage().empty());
    clock += 1;
    store.ClearWrites();
    QTest::mouseClick(view->backButton(), Qt::LeftButton);
    EXPECT_EQ(app.view(), 0);
    EXPECT_TRUE(wnd->rawImage().empty());
    EXPECT_TRUE(store.writes().empty());  // leaving does not store the ring
    EXPECT_FALSE(app.busy());
}

TEST_F(RoundViewTest, TheCustomMirrorUnwarpsWithItsStoredElevations) {
    store.SetInt("EQUIPMENT", "CUSTOM_OUTER_ELEVATION", 20);
    store.SetInt("EQUIPMENT", "CUSTOM_INNER_ELEVATION", -25);
    app.session().SetMirror(4);
    Open(800, 600);
    wnd->ring() = {400, 300, 60, 200};
    view->OnUnwarp();
    EXPECT_TRUE(ui.messages.empty());
    // W = 1256; 45 degrees of it: 157 rows.
    EXPECT_EQ(app.panoView()->currentImage().width(), 1256);
    EXPECT_EQ(app.panoView()->currentImage().height(), 157);
}

TEST_F(RoundViewTest, UnwarpFailureAndBusyRefusal) {
    Open(800, 600);
    app.SetBusy(true);
    store.ClearWrites();
    view->OnUnwarp();
    EXPECT_TRUE(store.writes().empty());
    EXPECT_EQ(ui.LastMessage(), QStringLiteral("Orbelune is busy doing another task."));
    EXPECT_EQ(app.view(), 1);
    view->OnBack();
    EXPECT_EQ(app.view(), 1);
    EXPECT_EQ(ui.messages.size(), 2u);
    app.SetBusy(false);

    wnd->ring().OuterRadius = 0;  // gives no panorama at all
    ui.Clear();
    view->OnUnwarp();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("Error unwarping image."));
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Stop);
    EXPECT_FALSE(app.busy());
    EXPECT_EQ(app.view(), 2);
    EXPECT_TRUE(app.panoView()->currentImage().empty());
    EXPECT_EQ(app.lastTaskEnd(), 0);
}
