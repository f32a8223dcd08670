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

struct Neighbours {
    std::int64_t base, right, lower, downRight;
};

Neighbours AddressesAt(const SourcePixels& source, double x, double y) {
    const auto stride = static_cast<std::int64_t>(source.stride);
    const auto column = static_cast<std::int64_t>(std::floor(x));
    const auto row = static_cast<std::int64_t>(std::floor(y));
    const std::int64_t base = row * stride + column * 3;
    return {base, base + 3, base + stride, base + stride + 3};
}

std::int64_t BufferBytes(const SourcePixels& source) {
    return static_cast<std::int64_t>(source.stride) * source.height;
}

bool PixelInside(std::int64_t address, std::int64_t bytes) {
    return address >= 0 && address + 3 <= bytes;
}

bool ByteInside(std::int64_t address, std::int64_t bytes) {
    return address >= 0 && address < bytes;
}

void WriteConvexSample(const SourcePixels& source, double x, double y, std::uint8_t* out) {
    const std::int64_t bytes = BufferBytes(source);
    Neighbours n = AddressesAt(source, x, y);
    if (!PixelInside(n.base, bytes)) n.base = 0;
    if (!PixelInside(n.right, bytes)) n.right = n.base;
    if (!PixelInside(n.lower, bytes)) n.lower = n.base;
    if (!PixelInside(n.downRight, bytes)) n.downRight = n.lower;
    const std::uint8_t* s = source.data;
    for (int c = 0; c < 3; ++c) {
        const double value =
            SampleBilinear(s[n.base + c], s[n.right + c], s[n.lower + c], s[n.downRight + c], x, y);
        out[c] = static_cast<std::uint8_t>(static_cast<int>(value));
    }
}

void WriteConcaveSample(const SourcePixels& source, double x, double y, std::uint8_t* out) {
    const std::int64_t bytes = BufferBytes(source);
    const Neighbours n = AddressesAt(source, x, y);
    const std::uint8_t* s = source.data;
    for (int c = 0; c < 3; ++c) {
        if (!ByteInside(n.base + c, bytes) || !ByteInside(n.right + c, bytes) ||
            !ByteInside(n.lower + c, bytes) || !ByteInside(n.downRight + c, bytes)) {
            out[c] = 255;
            continue;
        }
        const double value =
            SampleBilinear(s[n.base + c], s[n.right + c], s[n.lower + c], s[n.downRight + c], x, y);
        out[c] = static_cast<std::uint8_t>(static_cast<int>(value));
    }
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
        if (progress) progress(q, panorama.height);
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
        if (progress) progress(q, panorama.height);
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
    if (source.empty()) {
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
