// The production kernels hoist and parallelise; their bytes must still be the
// literal reference's, whatever the picture, ring, mirror or thread count.
#include <gtest/gtest.h>

#include <random>

#include "image/parallel.h"
#include "unwarp/unwarp.h"
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
    }
}

class ReferenceEquality : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { SetWorkerThreads(GetParam()); }
    void TearDown() override { SetWorkerThreads(0); }
};

TEST_P(ReferenceEquality, RingsPastEveryEdgeAndTinyImages) {
    const Case cases[] = {
        {1, 1, {0, 0, 60, 3}},      {1, 1, {0, 0, 60, 40}},       {1, 7, {0, 3, 60, 9}},
        {9, 1, {4, 0, 60, 9}},      {2, 2, {1, 1, 60, 1}},        {40, 30, {20, 15, 60, 35}},
        {40, 30, {0, 0, 60, 25}},   {40, 30, {39, 29, 60, 25}},   {40, 30, {-50, 80, 60, 30}},
        {33, 47, {16, 23, 60, 16}}, {64, 48, {100, -20, 60, 60}}, {200, 160, {100, 80, 60, 70}},
    };
    std::uint32_t seed = 1;
    for (const Case& c : cases)
        ExpectSameAsReference(c, seed++);
}

TEST_P(ReferenceEquality, RandomImagesAndRings) {
    std::mt19937 random(20240501u + static_cast<unsigned>(GetParam()));
    auto between = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    for (int i = 0; i < 20; ++i) {
        const int width = between(1, 80);
        const int height = between(1, 80);
        // Centres anywhere near the picture, radii up to beyond its corners.
        const RingParams ring{between(-width / 2, width + width / 2),
                              between(-height / 2, height + height / 2), 60,
                              between(1, width + height)};
        ExpectSameAsReference({width, height, ring}, random());
    }
}

INSTANTIATE_TEST_SUITE_P(Threads, ReferenceEquality, ::testing::Values(1, 3));

}  // namespace
}  // namespace orbelune
