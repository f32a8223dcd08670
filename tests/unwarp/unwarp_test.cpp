#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <thread>
#include <vector>

#include "image/image_layer.h"
#include "unwarp/elevation_table.h"
#include "unwarp/sample_bilinear.h"
#include "unwarp/unwarp.h"
#include "unwarp/unwarp_reference.h"
#include "unwarp_test_util.h"

namespace orbelune {
namespace {

using testing::RandomImage;
using testing::SameBytes;

TEST(UnwarpOutputSize, WidthFromTwoPiRHeightByModel) {
    const PanoramaSize convex = UnwarpOutputSize(300, 2);
    EXPECT_EQ(convex.width, 1884);
    EXPECT_EQ(convex.height, 768);
    const PanoramaSize concave = UnwarpOutputSize(300, 1);
    EXPECT_EQ(concave.width, 1884);
    EXPECT_EQ(concave.height, 300);
    EXPECT_EQ(UnwarpOutputSize(100, 3).width, 628);
    EXPECT_EQ(UnwarpOutputSize(100, 3).height, 256);
    EXPECT_EQ(UnwarpOutputSize(100, 7).height, 100);
    // No 32-bit overflow for the largest radius.
    EXPECT_EQ(UnwarpOutputSize(INT_MAX, 0).width, 13493037698LL);
}

TEST(ElevationTable, TellingEntries) {
    const ElevationTable table = BuildElevationTable();
    EXPECT_EQ(table[0].v, 1.76);
    EXPECT_NEAR(table[0].z, 260.5475858, 1e-6);
    EXPECT_NEAR(table[1].v, 1.77004, 1e-9);
    EXPECT_NEAR(table[1].z, 259.8490768, 1e-6);
    EXPECT_NEAR(table[100].v, 2.764, 1e-9);
    EXPECT_NEAR(table[100].z, 191.2331482, 1e-6);
    EXPECT_NEAR(table[248].z, 123.5284283, 1e-6);
    EXPECT_NEAR(table[249].v, 4.25996, 1e-9);
    EXPECT_NEAR(table[249].z, 123.4755170, 1e-6);
    for (int k = 1; k < kElevationEntries; ++k)
        EXPECT_LT(table[k].z, table[k - 1].z);
}

TEST(ElevationTable, RowLookupAndItsInverse) {
    const ElevationTable table = BuildElevationTable();
    const double f = 300 * 0.234192037470726;
    EXPECT_EQ(RowImageRadius(table, 0, 300), 1.76);
    EXPECT_NEAR(RowImageRadius(table, 1, 300) * f, 124.1148, 1e-4);
    EXPECT_NEAR(RowImageRadius(table, 150, 300) * f, 193.3761, 1e-4);
    EXPECT_NEAR(RowImageRadius(table, 299, 300) * f, 294.8671, 1e-4);
    // The row where the interpolated z lands exactly on an entry takes its v.
    EXPECT_EQ(RowImageRadius(table, 250, 250), table[249].v);
    for (double row : {0.0, 0.5, 17.25, 150.0, 298.9}) {
        const double v = RowImageRadius(table, static_cast<int>(row), 300);
        EXPECT_NEAR(RowForImageRadius(table, v, 300), static_cast<int>(row), 1e-9);
    }
}

TEST(SamplePositions, MatchTheWorkedExamples) {
    const RingGeometry ring{500, 400, 300};
    const SamplePosition last = ConvexSamplePosition(ring, 1884, 768, 1883, 0);
    EXPECT_EQ(last.x, 800.0);
    EXPECT_EQ(last.y, 400.0);
    const SamplePosition first = ConvexSamplePosition(ring, 1884, 768, 0, 0);
    EXPECT_NEAR(first.x, 799.99833, 1e-5);
    EXPECT_NEAR(first.y, 398.99949, 1e-5);
    // A quarter turn from the last column lies towards smaller rows.
    const SamplePosition quarter = ConvexSamplePosition(ring, 1884, 768, 471, 0);
    EXPECT_NEAR(quarter.x, 498.99949, 1e-5);
    EXPECT_NEAR(quarter.y, 100.00167, 1e-5);
    const SamplePosition inner = ConvexSamplePosition(ring, 1884, 768, 1883, 767);
    EXPECT_NEAR(inner.x - 500, 300 * (0.176 + 0.824 / 768), 1e-9);

    const SamplePosition concave = ConcaveSamplePosition(ring, 1884, 1.76, 0);
    EXPECT_NEAR(concave.x, 623.65340, 1e-5);
    EXPECT_EQ(concave.y, 400.0);
}

TEST(SampleBilinear, ExactOnPixelsAndBlendsBetween) {
    EXPECT_EQ(SampleBilinear(17, 200, 3, 99, 5.0, -2.0), 17.0);
    EXPECT_EQ(SampleBilinear(0, 100, 0, 100, 3.25, 1.0), 25.0);
    EXPECT_EQ(SampleBilinear(0, 0, 200, 200, -0.75, -1.5), 100.0);  // true floor of negatives
    EXPECT_EQ(SampleBilinear(0, 255, 255, 0, 0.5, 0.5), 127.5);
}

// A picture whose rows each have one colour, apart from a distinct first pixel.
RgbImage StripedRows(int width, int height) {
    RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), 0u);
    for (int k = 0; k < height; ++k)
        for (int i = 0; i < width; ++i)
            for (int c = 0; c < 3; ++c)
                image.row(k)[3 * i + c] = static_cast<std::uint8_t>(10 * k + 5);
    image.data()[0] = 1;
    image.data()[1] = 2;
    image.data()[2] = 3;
    return image;
}

