// PC Paintbrush pictures: 1 to 4 bits in up to four planes (16-colour header
// palette), 8 bits with the 256-colour palette at the end, and 24/32-bit RGB
// in three or four planes; run-length encoded or raw.
#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "image/codecs/codec.h"

namespace orbelune {

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kHeaderPaletteOffset = 16;
constexpr std::size_t kVgaPaletteSize = 1 + 256 * 3;  // marker 0x0C and the entries
constexpr std::uint8_t kVgaPaletteMarker = 0x0C;
// Version 3 files carry no palette; their pictures assume the standard EGA colours.
constexpr std::uint8_t kVersionWithoutPalette = 3;

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};
using Palette = std::array<Rgb, 256>;

constexpr std::array<Rgb, 16> kEgaColors{{{0, 0, 0},
                                          {0, 0, 170},
                                          {0, 170, 0},
                                          {0, 170, 170},
                                          {170, 0, 0},
                                          {170, 0, 170},
                                          {170, 85, 0},
                                          {170, 170, 170},
                                          {85, 85, 85},
                                          {85, 85, 255},
                                          {85, 255, 85},
                                          {85, 255, 255},
                                          {255, 85, 85},
                                          {255, 85, 255},
                                          {255, 255, 85},
                                          {255, 255, 255}}};

enum class Layout { kIndexedPlanes, kIndexed8, kRgbPlanes };

Palette SmallPalette(const std::uint8_t* header, int bitsPerPixel, int planes) {
    Palette palette{};
    const int totalBits = bitsPerPixel * planes;
    const int colors = 1 << totalBits;
    const std::uint8_t* p = header + kHeaderPaletteOffset;
    for (int i = 0; i < 16; ++i)
        palette[i] = {p[3 * i], p[3 * i + 1], p[3 * i + 2]};
    bool allSame = true;
    for (int i = 1; i < colors; ++i) {
        const Rgb& a = palette[0];
        const Rgb& b = palette[i];
        if (a.r != b.r || a.g != b.g || a.b != b.b) allSame = false;
    }
    if (totalBits == 4 && header[1] == kVersionWithoutPalette) {
        std::copy(kEgaColors.begin(), kEgaColors.end(), palette.begin());
    } else if (allSame) {
        // No usable palette stored: spread grey levels (black and white for 1 bit).
        for (int i = 0; i < colors; ++i) {
            const auto level = static_cast<std::uint8_t>(255 * i / (colors - 1));
            palette[i] = {level, level, level};
        }
    }
    return palette;
}

}  // namespace

