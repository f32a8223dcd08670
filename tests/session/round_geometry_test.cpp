#include <gtest/gtest.h>

#include <utility>

#include "session/round_geometry.h"

using orbelune::FitRoundDisplay;
using orbelune::ImagePoint;
using orbelune::RingEditor;
using orbelune::RingHandle;
using orbelune::RingParams;
using orbelune::RingWindow;
using orbelune::RoundDisplay;

namespace {

RingWindow WindowFor(int imageWidth, int imageHeight, int clientWidth = 476,
                     int clientHeight = 356) {
    const auto fit = FitRoundDisplay(imageWidth, imageHeight, clientWidth, clientHeight);
    return {imageWidth, imageHeight, clientWidth, clientHeight, fit, fit};
}

// Window pixel of an image coordinate, rounded up so it converts back to at least it.
int ToWindowX(int image, const RingWindow& window) {
    return static_cast<int>(window.display.originX + image * window.display.scale + 0.999);
}
int ToWindowY(int image, const RingWindow& window) {
    return static_cast<int>(window.display.originY + image * window.display.scale + 0.999);
}

// A square photograph filling a square window, no margin: window and image
// pixels differ by the scale alone.
const RingWindow kSquare{1000, 1000, 400, 400, RoundDisplay{400, 400, 0, 0, 0.4}, RoundDisplay{}};

}  // namespace

TEST(RoundGeometry, FitsThePhotoWithItsMarginIntoTheWindowCentred) {
    // 1600 x 1200 with 300 on every side: 2200 x 1800 into 476 x 356, the height decides.
    const auto landscape = FitRoundDisplay(1600, 1200, 476, 356);
    EXPECT_EQ(landscape.width, 316);
    EXPECT_EQ(landscape.height, 237);
    EXPECT_DOUBLE_EQ(landscape.scale, 316.0 / 1600);
    EXPECT_EQ(landscape.originX, 80);
    EXPECT_EQ(landscape.originY, 59);
    // The whole margin is visible: its corners lie inside the window.
    EXPECT_GE(landscape.originX - 300 * landscape.scale, 0);
    EXPECT_GE(landscape.originY - 300 * landscape.scale, -0.5);
    // The window's centre is the photo's; points off the photo are negative.
    const ImagePoint p = orbelune::WindowToImage(238, 178, landscape);
    EXPECT_EQ(p.x, 800);
    EXPECT_EQ(p.y, 602);
    const ImagePoint off = orbelune::WindowToImage(70, 50, landscape);
    EXPECT_EQ(off.x, -51);
    EXPECT_EQ(off.y, -46);

    // Portrait: 1200 x 1600 + 600 = 1800 x 2200; 356 / 2200 of it.
    const auto portrait = FitRoundDisplay(1200, 1600, 476, 356);
    EXPECT_EQ(portrait.height, 258);
    EXPECT_EQ(portrait.originY, 49);
    EXPECT_EQ(portrait.originX, (476 - portrait.width) / 2);

    const auto none = FitRoundDisplay(0, 0, 476, 356);
    EXPECT_EQ(none.scale, 0.0);
    EXPECT_EQ(orbelune::WindowToImage(10, 10, none).x, 0);
}

TEST(RoundGeometry, PicksCentreThenOuterThenInner) {
    const RingParams ring{800, 600, 60, 300};
    // 30 px out is within reach of the centre and of the inner circle: centre wins.
    EXPECT_EQ(orbelune::PickHandle(30, ring), RingHandle::Centre);
    EXPECT_EQ(orbelune::PickHandle(39, ring), RingHandle::Centre);
    EXPECT_EQ(orbelune::PickHandle(40, ring), RingHandle::Inner);
    EXPECT_EQ(orbelune::PickHandle(99, ring), RingHandle::Inner);
    EXPECT_EQ(orbelune::PickHandle(100, ring), RingHandle::None);
    EXPECT_EQ(orbelune::PickHandle(261, ring), RingHandle::Outer);
    EXPECT_EQ(orbelune::PickHandle(339, ring), RingHandle::Outer);
    EXPECT_EQ(orbelune::PickHandle(340, ring), RingHandle::None);
    // Circles closer than the tolerance: the outer one is taken first.
    const RingParams close{800, 600, 200, 260};
    EXPECT_EQ(orbelune::PickHandle(230, close), RingHandle::Outer);
    // Distances are whole image pixels, truncated.
    EXPECT_EQ(orbelune::DistanceFromCentre({803, 604}, ring), 5);
    EXPECT_EQ(orbelune::DistanceFromCentre({801, 601}, ring), 1);
}

