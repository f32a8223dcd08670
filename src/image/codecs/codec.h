#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>
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

// A probe reads only a file's header and gives the size its decoder would
// deliver, without decoding. kFileRead when `data` ends before the header does
// (the caller may then try again with more of the file), the decoder's own code
// when the header is damaged, kNoMemory when the size is over the limits.
using ProbeFn = ImageError (*)(ByteSpan data, ImageSize& size);

// Whether a file's first kDetectHeaderBytes bytes carry the format's signature.
using SignatureFn = bool (*)(ByteSpan header);

// One row of the format table: everything the program knows about a format.
struct Codec {
    ImageFormat format;
    const char* id;           // lower case, names fuzz targets and corpora: "jpeg"
    const char* name;         // short, for messages: "JPEG"
    const char* description;  // for file dialogs: "JPEG Files"
    const char* extensions;   // lower case, space separated, first is the usual: "jpg jpeg"
    int detectionCode;        // DetectFormatCode's value for the signature; 0 none
    SignatureFn signature;    // null: recognised by extension only
    DecodeFn decode;          // null: cannot read
    EncodeFn encode;          // null: cannot write
    DecodeFileFn decodeFile;  // null: reads from memory only
    ProbeFn probe;            // null: the size is learnt by decoding
};

// The format table, in detection order (content signatures are tried in this
// order, first match wins). Entries without a decoder are recognised but
// refused; GIF is one of them, with no format of its own.
std::span<const Codec> AllCodecs();

// The codec for a format, or null when the format has none.
const Codec* FindCodec(ImageFormat format);
// The codec with the given id, or null.
const Codec* FindCodecById(std::string_view id);

ImageError DecodeJpeg(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodeJpegFile(std::FILE* file, RgbImage& out, const ImageOperation& op);
ImageError DecodePng(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodeBmp(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodePcx(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodeTiff(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodeTga(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodeHeif(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodeWebp(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodeRaw(ByteSpan data, RgbImage& out, const ImageOperation& op);
ImageError DecodePnm(ByteSpan data, RgbImage& out, const ImageOperation& op);

ImageError ProbeJpeg(ByteSpan data, ImageSize& size);
ImageError ProbePng(ByteSpan data, ImageSize& size);
ImageError ProbeBmp(ByteSpan data, ImageSize& size);
ImageError ProbePcx(ByteSpan data, ImageSize& size);
ImageError ProbeTiff(ByteSpan data, ImageSize& size);
ImageError ProbeTga(ByteSpan data, ImageSize& size);
ImageError ProbeHeif(ByteSpan data, ImageSize& size);
ImageError ProbeWebp(ByteSpan data, ImageSize& size);
ImageError ProbeRaw(ByteSpan data, ImageSize& size);
ImageError ProbePnm(ByteSpan data, ImageSize& size);
ImageError ProbeWmf(ByteSpan data, ImageSize& size);
ImageError ProbeEmf(ByteSpan data, ImageSize& size);
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
