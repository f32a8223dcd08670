#include <gtest/gtest.h>

#include <cstdint>

#include "image/panorama_shape.h"

namespace orbelune {
namespace {

TEST(PanoramaShape, OnlyWiderThanTwiceTheHeightIsAPanorama) {
    EXPECT_FALSE(IsPanoramaShape(200, 100));  // exactly twice: a ring photograph
    EXPECT_TRUE(IsPanoramaShape(201, 100));
    EXPECT_FALSE(IsPanoramaShape(199, 100));
    EXPECT_FALSE(IsPanoramaShape(100, 100));
    EXPECT_TRUE(IsPanoramaShape(3, 1));
    EXPECT_FALSE(IsPanoramaShape(2, 1));
    // Odd heights, where a rounded ratio could tip the boundary.
    EXPECT_FALSE(IsPanoramaShape(2 * 333333, 333333));
    EXPECT_TRUE(IsPanoramaShape(2 * 333333 + 1, 333333));
    // Large sides do not overflow.
    EXPECT_TRUE(IsPanoramaShape(INT32_MAX, INT32_MAX / 2));
    EXPECT_FALSE(IsPanoramaShape(INT32_MAX - 1, INT32_MAX / 2));
    // No height, no shape.
    EXPECT_FALSE(IsPanoramaShape(100, 0));
    EXPECT_FALSE(IsPanoramaShape(100, -1));
}

}  // namespace
}  // namespace orbelune
