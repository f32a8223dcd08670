#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <tuple>

#include "image/rgb_image.h"

namespace orbelune {
namespace {

using Colour = std::tuple<int, int, int>;

Colour ColourOf(const PaletteEntry& entry) {
    return {entry.red, entry.green, entry.blue};
}

RgbImage FromColours(int width, int height, const std::vector<Colour>& colours) {
    RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), err::kNone);
    for (int i = 0; i < width * height; ++i) {
        const auto& [r, g, b] = colours[static_cast<std::size_t>(i * 7) % colours.size()];
        image.data()[i * 3] = static_cast<std::uint8_t>(r);
        image.data()[i * 3 + 1] = static_cast<std::uint8_t>(g);
        image.data()[i * 3 + 2] = static_cast<std::uint8_t>(b);
    }
    return image;
}

TEST(BuildDisplayPalette, FewColoursAreAllKeptExactly) {
    for (int count : {1, 5, 256}) {
        std::vector<Colour> colours;
        for (int i = 0; i < count; ++i)
            colours.emplace_back(i, (i * 37) % 256, 255 - i);
        RgbImage image = FromColours(64, 33, colours);
        image.BuildDisplayPalette();
        ASSERT_NE(image.palette(), nullptr);
        const DisplayPalette& palette = *image.palette();
        std::set<Colour> found;
        for (int i = 0; i < count; ++i)
            found.insert(ColourOf(palette[static_cast<std::size_t>(i)]));
        EXPECT_EQ(found, std::set<Colour>(colours.begin(), colours.end())) << count;
        for (std::size_t i = static_cast<std::size_t>(count); i < palette.size(); ++i) {
            EXPECT_EQ(ColourOf(palette[i]), Colour(0, 0, 0)) << i;
        }
        for (const PaletteEntry& entry : palette)
            EXPECT_EQ(entry.flags, 0);
    }
}

// Squared distance from a pixel to its nearest palette entry.
int NearestDistance(const DisplayPalette& palette, const std::uint8_t* px) {
    int best = 1 << 30;
    for (const PaletteEntry& entry : palette) {
        const int dr = entry.red - px[0];
        const int dg = entry.green - px[1];
        const int db = entry.blue - px[2];
        best = std::min(best, dr * dr + dg * dg + db * db);
    }
    return best;
}

TEST(BuildDisplayPalette, ManyColoursAreApproximatedDeterministically) {
    // 65536 distinct colours in a smooth gradient.
    RgbImage image;
    ASSERT_EQ(image.AllocatePixels(256, 256), err::kNone);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            std::uint8_t* px = image.row(y) + x * 3;
            px[0] = static_cast<std::uint8_t>(x);
            px[1] = static_cast<std::uint8_t>(y);
            px[2] = static_cast<std::uint8_t>((x + 2 * y) / 3);
        }
    }
    image.BuildDisplayPalette();
    const DisplayPalette first = *image.palette();
    image.BuildDisplayPalette();
    const DisplayPalette& second = *image.palette();
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(ColourOf(first[i]), ColourOf(second[i])) << i;
    }
    std::set<Colour> distinct;
    for (const PaletteEntry& entry : first)
        distinct.insert(ColourOf(entry));
    EXPECT_GT(distinct.size(), 200u);

    // 256 entries over a 256 x 256 plane: cells of about 16 x 16, so no pixel
    // should be far from an entry.
    long long total = 0;
    int worst = 0;
    for (int y = 0; y < 256; y += 3) {
        for (int x = 0; x < 256; x += 3) {
            const int d = NearestDistance(first, image.row(y) + x * 3);
            total += d;
            worst = std::max(worst, d);
        }
    }
    const double mean = static_cast<double>(total) / (86.0 * 86.0);
    EXPECT_LT(mean, 80.0);
    EXPECT_LT(worst, 400);
}

TEST(BuildDisplayPalette, EmptyImageGetsABlackPalette) {
    RgbImage image;
    image.BuildDisplayPalette();
    ASSERT_NE(image.palette(), nullptr);
    for (const PaletteEntry& entry : *image.palette())
        EXPECT_EQ(ColourOf(entry), Colour(0, 0, 0));
}

}  // namespace
}  // namespace orbelune
