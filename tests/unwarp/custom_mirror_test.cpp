// The custom mirror: its size, its stored description, and its kernel's bytes
// against the reference written out from the rules.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <tuple>

#include "custom_mirror_reference.h"
#include "image/parallel.h"
#include "platform/settings_store.h"
#include "unwarp/mirror_types.h"
#include "unwarp/unwarp.h"
#include "unwarp/unwarp_kernels.h"
#include "unwarp_test_util.h"

namespace orbelune {
namespace {

using testing::RandomImage;
using testing::SameBytes;

TEST(CustomMirror, OutputSizeIsOneRowPerColumnAngle) {
    // R 300: W 1884; 60 degrees -> 1884 / 6 = 314 rows.
    EXPECT_EQ(UnwarpOutputSize(300, 4).width, 1884);
    EXPECT_EQ(UnwarpOutputSize(300, 4).height, 314);
    EXPECT_EQ(UnwarpOutputSize(300, 4, CustomMirror{-45, 15, false}).height, 314);
    // 1884 * 1 / 360 = 5.23 -> 5; a tiny ring still gets a row.
    EXPECT_EQ(UnwarpOutputSize(300, 4, CustomMirror{10, 9, false}).height, 5);
    EXPECT_EQ(UnwarpOutputSize(1, 4, CustomMirror{10, 9, false}).height, 1);
    // 178 degrees: 1884 * 178 / 360 = 931.53.
    EXPECT_EQ(UnwarpOutputSize(300, 4, CustomMirror{89, -89, false}).height, 932);
    EXPECT_EQ(UnwarpOutputSize(0, 4).height, 0);
}

TEST(CustomMirror, RowRadiiRunBetweenTheCirclesByElevation) {
    const EquiangularRows rows{100, 15, -45};
    // 60 rows: row q shows 15 - (q + 0.5) degrees; the outer circle at 15.
    EXPECT_DOUBLE_EQ(EquiangularRowRadius(rows, 300, 0, 60), 300 - 0.5 / 60 * 200);
    EXPECT_DOUBLE_EQ(EquiangularRowRadius(rows, 300, 59, 60), 100 + 0.5 / 60 * 200);
    EXPECT_DOUBLE_EQ(EquiangularRowRadius(rows, 300, 15, 60), 300 - 15.5 / 60 * 200);
    // The inner circle looking higher than the outer: row 0 lies near the inner circle.
    const EquiangularRows upward{100, -45, 15};
    EXPECT_DOUBLE_EQ(EquiangularRowRadius(upward, 300, 0, 60), 100 + 0.5 / 60 * 200);
}

TEST(CustomMirror, ValidationAndStore) {
    EXPECT_TRUE(IsValidCustomMirror(CustomMirror{}));
    EXPECT_TRUE(IsValidCustomMirror(CustomMirror{-89, 89, true}));
    EXPECT_FALSE(IsValidCustomMirror(CustomMirror{90, 0, false}));
    EXPECT_FALSE(IsValidCustomMirror(CustomMirror{0, -90, false}));
    EXPECT_FALSE(IsValidCustomMirror(CustomMirror{20, 20, false}));

    MemorySettingsStore store;
    EXPECT_EQ(LoadCustomMirror(store), (CustomMirror{15, -45, false}));
    StoreCustomMirror(store, CustomMirror{30, -10, true});
    EXPECT_EQ(store.GetInt("EQUIPMENT", "CUSTOM_OUTER_ELEVATION", 0), 30);
    EXPECT_EQ(store.GetInt("EQUIPMENT", "CUSTOM_INNER_ELEVATION", 0), -10);
    EXPECT_EQ(store.GetInt("EQUIPMENT", "CUSTOM_MIRRORED", 0), 1);
    EXPECT_EQ(LoadCustomMirror(store), (CustomMirror{30, -10, true}));
    // A broken stored pair gives both defaults; the mirroring is kept.
    store.SetInt("EQUIPMENT", "CUSTOM_INNER_ELEVATION", 30);
    EXPECT_EQ(LoadCustomMirror(store), (CustomMirror{15, -45, true}));
    store.SetInt("EQUIPMENT", "CUSTOM_INNER_ELEVATION", -200);
    EXPECT_EQ(LoadCustomMirror(store), (CustomMirror{15, -45, true}));
}

TEST(CustomMirror, TableRowAndTilt) {
    const MirrorInfo* custom = FindMirror(4);
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(FindMirrorByCliName("custom"), custom);
    EXPECT_EQ(custom->model, MirrorModel::Equiangular);
    EXPECT_FALSE(UsesConvexModel(4));
    EXPECT_FALSE(MirrorsRows(4));
    EXPECT_EQ(TiltRangeFor(4).minimum, -45);
    EXPECT_EQ(TiltRangeFor(4).maximum, 15);
    EXPECT_EQ(TiltRangeFor(4, CustomMirror{-10, 50, false}).minimum, -10);
    EXPECT_EQ(TiltRangeFor(4, CustomMirror{-10, 50, false}).maximum, 50);
    EXPECT_EQ(TiltRangeFor(2, CustomMirror{-10, 50, false}).maximum, 60);
}

TEST(CustomMirror, InvalidDescriptionIsRefused) {
    const RgbImage source = RandomImage(60, 50, 3);
    RgbImage panorama;
    EXPECT_EQ(Unwarp(source, RingParams{30, 25, 5, 20}, 4, CustomMirror{10, 10, false}, panorama),
              -1);
    EXPECT_EQ(Unwarp(source, RingParams{30, 25, 5, 20}, 4, CustomMirror{95, 10, false}, panorama),
              -1);
    // Other mirrors ignore it.
    EXPECT_EQ(Unwarp(source, RingParams{30, 25, 5, 20}, 2, CustomMirror{10, 10, false}, panorama),
              0);
}

// The seam's place on the circle follows the way the columns run.
TEST(Seam, AngleOnTheCircleAndBack) {
    const CustomMirror plain, mirrored{15, -45, true};
    EXPECT_DOUBLE_EQ(SeamAngle(90, 0, plain), 90);
    EXPECT_DOUBLE_EQ(SeamAngle(90, 1, plain), 270);
    EXPECT_DOUBLE_EQ(SeamAngle(90, 2, plain), 270);
    EXPECT_DOUBLE_EQ(SeamAngle(90, 4, plain), 270);
    EXPECT_DOUBLE_EQ(SeamAngle(90, 4, mirrored), 90);
    EXPECT_DOUBLE_EQ(SeamAngle(0, 2, plain), 0);
    for (int type : {0, 1, 2, 4})
        for (int seam : {0, 1, 90, 200, 359})
            EXPECT_EQ(SeamForAngle(SeamAngle(seam, type, plain), type, plain), seam);
    EXPECT_EQ(SeamForAngle(-90.4, 2, plain), 90);
    EXPECT_EQ(SeamForAngle(359.6, 0, plain), 0);
    EXPECT_EQ(SeamForAngle(std::nan(""), 0, plain), 0);
}

// Column 0 of a turned panorama shows the photograph at the seam's angle.
TEST(Seam, FirstColumnLooksWhereTheSeamSays) {
    // One bright spot at 60 degrees (towards increasing y) on the circle.
    RgbImage source;
    ASSERT_EQ(source.AllocatePixels(200, 200), 0u);
    const double angle = 60 * M_PI / 180;
    for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx) {
            const int x = static_cast<int>(std::lround(100 + 80 * std::cos(angle))) + dx;
            const int y = static_cast<int>(std::lround(100 + 80 * std::sin(angle))) + dy;
            for (int c = 0; c < 3; ++c)
                source.row(y)[3 * x + c] = 255;
        }
    for (const CustomMirror custom : {CustomMirror{15, -45, false}, CustomMirror{15, -45, true}}) {
        RgbImage panorama;
        ASSERT_EQ(Unwarp(source, RingParams{100, 100, 40, 90}, 4, custom, panorama), 0);
        const int seam = SeamForAngle(60, 4, custom);
        TurnColumns(panorama, SeamShift(seam, panorama.width()));
        // Some row crossing radius 80 is bright in column 0.
        bool bright = false;
        for (int q = 0; q < panorama.height() && !bright; ++q)
            bright = panorama.row(q)[0] > 200;
        EXPECT_TRUE(bright) << custom.mirrored;
    }
}

class CustomReferenceEquality : public ::testing::TestWithParam<std::tuple<int, UnwarpVectors>> {
protected:
    void SetUp() override {
        SetWorkerThreads(std::get<0>(GetParam()));
        SetUnwarpVectorLimit(std::get<1>(GetParam()));
    }
    void TearDown() override {
        SetWorkerThreads(0);
        SetUnwarpVectorLimit(UnwarpVectors::kAvx512);
    }
};

void ExpectSameAsReference(int width, int height, const RingParams& ring,
                           const CustomMirror& custom, std::uint32_t seed) {
    const RgbImage source = RandomImage(width, height, seed);
    RgbImage fast, reference;
    ASSERT_EQ(Unwarp(source, ring, 4, custom, fast), 0);
    ASSERT_TRUE(testing::ReferenceUnwarpCustom(
        source, ring, {custom.outerElevation, custom.innerElevation, custom.mirrored}, reference));
    ASSERT_TRUE(SameBytes(fast, reference))
        << "image " << width << "x" << height << " centre " << ring.XCenter << "," << ring.YCenter
        << " radii " << ring.InnerRadius << "," << ring.OuterRadius << " elevations "
        << custom.outerElevation << "," << custom.innerElevation
        << (custom.mirrored ? " mirrored" : "");
}

TEST_P(CustomReferenceEquality, RingsPastEveryEdge) {
    struct Case {
        int width, height;
        RingParams ring;
    };
    const Case cases[] = {
        {1, 1, {0, 0, 1, 3}},        {9, 1, {4, 0, 2, 9}},         {40, 30, {20, 15, 5, 35}},
        {40, 30, {-50, 80, 10, 30}}, {64, 48, {100, -20, 20, 60}}, {101, 77, {50, 38, 8, 29}},
        {60, 40, {5, 20, 4, 15}},    {60, 40, {55, 20, 4, 15}},    {60, 40, {30, 3, 4, 15}},
        {60, 40, {30, 37, 4, 15}},   {60, 40, {30, 20, 10, 45}},   {41, 41, {20, 20, 12, 20}},
        {90, 90, {44, 45, 50, 43}},  // inner circle outside the outer one
    };
    const CustomMirror mirrors[] = {{15, -45, false}, {-30, 40, true}, {89, -89, false}};
    std::uint32_t seed = 1;
    for (const Case& c : cases)
        for (const CustomMirror& custom : mirrors)
            ExpectSameAsReference(c.width, c.height, c.ring, custom, seed++);
}

TEST_P(CustomReferenceEquality, RandomImagesRingsAndElevations) {
    std::mt19937 random(777u + 16u * static_cast<unsigned>(std::get<0>(GetParam())) +
                        static_cast<unsigned>(std::get<1>(GetParam())));
    auto between = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    for (int i = 0; i < 10; ++i) {
        const int width = between(1, 80);
        const int height = between(1, 80);
        const int outer = between(1, width + height);
        const RingParams ring{between(-width / 2, width + width / 2),
                              between(-height / 2, height + height / 2), between(0, outer), outer};
        CustomMirror custom{between(-89, 89), between(-89, 89), between(0, 1) == 1};
        if (custom.innerElevation == custom.outerElevation)
            custom.innerElevation = -custom.outerElevation - 1;
        ExpectSameAsReference(width, height, ring, custom, random());
    }
}

std::string ParamName(const ::testing::TestParamInfo<CustomReferenceEquality::ParamType>& info) {
    static const char* const kVectors[] = {"Scalar", "Avx2", "Avx512"};
    return "Threads" + std::to_string(std::get<0>(info.param)) +
           kVectors[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(ThreadsAndPaths, CustomReferenceEquality,
                         ::testing::Combine(::testing::Values(1, 3),
                                            ::testing::Values(UnwarpVectors::kNone,
                                                              UnwarpVectors::kAvx2,
                                                              UnwarpVectors::kAvx512)),
                         ParamName);

}  // namespace
}  // namespace orbelune
