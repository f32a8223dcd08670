#include "image/image_ops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "image/codec_test_helpers.h"
#include "image/image_layer.h"
#include "image/parallel.h"
#include "image/rgb_image.h"

namespace orbelune {
namespace {

// The resample written per pixel, straight from its description.
std::vector<std::uint8_t> ReferenceResample(const RgbImage& source, int newWidth, int newHeight) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(newWidth) * newHeight * 3);
    const int w = source.width();
    const int h = source.height();
    for (int i = 0; i < newHeight; ++i) {
        double sy = i * (static_cast<double>(h) / newHeight);
        if (sy > h - 1) sy = h - 1;
        const int y0 = static_cast<int>(sy);
        const int y1 = std::min(y0 + 1, h - 1);
        const double fy = sy - y0;
        for (int j = 0; j < newWidth; ++j) {
            double sx = j * (static_cast<double>(w) / newWidth);
            if (sx > w - 1) sx = w - 1;
            const int x0 = static_cast<int>(sx);
            const int x1 = std::min(x0 + 1, w - 1);
            const double fx = sx - x0;
            for (int c = 0; c < 3; ++c) {
                auto at = [&](int x, int y) {
                    return static_cast<double>(source.row(y)[x * 3 + c]);
                };
                const double top = at(x0, y0) + fx * (at(x1, y0) - at(x0, y0));
                const double bottom = at(x0, y1) + fx * (at(x1, y1) - at(x0, y1));
                out[(static_cast<std::size_t>(i) * newWidth + j) * 3 + c] =
                    static_cast<std::uint8_t>(top + fy * (bottom - top));
            }
        }
    }
    return out;
}

class ImageOpsTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetWorkerThreads(0);
        SetImageProgress({});
    }
};

TEST(FitDisplaySize, FitsByOrientationOnly) {
    auto fit = [](int w, int h) { return FitDisplaySize(w, h, 400, 300, false); };
    EXPECT_EQ(fit(1000, 500).width, 400);
    EXPECT_EQ(fit(1000, 500).height, 200);
    EXPECT_EQ(fit(500, 1000).width, 150);
    EXPECT_EQ(fit(500, 1000).height, 300);
    // Wider than high: the width is fitted and the height may exceed the box.
    EXPECT_EQ(fit(1000, 900).width, 400);
    EXPECT_EQ(fit(1000, 900).height, 360);
    // 400 / 3 = 133.33 truncates.
    EXPECT_EQ(fit(300, 900).width, 100);
    EXPECT_EQ(fit(900, 900).height, 400);
    const DisplaySize exact = FitDisplaySize(1000, 500, 400, 300, true);
    EXPECT_EQ(exact.width, 400);
    EXPECT_EQ(exact.height, 300);
    // An extremely thin strip still gets one line.
    EXPECT_EQ(fit(100000, 1).height, 1);
}

TEST(CopyRect, CopiesTheRectanglePacked) {
    const RgbImage source = test::NoiseImage(7, 5, 1);
    std::vector<std::uint8_t> out(3 * 2 * 3, 0xEE);
    ASSERT_TRUE(CopyRect(source.data(), out.data(), 7, 5, 3, 2, 1, 5, 3));
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(0, std::memcmp(out.data() + y * 9, source.row(1 + y) + 2 * 3, 9)) << y;
    }
}

TEST(CopyRect, RefusesBadRectanglesWithError5) {
    const RgbImage source = test::NoiseImage(6, 4, 2);
    std::vector<std::uint8_t> out(6 * 4 * 3);
    struct Case {
        const std::uint8_t* src;
        std::uint8_t* dst;
        int left, top, right, bottom;
    };
    const Case cases[] = {
        {source.data(), out.data(), 2, 0, 2, 4},   // left = right
        {source.data(), out.data(), 0, 3, 6, 3},   // top = bottom
        {source.data(), out.data(), 0, 0, 7, 4},   // wider than the source
        {source.data(), out.data(), 0, 0, 6, 5},   // higher than the source
        {source.data(), out.data(), 3, 0, 8, 4},   // reaches past the right edge
        {source.data(), out.data(), -1, 0, 2, 2},  // starts left of the image
        {nullptr, out.data(), 0, 0, 1, 1},         // no source
        {source.data(), const_cast<std::uint8_t*>(source.data()), 0, 0, 1, 1},  // same block
    };
    for (const Case& c : cases) {
        SetLastImageError(err::kNone);
        EXPECT_FALSE(CopyRect(c.src, c.dst, 6, 4, 3, c.left, c.top, c.right, c.bottom))
            << c.left << "," << c.top << "," << c.right << "," << c.bottom;
        EXPECT_EQ(LastImageError(), err::kBadParam);
    }
}

