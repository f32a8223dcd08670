#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace orbelune {

// The raw photograph as the kernels see it: 3 bytes per pixel, `stride` bytes
// per row, rows one after another. A neighbour pixel exists when its column is
// 0..width-1 and its row 0..height-1; nothing wraps to another row.
struct SourcePixels {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
};

// The panorama to fill: 3 bytes per pixel, rows packed (stride 3 * width).
struct PanoramaPixels {
    std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
};

// Centre and outer radius of the ring, in source pixels.
struct RingGeometry {
    double cx = 0;
    double cy = 0;
    double radius = 0;
};

// Called with (row, row count) once per output row, rows in rising order, on
// the calling thread; false asks to stop (rows already started still finish).
using RowProgress = std::function<bool(int row, int rowCount)>;

// The production kernels: rows spread over the worker threads. With
// `mirrorColumns` column j is written to column width - 1 - j, which gives the
// same bytes as mirroring the rows afterwards. False when the progress asked
// to stop, leaving the panorama partly filled.
bool UnwarpConvex(const SourcePixels& source, const PanoramaPixels& panorama,
                  const RingGeometry& ring, bool mirrorColumns, const RowProgress& progress);
bool UnwarpConcave(const SourcePixels& source, const PanoramaPixels& panorama,
                   const RingGeometry& ring, bool mirrorColumns, const RowProgress& progress);

// The custom mirror's rows: row q of H shows elevation
// e(q) = eTop - (q + 0.5) * |outer - inner| / H (eTop the larger elevation) and
// samples the radius that lies between the circles as e(q) lies between
// their elevations. Columns as the convex model's.
struct EquiangularRows {
    double innerRadius = 0;
    double outerElevation = 0;
    double innerElevation = 0;
};
// The radius row q of `rows` samples, for an outer radius `outerRadius`.
double EquiangularRowRadius(const EquiangularRows& model, double outerRadius, int q, int rows);
bool UnwarpEquiangular(const SourcePixels& source, const PanoramaPixels& panorama,
                       const RingGeometry& ring, const EquiangularRows& model, bool mirrorColumns,
                       const RowProgress& progress);

// Vector instruction sets the kernels can use, narrowest first.
enum class UnwarpVectors { kNone, kAvx2, kAvx512 };

// Caps the set the kernels use; by default they take the widest the processor
// has. Every set gives the same bytes (tests check each).
void SetUnwarpVectorLimit(UnwarpVectors limit);

}  // namespace orbelune
