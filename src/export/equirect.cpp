// The cylindrical panorama as an equirectangular strip, and where that strip
// sits on the full sphere.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
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

// Each output row a blend of two source rows, columns one to one (same
// width, same longitude).
ImageError BlendRows(const RgbImage& source, const std::vector<RowSample>& samples, RgbImage& out) {
    const int rows = static_cast<int>(samples.size());
    if (out.AllocatePixels(source.width(), rows) != err::kNone) return err::kNoMemory;
    const std::size_t rowBytes = source.stride();
    std::uint8_t* const outPixels = out.data();
    const std::uint8_t* const inPixels = source.data();
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
    return err::kNone;
}

// The two rows around a fractional source row (of row centres), clamped.
RowSample SampleAt(double source, int lastRow) {
    source = std::clamp(source, 0.0, static_cast<double>(lastRow));
    RowSample sample;
    sample.upper = std::min(static_cast<int>(source), lastRow);
    sample.lower = std::min(sample.upper + 1, lastRow);
    sample.lowerWeight = static_cast<int>(std::lround((source - sample.upper) * kWeightOne));
    if (sample.lowerWeight == kWeightOne) {
        sample.upper = sample.lower;
        sample.lowerWeight = 0;
    }
    return sample;
}

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
        samples[static_cast<std::size_t>(y)] =
            SampleAt(horizon - radius * std::tan(latitude) - 0.5, lastRow);
    }

    RgbImage out;
    if (ImageError e = BlendRows(cylinder, samples, out)) return op.Fail(e);
    equirect = std::move(out);
    return op.Succeed();
}

KnownElevations KnownElevationsForCustomMirror(const CustomMirror& mirror, int panoramaHeight,
                                               int cropTopRow) {
    const double span = std::abs(mirror.outerElevation - mirror.innerElevation);
    const double top = std::max(mirror.outerElevation, mirror.innerElevation);
    KnownElevations known;
    known.degPerRow = span / std::max(1, panoramaHeight);
    known.topDeg = top - cropTopRow * known.degPerRow;
    return known;
}

ImageError ComputeShareGeometry(int width, int height, const KnownElevations& known,
                                ShareGeometry& geometry) {
    geometry = ShareGeometry();
    constexpr double kSlack = 1e-9;
    if (width < 3 || height < 1 || !std::isfinite(known.topDeg) ||
        !std::isfinite(known.degPerRow) || !(known.degPerRow > 0))
        return err::kBadParam;
    const double bottom = known.topDeg - height * known.degPerRow;
    if (known.topDeg > 90 + kSlack || bottom < -90 - kSlack) return err::kBadParam;
    geometry.fullWidth = width;
    geometry.fullHeight = width / 2;
    const double degreesPerRow = 180.0 / geometry.fullHeight;
    // Rows of the sphere above the strip's top edge, and the rows it covers.
    const double exactTop = (90.0 - known.topDeg) / degreesPerRow;
    const double exactRows = height * known.degPerRow / degreesPerRow;
    const double drift = exactRows - height;
    // A custom mirror's strip drifts by under half a row from rounding its
    // height, and by under half a row more on an odd width (the sphere's
    // rows are then a little taller than its columns are wide).
    geometry.keepsRows = std::fabs(drift) <= 1.0;
    long top;
    if (geometry.keepsRows) {
        geometry.stripHeight = height;
        // Halfway between where the top and the bottom edge want it.
        top = std::lround(exactTop + drift / 2);
    } else {
        geometry.stripHeight =
            static_cast<int>(std::clamp<long>(std::lround(exactRows), 1, geometry.fullHeight));
        top = std::lround(exactTop);
    }
    if (geometry.stripHeight > geometry.fullHeight) return err::kBadParam;
    geometry.croppedTop =
        static_cast<int>(std::clamp<long>(top, 0, geometry.fullHeight - geometry.stripHeight));
    geometry.latitudeTopDegrees = 90.0 - geometry.croppedTop * degreesPerRow;
    geometry.latitudeBottomDegrees =
        90.0 - (geometry.croppedTop + geometry.stripHeight) * degreesPerRow;
    return err::kNone;
}

ImageError PlaceKnownElevations(const RgbImage& strip, const KnownElevations& known,
                                RgbImage& equirect) {
    ImageOperation op;
    ShareGeometry geometry;
    if (strip.empty()) return op.Fail(err::kBadParam);
    if (ImageError e = ComputeShareGeometry(strip.width(), strip.height(), known, geometry))
        return op.Fail(e);
    if (ImageError e = CheckImageSize(strip.width(), geometry.stripHeight)) return op.Fail(e);
    if (geometry.keepsRows) {
        RgbImage copy;
        if (copy.AllocatePixels(strip.width(), strip.height()) != err::kNone)
            return op.Fail(err::kNoMemory);
        std::memcpy(copy.data(), strip.data(), strip.byteCount());
        equirect = std::move(copy);
        return op.Succeed();
    }
    std::vector<RowSample> samples;
    try {
        samples.resize(static_cast<std::size_t>(geometry.stripHeight));
    } catch (const std::bad_alloc&) {
        return op.Fail(err::kNoMemory);
    }
    const double degreesPerRow = 180.0 / geometry.fullHeight;
    for (int y = 0; y < geometry.stripHeight; ++y) {
        // Row centres: the sphere's row y at its latitude, the strip's row q
        // centred (q + 0.5) rows below its top.
        const double latitude = geometry.latitudeTopDegrees - (y + 0.5) * degreesPerRow;
        samples[static_cast<std::size_t>(y)] =
            SampleAt((known.topDeg - latitude) / known.degPerRow - 0.5, strip.height() - 1);
    }
    RgbImage out;
    if (ImageError e = BlendRows(strip, samples, out)) return op.Fail(e);
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

// `top` and `bottom`: the latitudes of the strip's edges.
ShareView ViewFor(const MovieSettings& settings, double top, double bottom) {
    const double halfExtent = (top - bottom) / 2.0;
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
    double lowest = bottom + halfVertical, highest = top - halfVertical;
    if (lowest > highest) lowest = highest = (top + bottom) / 2.0;

    ShareView view;
    view.headingDegrees = pan == 360 ? 0.0 : pan;
    view.pitchDegrees = std::clamp<double>(tilt, lowest, highest);
    view.horizontalFovDegrees = horizontalFov;
    return view;
}

}  // namespace

ShareView ShareViewFromMovieSettings(const MovieSettings& settings) {
    return ViewFor(settings, kNominalHalfExtentDegrees, -kNominalHalfExtentDegrees);
}

ShareView ShareViewForPanorama(const MovieSettings& settings, int width, int height) {
    ShareGeometry geometry;
    if (ComputeShareGeometry(width, height, geometry) != err::kNone)
        return ShareViewFromMovieSettings(settings);
    // The strip as written (whole rows), so its edges are where the viewer ends.
    const double halfExtent =
        std::min(geometry.latitudeTopDegrees, -geometry.latitudeBottomDegrees);
    return ViewFor(settings, halfExtent, -halfExtent);
}

ShareView ShareViewForPanorama(const MovieSettings& settings, int width, int height,
                               const KnownElevations& known) {
    ShareGeometry geometry;
    if (ComputeShareGeometry(width, height, known, geometry) != err::kNone)
        return ShareViewFromMovieSettings(settings);
    return ViewFor(settings, geometry.latitudeTopDegrees, geometry.latitudeBottomDegrees);
}

}  // namespace orbelune