TEST_F(ImageOpsTest, ResizeRefusals) {
    RgbImage image;
    EXPECT_EQ(image.ResizeImage(10, 10), err::kBadParam);
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(image.width(), 0);

    // A size that cannot be allocated is 1 and leaves the picture as it was.
    RgbImage loaded = test::NoiseImage(4, 3, 9);
    EXPECT_EQ(loaded.ResizeImage(0, 5), err::kNoMemory);
    EXPECT_EQ(loaded.width(), 4);
    EXPECT_EQ(loaded.height(), 3);
}

TEST_F(ImageOpsTest, ResizeBlendsAndClampsAtTheLastColumn) {
    RgbImage image;
    const std::uint8_t two[] = {0, 0, 0, 100, 200, 255};
    ASSERT_EQ(image.AssignPixels(two, 2, 1), err::kNone);
    ASSERT_EQ(image.ResizeImage(4, 1), err::kNone);
    ASSERT_EQ(image.width(), 4);
    // Positions 0, 0.5, 1 and 1.5 (clamped to 1).
    const std::vector<std::uint8_t> expected = {0,   0,   0,   50,  100, 127,
                                                100, 200, 255, 100, 200, 255};
    EXPECT_EQ(test::PixelBytes(image), expected);
}

TEST_F(ImageOpsTest, ResizeKeepsFlatAreasAndThePalette) {
    RgbImage image;
    ASSERT_EQ(image.AllocatePixels(13, 7), err::kNone);
    std::memset(image.data(), 255, image.byteCount());
    DisplayPalette palette{};
    palette[3].red = 9;
    image.SetPalette(palette);
    ASSERT_EQ(image.ResizeImage(31, 5), err::kNone);
    EXPECT_EQ(image.width(), 31);
    EXPECT_EQ(image.height(), 5);
    const std::vector<std::uint8_t> bytes = test::PixelBytes(image);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 255; }));
    ASSERT_NE(image.palette(), nullptr);
    EXPECT_EQ((*image.palette())[3].red, 9);
}

TEST_F(ImageOpsTest, ResizeMatchesPerPixelFormulaOnAnyThreadCount) {
    const RgbImage source = test::NoiseImage(517, 301, 3);
    // Up (parallel above the threshold) and down (small enough to run serially).
    for (const auto& [w, h] : {std::pair{700, 433}, std::pair{211, 97}}) {
        const std::vector<std::uint8_t> reference = ReferenceResample(source, w, h);
        for (int threads : {1, 2}) {
            SetWorkerThreads(threads);
            RgbImage image(source);
            ASSERT_EQ(image.ResizeImage(w, h), err::kNone);
            EXPECT_TRUE(test::PixelBytes(image) == reference)
                << w << "x" << h << " threads " << threads;
        }
    }
}

TEST_F(ImageOpsTest, ResizeReportsItsOwnRowsAndStopsWith14) {
    SetWorkerThreads(1);
    RgbImage image = test::NoiseImage(20, 10, 4);
    const std::vector<std::uint8_t> before = test::PixelBytes(image);
    int calls = 0;
    int lastCount = 0;
    SetImageProgress([&](int, int count) {
        lastCount = count;
        return ++calls < 3;
    });
    EXPECT_EQ(image.ResizeImage(8, 6), err::kAborted);
    EXPECT_EQ(LastImageError(), err::kAborted);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(lastCount, 6);  // rows of the new size, reported by ResizeImage itself
    EXPECT_EQ(image.width(), 20);
    EXPECT_TRUE(test::PixelBytes(image) == before);
}

