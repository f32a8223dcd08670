#include "unwarp/unwarp_reference.h"

#include <cmath>
#include <cstdint>

#include "image/image_layer.h"
#include "unwarp/elevation_table.h"
#include "unwarp/mirror_models.h"
#include "unwarp/mirror_types.h"
#include "unwarp/sample_bilinear.h"
#include "unwarp/unwarp.h"

namespace orbelune {

namespace {

// A pixel of the photograph, or none when the column or row lies outside it.
struct Pixel {
    bool inside;
    std::int64_t address;
};

Pixel PixelAt(const SourcePixels& source, std::int64_t column, std::int64_t row) {
    const bool inside = column >= 0 && column < source.width && row >= 0 && row < source.height;
    return {inside, row * static_cast<std::int64_t>(source.stride) + column * 3};
}

struct Neighbours {
    Pixel base, right, lower, downRight;
};

Neighbours NeighboursAt(const SourcePixels& source, double x, double y) {
    const auto column = static_cast<std::int64_t>(std::floor(x));
    const auto row = static_cast<std::int64_t>(std::floor(y));
    return {PixelAt(source, column, row), PixelAt(source, column + 1, row),
            PixelAt(source, column, row + 1), PixelAt(source, column + 1, row + 1)};
}

void WriteBlend(const SourcePixels& source, const Neighbours& n, double x, double y,
                std::uint8_t* out) {
    const std::uint8_t* s = source.data;
    for (int c = 0; c < 3; ++c) {
        const double value =
            SampleBilinear(s[n.base.address + c], s[n.right.address + c], s[n.lower.address + c],
                           s[n.downRight.address + c], x, y);
        out[c] = static_cast<std::uint8_t>(static_cast<int>(value));
    }
}

void WriteWhite(std::uint8_t* out) {
    out[0] = out[1] = out[2] = 255;
}

// Convex: no base pixel gives white; a missing right or lower neighbour is the
// base, a missing down-right one the (possibly replaced) lower one.
void WriteConvexSample(const SourcePixels& source, double x, double y, std::uint8_t* out) {
    Neighbours n = NeighboursAt(source, x, y);
    if (!n.base.inside) return WriteWhite(out);
    if (!n.right.inside) n.right = n.base;
    if (!n.lower.inside) n.lower = n.base;
    if (!n.downRight.inside) n.downRight = n.lower;
    WriteBlend(source, n, x, y, out);
}

// Concave: any of the four neighbours missing gives white.
void WriteConcaveSample(const SourcePixels& source, double x, double y, std::uint8_t* out) {
    const Neighbours n = NeighboursAt(source, x, y);
    if (!n.base.inside || !n.right.inside || !n.lower.inside || !n.downRight.inside)
        return WriteWhite(out);
    WriteBlend(source, n, x, y, out);
}

}  // namespace

SamplePosition ConvexSamplePosition(const RingGeometry& ring, int width, int height, int column,
                                    int row) {
    const double dTheta = kTwoPi / width;
    double t = 1 - static_cast<double>(row) / height;
    if (t < 0) t = 0;
    if (t > 1) t = 1;
    const double rho = ring.radius * (kConvexInnerFraction + t * (1 - kConvexInnerFraction));
    const double theta = static_cast<double>(width - 1 - column) * dTheta;
    return {ring.cx + std::cos(theta) * rho, ring.cy + rho * std::sin(theta)};
}

SamplePosition ConcaveSamplePosition(const RingGeometry& ring, int width, double v, int column) {
    const double f = ring.radius * kConcaveRadiusToPixels;
    const double dTheta = kTwoPi / width;
    const double theta = static_cast<double>(column) * dTheta;
    return {ring.cx + (std::cos(theta) * v) * f, ring.cy + (v * std::sin(theta)) * f};
}

void ReferenceUnwarpConvex(const SourcePixels& source, const PanoramaPixels& panorama,
                           const RingGeometry& ring, const RowProgress& progress) {
    std::uint8_t* out = panorama.data;
    for (int q = 0; q < panorama.height; ++q) {
        if (progress && !progress(q, panorama.height)) return;
        for (int j = 0; j < panorama.width; ++j) {
            const SamplePosition p =
                ConvexSamplePosition(ring, panorama.width, panorama.height, j, q);
            WriteConvexSample(source, p.x, p.y, out);
            out += 3;
        }
    }
}

void ReferenceUnwarpConcave(const SourcePixels& source, const PanoramaPixels& panorama,
                            const RingGeometry& ring, const RowProgress& progress) {
    const ElevationTable table = BuildElevationTable();
    std::uint8_t* out = panorama.data;
    for (int q = 0; q < panorama.height; ++q) {
        if (progress && !progress(q, panorama.height)) return;
        const double v = RowImageRadius(table, q, panorama.height);
        for (int j = 0; j < panorama.width; ++j) {
            const SamplePosition p = ConcaveSamplePosition(ring, panorama.width, v, j);
            WriteConcaveSample(source, p.x, p.y, out);
            out += 3;
        }
    }
}

int ReferenceUnwarp(const RgbImage& source, const RingParams& ring, int mirrorType,
                    RgbImage& panorama) {
    // The custom mirror's reference is written out beside its tests.
    if (source.empty() || ModelFor(mirrorType) == MirrorModel::Equiangular) {
        SetLastImageError(err::kBadParam);
        return -1;
    }
    const PanoramaSize size = UnwarpOutputSize(ring.OuterRadius, mirrorType);
    if (size.width <= 0 || size.height <= 0) {
        SetLastImageError(err::kBadParam);
        return -1;
    }
    if (CheckImageSize(size.width, size.height) != err::kNone ||
        panorama.AllocatePixels(static_cast<int>(size.width), static_cast<int>(size.height)) !=
            err::kNone) {
        SetLastImageError(err::kNoMemory);
        return -1;
    }
    const SourcePixels in{source.data(), source.width(), source.height(), source.stride()};
    const PanoramaPixels out{panorama.data(), panorama.width(), panorama.height()};
    const RingGeometry geometry{static_cast<double>(ring.XCenter),
                                static_cast<double>(ring.YCenter),
                                static_cast<double>(ring.OuterRadius)};
    if (UsesConvexModel(mirrorType)) {
        ReferenceUnwarpConvex(in, out, geometry);
    } else {
        ReferenceUnwarpConcave(in, out, geometry);
    }
    if (MirrorsRows(mirrorType) && panorama.MirrorRows() != err::kNone) return -1;
    SetLastImageError(err::kNone);
    return 0;
}

}  // namespace orbelune
