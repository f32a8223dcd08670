#include "image/exif_orientation.h"

#include <cstring>

namespace orbelune {

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint16_t kTagWidth = 256;
constexpr std::uint16_t kTagHeight = 257;
constexpr std::uint16_t kTagOrientation = 274;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;

struct Reader {
    Bytes data;
    bool bigEndian;

    bool Has(std::size_t offset, std::size_t count) const {
        return offset <= data.size() && count <= data.size() - offset;
    }
    std::uint16_t U16(std::size_t at) const {
        return bigEndian ? static_cast<std::uint16_t>(data[at] << 8 | data[at + 1])
                         : static_cast<std::uint16_t>(data[at + 1] << 8 | data[at]);
    }
    std::uint32_t U32(std::size_t at) const {
        return bigEndian ? std::uint32_t{U16(at)} << 16 | U16(at + 2)
                         : std::uint32_t{U16(at + 2)} << 16 | U16(at);
    }
};

std::uint32_t BigU32(Bytes data, std::size_t at) {
    return std::uint32_t{data[at]} << 24 | std::uint32_t{data[at + 1]} << 16 |
           std::uint32_t{data[at + 2]} << 8 | data[at + 3];
}

int ValidOrientation(int value) {
    return value >= 1 && value <= 8 ? value : 1;
}

int OrientationOfExif(Bytes tiff) {
    TiffDirectory directory;
    if (!ReadTiffDirectory(tiff, directory)) return 1;
    return ValidOrientation(directory.orientation);
}

// Walks the markers before the first scan for an APP1 segment starting "Exif\0\0".
int JpegOrientation(Bytes file) {
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) return 1;
    std::size_t at = 2;
    while (at + 4 <= file.size()) {
        if (file[at] != 0xFF) return 1;
        const std::uint8_t marker = file[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) return 1;  // pixels start: no EXIF before them
        const std::size_t length = std::size_t{file[at + 2]} << 8 | file[at + 3];
        if (length < 2 || at + 2 + length > file.size()) return 1;
        if (marker == 0xE1 && length >= 8 && std::memcmp(&file[at + 4], "Exif\0\0", 6) == 0)
            return OrientationOfExif(file.subspan(at + 10, length - 8));
        at += 2 + length;
    }
    return 1;
}

// Chunk by chunk up to the end (eXIf may follow the pixels); bounded by the file.
int PngOrientation(Bytes file) {
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::uint32_t length = BigU32(file, at);
        if (length > file.size() - at - 12) return 1;
        if (std::memcmp(&file[at + 4], "eXIf", 4) == 0)
            return OrientationOfExif(file.subspan(at + 8, length));
        if (std::memcmp(&file[at + 4], "IEND", 4) == 0) return 1;
        at += 12 + length;
    }
    return 1;
}

int WebpOrientation(Bytes file) {
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        const std::uint32_t length =
            std::uint32_t{file[at + 4]} | std::uint32_t{file[at + 5]} << 8 |
            std::uint32_t{file[at + 6]} << 16 | std::uint32_t{file[at + 7]} << 24;
        if (length > file.size() - at - 8) return 1;
        if (std::memcmp(&file[at], "EXIF", 4) == 0) {
            Bytes exif = file.subspan(at + 8, length);
            // Some writers keep the JPEG segment's "Exif\0\0" prefix.
            if (exif.size() >= 6 && std::memcmp(exif.data(), "Exif\0\0", 6) == 0)
                exif = exif.subspan(6);
            return OrientationOfExif(exif);
        }
        at += 8 + length + (length & 1);
    }
    return 1;
}

}  // namespace

bool ReadTiffDirectory(std::span<const std::uint8_t> tiff, TiffDirectory& directory) {
    directory = {};
    if (tiff.size() < 8) return false;
    Reader reader{tiff, false};
    if (tiff[0] == 'M' && tiff[1] == 'M')
        reader.bigEndian = true;
    else if (tiff[0] != 'I' || tiff[1] != 'I')
        return false;
    if (reader.U16(2) != 42) return false;
    const std::uint32_t offset = reader.U32(4);
    if (!reader.Has(offset, 2)) return false;
    const std::size_t count = reader.U16(offset);
    if (!reader.Has(offset + 2, count * 12)) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = offset + 2 + i * 12;
        const std::uint16_t tag = reader.U16(entry);
        const std::uint16_t type = reader.U16(entry + 2);
        if (reader.U32(entry + 4) != 1) continue;  // each tag we read holds one value
        std::uint32_t value;
        if (type == kTypeShort)
            value = reader.U16(entry + 8);
        else if (type == kTypeLong)
            value = reader.U32(entry + 8);
        else
            continue;
        if (tag == kTagWidth) directory.width = value;
        if (tag == kTagHeight) directory.height = value;
        if (tag == kTagOrientation)
            directory.orientation = value <= 8 ? static_cast<int>(value) : 0;
    }
    return true;
}

int ExifOrientation(ImageFormat format, std::span<const std::uint8_t> file) {
    switch (format) {
        case ImageFormat::Jpeg:
            return JpegOrientation(file);
        case ImageFormat::Png:
            return PngOrientation(file);
        case ImageFormat::WebP:
            return WebpOrientation(file);
        default:
            return 1;
    }
}

}  // namespace orbelune