TEST(RoundGeometry, InnerCircleDragStopsAtItsLimits) {
    RingParams ring{800, 600, 100, 300};
    const RingWindow window = WindowFor(1600, 1200);
    RingEditor editor;
    // Press on the inner circle, right of the centre.
    ASSERT_TRUE(editor.Press(ToWindowX(900, window), ToWindowY(600, window), ring, window));
    EXPECT_EQ(editor.grabbed(), RingHandle::Inner);
    EXPECT_EQ(editor.cursorState(), RingEditor::kJustGrabbed);
    // Towards the centre (but outside the centre's own reach on the way): stops at 40.
    editor.Move(ToWindowX(805, window), ToWindowY(600, window), ring, window);
    EXPECT_EQ(ring.InnerRadius, 40);
    // Far outward: stops 80 inside the outer circle.
    editor.Move(ToWindowX(1500, window), ToWindowY(600, window), ring, window);
    EXPECT_EQ(ring.InnerRadius, 220);
    EXPECT_EQ(ring.OuterRadius, 300);
    editor.Release();
    EXPECT_TRUE(editor.picking());
    EXPECT_FALSE(editor.dragging());
    // After release moving changes nothing.
    editor.Move(ToWindowX(850, window), ToWindowY(600, window), ring, window);
    EXPECT_EQ(ring.InnerRadius, 220);
}

TEST(RoundGeometry, OuterCircleStopsAtTheNearerWindowEdge) {
    // Square image in a square window: stretch and scale agree.
    RingParams ring{500, 500, 60, 200};
    const RingWindow window = kSquare;
    // Centre at window (200, 200): room 200 both ways.
    EXPECT_TRUE(orbelune::OuterRadiusFits(499, ring, window));   // 199.6 -> 199 < 200
    EXPECT_FALSE(orbelune::OuterRadiusFits(500, ring, window));  // 200 is not < 200
    // Centre off to the left: the left edge is nearer.
    ring.XCenter = 250;  // window x 100
    EXPECT_TRUE(orbelune::OuterRadiusFits(249, ring, window));
    EXPECT_FALSE(orbelune::OuterRadiusFits(250, ring, window));

    RingEditor editor;
    ring = {500, 500, 60, 200};
    ASSERT_TRUE(editor.Press(280, 200, ring, window));  // image x 700: on the outer circle
    ASSERT_EQ(editor.grabbed(), RingHandle::Outer);
    editor.Move(360, 200, ring, window);  // 900: 400 image px -> 160 window px, fits
    EXPECT_EQ(ring.OuterRadius, 400);
    editor.Move(399, 200, ring, window);  // 997 -> 497: 198 < 200, fits
    EXPECT_EQ(ring.OuterRadius, 497);
    editor.Move(200, 399, ring, window);  // the other axis: same room
    EXPECT_EQ(ring.OuterRadius, 497);
    // The inner circle pushes the outer one out to keep the 80 px gap.
    editor.Release();
    ring = {500, 500, 150, 400};
    ASSERT_TRUE(editor.Press(370, 200, ring, window));  // 925: on the outer circle
    editor.Move(280, 200, ring, window);                // 700: 200 < 150 + 80
    EXPECT_EQ(ring.OuterRadius, 230);
}

