// Windows and OS/2 bitmaps: every depth from 1 to 32 bits, RLE4/RLE8 and
// bit-field layouts in; plain 24-bit out.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#include "image/codecs/codec.h"
#include "image/parallel.h"

namespace orbelune {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kCoreHeaderSize = 12;  // OS/2 1.x
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kV2HeaderSize = 52;  // first header with the masks inside it

enum Compression : std::uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitfields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitfields = 6,
};

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void PutLe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutLe32(std::uint8_t* p, std::uint32_t v) {
    PutLe16(p, v);
    PutLe16(p + 2, v >> 16);
}

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};
// Always 256 entries, black beyond the file's palette, so any index is safe.
using Palette = std::array<Rgb, 256>;

// One colour channel of a bit-field pixel, scaled from its mask's range to 8 bits.
class MaskChannel {
public:
    explicit MaskChannel(std::uint32_t mask) : mask_(mask) {
        if (mask == 0) return;
        shift_ = std::countr_zero(mask);
        max_ = mask >> shift_;
        // Masks up to 16 bits (all real ones) get a table; wider ones compute.
        if (max_ <= 0xFFFF) {
            table_.resize(max_ + 1);
            for (std::uint32_t v = 0; v <= max_; ++v)
                table_[v] = Scale(v);
        }
    }

    std::uint8_t operator()(std::uint32_t pixel) const {
        if (max_ == 0) return 0;
        const std::uint32_t v = (pixel & mask_) >> shift_;
        return table_.empty() ? Scale(v) : table_[v];
    }

private:
    std::uint8_t Scale(std::uint32_t v) const {
        return static_cast<std::uint8_t>((std::uint64_t{v} * 255 + max_ / 2) / max_);
    }

    std::uint32_t mask_;
    int shift_ = 0;
    std::uint32_t max_ = 0;
    std::vector<std::uint8_t> table_;
};

struct BmpInfo {
    std::int64_t width = 0;
    std::int64_t height = 0;  // always positive; topDown holds the sign
    bool topDown = false;
    int bitsPerPixel = 0;
    std::uint32_t compression = kRgb;
    std::array<std::uint32_t, 3> masks{};  // red, green, blue
    std::size_t paletteOffset = 0;
    std::size_t paletteEntrySize = 4;
    std::uint32_t colorsUsed = 0;
    std::uint64_t pixelOffset = 0;
};

// Reads and checks the headers; the image size is checked against the layer's
// limits here, before anything is allocated.
ImageError ParseHeaders(ByteSpan data, BmpInfo& info) {
    const std::uint8_t* d = data.data();
    if (data.size() < kFileHeaderSize + 4 || d[0] != 'B' || d[1] != 'M') return err::kBadBmp;
    const std::uint64_t declaredOffset = Le32(d + 10);
    const std::uint32_t headerSize = Le32(d + 14);
    if (headerSize < kCoreHeaderSize || headerSize > data.size() - kFileHeaderSize)
        return err::kBadBmp;
    const std::uint8_t* h = d + kFileHeaderSize;
    // OS/2 2.x headers are 16 to 64 bytes and number their compressions differently.
    bool os2v2 = false;
    if (headerSize == kCoreHeaderSize) {
        info.width = Le16(h + 4);
        info.height = Le16(h + 6);
        info.bitsPerPixel = Le16(h + 10);
        info.paletteEntrySize = 3;
    } else {
        if (headerSize < 16) return err::kBadBmp;
        os2v2 = headerSize == 64 || headerSize < kInfoHeaderSize;
        info.width = static_cast<std::int32_t>(Le32(h + 4));
        info.height = static_cast<std::int32_t>(Le32(h + 8));
        info.bitsPerPixel = Le16(h + 14);
        if (headerSize >= 20) info.compression = Le32(h + 16);
        if (headerSize >= 36) info.colorsUsed = Le32(h + 32);
    }
    if (info.height < 0) {
        info.topDown = true;
        info.height = -info.height;
    }
    if (info.width <= 0 || info.height == 0) return err::kBadBmp;

    const int bpp = info.bitsPerPixel;
    if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return err::kBadBmp;
    if (os2v2 && info.compression >= kBitfields) {
        // There 3 is Huffman 1D and 4 is RLE24: neither is supported.
        return info.compression == 3 || info.compression == 4 ? err::kRleVariation : err::kBadBmp;
    }
    std::size_t headerEnd = kFileHeaderSize + headerSize;
    switch (info.compression) {
        case kRgb:
            if (bpp == 16) info.masks = {0x7C00, 0x03E0, 0x001F};
            if (bpp == 32) info.masks = {0xFF0000, 0x00FF00, 0x0000FF};
            break;
        case kRle8:
            if (bpp != 8) return err::kBadBmp;
            break;
        case kRle4:
            if (bpp != 4) return err::kBadBmp;
            break;
        case kBitfields:
        case kAlphaBitfields: {
            if (bpp != 16 && bpp != 32) return err::kBadBmp;
            // A 40-byte header is followed by the masks; later headers hold them.
            const std::size_t maskOffset = kFileHeaderSize + kInfoHeaderSize;
            if (headerSize < kV2HeaderSize) {
                headerEnd += info.compression == kBitfields ? 12 : 16;
                if (headerEnd > data.size()) return err::kBadBmp;
            }
            for (std::size_t i = 0; i < 3; ++i)
                info.masks[i] = Le32(d + maskOffset + 4 * i);
            if (bpp == 16) {
                for (std::uint32_t& mask : info.masks)
                    mask &= 0xFFFF;
            }
            break;
        }
        case kJpeg:
        case kPng:
            return err::kRleVariation;
        default:
            return err::kBadBmp;
    }

    if (ImageError e = CheckImageSize(info.width, info.height)) return e;

    info.paletteOffset = headerEnd;
    info.pixelOffset = declaredOffset;
    if (info.pixelOffset < headerEnd) {
        // A zero or impossible offset: take the pixels to follow the palette.
        std::uint64_t colors = bpp <= 8 ? (std::uint64_t{1} << bpp) : 0;
        if (info.colorsUsed != 0 && info.colorsUsed < colors) colors = info.colorsUsed;
        info.pixelOffset = headerEnd + colors * info.paletteEntrySize;
    }
    if (info.pixelOffset > data.size()) return err::kBadBmp;
    return err::kNone;
}

