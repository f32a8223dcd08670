#pragma once

#include <cmath>
#include <cstdint>
#include <random>

#include "image/rgb_image.h"

namespace orbelune::testing {

inline RgbImage RandomImage(int width, int height, std::uint32_t seed) {
    RgbImage image;
    if (image.AllocatePixels(width, height) != 0) return image;
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < image.byteCount(); ++i)
        image.data()[i] = static_cast<std::uint8_t>(random() & 0xFF);
    return image;
}

// Peak signal-to-noise ratio in dB over all bytes; images of equal size.
inline double Psnr(const RgbImage& a, const RgbImage& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.byteCount(); ++i) {
        const double d = static_cast<double>(a.data()[i]) - b.data()[i];
        sum += d * d;
    }
    const double mse = sum / static_cast<double>(a.byteCount());
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

inline bool SameBytes(const RgbImage& a, const RgbImage& b) {
    if (a.width() != b.width() || a.height() != b.height()) return false;
    for (std::size_t i = 0; i < a.byteCount(); ++i)
        if (a.data()[i] != b.data()[i]) return false;
    return true;
}

}  // namespace orbelune::testing