TEST(Unwarp, OnPixelSampleReturnsThatPixel) {
    const RgbImage source = RandomImage(1000, 800, 11);
    RgbImage panorama;
    ASSERT_EQ(Unwarp(source, RingParams{500, 400, 60, 300}, 2, panorama), 0);
    ASSERT_EQ(panorama.width(), 1884);
    ASSERT_EQ(panorama.height(), 768);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(panorama.row(0)[3 * 1883 + c], source.row(400)[3 * 800 + c]);
}

TEST(Unwarp, SamplesWithNoPhotographUnderThemAreWhiteForBothModels) {
    const RgbImage source = StripedRows(20, 20);
    const RingParams ring{10, 10, 60, 30};
    RgbImage convex, concave;
    ASSERT_EQ(Unwarp(source, ring, 2, convex), 0);
    ASSERT_EQ(convex.width(), 188);
    // Column 140 of row 0 samples straight down, 30 rows from the centre:
    // below the photograph, so white (not the photograph's first pixel).
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(convex.row(0)[3 * 140 + c], 255);
    ASSERT_EQ(Unwarp(source, ring, 0, concave), 0);
    const std::uint8_t* down = concave.row(concave.height() - 1) + 3 * 47;
    EXPECT_EQ(down[0], 255);
    EXPECT_EQ(down[1], 255);
    EXPECT_EQ(down[2], 255);
}

TEST(Unwarp, NothingWrapsToTheNeighbouringRow) {
    const RgbImage source = StripedRows(20, 20);
    RgbImage panorama;
    // The last column of row 0 samples (25, 10), right of the photograph; with
    // linear addresses it would have read row 11.
    for (int type : {3, 0}) {
        ASSERT_EQ(Unwarp(source, RingParams{10, 10, 60, 15}, type, panorama), 0);
        const int column = type == 3 ? panorama.width() - 1 : 0;
        const int row = type == 3 ? 0 : panorama.height() - 1;
        EXPECT_EQ(panorama.row(row)[3 * column], 255) << "type " << type;
    }
    // Left of the photograph: (-5, 10) is white, not the end of row 9.
    ASSERT_EQ(Unwarp(source, RingParams{10, 10, 60, 15}, 2, panorama), 0);
    EXPECT_EQ(panorama.row(0)[3 * (panorama.width() / 2)], 255);
}

