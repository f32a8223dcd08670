// Ring detection on synthetic photographs: random rings, noise, vignetting,
// busy surroundings and rims cut by the frame; and pictures with no ring.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "unwarp/ring_detect.h"
#include "unwarp/ring_synth.h"
#include "unwarp/test_scene.h"
#include "unwarp/unwarp.h"
#include "unwarp_test_util.h"

namespace orbelune {
namespace {

RgbImage SynthPhoto(const SynthOptions& options) {
    const PanoramaSize size = UnwarpOutputSize(options.outerRadius, options.mirrorType);
    const RgbImage scene =
        MakeTestScene(static_cast<int>(size.width), static_cast<int>(size.height));
    RgbImage photo;
    EXPECT_EQ(SynthesizeRing(scene, options, photo), err::kNone);
    return photo;
}

TEST(DetectRing, FindsRandomRingsWithinTheTargets) {
    std::mt19937 random(77);
    auto between = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    double worstCentre = 0, worstOuter = 0, worstInner = 0;
    int cut = 0;
    for (int i = 0; i < 8; ++i) {
        SynthOptions options;
        options.width = between(820, 1000);
        options.height = between(620, 760);
        options.mirrorType = i % 4;
        options.outerRadius = between(230, 360);
        options.xCenter = between(options.width * 35 / 100, options.width * 65 / 100);
        options.yCenter = between(options.height * 38 / 100, options.height * 62 / 100);
        const bool convex = options.mirrorType >= 2;
        options.innerRadius =
            options.outerRadius * between(convex ? 24 : 44, convex ? 38 : 52) / 100;
        options.supersample = 1;
        options.noise = between(0, 8);
        options.vignetting = between(0, 40) / 100.0;
        options.clutter = i % 2 == 0;
        options.seed = static_cast<unsigned>(i + 1);
        const RgbImage photo = SynthPhoto(options);
        const SynthEdges truth = SynthesizedEdges(options);
        if (options.yCenter + truth.outer > options.height || options.yCenter < truth.outer) ++cut;

        RingDetection found;
        ASSERT_EQ(DetectRing(photo, found), err::kNone);
        const double centre =
            std::hypot(found.xCenter - options.xCenter, found.yCenter - options.yCenter);
        const double outer = std::fabs(found.outerRadius - truth.outer) / truth.outer;
        const double inner = std::fabs(found.innerRadius - truth.inner) / truth.outer;
        std::printf(
            "case %d type %d R %d: centre %.2f px, outer %.2f %%, inner %.2f %%, confidence %.2f\n",
            i, options.mirrorType, options.outerRadius, centre, 100 * outer, 100 * inner,
            found.confidence);
        EXPECT_LE(centre, 2.0) << "case " << i;
        EXPECT_LE(outer, 0.01) << "case " << i;
        EXPECT_LE(inner, 0.02) << "case " << i;
        EXPECT_GE(found.confidence, kConfidentRing) << "case " << i;
        worstCentre = std::max(worstCentre, centre);
        worstOuter = std::max(worstOuter, outer);
        worstInner = std::max(worstInner, inner);
    }
    EXPECT_GE(cut, 2);  // the draw must include rims cut by the frame
    std::printf("worst: centre %.2f px, outer %.2f %%, inner %.2f %% of outer\n", worstCentre,
                100 * worstOuter, 100 * worstInner);
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

TEST(DetectRing, ResultRoundsToRingParams) {
    RingDetection found{500.4, 399.6, 300.5, 80.49, 0.9};
    EXPECT_EQ(RingFromDetection(found), (RingParams{500, 400, 80, 301}));
}

}  // namespace
}  // namespace orbelune
