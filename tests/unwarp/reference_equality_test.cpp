// The production kernels hoist and parallelise; their bytes must still be the
// literal reference's, whatever the picture, ring, mirror or thread count.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

#include "image/parallel.h"
#include "unwarp/unwarp.h"
#include "unwarp/unwarp_kernels.h"
#include "unwarp/unwarp_reference.h"
#include "unwarp_test_util.h"

namespace orbelune {
namespace {

using testing::RandomImage;
using testing::SameBytes;

struct Case {
    int width, height;
    RingParams ring;
};

void ExpectSameAsReference(const Case& c, std::uint32_t seed) {
    const RgbImage source = RandomImage(c.width, c.height, seed);
    for (int type : {0, 1, 2, 3, 7}) {
        RgbImage fast, reference;
        ASSERT_EQ(Unwarp(source, c.ring, type, fast), 0);
        ASSERT_EQ(ReferenceUnwarp(source, c.ring, type, reference), 0);
        ASSERT_TRUE(SameBytes(fast, reference))
            << "type " << type << " image " << c.width << "x" << c.height << " centre "
            << c.ring.XCenter << "," << c.ring.YCenter << " R " << c.ring.OuterRadius;
        // A panorama of the same size is refilled in place: no old byte may
        // survive (checked once per model).
        if (type != 1 && type != 2) continue;
        RgbImage reused = RandomImage(fast.width(), fast.height(), seed + 7);
        const std::uint8_t* pixels = reused.data();
        ASSERT_EQ(Unwarp(source, c.ring, type, reused), 0);
        EXPECT_EQ(reused.data(), pixels);
        ASSERT_TRUE(SameBytes(reused, reference)) << "refilled, type " << type;
    }
}

// Parameters: worker threads, and the widest vector set the kernels may use
// (a set the processor lacks falls back to a narrower one).
class ReferenceEquality : public ::testing::TestWithParam<std::tuple<int, UnwarpVectors>> {
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

TEST_P(ReferenceEquality, RingsPastEveryEdgeAndTinyImages) {
    const Case cases[] = {
        {1, 1, {0, 0, 60, 3}},
        {1, 1, {0, 0, 60, 40}},
        {1, 7, {0, 3, 60, 9}},
        {9, 1, {4, 0, 60, 9}},
        {2, 2, {1, 1, 60, 1}},
        {40, 30, {20, 15, 60, 35}},
        {40, 30, {0, 0, 60, 25}},
        {40, 30, {39, 29, 60, 25}},
        {40, 30, {-50, 80, 60, 30}},
        {33, 47, {16, 23, 60, 16}},
        {64, 48, {100, -20, 60, 60}},
        {200, 160, {100, 80, 60, 70}},
        // Whole circles inside, with odd panorama widths and rings that just
        // touch the last columns and rows the neighbourhoods may use.
        {101, 77, {50, 38, 60, 29}},
        {90, 90, {44, 45, 60, 43}},
        {97, 61, {48, 30, 60, 30}},
        // The convex outer rows reach the last column and row the vectors may read.
        {41, 40, {20, 20, 60, 18}},
        // Past one edge at a time (left, right, top, bottom), past all four,
        // and circles that end exactly on the last column and row.
        {60, 40, {5, 20, 60, 15}},
        {60, 40, {55, 20, 60, 15}},
        {60, 40, {30, 3, 60, 15}},
        {60, 40, {30, 37, 60, 15}},
        {60, 40, {30, 20, 60, 45}},
        {41, 41, {20, 20, 60, 20}},
        {41, 41, {0, 40, 60, 40}},
    };
    std::uint32_t seed = 1;
    for (const Case& c : cases)
        ExpectSameAsReference(c, seed++);
}

TEST_P(ReferenceEquality, RandomImagesAndRings) {
    // Each parameter set draws its own cases.
    std::mt19937 random(20240501u + 16u * static_cast<unsigned>(std::get<0>(GetParam())) +
                        static_cast<unsigned>(std::get<1>(GetParam())));
    auto between = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    for (int i = 0; i < 10; ++i) {
        const int width = between(1, 80);
        const int height = between(1, 80);
        // Centres anywhere near the picture, radii up to beyond its corners.
        const RingParams ring{between(-width / 2, width + width / 2),
                              between(-height / 2, height + height / 2), 60,
                              between(1, width + height)};
        ExpectSameAsReference({width, height, ring}, random());
    }
}

std::string ParamName(const ::testing::TestParamInfo<ReferenceEquality::ParamType>& info) {
    static const char* const kVectors[] = {"Scalar", "Avx2", "Avx512"};
    return "Threads" + std::to_string(std::get<0>(info.param)) +
           kVectors[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(ThreadsAndPaths, ReferenceEquality,
                         ::testing::Combine(::testing::Values(1, 3),
                                            ::testing::Values(UnwarpVectors::kNone,
                                                              UnwarpVectors::kAvx2,
                                                              UnwarpVectors::kAvx512)),
                         ParamName);

}  // namespace
}  // namespace orbelune
