#pragma once

#include <cstdint>
#include <span>

#include "image/image_format.h"

namespace orbelune {

// What a small reader of TIFF structures finds in the first directory (IFD0);
// zero where a tag is missing.
struct TiffDirectory {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int orientation = 0;
};

// Reads IFD0 of TIFF-structured bytes ("II*\0" or "MM\0*" header) as found in
// TIFF files and EXIF blocks. False when the header or the directory is cut
// short or malformed. Reads nothing outside `tiff`.
[[nodiscard]] bool ReadTiffDirectory(std::span<const std::uint8_t> tiff, TiffDirectory& directory);

// The EXIF orientation (1 to 8; 1 is upright, also when there is none or it is
// out of range) a file of the given format carries: JPEG in its APP1 Exif
// segment, PNG in its eXIf chunk, WebP in its EXIF chunk. Other formats place
// their pictures upright in the decoder (TIFF's own Orientation tag, HEIF's
// rotation and mirror properties, camera raw's flip), so they give 1.
int ExifOrientation(ImageFormat format, std::span<const std::uint8_t> file);

// Whether an orientation exchanges width and height (5 to 8).
inline bool OrientationTurnsQuarter(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

}  // namespace orbelune
