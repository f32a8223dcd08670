#pragma once

#include <functional>

#include "image/image_error.h"
#include "image/rgb_image.h"
#include "unwarp/mirror_types.h"
#include "unwarp/ring_params.h"
#include "unwarp/unwarp_kernels.h"

namespace orbelune {

struct PanoramaSize {
    long long width = 0;
    long long height = 0;
};

// W = trunc(2 pi R); H = trunc(0.408 W) for the convex model, R for the concave one,
// max(1, round(W * |outer - inner elevation| / 360)) for the custom mirror (one
// row per 360 / W degrees, as its columns). Without `custom` the custom mirror
// is the default one.
PanoramaSize UnwarpOutputSize(int outerRadius, int mirrorType);
PanoramaSize UnwarpOutputSize(int outerRadius, int mirrorType, const CustomMirror& custom);

// Called at the start of every output row with (row, row count), on the
// calling thread; false cancels the unwarp.
using UnwarpProgress = std::function<bool(int row, int rowCount)>;

// Unwarps the ring of `source` into `panorama`: a panorama of the output size
// is filled in place, any other is released first. 0 on success, -1 on failure; LastImageError()
// then tells why (5 no source pixels or a radius that gives no output, 1 output over the image
// layer's size limits or out of memory, 14 cancelled by the progress, which releases `panorama`).
int Unwarp(const RgbImage& source, const RingParams& ring, int mirrorType, RgbImage& panorama,
           const UnwarpProgress& progress = {});
// The same with the custom mirror's description (used for mirror type 4 only,
// which also reads the ring's inner radius); an invalid one fails with 5.
int Unwarp(const RgbImage& source, const RingParams& ring, int mirrorType,
           const CustomMirror& custom, RgbImage& panorama, const UnwarpProgress& progress = {});

// A live preview of the ring: the ring scaled by `scale` onto `source` (a
// reduced copy of the photograph) unwarped into `strip`, whatever its size,
// with the fast kernels. False (strip untouched) when the ring or the mirror
// gives no panorama.
bool UnwarpStrip(const SourcePixels& source, const RingParams& ring, double scale, int mirrorType,
                 const CustomMirror& custom, const PanoramaPixels& strip);

// The seam: where the panorama starts, turned by whole degrees 0..359.
inline constexpr int kMaxSeam = 359;
bool IsValidSeam(int degrees);
// Columns the panorama turns by for a seam: round(degrees * width / 360).
int SeamShift(int degrees, int width);
// Turns every row cyclically so that column j shows what column
// (j + shift) mod width showed. A shift of 0 changes nothing.
void TurnColumns(RgbImage& panorama, int shift);
// Where the seam lies in the photograph: the angle (degrees, 0 towards
// increasing x, 90 towards increasing y, 0..360) that the panorama's first
// column shows, and the seam that puts it at an angle (whole degrees 0..359).
double SeamAngle(int degrees, int mirrorType, const CustomMirror& custom);
int SeamForAngle(double angleDegrees, int mirrorType, const CustomMirror& custom);

}  // namespace orbelune
