#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "image/image_error.h"
#include "image/image_format.h"
#include "image/image_layer.h"
#include "image/rgb_image.h"

namespace orbelune {

using ByteSpan = std::span<const std::uint8_t>;

// Growable in-memory output with a write position (libtiff needs to seek back).
class MemorySink {
public:
    // False when memory runs out.
    bool Write(const void* data, std::size_t size);
    bool Seek(std::uint64_t position);
    std::uint64_t Tell() const { return position_; }
    std::uint64_t Size() const { return bytes_.size(); }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::uint64_t position_ = 0;
};

// A decoder turns a whole file's bytes into packed RGB (top row first),
// allocating `out` only after CheckImageSize accepted the declared size, and
// reports each row through op.Progress (stopping with err::kAborted when asked).
// On failure it returns its code and leaves `out` empty. It never reads outside
// `data`, never aborts the process and prints nothing.
using DecodeFn = ImageError (*)(ByteSpan data, RgbImage& out, const ImageOperation& op);

// An encoder writes a complete file for packed RGB pixels into the sink.
using EncodeFn = ImageError (*)(const std::uint8_t* rgb, int width, int height, MemorySink& sink,
                                const ImageOperation& op);

struct Codec {
    ImageFormat format;
    const char* name;
    DecodeFn decode;  // null: cannot read
    EncodeFn encode;  // null: cannot write
};

// The codec for a format, or null when the format has none.
const Codec* FindCodec(ImageFormat format);

ImageError DecodeJpeg(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodePng(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodeBmp(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodePcx(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodeTiff(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodeTga(ByteSpan data, RgbImage& out, const ImageOperation& op);

// JPEG at quality 100, baseline tables forced, the simple progressive script.
ImageError EncodeJpeg(const std::uint8_t* rgb, int width, int height, MemorySink& sink,
                      const ImageOperation& op);
// 24-bit BMP with a 54-byte header, bottom row first, BGR, rows padded to 4 bytes.
ImageError EncodeBmp(const std::uint8_t* rgb, int width, int height, MemorySink& sink,
                     const ImageOperation& op);
// Uncompressed contiguous RGB TIFF with the fixed tag set.
ImageError EncodeTiff(const std::uint8_t* rgb, int width, int height, MemorySink& sink,
                      const ImageOperation& op);
// Lossless PNG with libpng's defaults.
ImageError EncodePng(const std::uint8_t* rgb, int width, int height, MemorySink& sink,
                     const ImageOperation& op);

}  // namespace orbelune
