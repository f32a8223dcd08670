#include "image/adjustments.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "image/codec_test_helpers.h"
#include "image/image_layer.h"
#include "image/parallel.h"

namespace orbelune {
namespace {

// The HSL round trip written out literally, one pixel at a time, as the
// reference the table-driven AdjustSaturation must match byte for byte.
void LiteralSaturation(std::uint8_t* px, double percent) {
    const double r = px[0] * 0.00392156862745098;
    const double g = px[1] * 0.00392156862745098;
    const double b = px[2] * 0.00392156862745098;
    double max;
    if (r >= g && r >= b) {
        max = r;
    } else if (g >= r && g >= b) {
        max = g;
    } else {
        max = b;
    }
    double min;
    if (r <= g && r <= b) {
        min = r;
    } else if (g <= r && g <= b) {
        min = g;
    } else {
        min = b;
    }
    double l = (max + min) * 0.5;
    double hue = 0.0;
    double s = 0.0;
    if (max != min) {
        const double d = max - min;
        s = l < 0.5 ? d / (max + min) : d / (2 - max - min);
        if (max == r) {
            hue = (g - b) / d;
        } else if (max == g) {
            hue = (b - r) / d + 2;
        } else {
            hue = (r - g) / d + 4;
        }
    }
    int hByte = static_cast<int>(hue * 0.16666666666666666 * 255) % 256;
    if (hByte < 0) hByte += 256;
    const int sByte = static_cast<int>(s * 255);
    const int lByte = static_cast<int>(l * 255);

    const double m = percent * 0.01;
    const double h = hByte * (1.0 / 255);
    double sp = sByte * (1.0 / 255) * m;
    if (sp > 1) sp = 1;
    l = lByte * (1.0 / 255);
    if (sp == 0) {
        px[0] = px[1] = px[2] = static_cast<std::uint8_t>(static_cast<int>(l * 255));
        return;
    }
    const double q = l < 0.5 ? l * (1 + sp) : l + sp - l * sp;
    const double p = 2 * l - q;
    const double ts[3] = {h + 1.0 / 3 > 1 ? h + 1.0 / 3 - 1 : h + 1.0 / 3, h,
                          h - 1.0 / 3 < 0 ? h - 1.0 / 3 + 1 : h - 1.0 / 3};
    for (int c = 0; c < 3; ++c) {
        const double t = ts[c];
        double v;
        if (t < 1.0 / 6) {
            v = p + (q - p) * 6 * t;
        } else if (t < 1.0 / 2) {
            v = q;
        } else if (t < 2.0 / 3) {
            v = p + (q - p) * (2.0 / 3 - t) * 6;
        } else {
            v = p;
        }
        px[c] = static_cast<std::uint8_t>(static_cast<int>(v * 255));
    }
}

// Sharpening written per byte with explicit edge clamping.
std::vector<std::uint8_t> LiteralSharpen(const RgbImage& source, int amount) {
    const int w = source.width();
    const int h = source.height();
    const double k = std::clamp(amount, 0, 100) * 0.005;
    std::vector<std::uint8_t> out(source.byteCount());
    for (int i = 0; i < h; ++i) {
        for (int j = 0; j < w; ++j) {
            for (int c = 0; c < 3; ++c) {
                const double v = source.row(i)[j * 3 + c];
                double sum = 0;
                for (int di = -1; di <= 1; ++di) {
                    for (int dj = -1; dj <= 1; ++dj) {
                        if (di == 0 && dj == 0) continue;
                        const int y = std::clamp(i + di, 0, h - 1);
                        const int x = std::clamp(j + dj, 0, w - 1);
                        sum += source.row(y)[x * 3 + c];
                    }
                }
                double result = v - k * (sum - 8 * v);
                if (!(result >= 0)) result = 0;
                if (result > 255) result = 255;
                out[(static_cast<std::size_t>(i) * w + j) * 3 + c] =
                    static_cast<std::uint8_t>(result);
            }
        }
    }
    return out;
}

class AdjustmentsTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetWorkerThreads(0);
        SetImageProgress({});
    }
};