ImageError DecodePcx(ByteSpan data, RgbImage& out, const ImageOperation& op) {
    out.FreePixels();
    const std::uint8_t* d = data.data();
    const std::size_t size = data.size();
    if (size < kHeaderSize || d[0] != 0x0A) return err::kBadPcx;
    const std::uint8_t encoding = d[2];
    const int bitsPerPixel = d[3];
    const int planes = d[65];
    const std::size_t bytesPerLine = Le16(d + 66);
    const int xMin = Le16(d + 4), yMin = Le16(d + 6), xMax = Le16(d + 8), yMax = Le16(d + 10);
    if (encoding > 1 || xMax < xMin || yMax < yMin) return err::kBadPcx;
    const int width = xMax - xMin + 1;
    const int height = yMax - yMin + 1;

    Layout layout;
    if ((bitsPerPixel == 1 || bitsPerPixel == 2 || bitsPerPixel == 4) && planes >= 1 &&
        bitsPerPixel * planes <= 4) {
        layout = Layout::kIndexedPlanes;
    } else if (bitsPerPixel == 8 && planes == 1) {
        layout = Layout::kIndexed8;
    } else if (bitsPerPixel == 8 && (planes == 3 || planes == 4)) {
        layout = Layout::kRgbPlanes;  // a fourth plane is alpha and is dropped
    } else {
        return err::kBadPcx;
    }
    if (bytesPerLine < (static_cast<std::size_t>(width) * bitsPerPixel + 7) / 8)
        return err::kBadPcx;
    if (ImageError e = CheckImageSize(width, height)) return e;

    std::size_t dataEnd = size;
    Palette palette{};
    if (layout == Layout::kIndexedPlanes) {
        palette = SmallPalette(d, bitsPerPixel, planes);
    } else if (layout == Layout::kIndexed8) {
        if (size >= kHeaderSize + kVgaPaletteSize &&
            d[size - kVgaPaletteSize] == kVgaPaletteMarker) {
            dataEnd = size - kVgaPaletteSize;
            const std::uint8_t* p = d + dataEnd + 1;
            for (int i = 0; i < 256; ++i)
                palette[i] = {p[3 * i], p[3 * i + 1], p[3 * i + 2]};
        } else {
            for (int i = 0; i < 256; ++i) {
                const auto level = static_cast<std::uint8_t>(i);
                palette[i] = {level, level, level};
            }
        }
    }

    std::vector<std::uint8_t> line;
    try {
        line.resize(bytesPerLine * static_cast<std::size_t>(planes));
    } catch (const std::bad_alloc&) {
        return err::kNoMemory;
    }
    if (out.AllocatePixels(width, height)) return err::kNoMemory;

    // Runs may carry over from one scan line into the next.
    std::size_t pos = kHeaderSize;
    std::size_t runLeft = 0;
    std::uint8_t runValue = 0;
    auto readLine = [&]() -> bool {
        std::size_t i = 0;
        while (i < line.size()) {
            if (runLeft > 0) {
                const std::size_t n = std::min(runLeft, line.size() - i);
                std::memset(line.data() + i, runValue, n);
                i += n;
                runLeft -= n;
                continue;
            }
            if (pos >= dataEnd) return false;
            const std::uint8_t byte = d[pos++];
            if (encoding == 1 && (byte & 0xC0) == 0xC0) {
                if (pos >= dataEnd) return false;
                runLeft = byte & 0x3F;
                runValue = d[pos++];
            } else {
                line[i++] = byte;
            }
        }
        return true;
    };

    const unsigned valueMask = (1u << bitsPerPixel) - 1;
    for (int y = 0; y < height; ++y) {
        if (!readLine()) {
            out.FreePixels();
            return err::kBadPcx;
        }
        std::uint8_t* dst = out.row(y);
        const std::uint8_t* src = line.data();
        switch (layout) {
            case Layout::kIndexedPlanes:
                for (int x = 0; x < width; ++x, dst += 3) {
                    const std::size_t bit = static_cast<std::size_t>(x) * bitsPerPixel;
                    const int shift = 8 - bitsPerPixel - static_cast<int>(bit % 8);
                    unsigned index = 0;
                    for (int p = 0; p < planes; ++p) {
                        const unsigned v = (src[p * bytesPerLine + bit / 8] >> shift) & valueMask;
                        index |= v << (p * bitsPerPixel);
                    }
                    const Rgb& c = palette[index];
                    dst[0] = c.r;
                    dst[1] = c.g;
                    dst[2] = c.b;
                }
                break;
            case Layout::kIndexed8:
                for (int x = 0; x < width; ++x, dst += 3) {
                    const Rgb& c = palette[src[x]];
                    dst[0] = c.r;
                    dst[1] = c.g;
                    dst[2] = c.b;
                }
                break;
            case Layout::kRgbPlanes:
                for (int x = 0; x < width; ++x, dst += 3) {
                    dst[0] = src[x];
                    dst[1] = src[bytesPerLine + x];
                    dst[2] = src[2 * bytesPerLine + x];
                }
                break;
        }
        if (!op.Progress(y, height)) {
            out.FreePixels();
            return err::kAborted;
        }
    }
    // The picture was drawn in grey because no whole palette ends the file; a
    // palette marker right after the pixels means the palette was cut off.
    if (layout == Layout::kIndexed8 && dataEnd == size && pos < size &&
        d[pos] == kVgaPaletteMarker) {
        out.FreePixels();
        return err::kBadPcx;
    }
    return err::kNone;
}

}  // namespace orbelune
