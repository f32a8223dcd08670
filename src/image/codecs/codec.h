#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "image/image_error.h"
#include "image/image_format.h"
#include "image/image_layer.h"
#include "image/rgb_image.h"

namespace orbelune {

using ByteSpan = std::span<const std::uint8_t>;

// Where an encoder writes: a growable memory block, or an open file (so that
// saving a large picture does not hold its encoded bytes in memory too). Both
// keep a write position, since libtiff seeks back and reads its own output.
class ByteSink {
public:
    ByteSink() = default;
    // Writes through to `fd` (not owned), starting at its beginning.
    explicit ByteSink(int fd) : fd_(fd) {}

    // False when memory runs out or the file cannot be written.
    bool Write(const void* data, std::size_t size);
    bool Seek(std::uint64_t position);
    std::uint64_t Tell() const { return position_; }
    std::uint64_t Size() const { return size_; }
    // Copies up to `size` written bytes from `position`; the count copied.
    std::size_t ReadAt(std::uint64_t position, void* out, std::size_t size) const;
    // Room for `size` more bytes in memory (untouched capacity costs nothing).
    void Reserve(std::size_t size);

    bool isFile() const { return fd_ >= 0; }
    // What a failed Write means: a full disk for a file, no memory otherwise.
    ImageError WriteFailure() const { return fd_ >= 0 ? err::kFileWrite : err::kNoMemory; }
    // The bytes of a memory sink.
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    int fd_ = -1;
    std::vector<std::uint8_t> bytes_;
    std::uint64_t position_ = 0;
    std::uint64_t size_ = 0;
};

// A decoder turns a whole file's bytes into packed RGB (top row first),
// allocating `out` only after CheckImageSize accepted the declared size, and
// reports each row through op.Progress (stopping with err::kAborted when asked).
// On failure it returns its code and leaves `out` empty. It never reads outside
// `data`, never aborts the process and prints nothing.
using DecodeFn = ImageError (*)(ByteSpan data, RgbImage& out, const ImageOperation& op);

// Optional: the same decoder reading an open file as it goes, so that a large
// file is not held in memory beside its pixels.
using DecodeFileFn = ImageError (*)(std::FILE* file, RgbImage& out, const ImageOperation& op);

// An encoder writes a complete file for packed RGB pixels into the sink.
using EncodeFn = ImageError (*)(const std::uint8_t* rgb, int width, int height, ByteSink& sink,
                                const ImageOperation& op);

struct Codec {
    ImageFormat format;
    const char* name;
    DecodeFn decode;          // null: cannot read
    EncodeFn encode;          // null: cannot write
    DecodeFileFn decodeFile;  // null: reads from memory only
};

// The codec for a format, or null when the format has none.
const Codec* FindCodec(ImageFormat format);

ImageError DecodeJpeg(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodeJpegFile(std::FILE* file, RgbImage& out, const ImageOperation& op);
ImageError DecodePng(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodeBmp(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodePcx(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodeTiff(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodeTga(ByteSpan data, RgbImage& out, const ImageOperation& op);
// Metafiles are rendered at their frame's size at 96 dpi over mid grey;
// err::kBadMetafile for anything the renderer cannot take.
ImageError DecodeWmf(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodeEmf(ByteSpan data, RgbImage& out, const ImageOperation& op);

// JPEG at quality 100, baseline tables forced, the simple progressive script.
ImageError EncodeJpeg(const std::uint8_t* rgb, int width, int height, ByteSink& sink,
                      const ImageOperation& op);
// 24-bit BMP with a 54-byte header, bottom row first, BGR, rows padded to 4 bytes.
ImageError EncodeBmp(const std::uint8_t* rgb, int width, int height, ByteSink& sink,
                     const ImageOperation& op);
// Uncompressed contiguous RGB TIFF with the fixed tag set.
ImageError EncodeTiff(const std::uint8_t* rgb, int width, int height, ByteSink& sink,
                      const ImageOperation& op);
// Lossless PNG with libpng's defaults.
ImageError EncodePng(const std::uint8_t* rgb, int width, int height, ByteSink& sink,
                     const ImageOperation& op);

}  // namespace orbelune
