#pragma once

#include <cstdint>

namespace orbelune {

// The one rule that tells an already flat panorama from a ring photograph:
// wider than twice its height (exactly twice is still a ring photograph). The
// start view, `info` and `unwarp` all classify with it. Whole numbers, so no
// rounding can move the boundary.
constexpr bool IsPanoramaShape(std::int64_t width, std::int64_t height) {
    return height > 0 && width > 2 * height;
}

}  // namespace orbelune
