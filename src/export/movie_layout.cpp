#include "export/movie_layout.h"

#include <cmath>

namespace orbelune {

bool FittedSize::Storable() const {
    return width >= 4 && height >= 4 && width <= kMaxPreparedSide && height <= kMaxPreparedSide;
}

FittedSize FitMovieImage(int width, int height, int tiles) {
    const int step = tiles * 4;
    const int r = width % step;
    FittedSize fitted{width, height, false};
    if (r != 0) fitted.width = r < step / 2 ? width - r : width - r + step;
    if (height % 4 != 0) {
        fitted.height = height - height % 4;
    } else if (r != 0) {
        // Keeps the aspect when only the width moved.
        int proportional = static_cast<int>(static_cast<double>(fitted.width) / width * height);
        fitted.height = proportional - proportional % 4;
    }
    fitted.resample = r != 0 || height % 4 != 0;
    return fitted;
}

std::uint32_t CompressorTypeForIndex(int index) {
    switch (index) {
        case 1:
            return FourCC("tiff");
        case 2:
            return FourCC("cvid");
        case 3:
            return FourCC("WRLE");
        case 4:
            return FourCC("SVQ1");
        case 5:
            return FourCC("raw ");
        case 8:
            return FourCC("gif ");
        default:
            return FourCC("jpeg");
    }
}

std::int32_t QualityForIndex(int index) {
    switch (index) {
        case 1:
            return 256;
        case 2:
            return 512;
        case 3:
            return 768;
        case 4:
            return 1023;
        case 5:
            return 1024;
        default:
            return 0;
    }
}

std::int32_t CorrectionForIndex(int index) {
    return index == 0 || index == 1 ? index : 2;
}

float HalfVerticalFieldOfView(int tileWidth, int tileHeight, int tiles) {
    const double circumference = static_cast<double>(tileHeight) * tiles;
    return static_cast<float>(std::atan(tileWidth * 3.14159 / circumference) * 57.29582790879778);
}

}  // namespace orbelune