TEST(BrightnessContrastTable, TellingValues) {
    const auto identity = BrightnessContrastTable(0.0, 0.0);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(identity[i], i) << i;

    const auto brighter = BrightnessContrastTable(0.5, 0.0);
    EXPECT_EQ(brighter[0], 127);
    EXPECT_EQ(brighter[64], 191);
    for (int i = 128; i < 256; ++i)
        EXPECT_EQ(brighter[i], 255) << i;

    const auto steeper = BrightnessContrastTable(0.0, 0.5);
    for (int i = 0; i <= 64; ++i)
        EXPECT_EQ(steeper[i], 0) << i;
    EXPECT_EQ(steeper[128], 128);
    for (int i = 191; i < 256; ++i)
        EXPECT_EQ(steeper[i], 255) << i;

    const auto darker = BrightnessContrastTable(-0.5, 0.0);
    for (int i = 0; i <= 128; ++i)
        EXPECT_EQ(darker[i], 0) << i;
    EXPECT_EQ(darker[255], 128);

    // Out-of-range arguments are clamped, so 2 acts as 1.
    EXPECT_EQ(BrightnessContrastTable(2.0, 0.3), BrightnessContrastTable(1.0, 0.3));
    // Flatter contrast lifts black and lowers white; the curve stays monotonic.
    const auto flatter = BrightnessContrastTable(0.0, -0.5);
    EXPECT_EQ(flatter[0], 63);
    EXPECT_EQ(flatter[255], 191);
    EXPECT_TRUE(std::is_sorted(flatter.begin(), flatter.end()));
    // Contrast 1 (zero-width segments) gives a step, not garbage.
    const auto step = BrightnessContrastTable(0.0, 1.0);
    EXPECT_EQ(step[0], 0);
    EXPECT_EQ(step[255], 255);
    EXPECT_TRUE(std::is_sorted(step.begin(), step.end()));
}

TEST_F(AdjustmentsTest, BrightnessContrastAppliesTheCurveToEveryByte) {
    const RgbImage source = test::NoiseImage(517, 301, 1);
    const auto table = BrightnessContrastTable(0.13, -0.27);
    std::vector<std::uint8_t> expected = test::PixelBytes(source);
    for (std::uint8_t& byte : expected)
        byte = table[byte];
    for (int threads : {1, 2}) {
        SetWorkerThreads(threads);
        RgbImage image(source);
        ASSERT_TRUE(BrightnessContrast(image.data(), 517, 301, 0.13, -0.27));
        EXPECT_TRUE(test::PixelBytes(image) == expected) << threads;
    }
    SetLastImageError(err::kNone);
    EXPECT_FALSE(BrightnessContrast(nullptr, 5, 5, 0.1, 0.1));
    EXPECT_EQ(LastImageError(), err::kBadParam);
}

TEST_F(AdjustmentsTest, SharpenMatchesTheLiteralFormulaOnAnyThreadCount) {
    const RgbImage source = test::NoiseImage(517, 301, 2);
    for (int amount : {37}) {
        const std::vector<std::uint8_t> expected = LiteralSharpen(source, amount);
        for (int threads : {1, 2, 3}) {
            SetWorkerThreads(threads);
            RgbImage out;
            ASSERT_EQ(out.AllocatePixels(517, 301), err::kNone);
            ASSERT_TRUE(SharpenImage(source.data(), 517, 301, out.data(), amount));
            EXPECT_TRUE(test::PixelBytes(out) == expected) << amount << " threads " << threads;
        }
    }
}

TEST_F(AdjustmentsTest, SharpenAmountsAndFlatPictures) {
    const RgbImage source = test::NoiseImage(23, 11, 3);
    RgbImage out;
    ASSERT_EQ(out.AllocatePixels(23, 11), err::kNone);
    ASSERT_TRUE(SharpenImage(source.data(), 23, 11, out.data(), 0));
    EXPECT_TRUE(test::PixelBytes(out) == test::PixelBytes(source));
    ASSERT_TRUE(SharpenImage(source.data(), 23, 11, out.data(), 200));
    EXPECT_TRUE(test::PixelBytes(out) == LiteralSharpen(source, 100));
    EXPECT_FALSE(test::PixelBytes(out) == test::PixelBytes(source));

    RgbImage flat;
    ASSERT_EQ(flat.AllocatePixels(6, 4), err::kNone);
    for (std::size_t i = 0; i < flat.byteCount(); i += 3) {
        flat.data()[i] = 10, flat.data()[i + 1] = 128, flat.data()[i + 2] = 250;
    }
    ASSERT_TRUE(SharpenImage(flat.data(), 6, 4, out.data(), 100));
    EXPECT_EQ(0, std::memcmp(out.data(), flat.data(), flat.byteCount()));

    const std::uint8_t single[3] = {200, 3, 77};
    std::uint8_t sharpened[3] = {0, 0, 0};
    ASSERT_TRUE(SharpenImage(single, 1, 1, sharpened, 100));
    EXPECT_EQ(0, std::memcmp(single, sharpened, 3));
}

