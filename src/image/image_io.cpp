#include "image/image_io.h"

#include <sys/stat.h>

#include <cstdio>
#include <utility>

#include "image/codecs/codec.h"
#include "image/file_io.h"
#include "image/image_layer.h"

namespace orbelune {

ImageError DecodeImageBytes(std::span<const std::uint8_t> data, ImageFormat format, RgbImage& out) {
    ImageOperation op;
    out.FreePixels();
    const Codec* codec = FindCodec(format);
    if (codec == nullptr || codec->decode == nullptr) return op.Fail(err::kNoDecoder);
    const ImageError result = codec->decode(data, out, op);
    if (result != err::kNone) {
        out.FreePixels();
        return op.Fail(result);
    }
    if (out.empty()) return op.Fail(err::kMisc);
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

ImageFormat DetectFileFormat(const std::string& path) {
    ImageFormat format = ImageFormat::Unknown;
    std::vector<std::uint8_t> head;
    if (ReadFileHead(path, kDetectHeaderBytes, head) == err::kNone)
        format = FormatFromDetectionCode(DetectFormatCode(head));
    return format != ImageFormat::Unknown ? format : FormatFromExtension(path);
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
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) return op.Fail(err::kFileOpen);
        struct stat info {};
        if (::fstat(::fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
            std::fclose(file);
            return op.Fail(err::kFileOpen);
        }
        result = codec->decodeFile(file, *this, op);
        std::fclose(file);
    } else {
        if (ImageError e = ReadWholeFile(path, bytes)) return op.Fail(e);
        result = codec->decode(bytes, *this, op);
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
                ImageOperation& op) {
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
    if (ImageError e = file.Commit()) return op.Fail(e);
    return op.Succeed();
}

}  // namespace

ImageError RgbImage::SaveImageFile(const std::string& path, ImageFormat format) const {
    ImageOperation op;
    return Save(*this, path, format, op);
}

ImageError RgbImage::SaveImageFileAndFree(const std::string& path, ImageFormat format) {
    ImageOperation op;
    std::uint8_t* const pixels = data();
    const std::size_t rowBytes = stride();
    std::size_t released = 0;  // bytes from the start already handed back
    op.OnRowsEncoded([&](int, int end) {
        released = ReleaseImagePages(pixels, released, rowBytes * static_cast<std::size_t>(end));
    });
    const ImageError result = Save(*this, path, format, op);
    FreePixels();
    return result;
}

}  // namespace orbelune
