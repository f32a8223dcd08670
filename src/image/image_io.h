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
[[nodiscard]] ImageError DecodeImageBytes(std::span<const std::uint8_t> data, ImageFormat format,
                                          RgbImage& out);

// Encodes packed RGB pixels in `format` into memory; sets the last error.
// err::kBadParam when there are no pixels or the format has no encoder.
[[nodiscard]] ImageError EncodeImageBytes(const RgbImage& image, ImageFormat format,
                                          std::vector<std::uint8_t>& bytes);

// The format LoadImageFile would decode the file as: by content, else by
// extension; a TIFF-structured file named as camera raw is camera raw.
ImageFormat DetectFileFormat(const std::string& path);
// The same for a file's first bytes (at least kDetectHeaderBytes to be
// recognised by content) and its path.
ImageFormat DetectFormat(std::span<const std::uint8_t> head, const std::string& path);

// Size LoadImageFile would deliver, upright, from the file's header only (the
// whole file is read only when the header reaches past its first 256 KiB).
// `format` is set to the detected format also on failure. kNoDecoder when the
// format cannot be read; a damaged header gives the decoder's code.
[[nodiscard]] ImageError ProbeImageFile(const std::string& path, ImageSize& size,
                                        ImageFormat& format);

// Whether SaveImageFile can write the format.
bool CanEncode(ImageFormat format);

}  // namespace orbelune
