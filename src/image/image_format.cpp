#include "image/image_format.h"

#include <cctype>
#include <string>

#include "image/codecs/codec.h"

namespace orbelune {

int DetectFormatCode(std::span<const std::uint8_t> header) {
    if (header.size() < static_cast<std::size_t>(kDetectHeaderBytes)) return 0;
    for (const Codec& codec : AllCodecs())
        if (codec.signature != nullptr && codec.signature(header)) return codec.detectionCode;
    return 0;
}

ImageFormat FormatFromDetectionCode(int code) {
    if (code == 0) return ImageFormat::Unknown;
    for (const Codec& codec : AllCodecs())
        if (codec.detectionCode == code) return codec.format;
    return ImageFormat::Unknown;
}

bool HasExtension(const char* extensions, std::string_view extension) {
    std::string_view list(extensions);
    while (!list.empty()) {
        const std::size_t space = list.find(' ');
        const std::string_view word = list.substr(0, space);
        if (word == extension) return true;
        if (space == std::string_view::npos) break;
        list.remove_prefix(space + 1);
    }
    return false;
}

ImageFormat FormatFromExtension(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return ImageFormat::Unknown;
    std::string_view ext = path.substr(dot + 1);
    while (!ext.empty() && std::isspace(static_cast<unsigned char>(ext.back())))
        ext.remove_suffix(1);
    if (ext.empty()) return ImageFormat::Unknown;
    std::string lower(ext);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const Codec& codec : AllCodecs())
        if (codec.format != ImageFormat::Unknown && HasExtension(codec.extensions, lower))
            return codec.format;
    return ImageFormat::Unknown;
}

}  // namespace orbelune