Palette ReadPalette(ByteSpan data, const BmpInfo& info) {
    Palette palette{};
    if (info.bitsPerPixel > 8) return palette;
    std::size_t count = std::size_t{1} << info.bitsPerPixel;
    if (info.colorsUsed != 0 && info.colorsUsed < count) count = info.colorsUsed;
    // The palette ends where the pixels begin, or at the end of the file.
    const std::size_t end = std::min<std::uint64_t>(
        info.pixelOffset > info.paletteOffset ? info.pixelOffset : data.size(), data.size());
    const std::size_t room = end > info.paletteOffset ? end - info.paletteOffset : 0;
    count = std::min(count, room / info.paletteEntrySize);
    const std::uint8_t* p = data.data() + info.paletteOffset;
    for (std::size_t i = 0; i < count; ++i, p += info.paletteEntrySize)
        palette[i] = {p[2], p[1], p[0]};
    return palette;
}

void ConvertRow(const std::uint8_t* src, std::uint8_t* dst, int width, const BmpInfo& info,
                const Palette& palette, const std::array<MaskChannel, 3>& channels) {
    auto putIndex = [&](int x, unsigned index) {
        const Rgb& c = palette[index];
        dst[3 * x] = c.r;
        dst[3 * x + 1] = c.g;
        dst[3 * x + 2] = c.b;
    };
    switch (info.bitsPerPixel) {
        case 1:
        case 2:
        case 4: {
            const int bits = info.bitsPerPixel;
            const int perByte = 8 / bits;
            const unsigned mask = (1u << bits) - 1;
            for (int x = 0; x < width; ++x) {
                const int shift = 8 - bits * (x % perByte + 1);
                putIndex(x, (src[x / perByte] >> shift) & mask);
            }
            break;
        }
        case 8:
            for (int x = 0; x < width; ++x)
                putIndex(x, src[x]);
            break;
        case 16:
            for (int x = 0; x < width; ++x, src += 2, dst += 3) {
                const std::uint32_t v = Le16(src);
                dst[0] = channels[0](v);
                dst[1] = channels[1](v);
                dst[2] = channels[2](v);
            }
            break;
        case 24:
            for (int x = 0; x < width; ++x, src += 3, dst += 3) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
            }
            break;
        case 32:
            if (info.compression == kRgb) {
                for (int x = 0; x < width; ++x, src += 4, dst += 3) {
                    dst[0] = src[2];
                    dst[1] = src[1];
                    dst[2] = src[0];
                }
            } else {
                for (int x = 0; x < width; ++x, src += 4, dst += 3) {
                    const std::uint32_t v = Le32(src);
                    dst[0] = channels[0](v);
                    dst[1] = channels[1](v);
                    dst[2] = channels[2](v);
                }
            }
            break;
        default:
            break;
    }
}