TEST(RoundGeometry, CentreMovesOnlyAlongAxesThatKeepTheRingInside) {
    const RingWindow window = kSquare;
    RingParams ring{500, 500, 60, 200};  // 80 window px
    RingEditor editor;
    ASSERT_TRUE(editor.Press(200, 200, ring, window));
    ASSERT_EQ(editor.grabbed(), RingHandle::Centre);
    editor.Move(220, 180, ring, window);
    EXPECT_EQ(ring.XCenter, 550);
    EXPECT_EQ(ring.YCenter, 450);
    // Towards the left edge: the outer circle would cross it, so only y follows.
    editor.Move(60, 200, ring, window);
    EXPECT_EQ(ring.XCenter, 550);
    EXPECT_EQ(ring.YCenter, 500);
    // Into the top-left corner: neither axis moves.
    editor.Move(10, 10, ring, window);
    EXPECT_EQ(ring.XCenter, 550);
    EXPECT_EQ(ring.YCenter, 500);
    // Near the bottom: only x follows.
    editor.Move(200, 390, ring, window);
    EXPECT_EQ(ring.XCenter, 500);
    EXPECT_EQ(ring.YCenter, 500);
    // Moving the centre never changes a radius.
    EXPECT_EQ(ring.InnerRadius, 60);
    EXPECT_EQ(ring.OuterRadius, 200);
}

TEST(RoundGeometry, PressAwayFromHandlesPullsTheCentreOnlyWhenNear) {
    const RingWindow window = kSquare;
    RingParams ring{500, 500, 60, 200};
    RingEditor editor;
    EXPECT_FALSE(editor.Press(200 + 60, 200, ring, window));  // 150 px out: no handle
    EXPECT_EQ(editor.grabbed(), RingHandle::None);
    EXPECT_TRUE(editor.dragging());
    editor.Move(200 + 56, 200, ring, window);  // still 140 px away: nothing moves
    EXPECT_EQ(ring.XCenter, 500);
    editor.Move(200 + 12, 200, ring, window);  // 30 px: the centre jumps under the pointer
    EXPECT_EQ(ring.XCenter, 530);
    EXPECT_EQ(ring.YCenter, 500);
    EXPECT_EQ(editor.cursorState(), RingEditor::kPlain);
    editor.Release();
    // Hovering near a handle without a button marks it.
    editor.Move(200, 200, ring, window);
    EXPECT_EQ(editor.cursorState(), RingEditor::kOverHandle);
    editor.Move(200 + 60, 200, ring, window);
    EXPECT_EQ(editor.cursorState(), RingEditor::kPlain);
}

TEST(RoundGeometry, TheOuterCircleMayReachPastThePhotoIntoTheMargin) {
    // 1600 x 1200 centred: the photo's top edge is 600 away from the centre,
    // the window's 177 / 0.1975 = 896.
    const RingWindow window = WindowFor(1600, 1200);
    RingParams ring{800, 600, 60, 300};
    EXPECT_TRUE(orbelune::OuterRadiusFits(700, ring, window));
    EXPECT_TRUE(orbelune::OuterRadiusFits(890, ring, window));
    EXPECT_FALSE(orbelune::OuterRadiusFits(900, ring, window));
    // The centre may move so far that the circle leaves the photo, not the window.
    EXPECT_TRUE(orbelune::MoveCentre(ring, {800, 250}, window));
    EXPECT_EQ(ring.YCenter, 250);
}

