// Production kernels. They must give the reference's bytes, so every formula
// keeps the reference's operations in the same order; only work that gives
// identical doubles is hoisted (the per-column cosine and sine).
#include "unwarp/unwarp_kernels.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#define ORBELUNE_UNWARP_SSE2 1
#endif

#include "image/parallel.h"
#include "unwarp/elevation_table.h"
#include "unwarp/inside_arc.h"
#include "unwarp/mirror_models.h"
#include "unwarp/sample_bilinear.h"

namespace orbelune {

namespace {

// A true floor (also for negative positions) that is cheaper than std::floor;
// positions stay far inside the 64-bit range (centre and radius are ints).
inline std::int64_t FloorToInt(double value) {
    auto i = static_cast<std::int64_t>(value);
    if (static_cast<double>(i) > value) --i;
    return i;
}

struct Sampler {
    const std::uint8_t* data;
    std::int64_t stride;
    std::int64_t bytes;
    std::int64_t width;
    std::int64_t height;

    // Base column and row and fractions of a sample position.
    inline void Locate(double x, double y, std::int64_t& column, std::int64_t& row, double& fx,
                       double& fy) const {
        column = FloorToInt(x);
        row = FloorToInt(y);
        fx = x - static_cast<double>(column);
        fy = y - static_cast<double>(row);
    }

    bool Inside(std::int64_t column, std::int64_t row) const {
        return column >= 0 && column < width && row >= 0 && row < height;
    }

    // The whole 2 x 2 neighbourhood lies in the photograph.
    bool BlockInside(std::int64_t column, std::int64_t row) const {
        return column >= 0 && column + 1 < width && row >= 0 && row + 1 < height;
    }

    std::int64_t Address(std::int64_t column, std::int64_t row) const {
        return row * stride + column * 3;
    }

    inline void Blend(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d, double fx,
                      double fy, std::uint8_t* out) const {
        for (int ch = 0; ch < 3; ++ch) {
            const double value = SampleBilinearFractions(data[a + ch], data[b + ch], data[c + ch],
                                                         data[d + ch], fx, fy);
            out[ch] = static_cast<std::uint8_t>(static_cast<int>(value));
        }
    }

    // A neighbourhood inside the photograph: the vector blend when one spare
    // byte follows its last pixel, else the scalar one (same bytes).
    inline void BlendBlock(std::int64_t base, double fx, double fy, std::uint8_t* out) const {
        if (base + stride + 7 <= bytes) {
            BlendInside(base, fx, fy, out);
        } else {
            Blend(base, base + 3, base + stride, base + stride + 3, fx, fy, out);
        }
    }

