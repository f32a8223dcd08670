// The cylindrical panorama as an equirectangular strip, and where that strip
// sits on the full sphere.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <numbers>
#include <vector>

#include "export/movie_settings.h"
#include "export/share360.h"
#include "image/image_layer.h"
#include "image/parallel.h"

namespace orbelune {

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;

// Bilinear weights are in 1/256: exact enough for 8-bit samples and cheap.
constexpr int kWeightBits = 8;
constexpr int kWeightOne = 1 << kWeightBits;

// Which two cylinder rows an output row blends, and how.
struct RowSample {
    int upper = 0;
    int lower = 0;
    int lowerWeight = 0;  // 0 … kWeightOne
};

}  // namespace

ImageError ComputeShareGeometry(int width, int height, ShareGeometry& geometry) {
    geometry = ShareGeometry();
    if (width < 3 || height < 1) return err::kBadParam;
    const double radius = width / (2.0 * std::numbers::pi);
    const double halfExtent = std::atan((height / 2.0) / radius);
    geometry.fullWidth = width;
    geometry.fullHeight = width / 2;
    // One row per 360°/width of latitude, as the columns are per 360°/width of
    // longitude: viewers expect square pixels on the sphere.
    const long rows = std::lround(2.0 * halfExtent * width / (2.0 * std::numbers::pi));
    geometry.stripHeight = static_cast<int>(std::clamp<long>(rows, 1, geometry.fullHeight));
    if (geometry.fullHeight < 1) return err::kBadParam;
    // The horizon at the middle of the sphere; with an odd difference the
    // strip sits half a row high, and its latitudes follow its true place.
    geometry.croppedTop = (geometry.fullHeight - geometry.stripHeight) / 2;
    const double degreesPerRow = 180.0 / geometry.fullHeight;
    geometry.latitudeTopDegrees = 90.0 - geometry.croppedTop * degreesPerRow;
    geometry.latitudeBottomDegrees =
        90.0 - (geometry.croppedTop + geometry.stripHeight) * degreesPerRow;
    return err::kNone;
}

ImageError ReprojectToEquirect(const RgbImage& cylinder, RgbImage& equirect) {
    ImageOperation op;
    ShareGeometry geometry;
    if (cylinder.empty()) return op.Fail(err::kBadParam);
    if (ImageError e = ComputeShareGeometry(cylinder.width(), cylinder.height(), geometry))
        return op.Fail(e);
    const int width = cylinder.width();
    const int rows = geometry.stripHeight;
    if (ImageError e = CheckImageSize(width, rows)) return op.Fail(e);

    std::vector<RowSample> samples;
    try {
        samples.resize(static_cast<std::size_t>(rows));
    } catch (const std::bad_alloc&) {
        return op.Fail(err::kNoMemory);
    }
    // Row centres: the cylinder's horizon lies between rows H/2 - 1 and H/2 of
    // an even height (on the middle row's centre of an odd one), a point at
    // latitude φ at r·tan φ above it.
    const double radius = width / (2.0 * std::numbers::pi);
    const double horizon = cylinder.height() / 2.0;
    const double degreesPerRow = 180.0 / geometry.fullHeight;
    const int lastRow = cylinder.height() - 1;
    for (int y = 0; y < rows; ++y) {
        const double latitude =
            (geometry.latitudeTopDegrees - (y + 0.5) * degreesPerRow) / kDegrees;
        const double source =
            std::clamp(horizon - radius * std::tan(latitude) - 0.5, 0.0, double(lastRow));
        RowSample& sample = samples[static_cast<std::size_t>(y)];
        sample.upper = std::min(static_cast<int>(source), lastRow);
        sample.lower = std::min(sample.upper + 1, lastRow);
        sample.lowerWeight = static_cast<int>(std::lround((source - sample.upper) * kWeightOne));
        if (sample.lowerWeight == kWeightOne) {
            sample.upper = sample.lower;
            sample.lowerWeight = 0;
        }
    }

    RgbImage out;
    if (out.AllocatePixels(width, rows) != err::kNone) return op.Fail(err::kNoMemory);
    const std::size_t rowBytes = cylinder.stride();
    std::uint8_t* const outPixels = out.data();
    const std::uint8_t* const inPixels = cylinder.data();
    // Columns map one to one (same width, same longitude), so each output row
    // is a blend of two cylinder rows.
    ParallelRows(rows, static_cast<std::int64_t>(rowBytes) * 2, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            const RowSample& sample = samples[static_cast<std::size_t>(y)];
            const std::uint8_t* upper =
                inPixels + rowBytes * static_cast<std::size_t>(sample.upper);
            const std::uint8_t* lower =
                inPixels + rowBytes * static_cast<std::size_t>(sample.lower);
            std::uint8_t* target = outPixels + rowBytes * static_cast<std::size_t>(y);
            const unsigned b = static_cast<unsigned>(sample.lowerWeight);
            const unsigned a = kWeightOne - b;
            for (std::size_t i = 0; i < rowBytes; ++i)
                target[i] = static_cast<std::uint8_t>(
                    (upper[i] * a + lower[i] * b + kWeightOne / 2) >> kWeightBits);
        }
    });
    equirect = std::move(out);
    return op.Succeed();
}

