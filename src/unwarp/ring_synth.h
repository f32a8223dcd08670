#pragma once

#include "image/image_error.h"
#include "image/rgb_image.h"
#include "unwarp/ring_params.h"

namespace orbelune {

// What to render: the photograph's size, the ring and the mirror.
struct SynthOptions {
    int width = 1000;
    int height = 800;
    int xCenter = 500;
    int yCenter = 400;
    int outerRadius = 300;
    int mirrorType = 1;
    // Samples per pixel along each axis (anti-aliasing).
    int supersample = 4;
};

// Renders `panorama` into a ring photograph as the mirror would show it, so
// that unwarping the result with the same ring and mirror gives the panorama
// back (stretched to the unwarp's output size). Around and inside the ring the
// mirror's dark body is drawn. kBadParam for an empty panorama, a radius that
// gives no panorama or a supersample outside 1..16; kNoMemory when over the
// image layer's limits. Sets the last error.
ImageError SynthesizeRing(const RgbImage& panorama, const SynthOptions& options, RgbImage& photo);

}  // namespace orbelune