    // The same blend for a whole 2 x 2 neighbourhood with one spare byte
    // after its last pixel: the three channels (and a fourth, discarded) go
    // through the formula side by side, each lane with the scalar operations
    // in the scalar order, so the bytes are the same.
    inline void BlendInside(std::int64_t base, double fx, double fy, std::uint8_t* out) const {
#if ORBELUNE_UNWARP_SSE2
        auto load4 = [this](std::int64_t at) {
            std::int32_t word;
            std::memcpy(&word, data + at, 4);
            return _mm_cvtsi32_si128(word);
        };
        const __m128i zero = _mm_setzero_si128();
        const __m128i ab = _mm_unpacklo_epi8(_mm_unpacklo_epi32(load4(base), load4(base + 3)),
                                             zero);  // a0..a3 b0..b3 (16 bit)
        const __m128i cd = _mm_unpacklo_epi8(
            _mm_unpacklo_epi32(load4(base + stride), load4(base + stride + 3)), zero);
        const __m128i a = _mm_unpacklo_epi16(ab, zero);
        const __m128i b = _mm_unpackhi_epi16(ab, zero);
        const __m128i c = _mm_unpacklo_epi16(cd, zero);
        const __m128i d = _mm_unpackhi_epi16(cd, zero);
        const __m128i ba = _mm_sub_epi32(b, a);
        const __m128i ca = _mm_sub_epi32(c, a);
        const __m128i abcd = _mm_add_epi32(_mm_sub_epi32(_mm_sub_epi32(a, b), c), d);
        const __m128d vx = _mm_set1_pd(fx);
        const __m128d vy = _mm_set1_pd(fy);
        auto lanes = [&](int shift) {
            auto half = [shift](__m128i v) {
                return _mm_cvtepi32_pd(shift ? _mm_srli_si128(v, 8) : v);
            };
            const __m128d sum = _mm_add_pd(half(a), _mm_mul_pd(vx, half(ba)));
            const __m128d inner = _mm_add_pd(half(ca), _mm_mul_pd(vx, half(abcd)));
            return _mm_cvttpd_epi32(_mm_add_pd(sum, _mm_mul_pd(vy, inner)));
        };
        const __m128i values = _mm_unpacklo_epi64(lanes(0), lanes(1));
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(values, zero), zero);
        const std::uint32_t packed = static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
        out[0] = static_cast<std::uint8_t>(packed);
        out[1] = static_cast<std::uint8_t>(packed >> 8);
        out[2] = static_cast<std::uint8_t>(packed >> 16);
#else
        Blend(base, base + 3, base + stride, base + stride + 3, fx, fy, out);
#endif
    }

    inline void Convex(double x, double y, std::uint8_t* out) const {
        std::int64_t column, row;
        double fx, fy;
        Locate(x, y, column, row, fx, fy);
        if (BlockInside(column, row)) {
            BlendBlock(Address(column, row), fx, fy, out);
            return;
        }
        // Edge rule: no photograph under the sample gives white; missing
        // neighbours repeat the base (the down-right one the lower one).
        if (!Inside(column, row)) {
            out[0] = out[1] = out[2] = 255;
            return;
        }
        const std::int64_t base = Address(column, row);
        const bool hasRight = column + 1 < width;
        const bool hasLower = row + 1 < height;
        const std::int64_t right = hasRight ? base + 3 : base;
        const std::int64_t lower = hasLower ? base + stride : base;
        const std::int64_t downRight = hasRight && hasLower ? base + stride + 3 : lower;
        Blend(base, right, lower, downRight, fx, fy, out);
    }