namespace {

// The concave mirrors' panorama: height = width / 2π, so πH/W = 1/2.
const double kNominalHalfExtentDegrees = std::atan(0.5) * kDegrees;
// Windows as narrow as this must show no empty band at the initial view.
constexpr double kReferenceAspect = 16.0 / 9.0;
constexpr double kMinFovDegrees = 5.0;
constexpr double kMaxFovDegrees = 120.0;

double TanDegrees(double degrees) {
    return std::tan(degrees / kDegrees);
}
double AtanDegrees(double value) {
    return std::atan(value) * kDegrees;
}

ShareView ViewFor(const MovieSettings& settings, double halfExtent) {
    // The movie build's corrections, so both open at the same view.
    double zoom = settings.zoom;
    if (!(zoom >= 1.0 && zoom <= 2.0)) zoom = 1.0;
    const int pan = settings.pan >= 0 && settings.pan <= 360 ? settings.pan : 0;
    const int tilt = settings.tilt >= -90 && settings.tilt <= 90 ? settings.tilt : 0;
    const int movieWidth =
        settings.confirmedWidth != 0 ? settings.confirmedWidth : settings.movieWidth;
    const int movieHeight =
        settings.confirmedHeight != 0 ? settings.confirmedHeight : settings.movieHeight;
    const double aspect = movieWidth > 0 && movieHeight > 0
                              ? std::clamp(double(movieWidth) / movieHeight, 0.25, 4.0)
                              : kReferenceAspect;

    // The movie's field of view is vertical: the strip's whole height (2T)
    // divided by the zoom; its window's aspect makes it horizontal.
    const double verticalFov = 2.0 * halfExtent / zoom;
    double horizontalFov = 2.0 * AtanDegrees(TanDegrees(verticalFov / 2.0) * aspect);
    // A window of the reference aspect (or the movie's, when narrower) must
    // not see past the strip's edges at pitch 0.
    const double narrowest = std::min(aspect, kReferenceAspect);
    const double widestFov = 2.0 * AtanDegrees(TanDegrees(halfExtent) * narrowest);
    horizontalFov = std::clamp(horizontalFov, kMinFovDegrees, std::min(widestFov, kMaxFovDegrees));
    // Pitch only as far as the view's top (or bottom) stays on the strip.
    const double halfVertical = AtanDegrees(TanDegrees(horizontalFov / 2.0) / narrowest);
    const double maxPitch = std::max(0.0, halfExtent - halfVertical);

    ShareView view;
    view.headingDegrees = pan == 360 ? 0.0 : pan;
    view.pitchDegrees = std::clamp<double>(tilt, -maxPitch, maxPitch);
    view.horizontalFovDegrees = horizontalFov;
    return view;
}

}  // namespace

ShareView ShareViewFromMovieSettings(const MovieSettings& settings) {
    return ViewFor(settings, kNominalHalfExtentDegrees);
}

ShareView ShareViewForPanorama(const MovieSettings& settings, int width, int height) {
    ShareGeometry geometry;
    if (ComputeShareGeometry(width, height, geometry) != err::kNone)
        return ShareViewFromMovieSettings(settings);
    // The strip as written (whole rows), so its edges are where the viewer ends.
    const double halfExtent =
        std::min(geometry.latitudeTopDegrees, -geometry.latitudeBottomDegrees);
    return ViewFor(settings, halfExtent);
}

}  // namespace orbelune
