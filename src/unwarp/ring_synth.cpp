#include "unwarp/ring_synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "image/image_layer.h"
#include "image/parallel.h"
#include "unwarp/elevation_table.h"
#include "unwarp/mirror_models.h"
#include "unwarp/mirror_types.h"
#include "unwarp/unwarp.h"
#include "unwarp/unwarp_kernels.h"

namespace orbelune {

namespace {

// The scene continues this far (in photo pixels) past the rows the unwarp
// reads, so that its bilinear neighbours never touch the mirror body.
constexpr double kSceneMargin = 2.0;

struct Colour {
    double r = 0, g = 0, b = 0;
};

// Bilinear sample of the panorama; columns wrap around, rows are clamped.
Colour SamplePanorama(const RgbImage& panorama, double x, double y) {
    const int w = panorama.width();
    const int h = panorama.height();
    y = std::clamp(y, 0.0, static_cast<double>(h - 1));
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const double ax = x - fx;
    const double ay = y - fy;
    int x0 = static_cast<int>(std::fmod(fx, static_cast<double>(w)));
    if (x0 < 0) x0 += w;
    const int x1 = x0 + 1 == w ? 0 : x0 + 1;
    const int y0 = static_cast<int>(fy);
    const int y1 = std::min(y0 + 1, h - 1);
    const std::uint8_t* p00 = panorama.row(y0) + 3 * x0;
    const std::uint8_t* p01 = panorama.row(y0) + 3 * x1;
    const std::uint8_t* p10 = panorama.row(y1) + 3 * x0;
    const std::uint8_t* p11 = panorama.row(y1) + 3 * x1;
    double c[3];
    for (int ch = 0; ch < 3; ++ch) {
        const double top = p00[ch] + ax * (p01[ch] - p00[ch]);
        const double bottom = p10[ch] + ax * (p11[ch] - p10[ch]);
        c[ch] = top + ay * (bottom - top);
    }
    return {c[0], c[1], c[2]};
}

// Cheap deterministic noise in 0..1 for the housing's grain.
double Grain(int x, int y) {
    std::uint32_t h =
        static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<double>((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

// The mirror's body: a dark cap in the middle and a dark housing with a lit
// rim around the ring. `rho` is in units of the outer radius.
Colour Housing(double rho, double innerEdge, double outerEdge) {
    if (rho < innerEdge) {
        // The mirror's tip and the camera it reflects: dark, slightly lighter centre.
        const double s = rho / innerEdge;
        const double grey = s < 0.35 ? 62 - 40 * s : 30 - 10 * s;
        return {grey, grey, grey + 4};
    }
    const double past = rho - outerEdge;
    if (past < 0.035) {
        const double grey = 110 - 1400 * past;  // polished rim, falling off outwards
        return {grey, grey, grey + 6};
    }
    const double grey = std::max(8.0, 40 - 60 * past);
    return {grey, grey * 0.97, grey * 0.95};
}

// Deterministic hash of two coordinates and a seed, 0..1.
double Hash01(int x, int y, unsigned seed) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 2246822519u ^
                      static_cast<std::uint32_t>(y) * 3266489917u ^ seed * 668265263u;
    h = (h ^ (h >> 15)) * 2654435761u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<double>((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

// A busy surrounding: overlapping blocks of two sizes in random colours and
// some diagonal stripes, so there are strong straight edges everywhere.
Colour Clutter(double x, double y, unsigned seed) {
    const int bx = static_cast<int>(std::floor(x / 41.0)),
              by = static_cast<int>(std::floor(y / 29.0));
    const int cx = static_cast<int>(std::floor((x + 17) / 97.0)),
              cy = static_cast<int>(std::floor((y + 5) / 71.0));
    Colour c{40 + 200 * Hash01(bx, by, seed), 40 + 200 * Hash01(bx, by, seed + 1),
             40 + 200 * Hash01(bx, by, seed + 2)};
    if (Hash01(cx, cy, seed + 3) < 0.4) {
        const double grey = 255 * Hash01(cx, cy, seed + 4);
        c = {grey, grey * 0.9, grey * 0.8};
    }
    if (std::fmod(std::fabs(x + y), 60.0) < 6) c = {20, 20, 30};
    return c;
}

struct Edges {
    double rhoMin = 0, rhoMax = 0, cap = 0;
};

EquiangularRows CustomRows(const SynthOptions& options) {
    return {static_cast<double>(options.innerRadius),
            static_cast<double>(options.custom.outerElevation),
            static_cast<double>(options.custom.innerElevation)};
}

Edges BandEdges(const SynthOptions& options) {
    const MirrorModel model = ModelFor(options.mirrorType);
    const bool convex = model == MirrorModel::Convex;
    const PanoramaSize size =
        UnwarpOutputSize(options.outerRadius, options.mirrorType, options.custom);
    const double H = static_cast<double>(size.height);
    const double R = options.outerRadius;
    const int rows = static_cast<int>(size.height);
    double rhoFirst, rhoLast;
    if (model == MirrorModel::Equiangular) {
        rhoFirst = EquiangularRowRadius(CustomRows(options), R, 0, rows);
        rhoLast = EquiangularRowRadius(CustomRows(options), R, rows - 1, rows);
    } else if (convex) {
        rhoFirst = R;
        rhoLast = R * (kConvexInnerFraction + (1 - kConvexInnerFraction) / H);
    } else {
        const ElevationTable table = BuildElevationTable();
        const double f = R * kConcaveRadiusToPixels;
        rhoFirst = RowImageRadius(table, 0, rows) * f;
        rhoLast = RowImageRadius(table, rows - 1, rows) * f;
    }
    Edges edges;
    edges.rhoMin = std::min(rhoFirst, rhoLast) - kSceneMargin;
    edges.rhoMax = std::max(rhoFirst, rhoLast) + kSceneMargin;
    // The custom mirror's inner circle is its band's own edge.
    edges.cap = model == MirrorModel::Equiangular
                    ? edges.rhoMin
                    : std::max(edges.rhoMin, static_cast<double>(options.innerRadius));
    return edges;
}

// The housing around the mirror ends here (in units of the outer radius);
// the surrounding scene starts.
constexpr double kHousingEdge = 1.15;

}  // namespace

SynthEdges SynthesizedEdges(const SynthOptions& options) {
    const Edges edges = BandEdges(options);
    return {edges.rhoMax, edges.cap};
}

ImageError SynthesizeRing(const RgbImage& panorama, const SynthOptions& options, RgbImage& photo) {
    auto fail = [](ImageError code) {
        SetLastImageError(code);
        return code;
    };
    const int n = options.supersample;
    if (panorama.empty() || n < 1 || n > 16 || options.width <= 0 || options.height <= 0)
        return fail(err::kBadParam);
    const MirrorModel model = ModelFor(options.mirrorType);
    if (model == MirrorModel::Equiangular &&
        (!IsValidCustomMirror(options.custom) || options.innerRadius < 1 ||
         options.innerRadius >= options.outerRadius))
        return fail(err::kBadParam);
    const PanoramaSize size =
        UnwarpOutputSize(options.outerRadius, options.mirrorType, options.custom);
    if (size.width <= 0 || size.height <= 0) return fail(err::kBadParam);
    if (CheckImageSize(options.width, options.height) != err::kNone) return fail(err::kNoMemory);
    if (photo.AllocatePixels(options.width, options.height) != err::kNone)
        return fail(err::kNoMemory);

    const bool convex = model == MirrorModel::Convex;
    const bool mirrored = MirrorsRows(options.mirrorType);
    const EquiangularRows custom = CustomRows(options);
    const double customSpan = std::fabs(custom.outerElevation - custom.innerElevation);
    const double customTop = std::max(custom.outerElevation, custom.innerElevation);
    const double W = static_cast<double>(size.width);
    const double H = static_cast<double>(size.height);
    const double R = options.outerRadius;
    const double cx = options.xCenter;
    const double cy = options.yCenter;
    const double dTheta = kTwoPi / W;
    const double f = R * kConcaveRadiusToPixels;
    const ElevationTable table = BuildElevationTable();
    const int rows = static_cast<int>(size.height);

    // The band the unwarp reads, and where the camera's reflection ends.
    const Edges edges = BandEdges(options);
    const double rhoMax = edges.rhoMax;
    const double cap = edges.cap;
    const double scaleX = panorama.width() / W;
    const double scaleY = panorama.height() / H;

    auto sceneAt = [&](double x, double y) -> Colour {
        const double dx = x - cx;
        const double dy = y - cy;
        const double rho = std::hypot(dx, dy);
        if (options.clutter && rho > kHousingEdge * R) return Clutter(x, y, options.seed);
        if (rho < cap || rho > rhoMax) return Housing(rho / R, cap / R, rhoMax / R);
        double theta = std::atan2(dy, dx);
        if (theta < 0) theta += kTwoPi;
        const double turn = theta / dTheta;  // 0..W
        double column, row;
        if (model == MirrorModel::Equiangular) {
            // The elevation at this radius, then the row that shows it.
            const double elevation =
                custom.innerElevation + (rho - custom.innerRadius) / (R - custom.innerRadius) *
                                            (custom.outerElevation - custom.innerElevation);
            row = (customTop - elevation) * H / customSpan - 0.5;
            column = options.custom.mirrored ? turn : W - 1 - turn;
        } else if (convex) {
            const double t = (rho / R - kConvexInnerFraction) / (1 - kConvexInnerFraction);
            row = (1 - t) * H;
            column = W - 1 - turn;
        } else {
            row = RowForImageRadius(table, rho / f, rows);
            column = mirrored ? W - 1 - turn : turn;
        }
        return SamplePanorama(panorama, column * scaleX, row * scaleY);
    };

    const int width = options.width;
    const double halfWidth = options.width / 2.0, halfHeight = options.height / 2.0;
    const double corner = std::max(1.0, std::hypot(halfWidth, halfHeight));
    const double weight = 1.0 / (n * n);
    ParallelRows(
        options.height, static_cast<std::int64_t>(width) * 3 * 64, [&](int first, int end) {
            for (int k = first; k < end; ++k) {
                std::uint8_t* out = photo.row(k);
                for (int i = 0; i < width; ++i, out += 3) {
                    // Pixel (i, k) covers i - 0.5 .. i + 0.5: the unwarp samples
                    // pixel centres at whole coordinates.
                    Colour sum;
                    for (int sy = 0; sy < n; ++sy) {
                        const double y = k + (sy + 0.5) / n - 0.5;
                        for (int sx = 0; sx < n; ++sx) {
                            const Colour c = sceneAt(i + (sx + 0.5) / n - 0.5, y);
                            sum.r += c.r;
                            sum.g += c.g;
                            sum.b += c.b;
                        }
                    }
                    const double grain = (Grain(i, k) - 0.5) * 3;
                    const double outside = std::hypot(i - cx, k - cy);
                    double g = outside < cap || outside > rhoMax ? grain : 0;
                    if (options.noise > 0)
                        g += (Hash01(i, k, options.seed + 7) - 0.5) * 2 * options.noise;
                    double light = 1;
                    if (options.vignetting > 0) {
                        const double d = std::hypot(i - halfWidth, k - halfHeight) / corner;
                        light = 1 - options.vignetting * d * d;
                    }
                    auto channel = [&](double value) {
                        return static_cast<std::uint8_t>(
                            std::clamp(value * weight * light + g + 0.5, 0.0, 255.0));
                    };
                    out[0] = channel(sum.r);
                    out[1] = channel(sum.g);
                    out[2] = channel(sum.b);
                }
            }
        });
    SetLastImageError(err::kNone);
    return err::kNone;
}

}  // namespace orbelune