    inline void Concave(double x, double y, std::uint8_t* out) const {
        std::int64_t column, row;
        double fx, fy;
        Locate(x, y, column, row, fx, fy);
        if (BlockInside(column, row)) {
            BlendBlock(Address(column, row), fx, fy, out);
            return;
        }
        // Edge rule: a neighbourhood reaching past the photograph is white.
        out[0] = out[1] = out[2] = 255;
    }
};

Sampler MakeSampler(const SourcePixels& source) {
    const auto stride = static_cast<std::int64_t>(source.stride);
    return {source.data, stride, stride * source.height, source.width, source.height};
}

struct ColumnTables {
    std::unique_ptr<double[]> cosines;
    std::unique_ptr<double[]> sines;
};

// cos and sin of angle(j) for every column: the same doubles the per-pixel
// computation would give, computed once per call.
template <typename Angle>
ColumnTables MakeColumnTables(int width, Angle angle) {
    ColumnTables tables{std::make_unique<double[]>(static_cast<std::size_t>(width)),
                        std::make_unique<double[]>(static_cast<std::size_t>(width))};
    for (int j = 0; j < width; ++j) {
        const double theta = angle(j);
        tables.cosines[static_cast<std::size_t>(j)] = std::cos(theta);
        tables.sines[static_cast<std::size_t>(j)] = std::sin(theta);
    }
    return tables;
}

// Pixel j of an output row goes to column j, or width - 1 - j when mirrored.
inline std::uint8_t* PixelAt(const PanoramaPixels& panorama, int row, int column,
                             bool mirrorColumns) {
    const int x = mirrorColumns ? panorama.width - 1 - column : column;
    return panorama.data + (static_cast<std::size_t>(row) * panorama.width + x) * 3;
}

// Output rows are arcs across the whole photograph; walking a few rows over a
// short run of columns at a time keeps the source pixels they share in cache.
// The order of the writes does not change any byte.
constexpr int kMaxBlockRows = 32;
constexpr int kTileColumns = 128;

template <typename RowRun>
inline void ForEachTile(int top, int bottom, int width, RowRun&& run) {
    for (int j0 = 0; j0 < width; j0 += kTileColumns) {
        const int j1 = std::min(width, j0 + kTileColumns);
        for (int q = top; q < bottom; ++q)
            run(q, j0, j1);
    }
}

bool RunRows(const PanoramaPixels& panorama, const std::function<void(int, int)>& body,
             const RowProgress& progress) {
    // A sampled pixel costs far more than a copied one; tell ParallelRows so.
    const std::int64_t workPerRow = static_cast<std::int64_t>(panorama.width) * 3 * 16;
    return ParallelRows(panorama.height, workPerRow, body, progress, kMaxBlockRows);
}

std::atomic<UnwarpVectors> gVectorLimit{UnwarpVectors::kAvx512};

// Where row q's circle sits: sample j of the row lies at
// (cx + (cos j * r(q)) * k, cy + (sin j * r(q)) * k).
struct CircleFrame {
    double cx, cy, k;
};

// Fills the panorama: output row q samples the circle of radius r = rowRadius(q).
// Rows whose whole circle lies inside the photograph go through the vector
// samplers; `sampleColumn(j, r, out)`, the model's own scalar sample with its
// edge rule, does every other column.
template <typename RowRadius, typename SampleColumn>
bool SampleCircles(const SourcePixels& source, const PanoramaPixels& panorama,
                   const ColumnTables& tables, const CircleFrame& frame, bool mirrorColumns,
                   const RowProgress& progress, RowRadius&& rowRadius,
                   SampleColumn&& sampleColumn) {
    const UnwarpVectors vectors = UsableUnwarpVectors(gVectorLimit);
    const std::ptrdiff_t step = mirrorColumns ? -3 : 3;
    InsideArc arc;
    arc.data = source.data;
    arc.stride = static_cast<std::int64_t>(source.stride);
    arc.cx = frame.cx;
    arc.cy = frame.cy;
    arc.k = frame.k;
    arc.cosines = tables.cosines.get();
    arc.sines = tables.sines.get();
    return RunRows(
        panorama,
        [&](int firstRow, int endRow) {
            double radii[kMaxBlockRows];
            bool inside[kMaxBlockRows];
            for (int top = firstRow; top < endRow; top += kMaxBlockRows) {
                const int bottom = std::min(endRow, top + kMaxBlockRows);
                for (int q = top; q < bottom; ++q) {
                    InsideArc row = arc;
                    row.r = radii[q - top] = rowRadius(q);
                    inside[q - top] = vectors != UnwarpVectors::kNone &&
                                      ArcLiesInside(row, source.width, source.height);
                }
                ForEachTile(top, bottom, panorama.width, [&](int q, int j0, int j1) {
                    const double r = radii[q - top];
                    std::uint8_t* out = PixelAt(panorama, q, j0, mirrorColumns);
                    int j = j0;
                    if (inside[q - top]) {
                        InsideArc row = arc;
                        row.r = r;
                        j += SampleInsideArc(vectors, row, j0, j1, out, mirrorColumns);
                        out += step * (j - j0);
                    }
                    for (; j < j1; ++j, out += step)
                        sampleColumn(j, r, out);
                });
            }
        },
        progress);
}

}  // namespace

void SetUnwarpVectorLimit(UnwarpVectors limit) {
    gVectorLimit = limit;
}

