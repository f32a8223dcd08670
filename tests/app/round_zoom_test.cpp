#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QSpinBox>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <filesystem>

#include "app/main_frame.h"
#include "app/orbelune_app.h"
#include "app/ring_preview.h"
#include "app/round_view.h"
#include "app/round_wnd.h"
#include "image/rgb_image.h"
#include "platform/settings_store.h"
#include "scripted_ui.h"

namespace {

using Field = CRoundView::Field;

std::string WritePhoto(int width, int height, const std::string& name) {
    orbelune::RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), orbelune::err::kNone);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width * 3; ++x)
            image.row(y)[x] = static_cast<std::uint8_t>((x / 3 * 7 + y * 3) & 0xFF);
    }
    const auto path = std::filesystem::temp_directory_path() /
                      ("orbelune_zoom_" + std::to_string(::getpid()) + "_" + name + ".bmp");
    EXPECT_EQ(image.SaveImageFile(path.string(), orbelune::ImageFormat::Bmp), orbelune::err::kNone);
    return path.string();
}

class RoundZoomTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(app.InitInstance());
        app.frame()->show();
        view = app.roundView();
        wnd = view->imageWnd();
    }
    void TearDown() override {
        for (const auto& f : files)
            std::filesystem::remove(f);
    }
    void Open(int width, int height) {
        files.push_back(WritePhoto(width, height, std::to_string(files.size())));
        app.SwitchView(1);
        ASSERT_TRUE(view->LoadRawImage(QString::fromStdString(files.back())));
        view->AfterLoad();
    }
    QPoint At(double imageX, double imageY) const {
        const orbelune::RoundDisplay& d = wnd->display();
        return {static_cast<int>(d.originX + imageX * d.scale + 0.999),
                static_cast<int>(d.originY + imageY * d.scale + 0.999)};
    }
    QPointF ImageAt(QPoint window) const {
        const orbelune::RoundDisplay& d = wnd->display();
        return {(window.x() - d.originX) / d.scale, (window.y() - d.originY) / d.scale};
    }
    void Wheel(QPoint at, int delta) {
        QWheelEvent event(QPointF(at), QPointF(wnd->mapToGlobal(at)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(wnd, &event);
    }
    int Value(Field which) const { return view->field(which)->value(); }

    orbelune::MemorySettingsStore store;
    ScriptedUi ui;
    COrbeluneApp app{store, ui};
    CRoundView* view = nullptr;
    CRoundWnd* wnd = nullptr;
    std::vector<std::string> files;
};

}  // namespace

TEST_F(RoundZoomTest, TheWheelZoomsAboutThePointerAndFitShowsATallPhotoWholly) {
    Open(300, 900);
    const orbelune::RoundDisplay fit = wnd->display();
    // The whole photograph is inside the window, its height deciding.
    EXPECT_GE(fit.originY, 0);
    EXPECT_LE(fit.originY + fit.height, wnd->height());
    EXPECT_GE(fit.originX, 0);
    EXPECT_LE(fit.originX + fit.width, wnd->width());

    // Near a corner, away from the ring drawn over the photograph.
    const QPoint pointer(fit.originX + fit.width / 12, fit.originY + fit.height / 20);
    const QPointF before = ImageAt(pointer);
    Wheel(pointer, 240);
    EXPECT_NEAR(wnd->display().scale, fit.scale * 1.25 * 1.25, 1e-9);
    const QPointF after = ImageAt(pointer);
    EXPECT_NEAR(after.x(), before.x(), 1.0);
    EXPECT_NEAR(after.y(), before.y(), 1.0);
    // The zoomed view shows the photograph's own pixels under the pointer.
    QImage shown = wnd->grab().toImage().convertToFormat(QImage::Format_RGB888);
    const orbelune::RoundDisplay& d = wnd->display();
    const int ix = static_cast<int>(std::floor((pointer.x() + 0.5 - d.originX) / d.scale));
    const int iy = static_cast<int>(std::floor((pointer.y() + 0.5 - d.originY) / d.scale));
    EXPECT_EQ(qRed(shown.pixel(pointer)), (ix * 7 + iy * 3) & 0xFF);

    // 100 % and back to fit.
    QTest::keyClick(wnd, Qt::Key_1);
    EXPECT_DOUBLE_EQ(wnd->display().scale, 1.0);
    QTest::keyClick(wnd, Qt::Key_Minus);
    EXPECT_DOUBLE_EQ(wnd->display().scale, 0.8);
    // The middle button pans a zoomed view.
    const int x0 = wnd->display().originX;
    QTest::mousePress(wnd, Qt::MiddleButton, {}, QPoint(200, 150));
    QTest::mouseMove(wnd, QPoint(230, 150));
    QTest::mouseRelease(wnd, Qt::MiddleButton, {}, QPoint(230, 150));
    EXPECT_EQ(wnd->display().originX, x0 + 30);
    QTest::keyClick(wnd, Qt::Key_0);
    EXPECT_EQ(wnd->display().originX, fit.originX);
    EXPECT_DOUBLE_EQ(wnd->display().scale, fit.scale);
    // Zooming out never goes below the fitted view.
    Wheel(pointer, -480);
    EXPECT_DOUBLE_EQ(wnd->display().scale, fit.scale);
}

