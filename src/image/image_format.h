#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace orbelune {

// The program's own numbering of file formats.
enum class ImageFormat : int {
    Unknown = 0,
    Jpeg = 1,
    Png = 3,
    Bmp = 6,
    Pcx = 9,
    Tiff = 12,
    Tga = 16,
    Wmf = 19,
    Emf = 20,
    Mov = 21,
    Heif = 22,  // HEIC/HEIF stills
    WebP = 23,
    Raw = 24,  // camera raw (CR2, CR3, NEF, ARW, RAF, ORF, RW2, DNG, ...)
    Pnm = 25,  // PBM, PGM, PPM and PAM
};

// Size of a picture as a probe reads it from the header, upright (an EXIF
// orientation that turns the picture a quarter is already applied).
struct ImageSize {
    int width = 0;
    int height = 0;
};

// Number of leading bytes the content detection looks at.
inline constexpr int kDetectHeaderBytes = 44;

// Detection code of a file header (1 BMP, 2 GIF, 3 JPEG, 4 PNG, 5 PCX, 6 TIFF,
// 7 WMF, 8 EMF, 9 camera raw, 10 HEIF, 11 WebP, 12 PNM), 0 when no signature
// matches or fewer than 44 bytes are given. The signatures are those of the
// format table, tried in its order.
int DetectFormatCode(std::span<const std::uint8_t> header);

// Maps a detection code to a format; GIF and 0 have none (Unknown).
ImageFormat FormatFromDetectionCode(int code);

// Format named by the path's extension (from the last '.', trailing blanks
// removed, case-insensitive); Unknown when nothing matches.
ImageFormat FormatFromExtension(std::string_view path);

// Whether a space-separated list of lower-case extensions holds `extension`
// (lower case, without the dot).
bool HasExtension(const char* extensions, std::string_view extension);

}  // namespace orbelune