TEST(Unwarp, ConvexOnTheLastColumnAndRowRepeatsTheEdgePixels_ConcaveIsWhite) {
    // Pixel (i, k) holds 10 * i + k (+ channel): bilinear in both directions.
    RgbImage source;
    ASSERT_EQ(source.AllocatePixels(10, 10), 0u);
    for (int k = 0; k < 10; ++k)
        for (int i = 0; i < 10; ++i)
            for (int c = 0; c < 3; ++c)
                source.row(k)[3 * i + c] = static_cast<std::uint8_t>(10 * i + k + c);
    // Convex, centre (5, 5), R 5: the last column of row 1 samples about
    // (9.66, 5.0). The right neighbour is missing and repeats the base; linear
    // addresses would have blended in row 6's first pixel.
    RgbImage panorama;
    ASSERT_EQ(Unwarp(source, RingParams{5, 5, 60, 5}, 2, panorama), 0);
    const std::uint8_t* last = panorama.row(1) + 3 * (panorama.width() - 1);
    EXPECT_EQ(last[0], 95);
    EXPECT_EQ(last[1], 96);
    EXPECT_EQ(last[2], 97);
    // Bases in the last row: the lower neighbour repeats the base, and so does
    // the down-right one (it takes the replaced lower one).
    const RingGeometry low{4, 9, 4};
    ASSERT_EQ(Unwarp(source, RingParams{4, 9, 60, 4}, 2, panorama), 0);
    int checked = 0;
    for (int j = 0; j < panorama.width(); ++j) {
        const SamplePosition p =
            ConvexSamplePosition(low, panorama.width(), panorama.height(), j, 1);
        if (std::floor(p.y) != 9 || p.x < 0 || p.x >= 9) continue;
        const int a = 10 * static_cast<int>(std::floor(p.x)) + 9;
        EXPECT_EQ(panorama.row(1)[3 * j],
                  static_cast<int>(SampleBilinear(a, a + 10, a, a, p.x, p.y)))
            << j;
        ++checked;
    }
    EXPECT_GE(checked, 3);
    // The concave rule needs all four neighbours.
    ASSERT_EQ(Unwarp(source, RingParams{4, 5, 60, 5}, 0, panorama), 0);
    const ElevationTable table = BuildElevationTable();
    for (int q = 0; q < panorama.height(); ++q) {
        const double x = 4 + RowImageRadius(table, q, panorama.height()) * (5 * 0.234192037470726);
        const std::uint8_t* first = panorama.row(q);  // column 0 samples angle 0
        if (std::floor(x) >= 9) {
            EXPECT_EQ(first[0], 255) << q;
        } else {
            EXPECT_LT(first[0], 100) << q;
        }
    }
}

TEST(Unwarp, TinySourcesGiveDefinedResults) {
    const RgbImage one = RandomImage(1, 1, 3);
    RgbImage panorama;
    // Convex: only samples whose base is the single pixel show it.
    ASSERT_EQ(Unwarp(one, RingParams{0, 0, 60, 5}, 2, panorama), 0);
    int shown = 0;
    for (std::size_t i = 0; i < panorama.byteCount(); i += 3) {
        const bool white = panorama.data()[i] == 255 && panorama.data()[i + 1] == 255 &&
                           panorama.data()[i + 2] == 255;
        const bool pixel = panorama.data()[i] == one.data()[0] &&
                           panorama.data()[i + 1] == one.data()[1] &&
                           panorama.data()[i + 2] == one.data()[2];
        ASSERT_TRUE(white || pixel) << i;
        shown += pixel && !white;
    }
    EXPECT_GT(shown, 0);
    ASSERT_EQ(Unwarp(one, RingParams{0, 0, 60, 5}, 0, panorama), 0);
    for (std::size_t i = 0; i < panorama.byteCount(); ++i)
        EXPECT_EQ(panorama.data()[i], 255);
}

TEST(Unwarp, TypeOneMirrorsTypeZero_OtherValuesUnwarpAsConcave) {
    const RgbImage source = RandomImage(90, 70, 5);
    const RingParams ring{44, 37, 60, 33};
    RgbImage zero, one, seven, minus;
    ASSERT_EQ(Unwarp(source, ring, 0, zero), 0);
    ASSERT_EQ(Unwarp(source, ring, 1, one), 0);
    ASSERT_EQ(Unwarp(source, ring, 7, seven), 0);
    ASSERT_EQ(Unwarp(source, ring, -1, minus), 0);
    EXPECT_TRUE(SameBytes(zero, seven));
    EXPECT_TRUE(SameBytes(zero, minus));
    ASSERT_EQ(one.width(), zero.width());
    const int w = zero.width();
    for (int q = 0; q < zero.height(); ++q)
        for (int j = 0; j < w; ++j)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(one.row(q)[3 * j + c], zero.row(q)[3 * (w - 1 - j) + c]) << j << "," << q;
}

