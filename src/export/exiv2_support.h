#pragma once

// What the metadata files share behind libexiv2; only they include it.
#include <cstdint>
#include <functional>
#include <vector>

#include "export/share360.h"
#include "image/image_error.h"

namespace Exiv2 {
class Image;
}

namespace orbelune {

// Mutes libexiv2's log and readies its XMP toolkit for several threads; once.
void PrepareExiv2();

// Opens a complete image file held in memory, reads its metadata, lets `edit`
// change it and writes it back into `file`. False (file unchanged) on any
// libexiv2 failure, including a throw from `edit`.
bool EditImageMetadata(std::vector<std::uint8_t>& file,
                       const std::function<void(Exiv2::Image&)>& edit);

// Adds the photo's kept EXIF tags and ICC profile; may throw (libexiv2).
void AddPhotoMetadata(Exiv2::Image& image, const PhotoMetadata& metadata);

// The whole file behind `fd`, and writing it anew (then cut to its size).
ImageError ReadBackFile(int fd, std::vector<std::uint8_t>& bytes);
ImageError RewriteFile(int fd, const std::vector<std::uint8_t>& bytes);

}  // namespace orbelune
