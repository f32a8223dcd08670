#pragma once

// The custom mirror's unwarp written out from its rules alone, pixel by pixel,
// sharing nothing with the production code: the kernel must give its bytes.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "image/rgb_image.h"
#include "unwarp/ring_params.h"

namespace orbelune::testing {

struct CustomReference {
    int outerElevation = 15;
    int innerElevation = -45;
    bool mirrored = false;
};

// Convex edge rule: no pixel under the sample is white; a missing right or
// lower neighbour is the base, a missing down-right one the lower one.
inline void ReferenceConvexSample(const RgbImage& source, double x, double y, std::uint8_t* out) {
    const auto column = static_cast<long long>(std::floor(x));
    const auto row = static_cast<long long>(std::floor(y));
    auto inside = [&](long long i, long long k) {
        return i >= 0 && i < source.width() && k >= 0 && k < source.height();
    };
    auto pixel = [&](long long i, long long k) { return source.row(static_cast<int>(k)) + 3 * i; };
    if (!inside(column, row)) {
        out[0] = out[1] = out[2] = 255;
        return;
    }
    const std::uint8_t* a = pixel(column, row);
    const std::uint8_t* b = inside(column + 1, row) ? pixel(column + 1, row) : a;
    const std::uint8_t* c = inside(column, row + 1) ? pixel(column, row + 1) : a;
    const std::uint8_t* d = inside(column + 1, row + 1) ? pixel(column + 1, row + 1) : c;
    const double fx = x - std::floor(x);
    const double fy = y - std::floor(y);
    for (int ch = 0; ch < 3; ++ch) {
        const double value = a[ch] + fx * (b[ch] - a[ch]) +
                             fy * ((c[ch] - a[ch]) + fx * (a[ch] - b[ch] - c[ch] + d[ch]));
        out[ch] = static_cast<std::uint8_t>(static_cast<int>(value));
    }
}

// False when the allocation fails.
inline bool ReferenceUnwarpCustom(const RgbImage& source, const RingParams& ring,
                                  const CustomReference& mirror, RgbImage& panorama) {
    const double R = ring.OuterRadius;
    const double Ri = ring.InnerRadius;
    const double eOuter = mirror.outerElevation;
    const double eInner = mirror.innerElevation;
    const int W = static_cast<int>(R * 6.283185307179586);
    const double span = std::fabs(eOuter - eInner);
    const int H = std::max(1, static_cast<int>(std::llround(W * span / 360.0)));
    if (panorama.AllocatePixels(W, H) != 0) return false;
    const double eTop = std::max(eOuter, eInner);
    const double dTheta = 6.283185307179586 / W;
    for (int q = 0; q < H; ++q) {
        const double e = eTop - (q + 0.5) * span / H;
        const double rho = Ri + (e - eInner) / (eOuter - eInner) * (R - Ri);
        for (int j = 0; j < W; ++j) {
            const double theta = (W - 1 - j) * dTheta;
            const double x = ring.XCenter + std::cos(theta) * rho;
            const double y = ring.YCenter + rho * std::sin(theta);
            const int column = mirror.mirrored ? W - 1 - j : j;
            ReferenceConvexSample(source, x, y, panorama.row(q) + 3 * column);
        }
    }
    return true;
}

}  // namespace orbelune::testing
