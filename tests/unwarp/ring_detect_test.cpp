// Ring detection on synthetic photographs: random rings, noise, vignetting,
// busy surroundings and rims cut by the frame; and pictures with no ring.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "unwarp/ring_detect.h"
#include "unwarp/ring_synth.h"
#include "unwarp/test_scene.h"
#include "unwarp/unwarp.h"
#include "unwarp_test_util.h"

namespace orbelune {
namespace {

RgbImage SynthPhoto(const SynthOptions& options) {
    const PanoramaSize size =
        UnwarpOutputSize(options.outerRadius, options.mirrorType, options.custom);
    const RgbImage scene =
        MakeTestScene(static_cast<int>(size.width), static_cast<int>(size.height));
    RgbImage photo;
    EXPECT_EQ(SynthesizeRing(scene, options, photo), err::kNone);
    return photo;
}

// One random ring photograph: every mirror, sizes from small to large,
// centres anywhere from well inside to past the frame's edge.
SynthOptions RandomRing(std::mt19937& random, int i) {
    auto between = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    SynthOptions options;
    const int scale = between(0, 2);  // small, medium, large
    const int longer = scale == 0   ? between(360, 520)
                       : scale == 1 ? between(800, 1100)
                                    : between(1100, 1400);
    options.width = longer;
    options.height = longer * between(62, 80) / 100;
    options.mirrorType = i % 5;
    const int shorter = options.height;
    options.outerRadius = shorter * between(30, 52) / 100;
    // A third of the rims reach past the frame (up to 18 % of the radius).
    const int reach = i % 3 == 0 ? options.outerRadius * between(2, 18) / 100 : -between(4, 40);
    const int edge = between(0, 3);
    options.xCenter = between(options.width * 38 / 100, options.width * 62 / 100);
    options.yCenter = between(options.height * 40 / 100, options.height * 60 / 100);
    if (reach > 0) {
        if (edge == 0) options.yCenter = options.outerRadius - reach;
        if (edge == 1) options.yCenter = options.height - options.outerRadius + reach;
        if (edge == 2) options.xCenter = options.outerRadius - reach;
        if (edge == 3) options.xCenter = options.width - options.outerRadius + reach;
    }
    const bool convex = options.mirrorType == 2 || options.mirrorType == 3;
    options.innerRadius = options.outerRadius * between(convex ? 24 : 30, convex ? 38 : 52) / 100;
    if (options.mirrorType == 4)
        options.custom = {between(5, 40), -between(20, 70), between(0, 1) == 1};
    options.supersample = 1;
    options.noise = between(0, 10);
    options.vignetting = between(0, 50) / 100.0;
    options.clutter = between(0, 1) == 1;
    options.seed = static_cast<unsigned>(i + 1);
    return options;
}

double MedianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

TEST(DetectRing, FindsRandomRingsWithinTheTargets) {
    std::mt19937 random(2024);
    std::vector<double> centres, outers, inners;
    int cut = 0;
    for (int i = 0; i < 24; ++i) {
        const SynthOptions options = RandomRing(random, i);
        const RgbImage photo = SynthPhoto(options);
        const SynthEdges truth = SynthesizedEdges(options);
        if (options.xCenter < truth.outer || options.yCenter < truth.outer ||
            options.xCenter + truth.outer > options.width ||
            options.yCenter + truth.outer > options.height)
            ++cut;

        RingDetection found;
        ASSERT_EQ(DetectRing(photo, found), err::kNone);
        const double centre =
            std::hypot(found.xCenter - options.xCenter, found.yCenter - options.yCenter);
        const double outer = std::fabs(found.outerRadius - truth.outer) / truth.outer;
        const double inner = std::fabs(found.innerRadius - truth.inner) / truth.outer;
        std::printf(
            "case %2d type %d %dx%d R %d at %d,%d: centre %.2f px, outer %.2f %%, "
            "inner %.2f %%, confidence %.2f\n",
            i, options.mirrorType, options.width, options.height, options.outerRadius,
            options.xCenter, options.yCenter, centre, 100 * outer, 100 * inner, found.confidence);
        EXPECT_LE(centre, 2.0) << "case " << i;
        // A ring is stored in whole pixels: on the smallest rims 1 % is less.
        EXPECT_LE(outer, std::max(0.01, 1.25 / truth.outer)) << "case " << i;
        EXPECT_LE(inner, 0.02) << "case " << i;
        EXPECT_GE(found.confidence, kConfidentRing) << "case " << i;
        centres.push_back(centre);
        outers.push_back(outer);
        inners.push_back(inner);
    }
    EXPECT_GE(cut, 7);  // the draw must include rims cut by the frame
    std::printf(
        "max/median: centre %.2f/%.2f px, outer %.2f/%.2f %%, inner %.2f/%.2f %% of "
        "outer\n",
        *std::max_element(centres.begin(), centres.end()), MedianOf(centres),
        100 * *std::max_element(outers.begin(), outers.end()), 100 * MedianOf(outers),
        100 * *std::max_element(inners.begin(), inners.end()), 100 * MedianOf(inners));
}

TEST(DetectRing, PicturesWithoutARingGiveLowConfidence) {
    RgbImage grey;
    ASSERT_EQ(grey.AllocatePixels(640, 480), 0u);
    std::fill(grey.data(), grey.data() + grey.byteCount(), std::uint8_t{128});
    RingDetection found;
    ASSERT_EQ(DetectRing(grey, found), err::kNone);
    EXPECT_LT(found.confidence, kConfidentRing);
    EXPECT_EQ(found.xCenter, 320);
    EXPECT_EQ(found.yCenter, 240);

    const RgbImage landscape = MakeSampleScene(960, 640);
    ASSERT_EQ(DetectRing(landscape, found), err::kNone);
    std::printf("landscape confidence %.2f\n", found.confidence);
    EXPECT_LT(found.confidence, kConfidentRing);

    const RgbImage noise = testing::RandomImage(500, 400, 3);
    ASSERT_EQ(DetectRing(noise, found), err::kNone);
    std::printf("noise confidence %.2f\n", found.confidence);
    EXPECT_LT(found.confidence, kConfidentRing);

    // Tiny and empty pictures.
    const RgbImage tiny = testing::RandomImage(3, 2, 1);
    ASSERT_EQ(DetectRing(tiny, found), err::kNone);
    EXPECT_EQ(found.confidence, 0);
    EXPECT_EQ(DetectRing(RgbImage(), found), err::kBadParam);
}

// The bundled sample: the foot of its scene is a plain dark band just inside
// the lit rim, which must not be taken for the housing.
TEST(DetectRing, FindsTheSamplesRing) {
    RgbImage photo;
    ASSERT_EQ(photo.LoadImageFile(ORBELUNE_TEST_DATA "/../../data/sample-ring.jpg"), err::kNone);
    RingDetection found;
    ASSERT_EQ(DetectRing(photo, found), err::kNone);
    EXPECT_NEAR(found.xCenter, 500, 2);
    EXPECT_NEAR(found.yCenter, 400, 2);
    EXPECT_NEAR(found.outerRadius, 297, 3);  // where the lit rim starts
    EXPECT_NEAR(found.innerRadius, 122, 2);
    EXPECT_GE(found.confidence, 0.8);
}

TEST(DetectRing, ResultRoundsToRingParams) {
    RingDetection found{500.4, 399.6, 300.5, 80.49, 0.9};
    EXPECT_EQ(RingFromDetection(found), (RingParams{500, 400, 80, 301}));
}

}  // namespace
}  // namespace orbelune
