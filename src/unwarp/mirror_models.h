#pragma once

// The numbers of the two unwarp models, shared by the production kernels, the
// literal reference and the ring synthesis that inverts them. Include from
// .cpp files only.

namespace orbelune {

inline constexpr double kTwoPi = 6.283185307179586;

// Convex model: the panorama is this fraction of its width high, and its
// bottom row samples this fraction of the outer radius.
inline constexpr double kConvexHeightFactor = 0.408;
inline constexpr double kConvexInnerFraction = 0.176;

// Concave model: image-plane radius (4.27 at the outer radius R) to photo
// pixels, per pixel of R.
inline constexpr double kConcaveRadiusToPixels = 0.234192037470726;

}  // namespace orbelune
