// EMF: records checked here and by libuemf, turned into SVG by libemf2svg,
// painted by librsvg with cairo over the mid-grey background.
#include <cairo.h>
#include <emf2svg.h>
#include <librsvg/rsvg.h>
#include <uemf_safe.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "image/codecs/codec.h"
#include "image/codecs/metafile.h"

namespace orbelune {

namespace {

constexpr std::uint32_t kEmrHeader = 1;
constexpr std::uint32_t kEmrEof = 14;
constexpr std::uint32_t kEmrExtTextOutW = 84;
constexpr std::size_t kHeaderSize = 88;              // up to szlMillimeters
constexpr std::size_t kHeaderExt2Size = 108;         // with szlMicrometers
constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"

std::uint32_t U32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
std::int32_t I32(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void PutI32(std::uint8_t* p, std::int32_t v) {
    std::memcpy(p, &v, 4);
}

struct Rect {
    std::int32_t left, top, right, bottom;
    bool valid() const { return right > left && bottom > top; }
};
Rect RectAt(const std::uint8_t* p) {
    return {I32(p), I32(p + 4), I32(p + 8), I32(p + 12)};
}

// Text that cannot be read as UTF-16 (an unpaired surrogate) marks a damaged record.
bool ValidUtf16(const std::uint8_t* text, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned unit = text[2 * i] | (text[2 * i + 1] << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 == count) return false;
            const unsigned next = text[2 * i + 2] | (text[2 * i + 3] << 8);
            if (next < 0xDC00 || next > 0xDFFF) return false;
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

bool TextRecordReadable(const std::uint8_t* record, std::uint32_t size) {
    if (size < 76) return false;
    const std::uint32_t chars = U32(record + 44);
    const std::uint32_t offset = U32(record + 48);
    if (chars == 0) return true;
    if (offset > size || chars > (size - offset) / 2) return false;
    return ValidUtf16(record + offset, chars);
}

constexpr std::uint32_t kEmrLastType = 122;

// Record types libuemf has no safety check for (it would print a warning);
// libemf2svg draws none of them.
bool UncheckedByLibuemf(std::uint32_t type) {
    switch (type) {
        case 69:
        case 96:
        case 97:
        case 102:
        case 103:
        case 105:
        case 106:
        case 107:
        case 109:
        case 110:
        case 111:
        case 112:
        case 113:
        case 117:
        case 119:
        case 120:
        case 121:
            return true;
        default:
            return false;
    }
}

// Walks the records: every one inside the file, 4-byte aligned, accepted by
// libuemf's checks, ending with EMR_EOF. Returns the length up to EMR_EOF.
ImageError CheckRecords(const std::vector<std::uint8_t>& file, std::size_t& length) {
    std::size_t offset = 0;
    bool first = true;
    while (true) {
        if (file.size() - offset < 8) return err::kBadMetafile;
        const std::uint8_t* record = file.data() + offset;
        const std::uint32_t type = U32(record);
        const std::uint32_t size = U32(record + 4);
        if (size < 8 || size % 4 != 0 || size > file.size() - offset) return err::kBadMetafile;
        if ((type == kEmrHeader) != first) return err::kBadMetafile;
        if (type == 0 || type > kEmrLastType) return err::kBadMetafile;
        // libuemf prints a warning for the types it has no check for.
        if (!UncheckedByLibuemf(type) &&
            U_emf_record_safe(reinterpret_cast<const char*>(record)) == 0)
            return err::kBadMetafile;
        if (type == kEmrExtTextOutW && !TextRecordReadable(record, size)) return err::kBadMetafile;
        offset += size;
        first = false;
        if (type == kEmrEof) break;
    }
    length = offset;
    return err::kNone;
}

// Text given as glyph indices makes libemf2svg look the font up with
// fontconfig and then shut fontconfig down while librsvg still uses it, which
// aborts the process; such text is left out (nothing else of the record is
// drawn).
void DropGlyphIndexText(std::vector<std::uint8_t>& file, std::size_t length) {
    constexpr std::uint32_t kGlyphIndex = 0x10;  // ETO_GLYPH_INDEX
    constexpr std::uint32_t kSmallTextOut = 108;
    constexpr std::uint32_t kExtTextOutA = 83;
    std::size_t offset = 0;
    while (offset < length) {
        std::uint8_t* record = file.data() + offset;
        const std::uint32_t type = U32(record), size = U32(record + 4);
        if ((type == kEmrExtTextOutW || type == kExtTextOutA) && size >= 56 &&
            (U32(record + 52) & kGlyphIndex) != 0) {
            std::memset(record + 44, 0, 4);  // nChars
            record[52] &= static_cast<std::uint8_t>(~kGlyphIndex);
        }
        if (type == kSmallTextOut && size >= 24 && (U32(record + 20) & kGlyphIndex) != 0) {
            std::memset(record + 16, 0, 4);  // cChars
            record[20] &= static_cast<std::uint8_t>(~kGlyphIndex);
        }
        offset += size;
    }
}

// libemf2svg gives a clipped path a second clip-path attribute, which no XML
// parser accepts; the first (the clip in force) is kept.
void DropRepeatedClipPaths(std::string& svg) {
    static constexpr std::string_view kAttribute = " clip-path=\"";
    std::size_t at = 0;
    while ((at = svg.find('<', at)) != std::string::npos) {
        if (svg.compare(at, 9, "<![CDATA[") == 0) {
            at = svg.find("]]>", at);
            if (at == std::string::npos) return;
            continue;
        }
        const std::size_t end = svg.find('>', at);
        if (end == std::string::npos) return;
        const std::size_t first = svg.find(kAttribute, at);
        if (first < end) {
            const std::size_t second = svg.find(kAttribute, first + kAttribute.size());
            const std::size_t close =
                second < end ? svg.find('"', second + kAttribute.size()) : std::string::npos;
            if (close < end) {
                svg.erase(second, close + 1 - second);
                continue;  // the same tag again, for a third one
            }
        }
        at = end;
    }
}

// Text far taller than the picture makes FreeType fail, Pango complain on
// stderr and librsvg abort; no glyph needs to be more than a few pictures
// (and a few thousand pixels) high.
constexpr double kMaxFontPixels = 4096;
void LimitFontSizes(std::string& svg, double limit) {
    static constexpr std::string_view kAttribute = " font-size=\"";
    std::size_t at = 0;
    while ((at = svg.find('<', at)) != std::string::npos) {
        if (svg.compare(at, 9, "<![CDATA[") == 0) {
            at = svg.find("]]>", at);
            if (at == std::string::npos) return;
            continue;
        }
        const std::size_t end = svg.find('>', at);
        if (end == std::string::npos) return;
        const std::size_t attribute = svg.find(kAttribute, at);
        if (attribute < end) {
            const std::size_t value = attribute + kAttribute.size();
            const std::size_t close = svg.find('"', value);
            if (close < end) {
                const double size = std::strtod(svg.c_str() + value, nullptr);
                if (!(size >= 0 && size <= limit)) {
                    char text[32];
                    std::snprintf(text, sizeof text, "%.4f",
                                  std::isfinite(size) && size > 0 ? limit : 0.0);
                    svg.replace(value, close - value, text);
                    continue;  // the tag again, now within bounds
                }
            }
        }
        at = end;
    }
}

struct SvgDeleter {
    void operator()(char* p) const { std::free(p); }
};
struct HandleDeleter {
    void operator()(RsvgHandle* h) const { g_object_unref(h); }
};
struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

// Paints the SVG scaled to width x height in tiles (cairo surfaces stop at
// 32767 pixels a side, and a tile keeps the ARGB copy small).
ImageError RasteriseSvg(const char* svg, std::size_t length, int width, int height, RgbImage& out,
                        const ImageOperation& op) {
    GError* error = nullptr;
    std::unique_ptr<RsvgHandle, HandleDeleter> handle(
        rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg), length, &error));
    if (error != nullptr) g_error_free(error);
    if (!handle) return err::kBadMetafile;
    rsvg_handle_set_dpi(handle.get(), kScreenDpi);

    if (out.AllocatePixels(width, height) != err::kNone) return err::kNoMemory;
    const int tileWidth = std::min(width, 4096);
    const int tileHeight = std::min(height, std::max(1, (1 << 22) / tileWidth));
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, tileWidth, tileHeight));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        out.FreePixels();
        return err::kNoMemory;
    }
    const double grey = kMetafileBackground / 255.0;
    for (int top = 0; top < height; top += tileHeight) {
        const int rows = std::min(tileHeight, height - top);
        for (int left = 0; left < width; left += tileWidth) {
            const int columns = std::min(tileWidth, width - left);
            std::unique_ptr<cairo_t, CairoDeleter> cr(cairo_create(surface.get()));
            cairo_set_source_rgb(cr.get(), grey, grey, grey);
            cairo_paint(cr.get());
            const RsvgRectangle viewport{-static_cast<double>(left), -static_cast<double>(top),
                                         static_cast<double>(width), static_cast<double>(height)};
            const gboolean drawn =
                rsvg_handle_render_document(handle.get(), cr.get(), &viewport, &error);
            if (error != nullptr) g_error_free(error);
            error = nullptr;
            if (!drawn || cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
                out.FreePixels();
                return err::kBadMetafile;
            }
            cr.reset();
            cairo_surface_flush(surface.get());
            const unsigned char* base = cairo_image_surface_get_data(surface.get());
            const int stride = cairo_image_surface_get_stride(surface.get());
            for (int y = 0; y < rows; ++y) {
                const auto* src = reinterpret_cast<const std::uint32_t*>(base + y * stride);
                std::uint8_t* dst = out.row(top + y) + static_cast<std::size_t>(left) * 3;
                // Opaque after the grey paint, so the premultiplied values are the colours.
                for (int x = 0; x < columns; ++x) {
                    const std::uint32_t argb = src[x];
                    dst[3 * x] = static_cast<std::uint8_t>(argb >> 16);
                    dst[3 * x + 1] = static_cast<std::uint8_t>(argb >> 8);
                    dst[3 * x + 2] = static_cast<std::uint8_t>(argb);
                }
            }
        }
        for (int y = 0; y < rows; ++y) {
            if (!op.Progress(top + y, height)) {
                out.FreePixels();
                return err::kAborted;
            }
        }
    }
    return err::kNone;
}