bool UnwarpConvex(const SourcePixels& source, const PanoramaPixels& panorama,
                  const RingGeometry& ring, bool mirrorColumns, const RowProgress& progress) {
    const int width = panorama.width;
    const int height = panorama.height;
    if (width <= 0 || height <= 0) return true;
    const double dTheta = kTwoPi / width;
    const ColumnTables tables =
        MakeColumnTables(width, [&](int j) { return static_cast<double>(width - 1 - j) * dTheta; });
    const Sampler sampler = MakeSampler(source);
    const double* cosines = tables.cosines.get();
    const double* sines = tables.sines.get();
    const double cx = ring.cx, cy = ring.cy, radius = ring.radius;
    return SampleCircles(
        source, panorama, tables, {cx, cy, 1.0}, mirrorColumns, progress,
        [&](int q) {
            double t = 1 - static_cast<double>(q) / height;
            if (t < 0) t = 0;
            if (t > 1) t = 1;
            return radius * (kConvexInnerFraction + t * (1 - kConvexInnerFraction));
        },
        [&](int j, double rho, std::uint8_t* out) {
            sampler.Convex(cx + cosines[j] * rho, cy + rho * sines[j], out);
        });
}

double EquiangularRowRadius(const EquiangularRows& model, double outerRadius, int q, int rows) {
    const double span = std::fabs(model.outerElevation - model.innerElevation);
    const double top = std::max(model.outerElevation, model.innerElevation);
    const double elevation = top - (q + 0.5) * span / rows;
    return model.innerRadius + (elevation - model.innerElevation) /
                                   (model.outerElevation - model.innerElevation) *
                                   (outerRadius - model.innerRadius);
}

bool UnwarpEquiangular(const SourcePixels& source, const PanoramaPixels& panorama,
                       const RingGeometry& ring, const EquiangularRows& model, bool mirrorColumns,
                       const RowProgress& progress) {
    const int width = panorama.width;
    const int height = panorama.height;
    if (width <= 0 || height <= 0 || model.outerElevation == model.innerElevation) return true;
    const double dTheta = kTwoPi / width;
    const ColumnTables tables =
        MakeColumnTables(width, [&](int j) { return static_cast<double>(width - 1 - j) * dTheta; });
    const Sampler sampler = MakeSampler(source);
    const double* cosines = tables.cosines.get();
    const double* sines = tables.sines.get();
    const double cx = ring.cx, cy = ring.cy, radius = ring.radius;
    // The convex model's circles and edge rule; only the row radii differ.
    return SampleCircles(
        source, panorama, tables, {cx, cy, 1.0}, mirrorColumns, progress,
        [&](int q) { return EquiangularRowRadius(model, radius, q, height); },
        [&](int j, double rho, std::uint8_t* out) {
            sampler.Convex(cx + cosines[j] * rho, cy + rho * sines[j], out);
        });
}

bool UnwarpConcave(const SourcePixels& source, const PanoramaPixels& panorama,
                   const RingGeometry& ring, bool mirrorColumns, const RowProgress& progress) {
    const int width = panorama.width;
    const int height = panorama.height;
    if (width <= 0 || height <= 0) return true;
    const ElevationTable table = BuildElevationTable();
    const double f = ring.radius * kConcaveRadiusToPixels;
    const double dTheta = kTwoPi / width;
    const ColumnTables tables =
        MakeColumnTables(width, [&](int j) { return static_cast<double>(j) * dTheta; });
    const Sampler sampler = MakeSampler(source);
    const double* cosines = tables.cosines.get();
    const double* sines = tables.sines.get();
    const double cx = ring.cx, cy = ring.cy;
    return SampleCircles(
        source, panorama, tables, {cx, cy, f}, mirrorColumns, progress,
        [&](int q) { return RowImageRadius(table, q, height); },
        [&](int j, double v, std::uint8_t* out) {
            sampler.Concave(cx + (cosines[j] * v) * f, cy + (v * sines[j]) * f, out);
        });
}

}  // namespace orbelune
