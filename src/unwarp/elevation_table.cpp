#include "unwarp/elevation_table.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace orbelune {

namespace {
constexpr double kFirstRadius = 1.76;
// Given by its bits: (4.27 - 1.76) / 250 as evaluated in doubles.
constexpr double kRadiusStep = std::bit_cast<double>(std::uint64_t{0x3F848FD9FD36F7E3});
constexpr double kCameraDistance = 20.0;
constexpr double kCylinderRadius = 200.0;
constexpr double kHalfPi = 1.5707963267948966;
}  // namespace

ElevationTable BuildElevationTable() {
    ElevationTable table;
    double v = kFirstRadius;
    for (int k = 0; k < kElevationEntries; ++k) {
        const double q = kCameraDistance * kCameraDistance - 3.223066 * kCameraDistance * v +
                         2.597038610089 * v * v - (-10.085588690488) * v * v;
        const double r = (kCameraDistance - 1.611533 * v - std::sqrt(q)) / (-0.028052 * v);
        const double d = r * (kCameraDistance / v);
        const double m = r * (r * 0.000732 - 0.076) + 2.368;
        const double phi =
            std::atan(m) + kHalfPi - std::atan(kCameraDistance / v) + std::atan(-1 / m);
        const double z = std::tan(phi) * (kCylinderRadius - r) + d;
        table[static_cast<std::size_t>(k)] = {v, z};
        // Accumulated, not recomputed from k: the table depends on the rounding.
        v = v + kRadiusStep;
    }
    return table;
}

double RowImageRadius(const ElevationTable& table, int row, int rowCount) {
    const ElevationEntry& first = table.front();
    const ElevationEntry& last = table.back();
    const double zt =
        first.z - static_cast<double>(row) * ((first.z - last.z) / static_cast<double>(rowCount));
    if (zt >= first.z) return first.v;
    if (zt <= last.z) return last.v;
    int lo = 0;
    int hi = kElevationEntries - 1;
    while (hi - lo > 1) {
        const int mid = (lo + hi) / 2;
        const double zMid = table[static_cast<std::size_t>(mid)].z;
        if (zt > zMid) {
            hi = mid;
        } else if (zt == zMid) {
            return table[static_cast<std::size_t>(mid)].v;
        } else {
            lo = mid;
        }
    }
    const ElevationEntry& a = table[static_cast<std::size_t>(lo)];
    const ElevationEntry& b = table[static_cast<std::size_t>(hi)];
    return a.v + (b.v - a.v) / (b.z - a.z) * (zt - a.z);
}

double RowForImageRadius(const ElevationTable& table, double v, int rowCount) {
    const ElevationEntry& first = table.front();
    const ElevationEntry& last = table.back();
    double z;
    if (v <= first.v) {
        z = first.z;
    } else if (v >= last.v) {
        z = last.z;
    } else {
        // v grows by a nearly constant step; start from the estimate, then correct.
        int k = static_cast<int>((v - first.v) / (table[1].v - first.v));
        if (k > kElevationEntries - 2) k = kElevationEntries - 2;
        while (k > 0 && table[static_cast<std::size_t>(k)].v > v)
            --k;
        while (k < kElevationEntries - 2 && table[static_cast<std::size_t>(k) + 1].v < v)
            ++k;
        const ElevationEntry& a = table[static_cast<std::size_t>(k)];
        const ElevationEntry& b = table[static_cast<std::size_t>(k) + 1];
        z = a.z + (b.z - a.z) / (b.v - a.v) * (v - a.v);
    }
    return (first.z - z) / ((first.z - last.z) / static_cast<double>(rowCount));
}

}  // namespace orbelune