// The header's frame in device units and the picture's size in pixels; what
// the size probe and the decoder both go by.
struct EmfFrame {
    double left = 0, top = 0, right = 0, bottom = 0;
    int width = 0, height = 0;
};

ImageError ReadEmfFrame(ByteSpan data, EmfFrame& f) {
    if (data.size() < kHeaderSize) return err::kBadMetafile;
    const std::uint8_t* head = data.data();
    const std::uint32_t headerSize = U32(head + 4);
    if (U32(head) != kEmrHeader || U32(head + 40) != kEmfSignature || headerSize < kHeaderSize)
        return err::kBadMetafile;
    const std::int32_t deviceX = I32(head + 72), deviceY = I32(head + 76);
    double mmX = I32(head + 80), mmY = I32(head + 84);
    // The extension is there only when the description does not start inside it.
    const std::uint32_t descriptionLength = U32(head + 60), descriptionAt = U32(head + 64);
    const bool extended = headerSize >= kHeaderExt2Size && data.size() >= kHeaderExt2Size &&
                          (descriptionLength == 0 || descriptionAt >= kHeaderExt2Size);
    if (extended && I32(head + 100) > 0 && I32(head + 104) > 0) {
        mmX = I32(head + 100) / 1000.0;  // micrometres are finer
        mmY = I32(head + 104) / 1000.0;
    }
    if (deviceX <= 0 || deviceY <= 0 || mmX <= 0 || mmY <= 0) return err::kBadMetafile;
    // Device units per 0.01 mm, the frame's unit.
    const double perFrameUnitX = deviceX / (mmX * 100.0);
    const double perFrameUnitY = deviceY / (mmY * 100.0);

    // Device-unit frame: the declared one, else the drawing's bounds.
    const Rect frame = RectAt(head + 24);
    const Rect bounds = RectAt(head + 8);
    double& left = f.left;
    double& top = f.top;
    double& right = f.right;
    double& bottom = f.bottom;
    if (frame.valid()) {
        left = frame.left * perFrameUnitX;
        top = frame.top * perFrameUnitY;
        right = frame.right * perFrameUnitX;
        bottom = frame.bottom * perFrameUnitY;
    } else if (bounds.valid()) {
        left = bounds.left, top = bounds.top, right = bounds.right, bottom = bounds.bottom;
    } else {
        return err::kBadMetafile;
    }
    const double toPixelsX = kScreenDpi / 25.4 / (perFrameUnitX * 100.0);
    const double toPixelsY = kScreenDpi / 25.4 / (perFrameUnitY * 100.0);
    return MetafilePixelSize((right - left) * toPixelsX, (bottom - top) * toPixelsY, f.width,
                             f.height);
}

}  // namespace

