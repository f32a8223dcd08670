#pragma once

#include "image/image_error.h"
#include "image/rgb_image.h"
#include "unwarp/mirror_types.h"
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
    // The camera's own reflection covers the ring up to this radius; 0 leaves
    // only the model's own inner edge. For the custom mirror (type 4) it is
    // the ring's inner circle, which its model needs (1 .. outerRadius - 1).
    int innerRadius = 0;
    // What real photographs add, for testing ring detection: per-pixel noise
    // of this amplitude (grey levels), brightness lost towards the corners
    // (0..1), and a busy scene around the mirror's housing.
    int noise = 0;
    double vignetting = 0;
    bool clutter = false;
    unsigned seed = 1;
    // The custom mirror's elevations and mirroring (type 4 only).
    CustomMirror custom = {};
};

// Where the ring's edges lie in a photograph SynthesizeRing makes: the rim
// (where the scene ends) and the edge of the camera's reflection.
struct SynthEdges {
    double outer = 0;
    double inner = 0;
};
SynthEdges SynthesizedEdges(const SynthOptions& options);

// Renders `panorama` into a ring photograph as the mirror would show it, so
// that unwarping the result with the same ring and mirror gives the panorama
// back (stretched to the unwarp's output size). Around and inside the ring the
// mirror's dark body is drawn. kBadParam for an empty panorama, a radius that
// gives no panorama, a supersample outside 1..16 or (custom mirror) invalid
// elevations or an inner radius outside 1 .. outerRadius - 1; kNoMemory when over the
// image layer's limits. Sets the last error.
ImageError SynthesizeRing(const RgbImage& panorama, const SynthOptions& options, RgbImage& photo);

}  // namespace orbelune
