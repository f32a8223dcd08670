#include <gtest/gtest.h>

#include <climits>

#include "platform/settings_store.h"
#include "unwarp/mirror_types.h"
#include "unwarp/ring_params.h"

namespace orbelune {
namespace {

RingParams Loaded(int xCenter, int yCenter, int width = 1000, int height = 800) {
    MemorySettingsStore store;
    store.SetInt("DEFAULTS", "XCENTER", xCenter);
    store.SetInt("DEFAULTS", "YCENTER", yCenter);
    return LoadRingParams(store, width, height);
}

TEST(LoadRingParams, DefaultsUseTruncatingHalves) {
    MemorySettingsStore store;
    EXPECT_EQ(LoadRingParams(store, 1000, 800), (RingParams{500, 400, 60, 300}));
    EXPECT_EQ(LoadRingParams(store, 1001, 801), (RingParams{500, 400, 60, 300}));
    EXPECT_TRUE(store.writes().empty());  // loading never writes
}

TEST(LoadRingParams, CentreBoundsAreInclusiveAndOneBadCoordinateResetsBoth) {
    EXPECT_EQ(Loaded(800, 160).XCenter, 800);
    EXPECT_EQ(Loaded(800, 160).YCenter, 160);
    EXPECT_EQ(Loaded(200, 640).XCenter, 200);  // the other two bounds
    EXPECT_EQ(Loaded(200, 640).YCenter, 640);

    const RingParams right = Loaded(801, 300);
    EXPECT_EQ(right.XCenter, 500);
    EXPECT_EQ(right.YCenter, 400);
    const RingParams top = Loaded(600, 159);
    EXPECT_EQ(top.XCenter, 500);
    EXPECT_EQ(top.YCenter, 400);
    const RingParams far = Loaded(INT_MIN, INT_MAX);
    EXPECT_EQ(far.XCenter, 500);
    EXPECT_EQ(far.YCenter, 400);
}

TEST(LoadRingParams, StoredRadiiAreTakenUnchecked) {
    MemorySettingsStore store;
    store.SetInt("DEFAULTS", "InnerRadius", 500);
    store.SetInt("DEFAULTS", "OuterRadius", 100);
    const RingParams ring = LoadRingParams(store, 1000, 800);
    EXPECT_EQ(ring.InnerRadius, 500);
    EXPECT_EQ(ring.OuterRadius, 100);
}

TEST(StoreRingParams, WritesFourKeysInOrderWithoutValidation) {
    MemorySettingsStore store;
    StoreRingParams(store, RingParams{-5, 9000, 500, 100});
    const std::vector<std::string> expected{"DEFAULTS/XCENTER", "DEFAULTS/YCENTER",
                                            "DEFAULTS/OuterRadius", "DEFAULTS/InnerRadius"};
    EXPECT_EQ(store.writes(), expected);
    EXPECT_EQ(store.GetInt("DEFAULTS", "XCENTER", 0), -5);
    EXPECT_EQ(store.GetInt("DEFAULTS", "InnerRadius", 0), 500);
}

TEST(RingRadii, InnerRadiusMinimumThenGapWhichWins) {
    RingParams ring{500, 400, 60, 300};
    ring.SetInnerRadius(30);
    EXPECT_EQ(ring.InnerRadius, 40);
    ring.SetInnerRadius(250);
    EXPECT_EQ(ring.InnerRadius, 220);
    ring.OuterRadius = 100;
    ring.SetInnerRadius(10);
    EXPECT_EQ(ring.InnerRadius, 20);
}

TEST(RingRadii, OuterRadiusKeepsTheGap) {
    RingParams ring{500, 400, 60, 300};
    ring.SetOuterRadius(100);
    EXPECT_EQ(ring.OuterRadius, 140);
    ring.SetOuterRadius(1000);
    EXPECT_EQ(ring.OuterRadius, 1000);
}

TEST(RingRadii, ExtremeStoredValuesSaturateInsteadOfOverflowing) {
    RingParams ring{0, 0, 60, INT_MIN};
    ring.SetInnerRadius(100);
    EXPECT_EQ(ring.InnerRadius, INT_MIN);
    ring = RingParams{0, 0, INT_MAX, 0};
    ring.SetOuterRadius(5);
    EXPECT_EQ(ring.OuterRadius, INT_MAX);
}

TEST(MirrorTable, RowsInValueOrderWithModelsAndTilt) {
    ASSERT_EQ(MirrorTable().size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(MirrorTable()[static_cast<std::size_t>(i)].value, i);
    EXPECT_STREQ(FindMirror(1)->caption, " Concave Threaded ");
    EXPECT_STREQ(FindMirror(3)->listText, "NewThread");
    EXPECT_EQ(FindMirror(5), nullptr);
    EXPECT_EQ(FindMirror(-1), nullptr);
    EXPECT_EQ(FindMirrorByCliName("convex-standard")->value, 2);
    EXPECT_EQ(FindMirrorByCliName("Convex"), nullptr);

    EXPECT_TRUE(MirrorsRows(1));
    EXPECT_FALSE(MirrorsRows(0) || MirrorsRows(2) || MirrorsRows(3) || MirrorsRows(7));
    EXPECT_TRUE(UsesConvexModel(2) && UsesConvexModel(3));
    EXPECT_FALSE(UsesConvexModel(0) || UsesConvexModel(1) || UsesConvexModel(-1));
    EXPECT_EQ(TiltRangeFor(0).minimum, -35);
    EXPECT_EQ(TiltRangeFor(1).maximum, 17);
    EXPECT_EQ(TiltRangeFor(2).minimum, -40);
    EXPECT_EQ(TiltRangeFor(-1).maximum, 60);
}

TEST(RingFitsPhoto, RingsWhoseOuterCircleEnclosesThePhotoDoNotFit) {
    // A 1000 x 800 photograph: the farthest corner from its centre is 640 away.
    EXPECT_TRUE(RingFitsPhoto(RingParams{500, 400, 60, 300}, 1000, 800));
    EXPECT_TRUE(RingFitsPhoto(RingParams{500, 400, 60, 640}, 1000, 800));  // reaches past the edges
    EXPECT_FALSE(RingFitsPhoto(RingParams{500, 400, 60, 641}, 1000, 800));
    EXPECT_FALSE(RingFitsPhoto(RingParams{500, 400, 500, 2000}, 1000, 800));
    EXPECT_TRUE(RingFitsPhoto(RingParams{500, 400, 500, 100}, 1000, 800));  // radii unvalidated
    // Off-centre rings may reach farther towards the far corner.
    EXPECT_TRUE(RingFitsPhoto(RingParams{200, 160, 60, 1000}, 1000, 800));
}

TEST(DefaultRingFor, ThePhotosCentreAndRadiiThatFitIt) {
    EXPECT_EQ(DefaultRingFor(1000, 800), (RingParams{500, 400, 60, 300}));
    EXPECT_EQ(DefaultRingFor(201, 161), (RingParams{100, 80, 16, 80}));
    EXPECT_TRUE(RingFitsPhoto(DefaultRingFor(3, 3), 3, 3));
}

}  // namespace
}  // namespace orbelune