TEST_F(RoundZoomTest, GrabReachIsInScreenPixelsAtEveryZoom) {
    Open(1600, 1200);  // ring 800, 600, 60, 300
    // At fit, 30 image pixels (6 screen pixels) from the centre take the centre.
    QTest::mousePress(wnd, Qt::LeftButton, {}, At(830, 600));
    EXPECT_EQ(wnd->editor().grabbed(), orbelune::RingHandle::Centre);
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, At(830, 600));
    EXPECT_EQ(wnd->ring().XCenter, 800);

    // At 100 % the same 30 image pixels are 30 screen pixels: out of reach.
    wnd->ZoomTo(1.0, At(800, 600));
    QTest::mousePress(wnd, Qt::LeftButton, {}, At(830, 600));
    EXPECT_EQ(wnd->editor().grabbed(), orbelune::RingHandle::None);
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, At(830, 600));
    // 6 screen pixels still reach it.
    QTest::mousePress(wnd, Qt::LeftButton, {}, At(806, 600));
    EXPECT_EQ(wnd->editor().grabbed(), orbelune::RingHandle::Centre);
    // Dragged at 100 %, the centre follows the pointer pixel by pixel.
    QTest::mouseMove(wnd, At(809, 598));
    EXPECT_EQ(wnd->ring().XCenter, 809);
    EXPECT_EQ(wnd->ring().YCenter, 598);
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, At(809, 598));
}

TEST_F(RoundZoomTest, ArrowKeysNudgeTheSelectedHandleAndTheFieldsFollow) {
    Open(1600, 1200);
    wnd->setFocus();
    QTest::keyClick(wnd, Qt::Key_Right);
    QTest::keyClick(wnd, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(wnd->ring().XCenter, 801);
    EXPECT_EQ(wnd->ring().YCenter, 590);
    EXPECT_EQ(Value(Field::CentreX), 801);
    EXPECT_EQ(Value(Field::CentreY), 590);

    // Clicking the outer circle selects it for the keys.
    QTest::mousePress(wnd, Qt::LeftButton, {}, At(801, 890));
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, At(801, 890));
    ASSERT_EQ(wnd->editor().selected(), orbelune::RingHandle::Outer);
    QTest::keyClick(wnd, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(wnd, Qt::Key_Down);
    EXPECT_EQ(wnd->ring().OuterRadius, 309);
    EXPECT_EQ(Value(Field::Outer), 309);
    EXPECT_EQ(wnd->ring().XCenter, 801);
}

TEST_F(RoundZoomTest, FieldsAndDragsAgree) {
    Open(1600, 1200);
    // A drag shows in the fields at every step.
    QTest::mousePress(wnd, Qt::LeftButton, {}, At(800, 600));
    QTest::mouseMove(wnd, At(840, 620));
    EXPECT_EQ(Value(Field::CentreX), wnd->ring().XCenter);
    EXPECT_EQ(Value(Field::CentreY), wnd->ring().YCenter);
    EXPECT_NE(wnd->ring().XCenter, 800);
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, At(840, 620));

    // A field moves the ring.
    view->field(Field::CentreX)->setValue(777);
    view->field(Field::Inner)->setValue(90);
    EXPECT_EQ(wnd->ring().XCenter, 777);
    EXPECT_EQ(wnd->ring().InnerRadius, 90);
    // With the drag's limits: the gap of 80, and the window for the outer circle.
    view->field(Field::Inner)->setValue(1000);
    EXPECT_EQ(wnd->ring().InnerRadius, wnd->ring().OuterRadius - 80);
    EXPECT_EQ(Value(Field::Inner), wnd->ring().InnerRadius);
    view->field(Field::Outer)->setValue(5000);
    EXPECT_EQ(wnd->ring().OuterRadius, 300);
    EXPECT_EQ(Value(Field::Outer), 300);
    view->field(Field::Outer)->setValue(350);
    EXPECT_EQ(wnd->ring().OuterRadius, 350);

    // A busy program refuses the edit and shows the ring as it is.
    app.SetBusy(true);
    view->field(Field::CentreY)->setValue(500);
    EXPECT_NE(wnd->ring().YCenter, 500);
    EXPECT_EQ(Value(Field::CentreY), wnd->ring().YCenter);
    app.SetBusy(false);
}

TEST_F(RoundZoomTest, TheStripAndTheLoupeFollowADrag) {
    Open(1600, 1200);
    CRingPreview* preview = view->ringPreview();
    ASSERT_FALSE(preview->strip().isNull());
    EXPECT_GE(preview->strip().width(), preview->width() - 3);
    EXPECT_EQ(preview->strip().height(), preview->height());
    const QImage first = preview->strip();
    const int before = preview->updates();

    QTest::mousePress(wnd, Qt::LeftButton, {}, At(800, 600));
    EXPECT_FALSE(wnd->loupe().isNull());
    EXPECT_GE(wnd->loupeScale(), 1.0);
    QTest::mouseMove(wnd, At(850, 600));
    EXPECT_EQ(preview->updates(), before + 1);
    QTest::mouseMove(wnd, At(870, 640));
    EXPECT_EQ(preview->updates(), before + 2);
    // Another centre shows another strip of the gradient.
    EXPECT_NE(preview->strip(), first);
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, At(870, 640));
    EXPECT_TRUE(wnd->loupe().isNull());
    // Moving without a drag changes nothing.
    QTest::mouseMove(wnd, At(700, 500));
    EXPECT_EQ(preview->updates(), before + 2);
}
