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
}  // namespace

PanoramaSize UnwarpOutputSize(int outerRadius, int mirrorType) {
    PanoramaSize size;
    size.width = static_cast<long long>(outerRadius * kTwoPi);
    size.height =
        UsesConvexModel(mirrorType)
            ? static_cast<long long>(static_cast<double>(size.width) * kConvexHeightFactor)
            : outerRadius;
    return size;
}

int Unwarp(const RgbImage& source, const RingParams& ring, int mirrorType, RgbImage& panorama,
           const UnwarpProgress& progress) {
    if (source.empty()) return Fail(err::kBadParam);
    const PanoramaSize size = UnwarpOutputSize(ring.OuterRadius, mirrorType);
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
    // Type 1's row mirroring is done by writing the columns in reverse order.
    const bool mirrorColumns = MirrorsRows(mirrorType);
    if (UsesConvexModel(mirrorType)) {
        UnwarpConvex(in, out, geometry, mirrorColumns, progress);
    } else {
        UnwarpConcave(in, out, geometry, mirrorColumns, progress);
    }
    panorama = std::move(result);
    SetLastImageError(err::kNone);
    return 0;
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
