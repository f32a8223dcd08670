// The 360° JPEG: the equirectangular strip with photo-sphere XMP (the GPano
// properties every current 360° viewer looks for) and the photo's metadata.
#include <charconv>
#include <cmath>
#include <exiv2/exiv2.hpp>
#include <string>
#include <utility>

#include "export/exiv2_support.h"
#include "export/share360.h"
#include "image/image_io.h"
#include "image/image_layer.h"

namespace orbelune {

namespace {

// Degrees to a hundredth, shortest form, whatever the process's locale.
std::string Degrees(double value) {
    char text[32];
    const double rounded = std::round(value * 100.0) / 100.0 + 0.0;  // no "-0"
    const auto [end, ec] = std::to_chars(text, text + sizeof text, rounded);
    return ec == std::errc() ? std::string(text, end) : std::string("0");
}

void AddPhotoSphereXmp(Exiv2::Image& image, const ShareGeometry& geometry, const ShareView& view) {
    Exiv2::XmpData& xmp = image.xmpData();
    xmp["Xmp.GPano.ProjectionType"] = std::string("equirectangular");
    xmp["Xmp.GPano.UsePanoramaViewer"] = std::string("True");
    xmp["Xmp.GPano.FullPanoWidthPixels"] = std::to_string(geometry.fullWidth);
    xmp["Xmp.GPano.FullPanoHeightPixels"] = std::to_string(geometry.fullHeight);
    xmp["Xmp.GPano.CroppedAreaImageWidthPixels"] = std::to_string(geometry.fullWidth);
    xmp["Xmp.GPano.CroppedAreaImageHeightPixels"] = std::to_string(geometry.stripHeight);
    xmp["Xmp.GPano.CroppedAreaLeftPixels"] = std::string("0");
    xmp["Xmp.GPano.CroppedAreaTopPixels"] = std::to_string(geometry.croppedTop);
    xmp["Xmp.GPano.InitialViewHeadingDegrees"] = Degrees(view.headingDegrees);
    xmp["Xmp.GPano.InitialViewPitchDegrees"] = Degrees(view.pitchDegrees);
    xmp["Xmp.GPano.InitialHorizontalFOVDegrees"] = Degrees(view.horizontalFovDegrees);
}

// The photo's metadata where it can be added, the XMP in any case: false only
// when the XMP cannot be written.
bool EmbedShareMetadata(std::vector<std::uint8_t>& jpeg, const ShareGeometry& geometry,
                        const ShareView& view, const PhotoMetadata& metadata) {
    if (!metadata.exif.empty() || !metadata.icc.empty()) {
        if (EditImageMetadata(jpeg, [&](Exiv2::Image& image) {
                AddPhotoMetadata(image, metadata);
                AddPhotoSphereXmp(image, geometry, view);
            }))
            return true;
    }
    return EditImageMetadata(
        jpeg, [&](Exiv2::Image& image) { AddPhotoSphereXmp(image, geometry, view); });
}

SaveFinisher ShareFinisher(const ShareGeometry& geometry, const ShareView& view,
                           const PhotoMetadata& metadata) {
    return [&geometry, &view, &metadata](int fd, ImageFormat) -> ImageError {
        std::vector<std::uint8_t> bytes;
        if (ImageError e = ReadBackFile(fd, bytes)) return e;
        if (!EmbedShareMetadata(bytes, geometry, view, metadata)) return err::kMisc;
        return RewriteFile(fd, bytes);
    };
}

}  // namespace

ImageError EncodeShare360Jpeg(const RgbImage& cylinder, const ShareView& view,
                              const PhotoMetadata& metadata, std::vector<std::uint8_t>& jpeg) {
    jpeg.clear();
    ShareGeometry geometry;
    if (ImageError e = ComputeShareGeometry(cylinder.width(), cylinder.height(), geometry))
        return e;
    RgbImage strip;
    if (ImageError e = ReprojectToEquirect(cylinder, strip)) return e;
    std::vector<std::uint8_t> bytes;
    if (ImageError e = EncodeImageBytes(strip, ImageFormat::Jpeg, bytes)) return e;
    strip.FreePixels();
    if (!EmbedShareMetadata(bytes, geometry, view, metadata)) {
        SetLastImageError(err::kMisc);
        return err::kMisc;
    }
    jpeg = std::move(bytes);
    return err::kNone;
}

ImageError SaveShare360JpegAndFree(RgbImage& cylinder, const ShareView& view,
                                   const PhotoMetadata& metadata, const std::string& path) {
    ShareGeometry geometry;
    RgbImage strip;
    ImageError result = ComputeShareGeometry(cylinder.width(), cylinder.height(), geometry);
    if (result == err::kNone) result = ReprojectToEquirect(cylinder, strip);
    cylinder.FreePixels();
    if (result != err::kNone) return result;
    return strip.SaveImageFileAndFree(path, ImageFormat::Jpeg,
                                      ShareFinisher(geometry, view, metadata));
}

ImageError SaveShare360Jpeg(const RgbImage& cylinder, const ShareView& view,
                            const PhotoMetadata& metadata, const std::string& path) {
    ShareGeometry geometry;
    if (ImageError e = ComputeShareGeometry(cylinder.width(), cylinder.height(), geometry))
        return e;
    RgbImage strip;
    if (ImageError e = ReprojectToEquirect(cylinder, strip)) return e;
    return strip.SaveImageFileAndFree(path, ImageFormat::Jpeg,
                                      ShareFinisher(geometry, view, metadata));
}

ImageError EncodeShare360Jpeg(const RgbImage& strip, const KnownElevations& known,
                              const ShareView& view, const PhotoMetadata& metadata,
                              std::vector<std::uint8_t>& jpeg) {
    jpeg.clear();
    ShareGeometry geometry;
    if (ImageError e = ComputeShareGeometry(strip.width(), strip.height(), known, geometry))
        return e;
    RgbImage placed;
    if (ImageError e = PlaceKnownElevations(strip, known, placed)) return e;
    std::vector<std::uint8_t> bytes;
    if (ImageError e = EncodeImageBytes(placed, ImageFormat::Jpeg, bytes)) return e;
    placed.FreePixels();
    if (!EmbedShareMetadata(bytes, geometry, view, metadata)) {
        SetLastImageError(err::kMisc);
        return err::kMisc;
    }
    jpeg = std::move(bytes);
    return err::kNone;
}

ImageError SaveShare360JpegAndFree(RgbImage& strip, const KnownElevations& known,
                                   const ShareView& view, const PhotoMetadata& metadata,
                                   const std::string& path) {
    ShareGeometry geometry;
    ImageError result = ComputeShareGeometry(strip.width(), strip.height(), known, geometry);
    RgbImage placed;
    if (result == err::kNone) {
        // Rows kept: the strip itself is written, no copy.
        if (geometry.keepsRows)
            placed = std::move(strip);
        else
            result = PlaceKnownElevations(strip, known, placed);
    }
    strip.FreePixels();
    if (result != err::kNone) return result;
    return placed.SaveImageFileAndFree(path, ImageFormat::Jpeg,
                                       ShareFinisher(geometry, view, metadata));
}

ImageError SaveShare360Jpeg(const RgbImage& strip, const KnownElevations& known,
                            const ShareView& view, const PhotoMetadata& metadata,
                            const std::string& path) {
    ShareGeometry geometry;
    if (ImageError e = ComputeShareGeometry(strip.width(), strip.height(), known, geometry))
        return e;
    RgbImage placed;
    if (ImageError e = PlaceKnownElevations(strip, known, placed)) return e;
    return placed.SaveImageFileAndFree(path, ImageFormat::Jpeg,
                                       ShareFinisher(geometry, view, metadata));
}

}  // namespace orbelune
