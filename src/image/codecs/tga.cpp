// Truevision pictures: colour-mapped, true-colour and grey, raw or run-length
// encoded, in any of the four origins. Alpha is dropped.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "image/codecs/codec.h"

namespace orbelune {

namespace {

constexpr std::size_t kHeaderSize = 18;
constexpr std::uint8_t kRightToLeft = 0x10;
constexpr std::uint8_t kTopToBottom = 0x20;

enum class Kind { kColorMapped = 1, kTrueColor = 2, kGrey = 3 };

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

std::uint8_t Expand5(unsigned v) {
    return static_cast<std::uint8_t>((v * 255 + 15) / 31);
}

// One stored colour of 15, 16, 24 or 32 bits (blue first, as the format stores it).
Rgb ReadColor(const std::uint8_t* p, int bytes) {
    if (bytes == 2) {
        const unsigned v = Le16(p);
        return {Expand5((v >> 10) & 31), Expand5((v >> 5) & 31), Expand5(v & 31)};
    }
    return {p[2], p[1], p[0]};
}

bool IsColorDepth(int bits) {
    return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

ImageError DecodeTga(ByteSpan data, RgbImage& out, const ImageOperation& op) {
    out.FreePixels();
    const std::uint8_t* d = data.data();
    const std::size_t size = data.size();
    if (size < kHeaderSize) return err::kBadTga;
    const std::size_t idLength = d[0];
    const int mapType = d[1];
    const int imageType = d[2];
    const unsigned mapFirst = Le16(d + 3);
    const std::size_t mapLength = Le16(d + 5);
    const int mapEntryBits = d[7];
    const int width = Le16(d + 12);
    const int height = Le16(d + 14);
    const int depth = d[16];
    const std::uint8_t descriptor = d[17];

    if (imageType != 1 && imageType != 2 && imageType != 3 && imageType != 9 && imageType != 10 &&
        imageType != 11)
        return err::kBadTga;
    const bool rle = imageType >= 9;
    const auto kind = static_cast<Kind>(imageType & 7);
    if (mapType > 1 || width == 0 || height == 0) return err::kBadTga;
    switch (kind) {
        case Kind::kColorMapped:
            if (mapType != 1 || (depth != 8 && depth != 16) || !IsColorDepth(mapEntryBits))
                return err::kBadTga;
            break;
        case Kind::kTrueColor:
            if (!IsColorDepth(depth)) return err::kBadTga;
            break;
        case Kind::kGrey:
            if (depth != 8 && depth != 16) return err::kBadTga;  // 16: grey and alpha
            break;
    }
    if (ImageError e = CheckImageSize(width, height)) return e;

    std::size_t pos = kHeaderSize + idLength;
    const std::size_t mapEntryBytes = (static_cast<std::size_t>(mapEntryBits) + 7) / 8;
    const std::size_t mapBytes = mapType == 1 ? mapLength * mapEntryBytes : 0;
    if (pos > size || size - pos < mapBytes) return err::kBadTga;
    const std::uint8_t* mapData = d + pos;
    pos += mapBytes;

    const int pixelBytes = (depth + 7) / 8;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * pixelBytes;
    if (!rle && (size - pos) / rowBytes < static_cast<std::size_t>(height)) return err::kBadTga;

    std::vector<Rgb> colorMap;
    std::vector<std::uint8_t> rawRow;
    try {
        if (kind == Kind::kColorMapped) {
            colorMap.resize(mapLength);
            for (std::size_t i = 0; i < mapLength; ++i)
                colorMap[i] =
                    ReadColor(mapData + i * mapEntryBytes, static_cast<int>(mapEntryBytes));
        }
        if (rle) rawRow.resize(rowBytes);
    } catch (const std::bad_alloc&) {
        return err::kNoMemory;
    }
    if (out.AllocatePixels(width, height)) return err::kNoMemory;

    // Run-length packets may continue from one row into the next.
    std::size_t packetLeft = 0;
    bool packetIsRun = false;
    const std::uint8_t* runPixel = nullptr;
    auto expandRow = [&]() -> bool {
        std::size_t x = 0;
        std::uint8_t* dst = rawRow.data();
        while (x < static_cast<std::size_t>(width)) {
            if (packetLeft == 0) {
                if (pos >= size) return false;
                const std::uint8_t header = d[pos++];
                packetLeft = (header & 0x7F) + 1u;
                packetIsRun = (header & 0x80) != 0;
                if (packetIsRun) {
                    if (size - pos < static_cast<std::size_t>(pixelBytes)) return false;
                    runPixel = d + pos;
                    pos += pixelBytes;
                }
            }
            const std::size_t n = std::min(packetLeft, static_cast<std::size_t>(width) - x);
            if (packetIsRun) {
                for (std::size_t i = 0; i < n; ++i, dst += pixelBytes)
                    std::memcpy(dst, runPixel, pixelBytes);
            } else {
                const std::size_t bytes = n * pixelBytes;
                if (size - pos < bytes) return false;
                std::memcpy(dst, d + pos, bytes);
                dst += bytes;
                pos += bytes;
            }
            x += n;
            packetLeft -= n;
        }
        return true;
    };

    const bool topToBottom = (descriptor & kTopToBottom) != 0;
    const bool rightToLeft = (descriptor & kRightToLeft) != 0;
    for (int r = 0; r < height; ++r) {
        const std::uint8_t* src;
        if (rle) {
            if (!expandRow()) {
                out.FreePixels();
                return err::kBadTga;
            }
            src = rawRow.data();
        } else {
            src = d + pos;
            pos += rowBytes;
        }
        std::uint8_t* dst = out.row(topToBottom ? r : height - 1 - r);
        // Right-to-left rows fill the output from its last pixel backwards.
        std::ptrdiff_t o = rightToLeft ? 3 * (static_cast<std::ptrdiff_t>(width) - 1) : 0;
        const std::ptrdiff_t step = rightToLeft ? -3 : 3;
        switch (kind) {
            case Kind::kColorMapped:
                for (int x = 0; x < width; ++x, src += pixelBytes, o += step) {
                    const unsigned index = pixelBytes == 1 ? src[0] : Le16(src);
                    Rgb c;
                    if (index >= mapFirst && index - mapFirst < colorMap.size())
                        c = colorMap[index - mapFirst];
                    dst[o] = c.r;
                    dst[o + 1] = c.g;
                    dst[o + 2] = c.b;
                }
                break;
            case Kind::kTrueColor:
                for (int x = 0; x < width; ++x, src += pixelBytes, o += step) {
                    const Rgb c = ReadColor(src, pixelBytes);
                    dst[o] = c.r;
                    dst[o + 1] = c.g;
                    dst[o + 2] = c.b;
                }
                break;
            case Kind::kGrey:
                for (int x = 0; x < width; ++x, src += pixelBytes, o += step)
                    dst[o] = dst[o + 1] = dst[o + 2] = src[0];
                break;
        }
        if (!op.Progress(r, height)) {
            out.FreePixels();
            return err::kAborted;
        }
    }
    return err::kNone;
}

}  // namespace orbelune
