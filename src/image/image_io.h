#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/image_error.h"
#include "image/image_format.h"
#include "image/rgb_image.h"

namespace orbelune {

// Decodes a file held in memory with the decoder of `format`; sets the last error.
// err::kNoDecoder when the format has none.
ImageError DecodeImageBytes(std::span<const std::uint8_t> data, ImageFormat format, RgbImage& out);

// Encodes packed RGB pixels in `format` into memory; sets the last error.
// err::kBadParam when there are no pixels or the format has no encoder.
ImageError EncodeImageBytes(const RgbImage& image, ImageFormat format, std::vector<std::uint8_t>& bytes);

// The format LoadImageFile would decode the file as: by content, else by extension.
ImageFormat DetectFileFormat(const std::string& path);

// Whether SaveImageFile can write the format.
bool CanEncode(ImageFormat format);

}  // namespace orbelune