ImageError DecodeUncompressed(ByteSpan data, const BmpInfo& info, RgbImage& out,
                              const ImageOperation& op) {
    const std::uint64_t rowBits = static_cast<std::uint64_t>(info.width) * info.bitsPerPixel;
    const std::uint64_t rowBytes = (rowBits + 31) / 32 * 4;
    // The last row's padding is often missing from real files; it is not needed.
    const std::uint64_t needed =
        rowBytes * static_cast<std::uint64_t>(info.height - 1) + (rowBits + 7) / 8;
    if (data.size() - info.pixelOffset < needed) return err::kBadBmp;

    const Palette palette = ReadPalette(data, info);
    const std::array<MaskChannel, 3> channels{
        MaskChannel(info.masks[0]), MaskChannel(info.masks[1]), MaskChannel(info.masks[2])};
    if (out.AllocatePixels(static_cast<int>(info.width), static_cast<int>(info.height)))
        return err::kNoMemory;

    const int width = out.width();
    const int height = out.height();
    const std::uint8_t* pixels = data.data() + info.pixelOffset;
    const bool finished = ParallelRows(
        height, static_cast<std::int64_t>(rowBytes),
        [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                const std::uint64_t fileRow = info.topDown ? y : height - 1 - y;
                ConvertRow(pixels + fileRow * rowBytes, out.row(y), width, info, palette, channels);
            }
        },
        [&op](int row, int rows) { return op.Progress(row, rows); });
    return finished ? err::kNone : err::kAborted;
}

// Walks the run-length codes of a picture. `sink.Put(x, y, index)` receives
// every pixel inside the picture (y in file order) and `sink.RowsDone(n)` each
// time the first n rows are finished; it returns false to stop.
template <typename Sink>
ImageError WalkRle(ByteSpan data, const BmpInfo& info, Sink& sink) {
    const bool rle4 = info.compression == kRle4;
    const std::int64_t width = info.width;
    const std::int64_t height = info.height;
    const std::uint8_t* d = data.data();
    const std::size_t size = data.size();
    std::size_t pos = static_cast<std::size_t>(info.pixelOffset);
    std::int64_t x = 0;
    std::int64_t y = 0;
    auto nibbleOrByte = [rle4](unsigned byte, unsigned i) {
        return rle4 ? (i % 2 == 0 ? byte >> 4 : byte & 0x0F) : byte;
    };

    bool ended = false;
    while (y < height) {
        if (size - pos < 2) break;
        const unsigned count = d[pos];
        const unsigned value = d[pos + 1];
        pos += 2;
        if (count > 0) {
            // Pixels past the right edge are dropped.
            for (unsigned i = 0; i < count && x < width; ++i, ++x)
                sink.Put(x, y, nibbleOrByte(value, i));
        } else if (value == 0) {  // end of line
            x = 0;
            if (!sink.RowsDone(++y)) return err::kAborted;
        } else if (value == 1) {  // end of bitmap
            ended = true;
            break;
        } else if (value == 2) {  // delta
            if (size - pos < 2) break;
            x += d[pos];
            y += d[pos + 1];
            pos += 2;
            if (!sink.RowsDone(y)) return err::kAborted;
        } else {  // absolute run, padded to a 16-bit boundary
            const std::size_t bytes = rle4 ? (value + 1) / 2 : value;
            if (size - pos < bytes) break;
            for (unsigned i = 0; i < value && x < width; ++i, ++x)
                sink.Put(x, y, nibbleOrByte(d[pos + (rle4 ? i / 2 : i)], i));
            pos += std::min(size - pos, bytes + (bytes & 1));
        }
    }
    // A stream may stop without its end code once the last row is complete.
    if (!ended && y < height && !(y == height - 1 && x >= width)) return err::kBadBmp;
    return sink.RowsDone(height) ? err::kNone : err::kAborted;
}

struct RleCheck {
    void Put(std::int64_t, std::int64_t, unsigned) {}
    bool RowsDone(std::int64_t) { return true; }
};

class RleWriter {
public:
    RleWriter(RgbImage& out, const Palette& palette, bool topDown, const ImageOperation& op)
        : out_(out), palette_(palette), topDown_(topDown), op_(op) {}

    void Put(std::int64_t x, std::int64_t y, unsigned index) {
        const int row = static_cast<int>(topDown_ ? y : out_.height() - 1 - y);
        const Rgb& c = palette_[index];
        std::uint8_t* p = out_.row(row) + 3 * x;
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    }

