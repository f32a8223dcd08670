#pragma once

#include <array>

namespace orbelune {

// One point of the concave mirror profile: image-plane radius v (4.27 is the
// outer radius R) and the height z where the reflected ray meets the cylinder.
struct ElevationEntry {
    double v = 0;
    double z = 0;
};

inline constexpr int kElevationEntries = 250;
using ElevationTable = std::array<ElevationEntry, kElevationEntries>;

// The 250 entries; z strictly decreases with the index.
ElevationTable BuildElevationTable();

// Image-plane radius sampled by panorama row `row` of `rowCount` (rows are
// evenly spaced in z, row 0 at the table's first entry).
double RowImageRadius(const ElevationTable& table, int row, int rowCount);

// The inverse: the (fractional) row at which image-plane radius v appears;
// v is limited to the table's range.
double RowForImageRadius(const ElevationTable& table, double v, int rowCount);

}  // namespace orbelune
