#include "image/image_io.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

#include "image/codecs/codec.h"
#include "image/exif_orientation.h"
#include "image/file_io.h"
#include "image/image_layer.h"
#include "image/image_ops.h"

namespace orbelune {

namespace {

// Enough of a file's start for every header probe and for a JPEG's EXIF
// segment (at most 64 KiB, normally right after the start of the file).
constexpr std::size_t kHeadBytes = 256 * 1024;

// Turns a decoded picture upright as its EXIF orientation says; `file` is the
// whole file or its head.
ImageError Orient(RgbImage& image, ImageFormat format, std::span<const std::uint8_t> file) {
    const int orientation = ExifOrientation(format, file);
    return orientation == 1 ? err::kNone : ApplyOrientation(image, orientation);
}

}  // namespace

ImageError DecodeImageBytes(std::span<const std::uint8_t> data, ImageFormat format, RgbImage& out) {
    ImageOperation op;
    out.FreePixels();
    const Codec* codec = FindCodec(format);
    if (codec == nullptr || codec->decode == nullptr) return op.Fail(err::kNoDecoder);
    ImageError result = codec->decode(data, out, op);
    if (result == err::kNone && out.empty()) result = err::kMisc;
    if (result == err::kNone) result = Orient(out, format, data);
    if (result != err::kNone) {
        out.FreePixels();
        return op.Fail(result);
    }
    return op.Succeed();
}

bool CanEncode(ImageFormat format) {
    const Codec* codec = FindCodec(format);
    return codec != nullptr && codec->encode != nullptr;
}

ImageError EncodeImageBytes(const RgbImage& image, ImageFormat format,
                            std::vector<std::uint8_t>& bytes) {
    ImageOperation op;
    bytes.clear();
    if (image.empty()) return op.Fail(err::kBadParam);
    const Codec* codec = FindCodec(format);
    if (codec == nullptr || codec->encode == nullptr) return op.Fail(err::kBadParam);
    ByteSink sink;
    const ImageError result = codec->encode(image.data(), image.width(), image.height(), sink, op);
    if (result != err::kNone) return op.Fail(result);
    bytes = std::move(sink.bytes());
    return op.Succeed();
}

ImageFormat DetectFormat(std::span<const std::uint8_t> head, const std::string& path) {
    const ImageFormat byContent = FormatFromDetectionCode(DetectFormatCode(head));
    const ImageFormat byName = FormatFromExtension(path);
    // Many raw formats are TIFF files inside; their name says which.
    if (byContent == ImageFormat::Tiff && byName == ImageFormat::Raw) return ImageFormat::Raw;
    return byContent != ImageFormat::Unknown ? byContent : byName;
}

ImageFormat DetectFileFormat(const std::string& path) {
    std::vector<std::uint8_t> head;
    if (ReadFileHead(path, kDetectHeaderBytes, head) != err::kNone) head.clear();
    return DetectFormat(head, path);
}

ImageError ProbeImageFile(const std::string& path, ImageSize& size, ImageFormat& format) {
    ImageOperation op;
    size = {};
    std::vector<std::uint8_t> bytes;
    if (ImageError e = ReadFileHead(path, kHeadBytes, bytes)) return op.Fail(e);
    format = DetectFormat(bytes, path);
    const Codec* codec = FindCodec(format);
    if (codec == nullptr || codec->decode == nullptr) return op.Fail(err::kNoDecoder);
    if (codec->probe == nullptr) {
        // No header reader for this format: the size is learnt by decoding.
        RgbImage image;
        if (ImageError e = image.LoadImageAs(path, format)) return op.Fail(e);
        size = {image.width(), image.height()};
        return op.Succeed();
    }
    ImageError result = codec->probe(bytes, size);
    if (result != err::kNone && bytes.size() == kHeadBytes) {
        // The header reaches past the head (a TIFF directory after the pixels).
        if (ImageError e = ReadWholeFile(path, bytes)) return op.Fail(e);
        result = codec->probe(bytes, size);
    }
    if (result != err::kNone) {
        size = {};
        return op.Fail(result);
    }
    return op.Succeed();
}

ImageError RgbImage::LoadImageFile(const std::string& path) {
    return LoadImageAs(path, DetectFileFormat(path));
}

ImageError RgbImage::LoadImageAs(const std::string& path, ImageFormat format) {
    ImageOperation op;
    FreePixels();
    const Codec* codec = FindCodec(format);
    std::vector<std::uint8_t> bytes;
    if (codec == nullptr || codec->decode == nullptr) {
        // An unreadable file reports why; a readable one has no decoder.
        if (ImageError e = ReadFileHead(path, 0, bytes)) return op.Fail(e);
        return op.Fail(err::kNoDecoder);
    }
    ImageError result = err::kNone;
    if (codec->decodeFile != nullptr) {
        int fd = -1;
        if (ImageError e = OpenRegularFile(path, fd)) return op.Fail(e);
        std::FILE* file = ::fdopen(fd, "rb");
        if (file == nullptr) {
            ::close(fd);
            return op.Fail(err::kNoMemory);
        }
        result = codec->decodeFile(file, *this, op);
        std::fclose(file);
        if (result == err::kNone && !empty() && format == ImageFormat::Jpeg &&
            ReadFileHead(path, kHeadBytes, bytes) == err::kNone)
            result = Orient(*this, format, bytes);
    } else {
        if (ImageError e = ReadWholeFile(path, bytes)) return op.Fail(e);
        result = codec->decode(bytes, *this, op);
        if (result == err::kNone && !empty()) result = Orient(*this, format, bytes);
    }
    if (result != err::kNone || empty()) {
        FreePixels();
        return op.Fail(result != err::kNone ? result : err::kMisc);
    }
    bytes = {};
    BuildDisplayPalette();
    return op.Succeed();
}

namespace {

ImageError Save(const RgbImage& image, const std::string& path, ImageFormat format,
                const SaveFinisher& finish, ImageOperation& op) {
    if (image.empty()) return op.Fail(err::kBadParam);
    const Codec* codec = FindCodec(format);
    if (codec == nullptr || codec->encode == nullptr) return op.Fail(err::kBadParam);
    // Encoded straight into the new file: a large picture's encoded bytes are
    // never held in memory beside its pixels.
    AtomicFile file(path);
    if (ImageError e = file.Open()) return op.Fail(e);
    ByteSink sink(file.fd());
    if (ImageError e = codec->encode(image.data(), image.width(), image.height(), sink, op))
        return op.Fail(e);
    if (finish) {
        if (ImageError e = finish(file.fd(), format)) return op.Fail(e);
    }
    if (ImageError e = file.Commit()) return op.Fail(e);
    return op.Succeed();
}

}  // namespace

ImageError RgbImage::SaveImageFile(const std::string& path, ImageFormat format) const {
    return SaveImageFile(path, format, SaveFinisher());
}

ImageError RgbImage::SaveImageFile(const std::string& path, ImageFormat format,
                                   const SaveFinisher& finish) const {
    ImageOperation op;
    return Save(*this, path, format, finish, op);
}

ImageError RgbImage::SaveImageFileAndFree(const std::string& path, ImageFormat format) {
    return SaveImageFileAndFree(path, format, SaveFinisher());
}

ImageError RgbImage::SaveImageFileAndFree(const std::string& path, ImageFormat format,
                                          const SaveFinisher& finish) {
    ImageOperation op;
    std::uint8_t* const pixels = data();
    const std::size_t rowBytes = stride();
    std::size_t released = 0;  // bytes from the start already handed back
    op.OnRowsEncoded([&](int, int end) {
        released = ReleaseImagePages(pixels, released, rowBytes * static_cast<std::size_t>(end));
    });
    const ImageError result = Save(*this, path, format, finish, op);
    FreePixels();
    return result;
}

}  // namespace orbelune