TEST(RoundGeometry, SeamMarkerIsGrabbedAfterTheCentreAndDraggedAroundTheCircle) {
    RingParams ring{500, 500, 60, 200};
    double seam = 0;  // 3 o'clock: window (280, 200)
    const orbelune::WindowPoint marker = orbelune::SeamMarkerPoint(ring, kSquare.display, seam);
    EXPECT_DOUBLE_EQ(marker.x, 280);
    EXPECT_DOUBLE_EQ(marker.y, 200);
    EXPECT_TRUE(orbelune::NearSeamMarker(286, 204, ring, kSquare.display, seam));
    EXPECT_FALSE(orbelune::NearSeamMarker(289, 200, ring, kSquare.display, seam));

    RingEditor editor;
    // Without a seam the same press takes the outer circle.
    ASSERT_TRUE(editor.Press(281, 200, ring, kSquare));
    EXPECT_EQ(editor.grabbed(), RingHandle::Outer);
    editor.Release();
    ASSERT_TRUE(editor.Press(281, 200, ring, kSquare, &seam));
    EXPECT_EQ(editor.grabbed(), RingHandle::Seam);
    editor.Move(200, 120, ring, kSquare, &seam);  // straight up: 270 degrees
    EXPECT_DOUBLE_EQ(seam, 270);
    editor.Move(120, 200, ring, kSquare, &seam);
    EXPECT_DOUBLE_EQ(seam, 180);
    EXPECT_EQ(ring, (RingParams{500, 500, 60, 200}));  // nothing else moves
    editor.Release();
    // Hovering over the marker shows it can be taken.
    editor.Move(120, 200, ring, kSquare, &seam);
    EXPECT_EQ(editor.cursorState(), RingEditor::kOverHandle);

    // A marker within the centre's reach leaves the centre first.
    RingParams small{500, 500, 10, 30};
    double near = 0;
    ASSERT_TRUE(editor.Press(212, 200, small, kSquare, &near));
    EXPECT_EQ(editor.grabbed(), RingHandle::Centre);
}

TEST(RoundGeometry, ATallPhotoIsFittedWhollyWithItsMargin) {
    // A 1 : 3 photograph in a wide window: the height decides the scale.
    const auto fit = FitRoundDisplay(1000, 3000, 476, 356);
    EXPECT_GE(fit.originY, 0);
    EXPECT_LE(fit.originY + fit.height, 356);
    EXPECT_LE(fit.originX + fit.width, 476);
    // The margin (a quarter of the shorter side) fits above and below too.
    EXPECT_LE(fit.height + 2 * 250 * fit.scale, 356.5);
    EXPECT_NEAR(fit.scale, 356.0 / 3500.0, 1e-3);
}

TEST(RoundGeometry, ZoomKeepsThePointUnderTheAnchorAndStaysInItsRange) {
    const RingWindow window = WindowFor(1600, 1200);
    const RoundDisplay& fit = window.fit;
    const int anchorX = 300, anchorY = 100;
    const double beforeX = (anchorX - fit.originX) / fit.scale;
    const double beforeY = (anchorY - fit.originY) / fit.scale;
    const RoundDisplay zoomed =
        orbelune::ZoomRoundDisplay(fit, fit, 1600, 1200, 1.0, anchorX, anchorY);
    EXPECT_DOUBLE_EQ(zoomed.scale, 1.0);
    EXPECT_EQ(zoomed.width, 1600);
    EXPECT_NEAR((anchorX - zoomed.originX) / zoomed.scale, beforeX, 1.0);
    EXPECT_NEAR((anchorY - zoomed.originY) / zoomed.scale, beforeY, 1.0);
    // Zooming again about another point keeps that one.
    const RoundDisplay twice = orbelune::ZoomRoundDisplay(zoomed, fit, 1600, 1200, 4.0, 10, 300);
    EXPECT_NEAR((10 - twice.originX) / 4.0, (10 - zoomed.originX) / 1.0, 0.5);
    EXPECT_NEAR((300 - twice.originY) / 4.0, (300 - zoomed.originY) / 1.0, 0.5);
    // Never past the largest zoom; at or below the fitted scale it is the fitted view.
    EXPECT_DOUBLE_EQ(orbelune::ZoomRoundDisplay(twice, fit, 1600, 1200, 1e6, 0, 0).scale,
                     orbelune::kMaxRoundZoom);
    const RoundDisplay back = orbelune::ZoomRoundDisplay(twice, fit, 1600, 1200, 0.01, 5, 5);
    EXPECT_EQ(back.originX, fit.originX);
    EXPECT_EQ(back.originY, fit.originY);
    EXPECT_DOUBLE_EQ(back.scale, fit.scale);
    // Panning cannot push the photograph off the window's centre.
    const RoundDisplay far = orbelune::PanRoundDisplay(zoomed, 100000, -100000, 476, 356);
    EXPECT_EQ(far.originX, 238);
    EXPECT_EQ(far.originY, 178 - zoomed.height);
    EXPECT_DOUBLE_EQ(far.scale, zoomed.scale);
}