TEST_F(AdjustmentsTest, SharpenRefusalsAndStop) {
    RgbImage image = test::NoiseImage(8, 6, 4);
    SetLastImageError(err::kNone);
    EXPECT_FALSE(SharpenImage(image.data(), 8, 6, image.data(), 50));
    EXPECT_EQ(LastImageError(), err::kBadParam);
    EXPECT_FALSE(SharpenImage(image.data(), 0, 6, image.data() + 3, 50));
    EXPECT_EQ(LastImageError(), err::kBadParam);

    SetWorkerThreads(1);
    std::vector<std::uint8_t> out(image.byteCount(), 7);
    SetImageProgress([](int row, int count) { return count == 6 && row < 1; });
    EXPECT_FALSE(SharpenImage(image.data(), 8, 6, out.data(), 50));
    EXPECT_EQ(LastImageError(), err::kAborted);
    const std::vector<std::uint8_t> expected = LiteralSharpen(image, 50);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 2 * 24, expected.begin()));
    EXPECT_TRUE(
        std::all_of(out.begin() + 2 * 24, out.end(), [](std::uint8_t b) { return b == 7; }));
}

TEST(Hsl, TellingValuesAndNegativeHueWrap) {
    const HslBytes hsl = RgbToHsl(200, 50, 100);
    EXPECT_EQ(hsl.h, 242);  // H' = -1/3 gives -14, wrapped
    EXPECT_EQ(RgbToHsl(0, 0, 0).s, 0);
    EXPECT_EQ(RgbToHsl(255, 255, 255).l, 255);
    std::uint8_t rgb[3];
    HslToRgb({17, 0, 90}, 3.0, rgb);
    EXPECT_EQ(rgb[0], rgb[1]);
    EXPECT_EQ(rgb[1], rgb[2]);
}

TEST_F(AdjustmentsTest, SaturationMatchesTheLiteralRoundTripOnAnyThreadCount) {
    RgbImage source = test::NoiseImage(517, 301, 5);
    // Plus greys, pure hues and ties of the maximum.
    const std::uint8_t specials[][3] = {
        {0, 0, 0},   {255, 255, 255}, {128, 128, 128}, {255, 0, 0},    {0, 255, 0},
        {0, 0, 255}, {200, 200, 10},  {10, 200, 200},  {200, 10, 200}, {200, 50, 100}};
    for (std::size_t i = 0; i < std::size(specials); ++i) {
        std::memcpy(source.data() + i * 3, specials[i], 3);
    }
    for (double percent : {37.0, 100.0, 300.0}) {
        std::vector<std::uint8_t> expected = test::PixelBytes(source);
        for (std::size_t i = 0; i < expected.size(); i += 3)
            LiteralSaturation(&expected[i], percent);
        for (int threads : {1, 2}) {
            SetWorkerThreads(threads);
            RgbImage image(source);
            AdjustSaturation(image, percent);
            ASSERT_TRUE(test::PixelBytes(image) == expected) << percent << " threads " << threads;
        }
    }
}

TEST(AdjustSaturation, ZeroGivesGreyAndGreyStaysGrey) {
    RgbImage image = test::NoiseImage(31, 17, 6);
    AdjustSaturation(image, 0.0);
    for (std::size_t i = 0; i < image.byteCount(); i += 3) {
        ASSERT_EQ(image.data()[i], image.data()[i + 1]);
        ASSERT_EQ(image.data()[i + 1], image.data()[i + 2]);
    }
    const std::vector<std::uint8_t> grey = test::PixelBytes(image);
    AdjustSaturation(image, 250.0);
    for (std::size_t i = 0; i < image.byteCount(); i += 3) {
        ASSERT_EQ(image.data()[i], image.data()[i + 1]);
        ASSERT_EQ(image.data()[i + 1], image.data()[i + 2]);
    }
    RgbImage empty;
    AdjustSaturation(empty, 50.0);
    EXPECT_TRUE(empty.empty());
}