ImageError ProbeEmf(ByteSpan data, ImageSize& size) {
    EmfFrame frame;
    if (ImageError e = ReadEmfFrame(data, frame)) return e;
    size.width = frame.width;
    size.height = frame.height;
    return err::kNone;
}

ImageError DecodeEmf(ByteSpan data, RgbImage& out, const ImageOperation& op) {
    EmfFrame frame;
    if (ImageError e = ReadEmfFrame(data, frame)) return e;
    const double left = frame.left, top = frame.top, right = frame.right, bottom = frame.bottom;
    const int width = frame.width, height = frame.height;

    std::vector<std::uint8_t> file;
    try {
        file.assign(data.begin(), data.end());
    } catch (const std::exception&) {
        return err::kNoMemory;
    }
    std::size_t length = 0;
    if (ImageError e = CheckRecords(file, length)) return e;
    DropGlyphIndexText(file, length);

    // libemf2svg maps the header's bounds onto the picture; making them the
    // frame puts the frame, not just the drawn part, on the picture.
    const auto clamp = [](double v) {
        return static_cast<std::int32_t>(std::clamp(std::round(v), -2.0e9, 2.0e9));
    };
    const std::int32_t boundsLeft = clamp(left);
    const std::int32_t boundsTop = clamp(top);
    PutI32(file.data() + 8, boundsLeft);
    PutI32(file.data() + 12, boundsTop);
    PutI32(file.data() + 16, std::max(clamp(right), boundsLeft + 1));
    PutI32(file.data() + 20, std::max(clamp(bottom), boundsTop + 1));

    const auto lock = LockMetafileLibraries();
    generatorOptions options{};
    options.nameSpace = nullptr;
    options.verbose = false;
    options.emfplus = false;  // its EMF+ drawing is unfinished; dual files carry EMF records too
    options.svgDelimiter = true;
    options.imgWidth = width;
    options.imgHeight = height;
    char* svgText = nullptr;
    std::size_t svgLength = 0;
    const int converted =
        emf2svg(reinterpret_cast<char*>(file.data()), length, &svgText, &svgLength, &options);
    const std::unique_ptr<char, SvgDeleter> svg(svgText);
    if (converted == 0 || svgText == nullptr || svgLength == 0) return err::kBadMetafile;
    file = {};
    std::string text;
    try {
        text.assign(svg.get(), svgLength);
        DropRepeatedClipPaths(text);
        LimitFontSizes(text, std::min(4.0 * std::max(width, height), kMaxFontPixels));
    } catch (const std::exception&) {
        return err::kNoMemory;
    }
    return RasteriseSvg(text.data(), text.size(), width, height, out, op);
}

}  // namespace orbelune
