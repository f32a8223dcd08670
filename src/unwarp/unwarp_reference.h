#pragma once

#include "image/rgb_image.h"
#include "unwarp/ring_params.h"
#include "unwarp/unwarp_kernels.h"

namespace orbelune {

// The unwarp written exactly as its rules read: one thread, the angle and its
// cosine and sine per pixel, every sample address checked on its own. Slow;
// the production kernels must give the same bytes.
void ReferenceUnwarpConvex(const SourcePixels& source, const PanoramaPixels& panorama,
                           const RingGeometry& ring, const RowProgress& progress = {});
void ReferenceUnwarpConcave(const SourcePixels& source, const PanoramaPixels& panorama,
                            const RingGeometry& ring, const RowProgress& progress = {});

// Source position sampled by output pixel (column, row) of a width x height
// panorama; the concave one takes the row's image-plane radius v.
struct SamplePosition {
    double x = 0;
    double y = 0;
};
SamplePosition ConvexSamplePosition(const RingGeometry& ring, int width, int height, int column,
                                    int row);
SamplePosition ConcaveSamplePosition(const RingGeometry& ring, int width, double v, int column);

// The whole unwarp (size, kernel, row mirroring for type 1) over the reference
// kernels; 0 or -1 like Unwarp. Not for the custom mirror (-1).
int ReferenceUnwarp(const RgbImage& source, const RingParams& ring, int mirrorType,
                    RgbImage& panorama);

}  // namespace orbelune
