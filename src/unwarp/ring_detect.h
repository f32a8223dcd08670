#pragma once

#include "image/image_error.h"
#include "image/rgb_image.h"
#include "unwarp/ring_params.h"

namespace orbelune {

// Where a ring photograph's ring was found, in raw-image pixels.
struct RingDetection {
    double xCenter = 0;
    double yCenter = 0;
    double outerRadius = 0;  // the mirror's rim (may reach past the frame)
    double innerRadius = 0;  // the edge of the camera's own reflection
    // 0..1: how much of both circles was found where the fit put them. Below
    // kConfidentRing the result should not be used.
    double confidence = 0;
};

inline constexpr double kConfidentRing = 0.5;

// Finds the ring: the centre from the edges' votes on a reduced copy, the
// radii from where the angular detail of the scene starts and stops around
// it, then both circles fitted to edges found along rays at full resolution.
// A photograph with no ring gives a low confidence (never a failure);
// kBadParam only for an empty image. Sets the last error.
[[nodiscard]] ImageError DetectRing(const RgbImage& photo, RingDetection& found);

// Rounded to whole pixels.
RingParams RingFromDetection(const RingDetection& found);

}  // namespace orbelune
