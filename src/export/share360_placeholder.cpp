// TEMPORARY stand-in for the 360° core (photo metadata, geometry, reprojection,
// 360° JPEG) so the web page can be built and tested before that core lands.
// Dropped at merge: the real implementation replaces every function here.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "export/movie_settings.h"
#include "export/share360.h"
#include "image/image_io.h"

namespace orbelune {

PhotoMetadata ReadPhotoMetadata(const std::string&) {
    return {};
}

ShareView ShareViewFromMovieSettings(const MovieSettings& settings) {
    ShareView view;
    view.headingDegrees = settings.pan;
    view.pitchDegrees = settings.tilt;
    view.horizontalFovDegrees = settings.zoom >= 1.0f ? 90.0 / settings.zoom : 90.0;
    return view;
}

ImageError ComputeShareGeometry(int width, int height, ShareGeometry& geometry) {
    if (width < 3 || height < 1) return err::kBadParam;
    const double radius = width / (2 * std::numbers::pi);
    const double latitude = std::atan((height / 2.0) / radius) * 180 / std::numbers::pi;
    geometry.fullWidth = width;
    geometry.fullHeight = width / 2;
    geometry.stripHeight = std::max(1, static_cast<int>(std::lround(2 * latitude * width / 360)));
    geometry.croppedTop = (geometry.fullHeight - geometry.stripHeight) / 2;
    geometry.latitudeTopDegrees = latitude;
    geometry.latitudeBottomDegrees = -latitude;
    return err::kNone;
}

ImageError ReprojectToEquirect(const RgbImage& cylinder, RgbImage& equirect) {
    return equirect.CopyImage(cylinder);
}

ImageError EncodeShare360Jpeg(const RgbImage& cylinder, const ShareView&, const PhotoMetadata&,
                              std::vector<std::uint8_t>& jpeg) {
    return EncodeImageBytes(cylinder, ImageFormat::Jpeg, jpeg);
}

}  // namespace orbelune
