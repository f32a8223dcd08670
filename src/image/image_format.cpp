#include "image/image_format.h"

#include <array>
#include <cctype>
#include <cstring>
#include <string>

namespace orbelune {

namespace {

bool StartsWith(std::span<const std::uint8_t> data, std::size_t offset, const char* signature,
                std::size_t length) {
    return data.size() >= offset + length &&
           std::memcmp(data.data() + offset, signature, length) == 0;
}

}  // namespace

int DetectFormatCode(std::span<const std::uint8_t> header) {
    if (header.size() < static_cast<std::size_t>(kDetectHeaderBytes)) return 0;
    if (StartsWith(header, 0, "BM", 2)) return 1;
    if (StartsWith(header, 0, "GIF89a", 6) || StartsWith(header, 0, "GIF87a", 6)) return 2;
    if (StartsWith(header, 0, "\xFF\xD8\xFF", 3)) return 3;
    if (header[0] == 0x0A &&
        (header[1] == 0x00 || header[1] == 0x02 || header[1] == 0x03 || header[1] == 0x05))
        return 5;
    if (StartsWith(header, 0, "MM", 2) || StartsWith(header, 0, "II", 2)) return 6;
    if (StartsWith(header, 0, "\x89PNG\r\n\x1A\n", 8)) return 4;
    if (StartsWith(header, 0, "\x01\x00\x09\x00\x00", 5) ||
        StartsWith(header, 0, "\xD7\xCD\xC6\x9A", 4))
        return 7;
    if (StartsWith(header, 40, " EMF", 4)) return 8;
    return 0;
}

ImageFormat FormatFromDetectionCode(int code) {
    switch (code) {
        case 1: return ImageFormat::Bmp;
        case 3: return ImageFormat::Jpeg;
        case 4: return ImageFormat::Png;
        case 5: return ImageFormat::Pcx;
        case 6: return ImageFormat::Tiff;
        case 7: return ImageFormat::Wmf;
        case 8: return ImageFormat::Emf;
        default: return ImageFormat::Unknown;
    }
}

ImageFormat FormatFromExtension(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return ImageFormat::Unknown;
    std::string_view ext = path.substr(dot);
    while (!ext.empty() && std::isspace(static_cast<unsigned char>(ext.back())))
        ext.remove_suffix(1);
    std::string upper(ext);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    struct Entry {
        const char* extension;
        ImageFormat format;
    };
    static constexpr std::array<Entry, 11> kTable{{
        {".BMP", ImageFormat::Bmp},
        {".JPG", ImageFormat::Jpeg},
        {".JPEG", ImageFormat::Jpeg},
        {".PNG", ImageFormat::Png},
        {".PCX", ImageFormat::Pcx},
        {".TIF", ImageFormat::Tiff},
        {".TIFF", ImageFormat::Tiff},
        {".WMF", ImageFormat::Wmf},
        {".EMF", ImageFormat::Emf},
        {".MOV", ImageFormat::Mov},
        {".TGA", ImageFormat::Tga},
    }};
    for (const Entry& entry : kTable)
        if (upper == entry.extension) return entry.format;
    return ImageFormat::Unknown;
}

}  // namespace orbelune
