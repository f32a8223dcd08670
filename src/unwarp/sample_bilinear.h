#pragma once

#include <cmath>

namespace orbelune {

// Bilinear blend of base a, right b, lower c and down-right d at (x, y); the
// fractions are taken from the position. Within 0..255 for byte inputs.
inline double SampleBilinear(int a, int b, int c, int d, double x, double y) {
    const double fx = x - std::floor(x);
    const double fy = y - std::floor(y);
    return a + fx * (b - a) + fy * ((c - a) + fx * (a - b - c + d));
}

// The same with the fractions already known (they must be x - floor(x) and
// y - floor(y)), so that fast kernels give the same doubles.
inline double SampleBilinearFractions(int a, int b, int c, int d, double fx, double fy) {
    return a + fx * (b - a) + fy * ((c - a) + fx * (a - b - c + d));
}

}  // namespace orbelune
