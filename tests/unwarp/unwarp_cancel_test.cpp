#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "image/image_error.h"
#include "image/image_layer.h"
#include "image/rgb_image.h"
#include "unwarp/unwarp.h"

namespace orbelune {
namespace {

RgbImage Gradient(int width, int height) {
    RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), err::kNone);
    // Smooth, so that nearby samples agree closely.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                image.row(y)[3 * x + c] = static_cast<std::uint8_t>((x + y + 40 * c) / 6);
    return image;
}

TEST(UnwarpCancel, AProgressThatSaysStopEndsTheUnwarpEarlyForEveryModel) {
    const RgbImage source = Gradient(800, 600);
    const RingParams ring{400, 300, 80, 280};
    CustomMirror custom;
    custom.outerElevation = 30;
    custom.innerElevation = -40;
    for (int type : {0, 1, 2, 4}) {
        SCOPED_TRACE(type);
        int calls = 0;
        int rowCount = 0;
        RgbImage panorama = Gradient(4, 4);
        const int code = Unwarp(source, ring, type, custom, panorama, [&](int row, int count) {
            ++calls;
            rowCount = count;
            return row < 3;
        });
        EXPECT_EQ(code, -1);
        EXPECT_EQ(LastImageError(), err::kAborted);
        // Rows stop being reported soon after the answer, long before the end.
        EXPECT_GT(rowCount, 100);
        EXPECT_LT(calls, rowCount / 2);
        // No half-made panorama is handed back.
        EXPECT_TRUE(panorama.empty());
    }
    // A progress that goes on still gives the whole panorama.
    RgbImage panorama;
    EXPECT_EQ(Unwarp(source, ring, 1, panorama, [](int, int) { return true; }), 0);
    EXPECT_FALSE(panorama.empty());
}

TEST(UnwarpStrip, ShowsTheScaledRingInAStripOfAnySize) {
    // The strip of a half-size copy equals the full unwarp reduced, roughly:
    // compare its mean with the full panorama's.
    const RgbImage full = Gradient(800, 600);
    RgbImage half;
    ASSERT_EQ(half.AllocatePixels(400, 300), err::kNone);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            for (int c = 0; c < 3; ++c)
                half.row(y)[3 * x + c] = full.row(2 * y)[3 * (2 * x) + c];
    const RingParams ring{400, 300, 80, 280};
    std::vector<std::uint8_t> pixels(3 * 200 * 40, 0);
    const SourcePixels source{half.data(), half.width(), half.height(), half.stride()};
    const PanoramaPixels strip{pixels.data(), 200, 40};
    ASSERT_TRUE(UnwarpStrip(source, ring, 0.5, 1, CustomMirror{}, strip));
    RgbImage pano;
    ASSERT_EQ(Unwarp(full, ring, 1, pano), 0);
    // Column j of the strip shows what column j * W / 200 of the panorama shows.
    for (int j : {0, 50, 120, 199}) {
        for (int q : {0, 20, 39}) {
            const int pj = j * pano.width() / 200;
            const int pq = q * pano.height() / 40;
            EXPECT_NEAR(pixels[3 * (q * 200 + j)], pano.row(pq)[3 * pj], 6) << j << "," << q;
        }
    }
    // Nothing to show: false and the strip untouched.
    std::fill(pixels.begin(), pixels.end(), 7);
    EXPECT_FALSE(UnwarpStrip(source, RingParams{}, 0.5, 1, CustomMirror{}, strip));
    EXPECT_FALSE(UnwarpStrip(source, ring, 0.0, 1, CustomMirror{}, strip));
    EXPECT_EQ(pixels[0], 7);
}

}  // namespace
}  // namespace orbelune