TEST(RoundGeometry, HandleToleranceIsTheSameOnScreenAtEveryZoom) {
    RingWindow window = WindowFor(1600, 1200);  // fitted scale about 0.2
    const int atFit = orbelune::HandleTolerance(window);
    // At least 8 screen pixels, even though 40 image pixels are fewer.
    EXPECT_NEAR(atFit * window.fit.scale, orbelune::kMinHandleReach, 0.2);
    window.display = orbelune::ZoomRoundDisplay(window.fit, window.fit, 1600, 1200, 2.0, 0, 0);
    EXPECT_EQ(orbelune::HandleTolerance(window), 4);
    // A square photograph at 0.4: 40 image pixels are 16 on screen.
    EXPECT_EQ(orbelune::HandleTolerance(kSquare), 40);

    // At 2 x a press 5 image pixels from the inner circle grabs it, 6 does not.
    RingParams ring{800, 600, 100, 300};
    const auto at = [&window](double ix, double iy) {
        return std::pair<int, int>{
            static_cast<int>(window.display.originX + ix * window.display.scale + 0.5),
            static_cast<int>(window.display.originY + iy * window.display.scale + 0.5)};
    };
    RingEditor editor;
    auto [x1, y1] = at(903, 600);
    editor.Press(x1, y1, ring, window);
    EXPECT_EQ(editor.grabbed(), RingHandle::Inner);
    editor.Release();
    auto [x2, y2] = at(906, 600);
    editor.Press(x2, y2, ring, window);
    EXPECT_EQ(editor.grabbed(), RingHandle::None);
}

TEST(RoundGeometry, NudgesMoveTheSelectedHandleWithinTheLimits) {
    const RingWindow window = WindowFor(1600, 1200);
    RingParams ring{800, 600, 100, 300};
    RingEditor editor;
    EXPECT_EQ(editor.selected(), RingHandle::Centre);
    EXPECT_TRUE(orbelune::NudgeHandle(ring, editor.selected(), 1, 0, window));
    EXPECT_TRUE(orbelune::NudgeHandle(ring, editor.selected(), 0, -10, window));
    EXPECT_EQ(ring.XCenter, 801);
    EXPECT_EQ(ring.YCenter, 590);
    // Grabbing the outer circle selects it; right and up grow it.
    editor.Press(ToWindowX(801, window), ToWindowY(890, window), ring, window);
    editor.Release();
    ASSERT_EQ(editor.selected(), RingHandle::Outer);
    orbelune::NudgeHandle(ring, editor.selected(), 0, -10, window);
    EXPECT_EQ(ring.OuterRadius, 310);
    orbelune::NudgeHandle(ring, editor.selected(), -1, 0, window);
    EXPECT_EQ(ring.OuterRadius, 309);
    // The inner circle keeps its 80 pixel gap.
    EXPECT_TRUE(orbelune::NudgeHandle(ring, RingHandle::Inner, 500, 0, window));
    EXPECT_EQ(ring.InnerRadius, 229);
    EXPECT_FALSE(orbelune::NudgeHandle(ring, RingHandle::Inner, 1, 0, window));
    // The outer circle stops at the window edge, as when dragged.
    for (int i = 0; i < 100; ++i)
        orbelune::NudgeHandle(ring, RingHandle::Outer, 10, 0, window);
    EXPECT_TRUE(orbelune::OuterRadiusFits(ring.OuterRadius, ring, window));
    EXPECT_FALSE(orbelune::OuterRadiusFits(ring.OuterRadius + 10, ring, window));
}
