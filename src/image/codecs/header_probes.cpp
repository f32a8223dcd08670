// Size probes of the formats whose decoders live in their own files: each reads
// only the header (kFileRead when `data` ends before it does). Kept apart from
// the decoders so that a probe never depends on a decoder's internals.
#include <cstring>

#include "image/codecs/codec.h"
#include "image/exif_orientation.h"

namespace orbelune {

namespace {

std::uint32_t Le16(ByteSpan d, std::size_t at) {
    return d[at] | std::uint32_t{d[at + 1]} << 8;
}
std::uint32_t Le32(ByteSpan d, std::size_t at) {
    return Le16(d, at) | Le16(d, at + 2) << 16;
}
std::uint32_t Be16(ByteSpan d, std::size_t at) {
    return std::uint32_t{d[at]} << 8 | d[at + 1];
}
std::uint32_t Be32(ByteSpan d, std::size_t at) {
    return Be16(d, at) << 16 | Be16(d, at + 2);
}

ImageError Accept(std::int64_t width, std::int64_t height, int orientation, ImageSize& size) {
    if (ImageError e = CheckImageSize(width, height)) return e;
    if (OrientationTurnsQuarter(orientation))
        size = {static_cast<int>(height), static_cast<int>(width)};
    else
        size = {static_cast<int>(width), static_cast<int>(height)};
    return err::kNone;
}

bool IsStartOfFrame(std::uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

}  // namespace

ImageError ProbeJpeg(ByteSpan data, ImageSize& size) {
    if (data.size() < 4) return err::kFileRead;
    if (data[0] != 0xFF || data[1] != 0xD8) return err::kBadJpeg;
    std::size_t at = 2;
    while (true) {
        if (at + 4 > data.size()) return err::kFileRead;
        if (data[at] != 0xFF) return err::kBadJpeg;
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return err::kBadJpeg;  // no frame header
        const std::size_t length = Be16(data, at + 2);
        if (length < 2) return err::kBadJpeg;
        if (IsStartOfFrame(marker)) {
            if (at + 9 > data.size()) return err::kFileRead;
            const std::uint32_t height = Be16(data, at + 5);
            const std::uint32_t width = Be16(data, at + 7);
            if (width == 0 || height == 0) return err::kBadJpeg;
            return Accept(width, height, ExifOrientation(ImageFormat::Jpeg, data), size);
        }
        at += 2 + length;
    }
}

ImageError ProbePng(ByteSpan data, ImageSize& size) {
    if (data.size() < 24) return err::kFileRead;
    if (std::memcmp(data.data(), "\x89PNG\r\n\x1A\n", 8) != 0 ||
        std::memcmp(data.data() + 12, "IHDR", 4) != 0)
        return err::kBadPng;
    const std::uint32_t width = Be32(data, 16);
    const std::uint32_t height = Be32(data, 20);
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return err::kBadPng;
    return Accept(width, height, ExifOrientation(ImageFormat::Png, data), size);
}

ImageError ProbeBmp(ByteSpan data, ImageSize& size) {
    if (data.size() < 26) return err::kFileRead;
    if (data[0] != 'B' || data[1] != 'M') return err::kBadBmp;
    const std::uint32_t infoSize = Le32(data, 14);
    std::int64_t width, height;
    if (infoSize == 12) {
        width = static_cast<std::int16_t>(Le16(data, 18));
        height = static_cast<std::int16_t>(Le16(data, 20));
    } else if (infoSize >= 40) {
        width = static_cast<std::int32_t>(Le32(data, 18));
        height = static_cast<std::int32_t>(Le32(data, 22));
    } else {
        return err::kBadBmp;
    }
    if (height < 0) height = -height;  // top-down rows
    if (width <= 0 || height <= 0) return err::kBadBmp;
    return Accept(width, height, 1, size);
}

ImageError ProbePcx(ByteSpan data, ImageSize& size) {
    if (data.size() < 128) return err::kFileRead;
    if (data[0] != 0x0A) return err::kBadPcx;
    const std::int64_t width = std::int64_t{Le16(data, 8)} - Le16(data, 4) + 1;
    const std::int64_t height = std::int64_t{Le16(data, 10)} - Le16(data, 6) + 1;
    if (width <= 0 || height <= 0) return err::kBadPcx;
    return Accept(width, height, 1, size);
}

ImageError ProbeTga(ByteSpan data, ImageSize& size) {
    if (data.size() < 18) return err::kFileRead;
    const std::uint32_t width = Le16(data, 12);
    const std::uint32_t height = Le16(data, 14);
    if (width == 0 || height == 0) return err::kBadTga;
    return Accept(width, height, 1, size);
}

ImageError ProbeTiff(ByteSpan data, ImageSize& size) {
    TiffDirectory directory;
    if (!ReadTiffDirectory(data, directory)) {
        // The directory may lie anywhere in the file, often after the pixels.
        if (data.size() >= 8 && (data[0] == 'I' || data[0] == 'M') && data[1] == data[0])
            return err::kFileRead;
        return err::kBadTiff;
    }
    if (directory.width == 0 || directory.height == 0) return err::kBadTiff;
    return Accept(directory.width, directory.height, directory.orientation, size);
}

}  // namespace orbelune
