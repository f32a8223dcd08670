#pragma once

// Vector samplers for output rows whose whole circle lies inside the
// photograph, where no edge rule can apply. Lane by lane they run the scalar
// blend's operations in its order, so they give the same bytes.

#include <cmath>
#include <cstdint>

#include "unwarp/unwarp_kernels.h"

namespace orbelune {

// One output row: column j samples x = cx + (cosines[j] * r) * k,
// y = cy + (sines[j] * r) * k. The concave model has k = f; the convex one
// k = 1, which changes no double.
struct InsideArc {
    const std::uint8_t* data = nullptr;
    std::int64_t stride = 0;
    double cx = 0, cy = 0, r = 0, k = 1;
    const double* cosines = nullptr;
    const double* sines = nullptr;
};

// True when, at every angle, the 2 x 2 neighbourhood of the sample and the
// eight bytes the vector samplers load from each of its two rows lie inside a
// width x height photograph. Rounding is monotonic, so |(cos * r) * k| never
// exceeds |r| * |k| in doubles either.
inline bool ArcLiesInside(const InsideArc& arc, int width, int height) {
    const double m = std::fabs(arc.r) * std::fabs(arc.k);
    return arc.stride >= static_cast<std::int64_t>(width) * 3 && arc.cx - m >= 0 &&
           arc.cx + m < width - 2 && arc.cy - m >= 0 && arc.cy + m < height - 1;
}

// The widest vector set, up to `limit`, that this processor has.
UnwarpVectors UsableUnwarpVectors(UnwarpVectors limit);

// Samples the leading columns of j0..j1 of an inside arc in whole vector
// groups and returns how many it did (0 with UnwarpVectors::kNone). `out` is
// column j0's pixel; with `mirror` the columns run leftwards from it.
int SampleInsideArc(UnwarpVectors vectors, const InsideArc& arc, int j0, int j1, std::uint8_t* out,
                    bool mirror);

}  // namespace orbelune
