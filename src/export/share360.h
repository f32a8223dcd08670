#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/image_error.h"
#include "image/rgb_image.h"

namespace orbelune {

struct MovieSettings;

// What a photo carries that a panorama made from it keeps: the EXIF block
// (without the tags that describe the old picture), the ICC profile and the
// capture time. Empty when the photo has none or it cannot be read.
struct PhotoMetadata {
    std::vector<std::uint8_t> exif;  // TIFF-structured EXIF, as libexiv2 serialises it
    std::vector<std::uint8_t> icc;
    std::string dateTimeOriginal;  // "YYYY:MM:DD HH:MM:SS", or empty
    bool empty() const { return exif.empty() && icc.empty() && dateTimeOriginal.empty(); }
};

// Never fails: a photo without metadata, or with broken metadata, gives an
// empty record.
PhotoMetadata ReadPhotoMetadata(const std::string& path);

// The view a 360° viewer opens at, in degrees.
struct ShareView {
    double headingDegrees = 0;  // 0 … 360, the movie's default pan
    double pitchDegrees = 0;    // the movie's default tilt
    double horizontalFovDegrees = 90;
};

// The default view of the movie settings (pan, tilt, zoom) as a viewer's view.
ShareView ShareViewFromMovieSettings(const MovieSettings& settings);

// Where an equirectangular strip of a cylindrical panorama of width x height
// sits on the full sphere (width x width/2).
struct ShareGeometry {
    int fullWidth = 0;
    int fullHeight = 0;                // fullWidth / 2
    int stripHeight = 0;               // rows of the equirectangular strip
    int croppedTop = 0;                // rows above the strip on the full sphere
    double latitudeTopDegrees = 0;     // latitude of the strip's top edge
    double latitudeBottomDegrees = 0;  // (negative) latitude of its bottom edge
};

// err::kBadParam when the panorama is narrower than 3 pixels or has no rows.
[[nodiscard]] ImageError ComputeShareGeometry(int width, int height, ShareGeometry& geometry);

// The cylindrical panorama (360° across its width, horizon at the middle row)
// reprojected onto rows evenly spaced in latitude, same width.
[[nodiscard]] ImageError ReprojectToEquirect(const RgbImage& cylinder, RgbImage& equirect);

// The 360° JPEG: reprojected, encoded, with photo-sphere XMP and the photo's
// metadata. The bytes of a complete JPEG file.
[[nodiscard]] ImageError EncodeShare360Jpeg(const RgbImage& cylinder, const ShareView& view,
                                            const PhotoMetadata& metadata,
                                            std::vector<std::uint8_t>& jpeg);

}  // namespace orbelune
