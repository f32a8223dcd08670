#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/image_error.h"
#include "image/rgb_image.h"
#include "unwarp/mirror_types.h"

namespace orbelune {

struct MovieSettings;

// A panorama whose rows are already evenly spaced in elevation (the custom
// mirror's): the elevation of its top edge and the degrees each row spans.
struct KnownElevations {
    double topDeg = 0;
    double degPerRow = 0;
};

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
// The same for a photo held in memory.
PhotoMetadata ReadPhotoMetadata(const std::uint8_t* data, std::size_t size);

// The capture time as seconds since 1970 (the camera's clock read as UTC), or 0
// when there is none or it is not a valid "YYYY:MM:DD HH:MM:SS".
std::int64_t PhotoTimeSeconds(const PhotoMetadata& metadata);

// Adds the photo's metadata to a complete JPEG, TIFF or PNG file held in
// memory. False (bytes unchanged) when the file cannot take it; nothing to add
// is true.
bool EmbedPhotoMetadata(std::vector<std::uint8_t>& file, const PhotoMetadata& metadata);

// A SaveImageFile finisher that puts the photo's metadata into the new file
// before it replaces the destination. Metadata the file cannot take is dropped
// without an error; only a failed write fails the save.
SaveFinisher PhotoMetadataFinisher(PhotoMetadata metadata);

// The view a 360° viewer opens at, in degrees.
struct ShareView {
    double headingDegrees = 0;  // 0 … 360, the movie's default pan
    double pitchDegrees = 0;    // the movie's default tilt
    double horizontalFovDegrees = 90;
};

// The default view of the movie settings (pan, tilt, zoom) as a viewer's view.
// Without the panorama's size, its height is taken as the concave mirrors give
// it (width / 2π, a strip of ±26.6°).
ShareView ShareViewFromMovieSettings(const MovieSettings& settings);
// The same for a panorama of width x height: the movie's own field of view
// (zoom 1 shows the strip's whole height in the movie's window), kept narrow
// enough that a 16:9 (or the movie's narrower) window shows no empty band above
// or below the strip, and the pitch kept so that the view stays on it.
ShareView ShareViewForPanorama(const MovieSettings& settings, int width, int height);
// The same for a strip of known elevations (which need not be centred on the
// horizon): the pitch keeps the view on the strip where it lies.
ShareView ShareViewForPanorama(const MovieSettings& settings, int width, int height,
                               const KnownElevations& known);

// Where an equirectangular strip of a cylindrical panorama of width x height
// sits on the full sphere (width x width/2).
struct ShareGeometry {
    int fullWidth = 0;
    int fullHeight = 0;                // fullWidth / 2
    int stripHeight = 0;               // rows of the equirectangular strip
    int croppedTop = 0;                // rows above the strip on the full sphere
    double latitudeTopDegrees = 0;     // latitude of the strip's top edge
    double latitudeBottomDegrees = 0;  // (negative) latitude of its bottom edge
    // A strip of known elevations written with its own rows (no resampling).
    bool keepsRows = false;
};

// The custom mirror's panorama of `panoramaHeight` rows (as unwarped), of which
// the rows from `cropTopRow` on are kept: row q spans |Δe|/H degrees below
// the larger elevation.
KnownElevations KnownElevationsForCustomMirror(const CustomMirror& mirror, int panoramaHeight,
                                               int cropTopRow);

// Where a strip of known elevations sits on the full sphere (width x width/2).
// Its rows are kept when, over the whole strip, they drift at most one row
// from the sphere's 180/(width/2) degrees per row (always so for a custom
// mirror's strip): it is then placed to the nearest row, at most one row off
// at either edge, rather than blurred by a sub-row resampling. Otherwise it
// is resampled to the sphere's rows. err::kBadParam for a panorama narrower than
// 3 pixels, no rows, or elevations that are not finite or leave -90 … 90.
[[nodiscard]] ImageError ComputeShareGeometry(int width, int height, const KnownElevations& known,
                                              ShareGeometry& geometry);

// The strip on the sphere's rows as ComputeShareGeometry places it: a copy,
// or resampled vertically (columns unchanged). `equirect` may be `strip`.
[[nodiscard]] ImageError PlaceKnownElevations(const RgbImage& strip, const KnownElevations& known,
                                              RgbImage& equirect);

// One row per 360°/width of latitude (square pixels on the sphere), as many
// as cover the cylinder's ±atan((height/2)/r), r = width/2π; the horizon at the
// middle of the sphere (half a row high when the parities differ; the
// latitudes are the strip's true ones). err::kBadParam when the panorama is
// narrower than 3 pixels or has no rows.
[[nodiscard]] ImageError ComputeShareGeometry(int width, int height, ShareGeometry& geometry);

// The cylindrical panorama (360° across its width, horizon at the middle row)
// reprojected onto rows evenly spaced in latitude, same width. `equirect` may
// be the cylinder itself; it is replaced only on success.
[[nodiscard]] ImageError ReprojectToEquirect(const RgbImage& cylinder, RgbImage& equirect);

// The 360° JPEG: reprojected, encoded, with photo-sphere XMP and the photo's
// metadata (left out when it cannot be written). The bytes of a complete JPEG
// file; err::kBadParam for a panorama narrower than 3 pixels, err::kMisc when
// the XMP cannot be written.
[[nodiscard]] ImageError EncodeShare360Jpeg(const RgbImage& cylinder, const ShareView& view,
                                            const PhotoMetadata& metadata,
                                            std::vector<std::uint8_t>& jpeg);

// The 360° JPEG written to `path` (atomically, as every image save): the
// strip is encoded straight into the file. err::kMisc when the photo-sphere
// XMP cannot be written.
[[nodiscard]] ImageError SaveShare360Jpeg(const RgbImage& cylinder, const ShareView& view,
                                          const PhotoMetadata& metadata, const std::string& path);
// The same for a caller that is done with the panorama: it is freed once
// reprojected (whatever the outcome), before the encoder starts.
[[nodiscard]] ImageError SaveShare360JpegAndFree(RgbImage& cylinder, const ShareView& view,
                                                 const PhotoMetadata& metadata,
                                                 const std::string& path);

// The 360° JPEG of a strip of known elevations (a custom mirror's panorama):
// the same as above, with the strip placed (not reprojected) by its known
// elevations.
[[nodiscard]] ImageError EncodeShare360Jpeg(const RgbImage& strip, const KnownElevations& known,
                                            const ShareView& view, const PhotoMetadata& metadata,
                                            std::vector<std::uint8_t>& jpeg);
[[nodiscard]] ImageError SaveShare360Jpeg(const RgbImage& strip, const KnownElevations& known,
                                          const ShareView& view, const PhotoMetadata& metadata,
                                          const std::string& path);
[[nodiscard]] ImageError SaveShare360JpegAndFree(RgbImage& strip, const KnownElevations& known,
                                                 const ShareView& view,
                                                 const PhotoMetadata& metadata,
                                                 const std::string& path);

}  // namespace orbelune
