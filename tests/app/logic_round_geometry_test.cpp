#include <gtest/gtest.h>

#include "app/logic/round_geometry.h"

using orbelune::FitRoundDisplay;
using orbelune::ImagePoint;
using orbelune::RingEditor;
using orbelune::RingHandle;
using orbelune::RingParams;
using orbelune::RingWindow;

namespace {

RingWindow WindowFor(int imageWidth, int imageHeight, int clientWidth = 476,
                     int clientHeight = 356) {
    const auto fit = FitRoundDisplay(imageWidth, imageHeight, clientWidth, clientHeight);
    return {imageWidth, imageHeight, clientWidth, clientHeight, fit.scale};
}

// Window pixel of an image coordinate, rounded up so it converts back to at least it.
int ToWindow(int image, double scale) {
    return static_cast<int>(image * scale + 0.999);
}

}  // namespace

TEST(RoundGeometry, FitsByOrientationAndConvertsPointer) {
    const auto landscape = FitRoundDisplay(1600, 1200, 476, 356);
    EXPECT_EQ(landscape.width, 476);
    EXPECT_EQ(landscape.height, 357);  // one row falls outside the window
    EXPECT_DOUBLE_EQ(landscape.scale, 0.2975);
    const ImagePoint p = orbelune::WindowToImage(238, 178, landscape.scale);
    EXPECT_EQ(p.x, 800);
    EXPECT_EQ(p.y, 598);

    const auto portrait = FitRoundDisplay(1200, 1600, 476, 356);
    EXPECT_EQ(portrait.width, 267);
    EXPECT_EQ(portrait.height, 356);

    const auto none = FitRoundDisplay(0, 0, 476, 356);
    EXPECT_EQ(none.scale, 0.0);
    EXPECT_EQ(orbelune::WindowToImage(10, 10, 0.0).x, 0);
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
    ASSERT_TRUE(
        editor.Press(ToWindow(900, window.scale), ToWindow(600, window.scale), ring, window));
    EXPECT_EQ(editor.grabbed(), RingHandle::Inner);
    EXPECT_EQ(editor.cursorState(), RingEditor::kJustGrabbed);
    // Towards the centre (but outside the centre's own reach on the way): stops at 40.
    editor.Move(ToWindow(805, window.scale), ToWindow(600, window.scale), ring, window);
    EXPECT_EQ(ring.InnerRadius, 40);
    // Far outward: stops 80 inside the outer circle.
    editor.Move(ToWindow(1500, window.scale), ToWindow(600, window.scale), ring, window);
    EXPECT_EQ(ring.InnerRadius, 220);
    EXPECT_EQ(ring.OuterRadius, 300);
    editor.Release();
    EXPECT_TRUE(editor.picking());
    EXPECT_FALSE(editor.dragging());
    // After release moving changes nothing.
    editor.Move(ToWindow(850, window.scale), ToWindow(600, window.scale), ring, window);
    EXPECT_EQ(ring.InnerRadius, 220);
}

TEST(RoundGeometry, OuterCircleStopsAtTheNearerWindowEdge) {
    // Square image in a square window: stretch and scale agree.
    RingParams ring{500, 500, 60, 200};
    const RingWindow window{1000, 1000, 400, 400, 0.4};
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
    const RingWindow window{1000, 1000, 400, 400, 0.4};
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
    const RingWindow window{1000, 1000, 400, 400, 0.4};
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