TEST(Unwarp, ReportsEveryRowInOrderOnTheCallingThread) {
    const RgbImage source = RandomImage(400, 300, 9);
    for (int type : {1, 2}) {
        std::vector<int> rows;
        bool otherThread = false;
        const auto caller = std::this_thread::get_id();
        RgbImage panorama;
        ASSERT_EQ(Unwarp(source, RingParams{200, 150, 60, 140}, type, panorama,
                         [&](int row, int count) {
                             EXPECT_EQ(count, panorama.height() == 0 ? count : count);
                             otherThread |= std::this_thread::get_id() != caller;
                             rows.push_back(row);
                             return true;
                         }),
                  0);
        ASSERT_EQ(static_cast<int>(rows.size()), panorama.height());
        for (int i = 0; i < panorama.height(); ++i)
            ASSERT_EQ(rows[static_cast<std::size_t>(i)], i);
        EXPECT_FALSE(otherThread);
    }
}

TEST(Unwarp, FailuresSetTheLastErrorAndKeepOrDropThePanorama) {
    const RgbImage source = RandomImage(50, 40, 1);
    RgbImage panorama = RandomImage(3, 3, 2);

    EXPECT_EQ(Unwarp(RgbImage(), RingParams{25, 20, 60, 30}, 1, panorama), -1);
    EXPECT_EQ(LastImageError(), err::kBadParam);
    EXPECT_EQ(panorama.width(), 3);  // nothing changed

    for (int radius : {0, -10, INT_MIN}) {
        EXPECT_EQ(Unwarp(source, RingParams{25, 20, 60, radius}, 2, panorama), -1);
        EXPECT_EQ(LastImageError(), err::kBadParam);
    }
    // Over the side limit: refused before any allocation, previous panorama gone.
    EXPECT_EQ(Unwarp(source, RingParams{25, 20, 60, INT_MAX}, 0, panorama), -1);
    EXPECT_EQ(LastImageError(), err::kNoMemory);
    EXPECT_TRUE(panorama.empty());

    SetImagePixelLimit(1000);
    EXPECT_EQ(Unwarp(source, RingParams{25, 20, 60, 20}, 0, panorama), -1);
    EXPECT_EQ(LastImageError(), err::kNoMemory);
    SetImagePixelLimit(0);
    EXPECT_EQ(Unwarp(source, RingParams{25, 20, 60, 20}, 0, panorama), 0);
    EXPECT_EQ(LastImageError(), err::kNone);
}

TEST(Unwarp, SourceMayAlsoBeTheDestination) {
    RgbImage image = RandomImage(60, 50, 4);
    RgbImage expected;
    ASSERT_EQ(Unwarp(image, RingParams{30, 25, 60, 20}, 1, expected), 0);
    ASSERT_EQ(Unwarp(image, RingParams{30, 25, 60, 20}, 1, image), 0);
    EXPECT_TRUE(SameBytes(image, expected));
}

TEST(Seam, TurnsTheColumnsByTheRoundedShare_ZeroKeepsTheBytes) {
    EXPECT_EQ(SeamShift(0, 1884), 0);
    EXPECT_EQ(SeamShift(90, 1884), 471);
    EXPECT_EQ(SeamShift(359, 1884), 1879);  // round(1878.77)
    EXPECT_EQ(SeamShift(180, 3), 2);        // round(1.5) = 2
    EXPECT_EQ(SeamShift(45, 0), 0);
    EXPECT_TRUE(IsValidSeam(0) && IsValidSeam(359));
    EXPECT_FALSE(IsValidSeam(-1) || IsValidSeam(360));

    const RgbImage source = RandomImage(200, 160, 8);
    RgbImage plain, turned;
    ASSERT_EQ(Unwarp(source, RingParams{100, 80, 60, 60}, 2, plain), 0);
    ASSERT_EQ(Unwarp(source, RingParams{100, 80, 60, 60}, 2, turned), 0);
    TurnColumns(turned, SeamShift(0, turned.width()));
    EXPECT_TRUE(SameBytes(plain, turned));
    const int w = plain.width();
    const int shift = SeamShift(100, w);
    TurnColumns(turned, shift);
    for (int q = 0; q < plain.height(); q += 7)
        for (int j = 0; j < w; ++j)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(turned.row(q)[3 * j + c], plain.row(q)[3 * ((j + shift) % w) + c]);
}

}  // namespace
}  // namespace orbelune