    bool RowsDone(std::int64_t rows) {
        const int limit = static_cast<int>(std::min<std::int64_t>(rows, out_.height()));
        for (; reported_ < limit; ++reported_) {
            if (!op_.Progress(reported_, out_.height())) return false;
        }
        return true;
    }

private:
    RgbImage& out_;
    const Palette& palette_;
    bool topDown_;
    const ImageOperation& op_;
    int reported_ = 0;
};

// Run-length pictures are decoded serially: codes may jump across rows. The
// stream is checked before the picture is allocated, so a broken file never
// costs a full-size block. Pixels the stream skips keep palette colour 0.
ImageError DecodeRle(ByteSpan data, const BmpInfo& info, RgbImage& out, const ImageOperation& op) {
    RleCheck check;
    if (ImageError e = WalkRle(data, info, check)) return e;
    const Palette palette = ReadPalette(data, info);
    if (out.AllocatePixels(static_cast<int>(info.width), static_cast<int>(info.height)))
        return err::kNoMemory;
    const Rgb background = palette[0];
    if (background.r != 0 || background.g != 0 || background.b != 0) {
        std::uint8_t* first = out.row(0);
        for (std::size_t i = 0; i < out.stride(); i += 3) {
            first[i] = background.r;
            first[i + 1] = background.g;
            first[i + 2] = background.b;
        }
        for (int y = 1; y < out.height(); ++y)
            std::memcpy(out.row(y), first, out.stride());
    }
    RleWriter writer(out, palette, info.topDown, op);
    return WalkRle(data, info, writer);
}

}  // namespace

ImageError DecodeBmp(ByteSpan data, RgbImage& out, const ImageOperation& op) {
    out.FreePixels();
    BmpInfo info;
    if (ImageError e = ParseHeaders(data, info)) return e;
    const ImageError result = info.compression == kRle4 || info.compression == kRle8
                                  ? DecodeRle(data, info, out, op)
                                  : DecodeUncompressed(data, info, out, op);
    if (result != err::kNone) out.FreePixels();
    return result;
}

ImageError EncodeBmp(const std::uint8_t* rgb, int width, int height, ByteSink& sink,
                     const ImageOperation& op) {
    if (rgb == nullptr || width <= 0 || height <= 0) return err::kBadParam;
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
    const std::uint64_t imageSize = rowBytes * static_cast<std::uint64_t>(height);
    const std::uint64_t fileSize = kFileHeaderSize + kInfoHeaderSize + imageSize;
    // The header's size fields are 32 bits wide.
    if (fileSize > 0xFFFFFFFFu) return err::kBadParam;
    try {
        if (!sink.isFile()) sink.bytes().reserve(static_cast<std::size_t>(sink.Tell() + fileSize));
    } catch (const std::bad_alloc&) {
        return err::kNoMemory;
    } catch (const std::length_error&) {
        return err::kNoMemory;
    }

    std::array<std::uint8_t, kFileHeaderSize + kInfoHeaderSize> header{};
    std::uint8_t* h = header.data();
    h[0] = 'B';
    h[1] = 'M';
    PutLe32(h + 2, static_cast<std::uint32_t>(fileSize));
    PutLe32(h + 10, kFileHeaderSize + kInfoHeaderSize);
    PutLe32(h + 14, kInfoHeaderSize);
    PutLe32(h + 18, static_cast<std::uint32_t>(width));
    PutLe32(h + 22, static_cast<std::uint32_t>(height));
    PutLe16(h + 26, 1);   // planes
    PutLe16(h + 28, 24);  // bits per pixel
    PutLe32(h + 34, static_cast<std::uint32_t>(imageSize));
    // Compression, resolutions and colour counts stay 0.
    if (!sink.Write(header.data(), header.size())) return sink.WriteFailure();

    std::vector<std::uint8_t> line;
    try {
        line.assign(static_cast<std::size_t>(rowBytes), 0);
    } catch (const std::bad_alloc&) {
        return err::kNoMemory;
    }
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    for (int i = 0; i < height; ++i) {
        const std::uint8_t* src = rgb + stride * static_cast<std::size_t>(height - 1 - i);
        std::uint8_t* dst = line.data();
        for (int x = 0; x < width; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
        if (!sink.Write(line.data(), line.size())) return sink.WriteFailure();
        if (!op.Progress(i, height)) return err::kAborted;
    }
    return err::kNone;
}

}  // namespace orbelune
