// Synthesise a ring photograph from a known panorama, unwarp it, and compare
// with that panorama at the unwarp's own size.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "unwarp/ring_synth.h"
#include "unwarp/test_scene.h"
#include "unwarp/unwarp.h"
#include "unwarp_test_util.h"

namespace orbelune {
namespace {

using testing::Psnr;

constexpr int kRadius = 140;

// Slow waves (about 40 pixels per period, a whole number of them around the
// turn) in two channels: resampling loses almost nothing, so what is left
// measures the geometry.
RgbImage SmoothScene(int width, int height) {
    RgbImage scene;
    EXPECT_EQ(scene.AllocatePixels(width, height), 0u);
    const double turns = std::round(width / 40.0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = scene.row(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(128 + 100 * std::sin(2 * M_PI * turns * x / width));
            p[1] = static_cast<std::uint8_t>(128 + 100 * std::sin(2 * M_PI * y / 40.0));
            p[2] = static_cast<std::uint8_t>(60 + 120.0 * x / width);
        }
    }
    return scene;
}

double RoundTripPsnr(int mirrorType, const std::function<RgbImage(int, int)>& makeScene,
                     int synthesisedAs = -1) {
    SynthOptions options{
        340, 320, 170, 160, kRadius, synthesisedAs < 0 ? mirrorType : synthesisedAs, 2};
    const PanoramaSize size = UnwarpOutputSize(kRadius, mirrorType);
    const RgbImage scene = makeScene(static_cast<int>(size.width), static_cast<int>(size.height));
    RgbImage photo, panorama;
    EXPECT_EQ(SynthesizeRing(scene, options, photo), err::kNone);
    EXPECT_EQ(Unwarp(photo, RingParams{170, 160, 60, kRadius}, mirrorType, panorama), 0);
    EXPECT_EQ(panorama.width(), scene.width());
    EXPECT_EQ(panorama.height(), scene.height());
    return Psnr(scene, panorama);
}

// Smooth scene: measured about 46 dB (concave) and 41.7 dB (convex, whose inner
// rows hold only 0.18 R of circumference). Shifting the sampling by half a
// pixel costs a 40-pixel wave about 8 levels of amplitude, i.e. drops it to
// about 33 dB; the thresholds sit between.
TEST(RoundTrip, SmoothSceneComesBackWithinAFractionOfAPixel) {
    EXPECT_GT(RoundTripPsnr(0, SmoothScene), 40.0);
    EXPECT_GT(RoundTripPsnr(1, SmoothScene), 40.0);  // the synthesiser mirrors the rows too
    EXPECT_GT(RoundTripPsnr(2, SmoothScene), 37.0);
    EXPECT_GT(RoundTripPsnr(3, SmoothScene), 37.0);
}

// Test scene: its 5-7 pixel texture, 2-pixel marks and horizon line are
// blurred by resampling twice (photo, then unwarp) and lost where the ring has
// fewer pixels than the panorama, so about 22.6 dB is all it can give; 21 dB
// leaves room for rounding. A mirrored turn (the colour ramp runs backwards)
// falls to about 15 dB.
TEST(RoundTrip, TestSceneComesBackTheRightWayRound) {
    for (int type : {0, 1, 2, 3})
        EXPECT_GT(RoundTripPsnr(type, MakeTestScene), 21.0) << type;
    EXPECT_LT(RoundTripPsnr(1, MakeTestScene, 0), 17.0);  // made for type 0, read as type 1
}

// The custom mirror, synthesised and unwarped with the same description.
double CustomRoundTripPsnr(const CustomMirror& custom,
                           const std::function<RgbImage(int, int)>& makeScene,
                           const CustomMirror& readAs) {
    constexpr int kInner = 40;
    SynthOptions options{340, 320, 170, 160, kRadius, 4, 2};
    options.innerRadius = kInner;
    options.custom = custom;
    const PanoramaSize size = UnwarpOutputSize(kRadius, 4, custom);
    const RgbImage scene = makeScene(static_cast<int>(size.width), static_cast<int>(size.height));
    RgbImage photo, panorama;
    EXPECT_EQ(SynthesizeRing(scene, options, photo), err::kNone);
    EXPECT_EQ(Unwarp(photo, RingParams{170, 160, kInner, kRadius}, 4, readAs, panorama), 0);
    EXPECT_EQ(panorama.width(), scene.width());
    EXPECT_EQ(panorama.height(), scene.height());
    return Psnr(scene, panorama);
}

// Measured 45.7 dB (smooth, both ways up) and 23.4 dB (test scene): like the
// concave mirror, whose rows also cover the band at about one photo pixel
// each, so the thresholds are the concave ones (half a pixel off costs the
// smooth scene about 33 dB, see above). Elevations read the other way round,
// or the picture mirrored, fall far below.
TEST(RoundTrip, CustomMirrorComesBack) {
    const CustomMirror down{15, -45, false}, up{-20, 40, true};
    EXPECT_GT(CustomRoundTripPsnr(down, SmoothScene, down), 40.0);
    EXPECT_GT(CustomRoundTripPsnr(up, SmoothScene, up), 40.0);
    EXPECT_GT(CustomRoundTripPsnr(down, MakeTestScene, down), 21.0);
    EXPECT_LT(CustomRoundTripPsnr(down, MakeTestScene, CustomMirror{15, -45, true}), 17.0);
    EXPECT_LT(CustomRoundTripPsnr(down, MakeTestScene, CustomMirror{-45, 15, false}), 17.0);
}

TEST(SynthesizeRing, RefusesBadInput) {
    const RgbImage scene = MakeTestScene(60, 10);
    RgbImage photo;
    EXPECT_EQ(SynthesizeRing(RgbImage(), SynthOptions{}, photo), err::kBadParam);
    EXPECT_EQ(SynthesizeRing(scene, SynthOptions{100, 100, 50, 50, 0, 1, 4}, photo),
              err::kBadParam);
    EXPECT_EQ(SynthesizeRing(scene, SynthOptions{100, 100, 50, 50, 30, 1, 0}, photo),
              err::kBadParam);
    EXPECT_EQ(SynthesizeRing(scene, SynthOptions{0, 100, 50, 50, 30, 1, 4}, photo), err::kBadParam);
    EXPECT_EQ(SynthesizeRing(scene, SynthOptions{1 << 21, 100, 50, 50, 30, 1, 1}, photo),
              err::kNoMemory);
    // The custom mirror needs an inner circle inside the outer one and valid elevations.
    SynthOptions custom{100, 100, 50, 50, 30, 4, 1};
    EXPECT_EQ(SynthesizeRing(scene, custom, photo), err::kBadParam);
    custom.innerRadius = 30;
    EXPECT_EQ(SynthesizeRing(scene, custom, photo), err::kBadParam);
    custom.innerRadius = 10;
    EXPECT_EQ(SynthesizeRing(scene, custom, photo), err::kNone);
    custom.custom = CustomMirror{5, 5, false};
    EXPECT_EQ(SynthesizeRing(scene, custom, photo), err::kBadParam);
}

}  // namespace
}  // namespace orbelune
