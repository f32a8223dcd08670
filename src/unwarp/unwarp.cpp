#include "unwarp/unwarp.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "image/image_layer.h"
#include "unwarp/mirror_models.h"
#include "unwarp/mirror_types.h"
#include "unwarp/unwarp_kernels.h"

namespace orbelune {

namespace {

int Fail(ImageError code) {
    SetLastImageError(code);
    return -1;
}
double ElevationSpan(const CustomMirror& custom) {
    return std::fabs(static_cast<double>(custom.outerElevation) - custom.innerElevation);
}

EquiangularRows EquiangularRowsFor(const RingParams& ring, const CustomMirror& custom) {
    return {static_cast<double>(ring.InnerRadius), static_cast<double>(custom.outerElevation),
            static_cast<double>(custom.innerElevation)};
}

}  // namespace

PanoramaSize UnwarpOutputSize(int outerRadius, int mirrorType) {
    return UnwarpOutputSize(outerRadius, mirrorType, CustomMirror{});
}

PanoramaSize UnwarpOutputSize(int outerRadius, int mirrorType, const CustomMirror& custom) {
    PanoramaSize size;
    size.width = static_cast<long long>(outerRadius * kTwoPi);
    switch (ModelFor(mirrorType)) {
        case MirrorModel::Convex:
            size.height =
                static_cast<long long>(static_cast<double>(size.width) * kConvexHeightFactor);
            break;
        case MirrorModel::Concave:
            size.height = outerRadius;
            break;
        case MirrorModel::Equiangular:
            size.height = size.width <= 0
                              ? 0
                              : std::max(1LL, std::llround(static_cast<double>(size.width) *
                                                           ElevationSpan(custom) / 360.0));
            break;
    }
    return size;
}

int Unwarp(const RgbImage& source, const RingParams& ring, int mirrorType, RgbImage& panorama,
           const UnwarpProgress& progress) {
    return Unwarp(source, ring, mirrorType, CustomMirror{}, panorama, progress);
}

int Unwarp(const RgbImage& source, const RingParams& ring, int mirrorType,
           const CustomMirror& custom, RgbImage& panorama, const UnwarpProgress& progress) {
    if (source.empty()) return Fail(err::kBadParam);
    const MirrorModel model = ModelFor(mirrorType);
    if (model == MirrorModel::Equiangular && !IsValidCustomMirror(custom))
        return Fail(err::kBadParam);
    const PanoramaSize size = UnwarpOutputSize(ring.OuterRadius, mirrorType, custom);
    if (size.width <= 0 || size.height <= 0) return Fail(err::kBadParam);

    if (CheckImageSize(size.width, size.height) != err::kNone) {
        if (&panorama != &source) panorama.FreePixels();
        return Fail(err::kNoMemory);
    }
    RgbImage result;
    const bool refill = &panorama != &source && panorama.width() == size.width &&
                        panorama.height() == size.height && !panorama.empty();
    if (refill) {
        // Every byte is written again, so a panorama of the same size is reused:
        // no allocation and no fresh pages to fault in.
        result = std::move(panorama);
    } else {
        // The previous panorama goes first, as its memory may be needed (unless
        // it is the source itself).
        if (&panorama != &source) panorama.FreePixels();
        if (result.AllocatePixels(static_cast<int>(size.width), static_cast<int>(size.height)) !=
            err::kNone)
            return Fail(err::kNoMemory);
    }

    const SourcePixels in{source.data(), source.width(), source.height(), source.stride()};
    const PanoramaPixels out{result.data(), result.width(), result.height()};
    const RingGeometry geometry{static_cast<double>(ring.XCenter),
                                static_cast<double>(ring.YCenter),
                                static_cast<double>(ring.OuterRadius)};
    // Row mirroring is done by writing the columns in reverse order.
    bool finished = true;
    switch (model) {
        case MirrorModel::Convex:
            finished = UnwarpConvex(in, out, geometry, MirrorsRows(mirrorType), progress);
            break;
        case MirrorModel::Concave:
            finished = UnwarpConcave(in, out, geometry, MirrorsRows(mirrorType), progress);
            break;
        case MirrorModel::Equiangular:
            finished = UnwarpEquiangular(in, out, geometry, EquiangularRowsFor(ring, custom),
                                         custom.mirrored, progress);
            break;
    }
    // A half-made panorama is never handed on.
    if (!finished) {
        if (&panorama != &source) panorama.FreePixels();
        return Fail(err::kAborted);
    }
    panorama = std::move(result);
    SetLastImageError(err::kNone);
    return 0;
}

bool UnwarpStrip(const SourcePixels& source, const RingParams& ring, double scale, int mirrorType,
                 const CustomMirror& custom, const PanoramaPixels& strip) {
    if (source.data == nullptr || source.width <= 0 || source.height <= 0 ||
        strip.data == nullptr || strip.width <= 0 || strip.height <= 0 || !(scale > 0.0) ||
        ring.OuterRadius <= 0)
        return false;
    const MirrorModel model = ModelFor(mirrorType);
    if (model == MirrorModel::Equiangular && !IsValidCustomMirror(custom)) return false;
    const RingGeometry geometry{ring.XCenter * scale, ring.YCenter * scale,
                                ring.OuterRadius * scale};
    switch (model) {
        case MirrorModel::Convex:
            UnwarpConvex(source, strip, geometry, MirrorsRows(mirrorType), {});
            break;
        case MirrorModel::Concave:
            UnwarpConcave(source, strip, geometry, MirrorsRows(mirrorType), {});
            break;
        case MirrorModel::Equiangular: {
            EquiangularRows rows = EquiangularRowsFor(ring, custom);
            rows.innerRadius *= scale;
            UnwarpEquiangular(source, strip, geometry, rows, custom.mirrored, {});
            break;
        }
    }
    return true;
}

bool IsValidSeam(int degrees) {
    return degrees >= 0 && degrees <= kMaxSeam;
}

int SeamShift(int degrees, int width) {
    if (width <= 0) return 0;
    const auto shift =
        static_cast<long long>(std::llround(static_cast<double>(degrees) * width / 360.0));
    return static_cast<int>(((shift % width) + width) % width);
}

double SeamAngle(int degrees, int mirrorType, const CustomMirror& custom) {
    const double angle = ColumnsRunWithAngle(mirrorType, custom) ? degrees : -degrees;
    return std::fmod(angle + 360.0, 360.0);
}

int SeamForAngle(double angleDegrees, int mirrorType, const CustomMirror& custom) {
    if (!std::isfinite(angleDegrees)) return 0;
    const double seam = ColumnsRunWithAngle(mirrorType, custom) ? angleDegrees : -angleDegrees;
    const long long whole = std::llround(std::fmod(seam, 360.0));
    return static_cast<int>(((whole % 360) + 360) % 360);
}

void TurnColumns(RgbImage& panorama, int shift) {
    const int width = panorama.width();
    if (panorama.empty() || width <= 0) return;
    shift = ((shift % width) + width) % width;
    if (shift == 0) return;
    for (int y = 0; y < panorama.height(); ++y) {
        std::uint8_t* row = panorama.row(y);
        std::rotate(row, row + 3 * static_cast<std::ptrdiff_t>(shift),
                    row + 3 * static_cast<std::ptrdiff_t>(width));
    }
}

}  // namespace orbelune