TEST(AdjustmentsFromSliders, MapsPositionsToValues) {
    const PanoAdjustments neutral = AdjustmentsFromSliders({});
    EXPECT_EQ(neutral.sharpness, 0);
    EXPECT_EQ(neutral.brightness, 0.0);
    EXPECT_EQ(neutral.contrast, 0.0);
    EXPECT_EQ(neutral.saturation, 100.0);
    const PanoAdjustments moved = AdjustmentsFromSliders({40, 75, 20, 250});
    EXPECT_EQ(moved.sharpness, 40);
    EXPECT_DOUBLE_EQ(moved.brightness, 0.25);
    EXPECT_DOUBLE_EQ(moved.contrast, -0.3);
    EXPECT_EQ(moved.saturation, 250.0);
}

TEST_F(AdjustmentsTest, ApplyRunsTheThreeStepsFromTheBase) {
    const RgbImage base = test::NoiseImage(40, 21, 7);
    const PanoAdjustments adjustments = AdjustmentsFromSliders({30, 60, 45, 140});

    RgbImage expected;
    ASSERT_EQ(expected.AllocatePixels(40, 21), err::kNone);
    ASSERT_TRUE(SharpenImage(base.data(), 40, 21, expected.data(), 30));
    ASSERT_TRUE(
        BrightnessContrast(expected.data(), 40, 21, adjustments.brightness, adjustments.contrast));
    AdjustSaturation(expected, 140.0);

    RgbImage current = test::NoiseImage(3, 3, 8);  // whatever was shown before
    const std::vector<std::uint8_t> baseBytes = test::PixelBytes(base);
    ASSERT_EQ(ApplyAdjustmentsTo(base, adjustments, current), err::kNone);
    EXPECT_TRUE(test::PixelBytes(current) == test::PixelBytes(expected));
    EXPECT_TRUE(test::PixelBytes(base) == baseBytes);
    // Applying again starts from the base, never from the last result.
    ASSERT_EQ(ApplyAdjustmentsTo(base, adjustments, current), err::kNone);
    EXPECT_TRUE(test::PixelBytes(current) == test::PixelBytes(expected));

    RgbImage same(base);
    ASSERT_EQ(ApplyAdjustmentsTo(same, adjustments, same), err::kNone);
    EXPECT_TRUE(test::PixelBytes(same) == test::PixelBytes(expected));

    RgbImage empty;
    EXPECT_EQ(ApplyAdjustmentsTo(empty, adjustments, current), err::kBadParam);
}

TEST_F(AdjustmentsTest, NeutralStepsLeaveThePixelsUntouched) {
    // Colourful noise: the HSL round trip alone would move most of these pixels.
    const RgbImage base = test::NoiseImage(37, 19, 11);
    RgbImage current;
    ASSERT_EQ(ApplyAdjustmentsTo(base, AdjustmentsFromSliders({0, 50, 50, 100}), current),
              err::kNone);
    EXPECT_TRUE(test::PixelBytes(current) == test::PixelBytes(base));

    // One step moved, the others neutral: exactly that step's bytes.
    RgbImage toneOnly(base);
    ASSERT_TRUE(BrightnessContrast(toneOnly.data(), 37, 19, 0.1, 0.0));
    ASSERT_EQ(ApplyAdjustmentsTo(base, AdjustmentsFromSliders({0, 60, 50, 100}), current),
              err::kNone);
    EXPECT_TRUE(test::PixelBytes(current) == test::PixelBytes(toneOnly));

    RgbImage saturationOnly(base);
    AdjustSaturation(saturationOnly, 101.0);
    ASSERT_EQ(ApplyAdjustmentsTo(base, AdjustmentsFromSliders({0, 50, 50, 101}), current),
              err::kNone);
    EXPECT_TRUE(test::PixelBytes(current) == test::PixelBytes(saturationOnly));
    EXPECT_FALSE(test::PixelBytes(saturationOnly) == test::PixelBytes(base));
}

}  // namespace
}  // namespace orbelune
