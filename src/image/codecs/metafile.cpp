#include "image/codecs/metafile.h"

#include <algorithm>
#include <cmath>

#include "image/image_layer.h"

namespace orbelune {

std::unique_lock<std::mutex> LockMetafileLibraries() {
    static std::mutex mutex;
    return std::unique_lock<std::mutex>(mutex);
}

ImageError MetafilePixelSize(double width, double height, int& outWidth, int& outHeight) {
    outWidth = outHeight = 0;
    if (!std::isfinite(width) || !std::isfinite(height) || width <= 0 || height <= 0)
        return err::kBadMetafile;
    const double w = std::max(1.0, std::round(width));
    const double h = std::max(1.0, std::round(height));
    // Compared as doubles first: a frame of kilometres must not overflow.
    if (w > kMaxImageSide || h > kMaxImageSide) return err::kNoMemory;
    if (ImageError e = CheckImageSize(static_cast<std::int64_t>(w), static_cast<std::int64_t>(h)))
        return e;
    outWidth = static_cast<int>(w);
    outHeight = static_cast<int>(h);
    return err::kNone;
}

}  // namespace orbelune