TEST_F(ImageOpsTest, MirrorRowsReversesEveryRow) {
    RgbImage image;
    const std::uint8_t pixels[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    ASSERT_EQ(image.AssignPixels(pixels, 3, 2), err::kNone);
    ASSERT_EQ(image.MirrorRows(), err::kNone);
    const std::vector<std::uint8_t> expected = {7,  8,  9,  4,  5,  6,  1,  2,  3,
                                                16, 17, 18, 13, 14, 15, 10, 11, 12};
    EXPECT_EQ(test::PixelBytes(image), expected);
    RgbImage empty;
    EXPECT_EQ(empty.MirrorRows(), err::kBadParam);
}

TEST_F(ImageOpsTest, MirrorStopAtRowLeavesLaterRowsUntouched) {
    SetWorkerThreads(1);
    RgbImage image = test::NoiseImage(9, 6, 5);
    const RgbImage before(image);
    SetImageProgress([](int row, int) { return row < 2; });
    EXPECT_EQ(image.MirrorRows(), err::kAborted);
    EXPECT_EQ(LastImageError(), err::kAborted);
    for (int x = 0; x < 9; ++x) {
        EXPECT_EQ(image.row(2)[x * 3], before.row(2)[(8 - x) * 3]);  // rows 0..2 done
    }
    EXPECT_EQ(0, std::memcmp(image.row(3), before.row(3), 3 * 9 * 3));
}

// Pixel (x, y) holds x + 10 y in red, so each position is recognisable.
RgbImage Numbered(int width, int height) {
    RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), err::kNone);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.row(y)[x * 3] = static_cast<std::uint8_t>(x + 10 * y);
            image.row(y)[x * 3 + 1] = static_cast<std::uint8_t>(y);
            image.row(y)[x * 3 + 2] = static_cast<std::uint8_t>(x);
        }
    }
    return image;
}

TEST_F(ImageOpsTest, RotateMapsPixelsForEachMode) {
    const int w = 4;
    const int h = 3;
    const RgbImage source = Numbered(w, h);
    struct Mode {
        int mode;
        int width;
        int height;
        int (*column)(int x, int y);
        int (*row)(int x, int y);
    };
    const Mode modes[] = {
        {0, h, w, [](int, int y) { return 3 - 1 - y; }, [](int x, int) { return x; }},
        {1, w, h, [](int x, int) { return 4 - 1 - x; }, [](int, int y) { return 3 - 1 - y; }},
        {2, h, w, [](int, int y) { return y; }, [](int x, int) { return 4 - 1 - x; }},
    };
    for (const Mode& m : modes) {
        RgbImage image(source);
        ASSERT_EQ(image.RotateImage(m.mode), 1) << m.mode;
        ASSERT_EQ(image.width(), m.width);
        ASSERT_EQ(image.height(), m.height);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* turned = image.row(m.row(x, y)) + m.column(x, y) * 3;
                EXPECT_EQ(0, std::memcmp(turned, source.row(y) + x * 3, 3))
                    << "mode " << m.mode << " at " << x << "," << y;
            }
        }
    }
}

TEST_F(ImageOpsTest, RotateRefusesBadModeAndEmptyImage) {
    RgbImage image = Numbered(4, 3);
    const std::vector<std::uint8_t> before = test::PixelBytes(image);
    EXPECT_EQ(image.RotateImage(3), 0);
    EXPECT_EQ(image.RotateImage(-1), 0);
    EXPECT_EQ(image.width(), 4);
    EXPECT_TRUE(test::PixelBytes(image) == before);
    RgbImage empty;
    EXPECT_EQ(empty.RotateImage(0), 0);

    // Stopped halfway: nothing of the turn reaches the picture.
    SetImageProgress([](int row, int) { return row < 1; });
    EXPECT_EQ(image.RotateImage(0), 0);
    EXPECT_EQ(LastImageError(), err::kAborted);
    EXPECT_EQ(image.width(), 4);
    EXPECT_TRUE(test::PixelBytes(image) == before);
}

TEST_F(ImageOpsTest, RotateAndMirrorAreTheSameOnAnyThreadCount) {
    const RgbImage source = test::NoiseImage(517, 301, 6);
    for (int mode = 0; mode <= 2; ++mode) {
        SetWorkerThreads(1);
        RgbImage serial(source);
        ASSERT_EQ(serial.RotateImage(mode), 1);
        SetWorkerThreads(3);
        RgbImage parallel(source);
        ASSERT_EQ(parallel.RotateImage(mode), 1);
        EXPECT_TRUE(test::PixelBytes(serial) == test::PixelBytes(parallel)) << mode;
    }
    // Four quarter turns give the picture back.
    RgbImage turned(source);
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(turned.RotateImage(2), 1);
    EXPECT_TRUE(test::PixelBytes(turned) == test::PixelBytes(source));

    SetWorkerThreads(1);
    RgbImage serial(source);
    ASSERT_EQ(serial.MirrorRows(), err::kNone);
    SetWorkerThreads(2);
    RgbImage parallel(source);
    ASSERT_EQ(parallel.MirrorRows(), err::kNone);
    EXPECT_TRUE(test::PixelBytes(serial) == test::PixelBytes(parallel));
    ASSERT_EQ(parallel.MirrorRows(), err::kNone);
    EXPECT_TRUE(test::PixelBytes(parallel) == test::PixelBytes(source));
}

}  // namespace
}  // namespace orbelune
