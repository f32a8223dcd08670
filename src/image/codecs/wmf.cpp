// WMF: records checked here, drawn by libwmf's gd device into true-colour
// pixels over the mid-grey background.
#include <libwmf/api.h>
#include <libwmf/font.h>
#include <libwmf/gd.h>
#include <libwmf/ipa.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/codecs/codec.h"
#include "image/codecs/metafile.h"
#include "image/image_layer.h"

namespace orbelune {

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableSize = 22;
constexpr std::size_t kHeaderSize = 18;

// Record functions the decoder looks at.
constexpr std::uint16_t kEof = 0x0000;
constexpr std::uint16_t kSetMapMode = 0x0103;
constexpr std::uint16_t kSetWindowOrg = 0x020B;
constexpr std::uint16_t kSetWindowExt = 0x020C;
constexpr std::uint16_t kRectangle = 0x041B;

// Records that only set up the mapping; a probe copies them.
bool IsMappingRecord(std::uint16_t function) {
    switch (function) {
        case 0x0103:  // SETMAPMODE
        case 0x020B:  // SETWINDOWORG
        case 0x020C:  // SETWINDOWEXT
        case 0x020D:  // SETVIEWPORTORG
        case 0x020E:  // SETVIEWPORTEXT
        case 0x020F:  // OFFSETWINDOWORG
        case 0x0211:  // OFFSETVIEWPORTORG
        case 0x0410:  // SCALEWINDOWEXT
        case 0x0412:  // SCALEVIEWPORTEXT
            return true;
        default:
            return false;
    }
}

// Records that put something on the page: the mapping in force at the first
// of them is the picture's.
bool IsDrawingRecord(std::uint16_t function) {
    switch (function) {
        case 0x0213:
        case 0x041B:
        case 0x0418:
        case 0x0324:
        case 0x0325:
        case 0x0538:
        case 0x0817:
        case 0x081A:
        case 0x0830:
        case 0x061C:
        case 0x0521:
        case 0x0A32:
        case 0x061D:
        case 0x0922:
        case 0x0940:
        case 0x0B23:
        case 0x0B41:
        case 0x0F43:
        case 0x0D33:
        case 0x041F:
        case 0x0228:
        case 0x012B:
        case 0x0419:
        case 0x0548:
        case 0x0429:
        case 0x012A:
            return true;
        default:
            return false;
    }
}

std::uint16_t Read16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::int16_t ReadS16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(Read16(p));
}
std::uint32_t Read32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void PutRecord(std::vector<std::uint8_t>& out, std::uint16_t function,
               std::initializer_list<std::int16_t> words) {
    const std::uint32_t size = 3 + static_cast<std::uint32_t>(words.size());
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
    out.push_back(static_cast<std::uint8_t>(function));
    out.push_back(static_cast<std::uint8_t>(function >> 8));
    for (std::int16_t w : words) {
        out.push_back(static_cast<std::uint8_t>(w));
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(w) >> 8));
    }
}

struct Parsed {
    bool placeable = false;
    std::int16_t bbox[4] = {};  // left, top, right, bottom (placeable)
    std::uint16_t unitsPerInch = 0;
    std::size_t headerOffset = 0;  // the standard header
    std::size_t firstRecord = 0;
    std::size_t end = 0;  // after EOF
    // Mapping before the first drawing record.
    std::vector<std::pair<std::size_t, std::size_t>> mapping;  // offset, bytes
    bool hasWindowExt = false;
    std::int16_t windowOrg[2] = {0, 0};
    std::int16_t windowExt[2] = {0, 0};
    int mapMode = 1;
};

// Where a bitmap record's DIB starts (bytes into the record), or 0 for none.
std::size_t DibOffset(std::uint16_t function, std::size_t bytes) {
    std::size_t at = 0;
    switch (function) {
        case 0x0F43:
            at = 28;
            break;  // STRETCHDIB
        case 0x0B41:
            at = 26;
            break;  // DIBSTRETCHBLT
        case 0x0940:
            at = 22;
            break;  // DIBBITBLT
        case 0x0D33:
            at = 24;
            break;  // SETDIBTODEV
        case 0x0142:
            at = 10;
            break;  // DIBCREATEPATTERNBRUSH
        default:
            return 0;
    }
    return bytes > at ? at : 0;  // the blits come without a bitmap too
}

// A DIB whose header promises more pixels than its record can hold: libwmf
// would allocate whatever the header says.
bool DibFits(const std::uint8_t* dib, std::size_t bytes) {
    if (bytes < 12) return false;
    const std::uint32_t headerSize = Read32(dib);
    std::int64_t width, height;
    unsigned bits, compression = 0;
    if (headerSize == 12) {
        width = Read16(dib + 4);
        height = Read16(dib + 6);
        bits = Read16(dib + 10);
    } else {
        if (headerSize < 40 || bytes < 40) return false;
        std::int32_t w, h;
        std::memcpy(&w, dib + 4, 4);
        std::memcpy(&h, dib + 8, 4);
        width = w;
        height = h;
        bits = Read16(dib + 14);
        compression = Read32(dib + 16);
    }
    width = std::abs(width);
    height = std::abs(height);
    const bool embedded = compression == 4 || compression == 5;  // JPEG or PNG inside
    if (width == 0 || height == 0 || (bits == 0 && !embedded) || bits > 32) return false;
    const std::int64_t pixels = width * height;
    if (pixels > ImagePixelLimit()) return false;
    const std::int64_t available =
        static_cast<std::int64_t>(bytes - std::min<std::size_t>(bytes, headerSize));
    if (compression == 1 || compression == 2)  // run-length coded: at most 255 pixels a pair
        return pixels <= available * 128 + 65536;
    if (embedded) return pixels <= available * 1024 + 65536;
    return (width * bits + 31) / 32 * 4 * height <= available;
}

ImageError Parse(ByteSpan data, Parsed& p) {
    std::size_t offset = 0;
    if (data.size() >= 4 && Read32(data.data()) == kPlaceableKey) {
        if (data.size() < kPlaceableSize) return err::kBadMetafile;
        p.placeable = true;
        for (int i = 0; i < 4; ++i)
            p.bbox[i] = ReadS16(data.data() + 6 + 2 * i);
        p.unitsPerInch = Read16(data.data() + 14);
        offset = kPlaceableSize;
    }
    if (data.size() - offset < kHeaderSize) return err::kBadMetafile;
    const std::uint8_t* header = data.data() + offset;
    const std::uint16_t type = Read16(header), headerWords = Read16(header + 2);
    const std::uint16_t version = Read16(header + 4);
    if ((type != 1 && type != 2) || headerWords != 9 || (version != 0x100 && version != 0x300))
        return err::kBadMetafile;
    p.headerOffset = offset;
    offset += kHeaderSize;
    p.firstRecord = offset;
    bool drawn = false;
    while (true) {
        if (data.size() - offset < 6) return err::kBadMetafile;  // no EOF record: truncated
        const std::uint8_t* record = data.data() + offset;
        const std::uint32_t words = Read32(record);
        const std::uint16_t function = Read16(record + 4);
        if (words < 3 || words > (data.size() - offset) / 2) return err::kBadMetafile;
        const std::size_t bytes = static_cast<std::size_t>(words) * 2;
        if (function == kEof) {
            p.end = offset + bytes;
            break;
        }
        const bool devicePattern = function == 0x0142 && bytes >= 8 && Read16(record + 6) == 3;
        if (const std::size_t dib = DibOffset(function, bytes); dib != 0 && !devicePattern)
            if (!DibFits(record + dib, bytes - dib)) return err::kBadMetafile;
        if (IsDrawingRecord(function)) drawn = true;
        if (!drawn && IsMappingRecord(function)) {
            p.mapping.emplace_back(offset, bytes);
            // Parameters come in reverse order: y before x.
            if (function == kSetMapMode && words >= 4) p.mapMode = Read16(record + 6);
            if (function == kSetWindowOrg && words >= 5) {
                p.windowOrg[1] = ReadS16(record + 6);
                p.windowOrg[0] = ReadS16(record + 8);
            }
            if (function == kSetWindowExt && words >= 5 && !p.hasWindowExt) {
                p.windowExt[1] = ReadS16(record + 6);
                p.windowExt[0] = ReadS16(record + 8);
                p.hasWindowExt = p.windowExt[0] != 0 && p.windowExt[1] != 0;
            }
        }
        offset += bytes;
    }
    return err::kNone;
}

// Pixels per logical unit of the fixed map modes; the others count pixels.
double PixelsPerUnit(int mapMode) {
    switch (mapMode) {
        case 2:
            return kScreenDpi / 254.0;  // 0.1 mm
        case 3:
            return kScreenDpi / 2540.0;  // 0.01 mm
        case 4:
            return kScreenDpi / 100.0;  // 0.01 inch
        case 5:
            return kScreenDpi / 1000.0;  // 0.001 inch
        case 6:
            return kScreenDpi / 1440.0;  // twips
        default:
            return 1.0;
    }
}

constexpr std::uint16_t kEllipse = 0x0418;
constexpr double kMaxPenPixels = 256;
constexpr double kMaxFontPixels = 1024;
constexpr double kDefaultFontPixels = 16;
constexpr std::uint16_t kPolygon = 0x0324;

constexpr std::uint16_t kCreatePen = 0x02FA;
constexpr std::uint16_t kCreateFont = 0x02FB;

void ClampS16(std::uint8_t* p, double limit) {
    const int value = ReadS16(p);
    if (std::abs(value) <= limit) return;
    const auto clamped = static_cast<std::int16_t>(value < 0 ? -limit : limit);
    p[0] = static_cast<std::uint8_t>(clamped);
    p[1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(clamped) >> 8);
}

constexpr std::uint16_t kEscape = 0x0626;
constexpr std::uint16_t kCreateBrush = 0x02FC;
constexpr std::uint16_t kDibPatternBrush = 0x0142;
constexpr std::uint16_t kCreateRegion = 0x06FF;
constexpr std::uint16_t kDeleteObject = 0x01F0;
constexpr std::uint16_t kSelectObject = 0x012D;

bool CreatesObject(std::uint16_t function) {
    switch (function) {
        case 0x02FA:
        case 0x02FB:
        case 0x02FC:
        case 0x00F7:
        case 0x01F9:
        case 0x0142:
        case 0x06FF:
            return true;
        default:
            return false;
    }
}

// FILLREGION, PAINTREGION, FRAMEREGION, INVERTREGION, SELECTCLIPREGION: the
// region is their first parameter.
bool UsesRegion(std::uint16_t function) {
    return function == 0x0228 || function == 0x012B || function == 0x0429 || function == 0x012A ||
           function == 0x012C;
}

// Where a blit's destination height and width sit (bytes into the record).
std::size_t BlitSizeOffset(std::uint16_t function) {
    switch (function) {
        case 0x0F43:
            return 20;
        case 0x0B41:
            return 18;
        case 0x0940:
            return 14;
        case 0x0D33:
            return 16;
        default:
            return 0;
    }
}

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// Region records as the format describes them: the scans fit the record.
// libwmf gives up on the whole file at one that does not.
bool RegionReadable(const std::uint8_t* params, std::size_t bytes) {
    if (bytes < 22) return false;
    const int scans = ReadS16(params + 12);
    std::size_t at = 22;
    for (int i = 0; i < scans; ++i) {
        if (bytes - at < 8) return false;
        const std::size_t count = Read16(params + at);
        if (count % 2 != 0 || (bytes - at - 8) / 2 < count) return false;
        at += 8 + 2 * count;
    }
    return scans >= 0;
}

// libwmf refuses top-down DIBs; the same rows bottom-up are the same picture.
void MakeBottomUp(std::uint8_t* dib, std::size_t bytes) {
    if (bytes < 40) return;
    const std::uint32_t headerSize = Read32(dib);
    std::int32_t width, height;
    std::memcpy(&width, dib + 4, 4);
    std::memcpy(&height, dib + 8, 4);
    const unsigned bits = Read16(dib + 14);
    const std::uint32_t compression = Read32(dib + 16);
    if (headerSize < 40 || height >= 0 || height == INT32_MIN || width <= 0 ||
        (compression != 0 && compression != 3))
        return;
    std::size_t colours = Read32(dib + 32);
    if (colours == 0 && bits <= 8) colours = std::size_t{1} << bits;
    if (colours > 256) return;
    const std::size_t masks = compression == 3 && headerSize == 40 ? 12 : 0;
    const std::size_t start = headerSize + colours * 4 + masks;
    const std::size_t stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
    const std::size_t rows = static_cast<std::size_t>(-static_cast<std::int64_t>(height));
    if (start > bytes || stride == 0 || (bytes - start) / stride < rows) return;
    for (std::size_t top = 0, bottom = rows - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(dib + start + top * stride, dib + start + (top + 1) * stride,
                         dib + start + bottom * stride);
    const std::int32_t up = -height;
    std::memcpy(dib + 8, &up, 4);
}

// A pattern brush made from a device bitmap (BS_PATTERN), which libwmf cannot
// read, as the DIB pattern brush it can; false when the bitmap is of a kind
// without a known palette.
bool PatternAsDib(const std::uint8_t* params, std::size_t bytes, std::vector<std::uint8_t>& out) {
    if (bytes < 14) return false;
    const int width = ReadS16(params + 6), height = ReadS16(params + 8);
    const std::size_t widthBytes = Read16(params + 10);
    const unsigned planes = params[12], bits = params[13];
    if (width <= 0 || height <= 0 || planes != 1 || (bits != 1 && bits != 24 && bits != 32))
        return false;
    if (widthBytes == 0 || (bytes - 14) / widthBytes < static_cast<std::size_t>(height))
        return false;
    const std::size_t stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
    const std::size_t before = out.size();
    PutRecord(out, kDibPatternBrush, {5, 0});  // BS_DIBPATTERNPT, RGB colours
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));
    Put16(out, 1);
    Put16(out, bits);
    for (std::uint32_t v :
         {0u, static_cast<std::uint32_t>(stride * height), 0u, 0u, bits == 1 ? 2u : 0u, 0u})
        Put32(out, v);
    if (bits == 1) {
        Put32(out, 0);
        Put32(out, 0xFFFFFF);
    }
    for (int y = height - 1; y >= 0; --y) {  // device bitmaps run top-down
        const std::uint8_t* row = params + 14 + static_cast<std::size_t>(y) * widthBytes;
        const std::size_t copied = std::min(stride, widthBytes);
        out.insert(out.end(), row, row + copied);
        out.insert(out.end(), stride - copied, 0);
    }
    const std::uint32_t words = static_cast<std::uint32_t>((out.size() - before) / 2);
    std::memcpy(out.data() + before, &words, 4);
    return true;
}

// The metafile as libwmf is given it: without the placeable header; with
// ellipses as polygons, since libwmf's gd device outlines ellipses without
// filling them; with pens and fonts no larger than the picture can show,
// since libwmf paints a pen's whole square at every point of a line; with
// top-down DIBs turned bottom-up and device-bitmap pattern brushes as DIB
// ones; and with region objects it cannot read (and what uses them) left
// out, keeping the object table's numbering. Empty when a bitmap is to be
// drawn far larger than the picture (libwmf scales it in full).
std::vector<std::uint8_t> PlayableCopy(ByteSpan data, const Parsed& p, double unitsPerPixel,
                                       int pixelWidth, int pixelHeight) {
    const double side = std::max(pixelWidth, pixelHeight) * unitsPerPixel;
    const double penLimit = std::max(1.0, std::min(side / 4, kMaxPenPixels * unitsPerPixel));
    const double fontLimit = std::max(1.0, std::min(side, kMaxFontPixels * unitsPerPixel));
    const double blitLimit = 8 * side;
    std::vector<std::uint8_t> out(data.begin() + static_cast<std::ptrdiff_t>(p.headerOffset),
                                  data.begin() + static_cast<std::ptrdiff_t>(p.firstRecord));
    out.reserve(p.end - p.headerOffset);
    enum Slot : std::uint8_t { kFree, kUsed, kSkippedRegion };
    std::vector<Slot> slots;
    const auto slotAt = [&slots](int index) {
        return index >= 0 && static_cast<std::size_t>(index) < slots.size() ? slots[index] : kFree;
    };
    std::uint32_t largest = 3;
    std::size_t offset = p.firstRecord;
    while (offset < p.end) {
        const std::uint8_t* record = data.data() + offset;
        const std::uint32_t words = Read32(record);
        const std::size_t bytes = static_cast<std::size_t>(words) * 2;
        const std::uint16_t function = Read16(record + 4);
        const std::uint8_t* params = record + 6;
        const std::size_t paramBytes = bytes - 6;
        offset += bytes;
        const std::size_t at = out.size();

        Slot created = kUsed;
        if (const std::size_t size = BlitSizeOffset(function); size != 0 && bytes >= size + 4) {
            if (std::abs(ReadS16(record + size)) > blitLimit ||
                std::abs(ReadS16(record + size + 2)) > blitLimit)
                return {};
        }
        if (function == kEllipse && words >= 7) {
            const double bottom = ReadS16(params), right = ReadS16(params + 2);
            const double top = ReadS16(params + 4), left = ReadS16(params + 6);
            constexpr int kPoints = 72;
            const double cx = (left + right) / 2, cy = (top + bottom) / 2;
            const double rx = (right - left) / 2, ry = (bottom - top) / 2;
            PutRecord(out, kPolygon, {kPoints});
            for (int i = 0; i < kPoints; ++i) {
                const double a = 2 * 3.14159265358979323846 * i / kPoints;
                Put16(out, static_cast<std::uint16_t>(
                               static_cast<std::int16_t>(std::lround(cx + rx * std::cos(a)))));
                Put16(out, static_cast<std::uint16_t>(
                               static_cast<std::int16_t>(std::lround(cy + ry * std::sin(a)))));
            }
            const std::uint32_t polygonWords = static_cast<std::uint32_t>((out.size() - at) / 2);
            std::memcpy(out.data() + at, &polygonWords, 4);
        } else if (function == kDibPatternBrush && paramBytes >= 4 && Read16(params) == 3) {
            if (!PatternAsDib(params, paramBytes, out))
                PutRecord(out, kCreateBrush, {1, 0, 0, 0});  // BS_NULL holds the slot
        } else if (function == kCreateRegion && !RegionReadable(params, paramBytes)) {
            PutRecord(out, kCreateBrush, {1, 0, 0, 0});
            created = kSkippedRegion;
        } else if ((function == kSelectObject || UsesRegion(function)) && paramBytes >= 2 &&
                   slotAt(Read16(params)) == kSkippedRegion) {
            PutRecord(out, kEscape, {15, 0});  // a comment of nothing
        } else {
            out.insert(out.end(), record, record + bytes);
            if (function == kCreatePen && words >= 6) {
                ClampS16(out.data() + at + 8, penLimit);   // width
                ClampS16(out.data() + at + 10, penLimit);  // height, which libwmf reads too
            }
            if (function == kCreateFont && words >= 4) {
                ClampS16(out.data() + at + 6, fontLimit);
                // Height 0 asks for the default size; libwmf loops on it for minutes.
                if (ReadS16(out.data() + at + 6) == 0) {
                    const auto fallback = static_cast<std::int16_t>(
                        -std::clamp(std::lround(kDefaultFontPixels * unitsPerPixel), 1L, 32767L));
                    out[at + 6] = static_cast<std::uint8_t>(fallback);
                    out[at + 7] =
                        static_cast<std::uint8_t>(static_cast<std::uint16_t>(fallback) >> 8);
                }
            }
            if (const std::size_t dib = DibOffset(function, bytes))
                MakeBottomUp(out.data() + at + dib, bytes - dib);
        }
        if (CreatesObject(function)) {
            const auto freeSlot = std::find(slots.begin(), slots.end(), kFree);
            if (freeSlot != slots.end())
                *freeSlot = created;
            else
                slots.push_back(created);
        } else if (function == kDeleteObject && paramBytes >= 2 &&
                   slotAt(Read16(params)) != kFree) {
            slots[Read16(params)] = kFree;
        }
        largest = std::max(largest, Read32(out.data() + at));
    }
    const std::uint32_t total = static_cast<std::uint32_t>(out.size() / 2);
    std::memcpy(out.data() + 6, &total, 4);
    std::memcpy(out.data() + 12, &largest, 4);
    return out;
}

// libwmf sizes some buffers from what a record declares (a bitmap's header,
// say) before it reads them; one allocation larger than the largest picture
// the image layer accepts is refused, and libwmf then fails the file.
std::size_t LargestLibraryAllocation() {
    return static_cast<std::size_t>(std::min<std::int64_t>(ImagePixelLimit(), kMaxImagePixels)) *
               4 +
           (std::size_t{1} << 20);
}

void* BoundedMalloc(void*, std::size_t size) {
    return size > LargestLibraryAllocation() ? nullptr : std::malloc(size);
}

void* BoundedRealloc(void*, void* memory, std::size_t size) {
    return size > LargestLibraryAllocation() ? nullptr : std::realloc(memory, size);
}

void BoundedFree(void*, void* memory) {
    std::free(memory);
}

void (*g_libraryFontMap)(wmfAPI*, wmfFont*) = nullptr;
void (*g_gdDrawText)(wmfAPI*, wmfDrawText_t*) = nullptr;

// A face libwmf cannot find leaves its error set, which fails the rest of
// the picture (and every later font lookup): the picture is drawn without
// that text instead.
void TolerantFontMap(wmfAPI* api, wmfFont* font) {
    const wmf_error_t before = api->err;
    g_libraryFontMap(api, font);
    if (font != nullptr && WMF_FONT_FTFACE(font) == nullptr) api->err = before;
}

// How far along the text libwmf puts the character at `last`, per point of
// font size: its own measure, which leaves the face in the state it draws from.
float CharOffset(FT_Face face, const char* str, const char* last) {
    FT_Set_Char_Size(face, 0, 12 * 64, 300, 100);
    FT_Set_Transform(face, nullptr, nullptr);
    const bool kerning = FT_HAS_KERNING(face);
    FT_UInt previous = 0;
    float width = 0;
    for (const char* c = str; c <= last; ++c) {
        // libwmf passes the plain char on, sign and all.
        const FT_UInt glyph = FT_Get_Char_Index(face, static_cast<FT_ULong>(*c));
        if (kerning && previous != 0 && glyph != 0) {
            FT_Vector delta{};
            FT_Get_Kerning(face, previous, glyph, 0, &delta);
            width += static_cast<float>(delta.x >> 6);
        }
        if (c == last) break;
        FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT);
        width += static_cast<float>(face->glyph->advance.x >> 6);
        previous = glyph;
    }
    return width * 72 / (300 * 12);
}

// Whether every character of the text renders where, at the size and slant,
// the gd device will draw it (its arithmetic, in floats as it does it): the
// device paints the glyph bitmap without checking the rendering worked, and
// FreeType leaves a failed one with its size but no pixels. A squashed font or
// a pen a fraction of a pixel further makes the difference.
bool GlyphsRender(wmfAPI* api, const wmfDrawText_t& text, FT_Face face) {
    const wmf_gd_t* device = WMF_GD_GetData(api);
    const double left = device->bbox.TL.x, top = device->bbox.TL.y;
    const double boxWidth = static_cast<double>(device->bbox.BR.x) - left;
    const double boxHeight = static_cast<double>(device->bbox.BR.y) - top;
    if (!(boxWidth > 0) || !(boxHeight > 0)) return false;
    const auto height = static_cast<float>(
        static_cast<double>(static_cast<float>(text.font_height)) * device->height / boxHeight);
    const auto across = static_cast<float>(
        static_cast<double>(static_cast<float>(text.font_height * text.font_ratio)) *
        device->width / boxWidth);
    const float ratio = across / height;
    const float charWidth = 64 * height * ratio, charHeight = 64 * height;
    // Sizes and stretches no picture's text has (the copy given to libwmf caps
    // font heights); FreeType fails on some of them.
    constexpr float kLargest = 64.0f * 16384;
    if (!(charWidth >= 1 && charWidth < kLargest && charHeight >= 1 && charHeight < kLargest) ||
        !(ratio > 1.0f / 256 && ratio < 256))
        return false;
    const double theta = -(text.dc->font->lfEscapement / 10.0) * 3.14159265358979323846 / 180;
    const double phi = std::atan2(std::sin(theta), ratio * std::cos(theta));
    FT_Matrix matrix{static_cast<FT_Fixed>(std::cos(phi) * 0x10000L),
                     static_cast<FT_Fixed>(std::sin(phi) * 0x10000L),
                     static_cast<FT_Fixed>(-std::sin(phi) * 0x10000L),
                     static_cast<FT_Fixed>(std::cos(phi) * 0x10000L)};
    const auto cosTheta = static_cast<float>(std::cos(theta));
    const auto sinTheta = static_cast<float>(std::sin(theta));
    const std::size_t length = std::strlen(text.str);
    bool rendered = true;
    for (std::size_t i = 0; rendered && i < length; ++i) {
        wmfD_Coord at = text.pt;
        if (length > 1) {  // one character at a time, each placed by its offset
            auto offset = CharOffset(face, text.str, text.str + i);
            offset = static_cast<float>(static_cast<double>(offset) * text.font_height *
                                        text.font_ratio);
            at.x = text.pt.x + offset * cosTheta;
            at.y = text.pt.y + offset * sinTheta;
        }
        const double x = (static_cast<double>(at.x) - left) / boxWidth * device->width;
        const double y = (static_cast<double>(at.y) - top) / boxHeight * device->height;
        FT_Vector pen{static_cast<FT_Pos>(std::floor((x - std::floor(x)) * 64)),
                      static_cast<FT_Pos>(std::floor((y - std::floor(y)) * 64))};
        if (FT_Set_Char_Size(face, static_cast<FT_F26Dot6>(charWidth),
                             static_cast<FT_F26Dot6>(charHeight), 0, 0) != 0)
            return false;
        FT_Set_Transform(face, &matrix, &pen);
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        rendered = FT_Load_Char(face, static_cast<FT_ULong>(text.str[i]), FT_LOAD_RENDER) == 0 &&
                   (bitmap.buffer != nullptr || bitmap.rows == 0 || bitmap.width == 0);
    }
    FT_Set_Transform(face, nullptr, nullptr);
    return rendered;
}

// libwmf's gd device draws glyphs from the selected font's face without
// checking there is one, or that they rendered: such text is left out.
void GuardedDrawText(wmfAPI* api, wmfDrawText_t* text) {
    if (text == nullptr || text->dc == nullptr || text->dc->font == nullptr || text->str == nullptr)
        return;
    FT_Face face = WMF_FONT_FTFACE(text->dc->font);
    if (face == nullptr || face->glyph == nullptr || !GlyphsRender(api, *text, face)) return;
    g_gdDrawText(api, text);
}

// Only libwmf's built-in map of the standard faces, whatever Ghostscript font
// map the machine has: the faces chosen do not depend on it, and its entries
// name files by paths libwmf would look for under its own font folder.
char g_noFontMap[] = "/dev/null";

class WmfApi {
public:
    WmfApi() {
        wmfAPI_Options options{};
        options.function = wmf_gd_function;
        options.malloc = &BoundedMalloc;
        options.realloc = &BoundedRealloc;
        options.free = &BoundedFree;
        options.gs_fontmap_file = g_noFontMap;
        // Errors and debugging would be printed on stderr; the result code says enough.
        const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_ALLOC | WMF_OPT_NO_ERROR |
                                    WMF_OPT_NO_DEBUG | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_GS_FONTMAP;
        if (wmf_api_create(&api_, flags, &options) != wmf_E_None) {
            if (api_ != nullptr) wmf_api_destroy(api_);
            api_ = nullptr;
            return;
        }
        auto* fonts = static_cast<wmfFontData*>(api_->font_data);
        auto* functions = static_cast<wmfFunctionReference*>(api_->function_reference);
        if (fonts == nullptr || fonts->map == nullptr || functions == nullptr ||
            functions->draw_text == nullptr) {
            wmf_api_destroy(api_);
            api_ = nullptr;
            return;
        }
        if (fonts->map != &TolerantFontMap) {
            g_libraryFontMap = fonts->map;
            fonts->map = &TolerantFontMap;
        }
        if (functions->draw_text != &GuardedDrawText) {
            g_gdDrawText = functions->draw_text;
            functions->draw_text = &GuardedDrawText;
        }
    }
    ~WmfApi() {
        if (api_ != nullptr) {
            if (open_) wmf_mem_close(api_);
            wmf_api_destroy(api_);
        }
    }
    WmfApi(const WmfApi&) = delete;
    WmfApi& operator=(const WmfApi&) = delete;

    wmfAPI* get() const { return api_; }
    bool Open(std::vector<std::uint8_t>& bytes) {
        if (api_ == nullptr || bytes.empty()) return false;
        open_ = wmf_mem_open(api_, bytes.data(), static_cast<long>(bytes.size())) == wmf_E_None;
        return open_;
    }
    bool Scan(wmfD_Rect& box) {
        return open_ && wmf_scan(api_, 0, &box) == wmf_E_None && api_->err == wmf_E_None;
    }

private:
    wmfAPI* api_ = nullptr;
    bool open_ = false;
};

// The device-space box libwmf gives a rectangle drawn with the picture's mapping.
bool ProbeBox(ByteSpan data, const Parsed& p, std::int16_t left, std::int16_t top,
              std::int16_t right, std::int16_t bottom, wmfD_Rect& box) {
    std::vector<std::uint8_t> probe(data.begin() + static_cast<std::ptrdiff_t>(p.headerOffset),
                                    data.begin() + static_cast<std::ptrdiff_t>(p.firstRecord));
    for (const auto& [offset, bytes] : p.mapping)
        probe.insert(probe.end(), data.begin() + static_cast<std::ptrdiff_t>(offset),
                     data.begin() + static_cast<std::ptrdiff_t>(offset + bytes));
    PutRecord(probe, kRectangle, {bottom, right, top, left});
    PutRecord(probe, kEof, {});
    const std::uint32_t words = static_cast<std::uint32_t>(probe.size() / 2);
    std::memcpy(probe.data() + 6, &words, 4);
    const std::uint32_t largest = 7;
    std::memcpy(probe.data() + 12, &largest, 4);
    WmfApi api;
    return api.Open(probe) && api.Scan(box);
}

void (*g_gdDeviceBegin)(wmfAPI*) = nullptr;

// libwmf's gd device starts every page white; the picture wants mid grey
// wherever the metafile draws nothing.
void GreyDeviceBegin(wmfAPI* api) {
    g_gdDeviceBegin(api);
    if (api->err != wmf_E_None) return;
    wmf_gd_t* device = WMF_GD_GetData(api);
    // The device keeps its gd image as the first member of its private data.
    void* image = device->gd_data != nullptr ? *static_cast<void**>(device->gd_data) : nullptr;
    int* pixels = image != nullptr ? wmf_gd_image_pixels(image) : nullptr;
    const std::size_t count = static_cast<std::size_t>(device->width) * device->height;
    constexpr int kWhite = 0xFFFFFF;
    if (pixels == nullptr || pixels[0] != kWhite || pixels[count - 1] != kWhite) {
        api->err = wmf_E_DeviceError;
        return;
    }
    constexpr int kGrey =
        kMetafileBackground << 16 | kMetafileBackground << 8 | kMetafileBackground;
    std::fill(pixels, pixels + count, kGrey);
}

// The frame in logical units and the picture's size in pixels, where the file
// declares one (placeable header or window extent); without, the drawing's
// own extent decides, which only playing the file tells.
struct WmfFrame {
    bool declared = false;
    double bounds[4] = {};
    int width = 0, height = 0;
};

ImageError ReadWmfFrame(const Parsed& p, WmfFrame& f) {
    double* frame = f.bounds;
    double width = 0, height = 0;
    f.declared = true;
    if (p.placeable) {
        if (p.unitsPerInch == 0) return err::kBadMetafile;
        for (int i = 0; i < 4; ++i)
            frame[i] = p.bbox[i];
        width = std::abs(frame[2] - frame[0]) * kScreenDpi / p.unitsPerInch;
        height = std::abs(frame[3] - frame[1]) * kScreenDpi / p.unitsPerInch;
    } else if (p.hasWindowExt) {
        frame[0] = p.windowOrg[0];
        frame[1] = p.windowOrg[1];
        frame[2] = frame[0] + p.windowExt[0];
        frame[3] = frame[1] + p.windowExt[1];
        width = std::abs(static_cast<double>(p.windowExt[0])) * PixelsPerUnit(p.mapMode);
        height = std::abs(static_cast<double>(p.windowExt[1])) * PixelsPerUnit(p.mapMode);
    } else {
        f.declared = false;
        return err::kNone;
    }
    if (frame[0] == frame[2] || frame[1] == frame[3]) return err::kBadMetafile;
    return MetafilePixelSize(width, height, f.width, f.height);
}

}  // namespace

ImageError ProbeWmf(ByteSpan data, ImageSize& size) {
    Parsed p;
    if (ImageError e = Parse(data, p)) return e;
    WmfFrame frame;
    if (ImageError e = ReadWmfFrame(p, frame)) return e;
    if (!frame.declared) {
        // Only playing the file tells its extent; metafiles are small to draw.
        RgbImage image;
        if (ImageError e = DecodeWmf(data, image, ImageOperation())) return e;
        size.width = image.width();
        size.height = image.height();
        return err::kNone;
    }
    size.width = frame.width;
    size.height = frame.height;
    return err::kNone;
}

ImageError DecodeWmf(ByteSpan data, RgbImage& out, const ImageOperation& op) {
    Parsed p;
    if (ImageError e = Parse(data, p)) return e;
    WmfFrame declared;
    if (ImageError e = ReadWmfFrame(p, declared)) return e;
    const bool haveFrame = declared.declared;
    const double* frame = declared.bounds;
    int pixelWidth = declared.width, pixelHeight = declared.height;

    std::vector<std::uint8_t> file;
    try {
        // Logical units per pixel; without a frame libwmf's units are about pixels.
        const double units = haveFrame ? std::abs(frame[2] - frame[0]) / pixelWidth : 1.0;
        file = haveFrame ? PlayableCopy(data, p, units, pixelWidth, pixelHeight)
                         : PlayableCopy(data, p, units, 1 << 15, 1 << 15);
    } catch (const std::exception&) {
        return err::kNoMemory;
    }
    if (file.empty()) return err::kBadMetafile;

    const auto lock = LockMetafileLibraries();
    wmfD_Rect box{};
    if (haveFrame) {
        // Where the frame lands in libwmf's device space: a rectangle over the
        // frame and one shrunk to its corner (libwmf widens both by the pen).
        const auto c = [](double v) {
            return static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
        };
        wmfD_Rect whole{}, corner{};
        if (!ProbeBox(data, p, c(frame[0]), c(frame[1]), c(frame[2]), c(frame[3]), whole) ||
            !ProbeBox(data, p, c(frame[0]), c(frame[1]), c(frame[0]), c(frame[1]), corner))
            return err::kBadMetafile;
        const float padX = (corner.BR.x - corner.TL.x) / 2, padY = (corner.BR.y - corner.TL.y) / 2;
        box.TL = {whole.TL.x + padX, whole.TL.y + padY};
        box.BR = {whole.BR.x - padX, whole.BR.y - padY};
    }

    WmfApi api;
    wmfD_Rect drawn{};
    if (!api.Open(file) || !api.Scan(drawn)) return err::kBadMetafile;
    if (!haveFrame) {
        box = drawn;
        if (ImageError e = MetafilePixelSize(box.BR.x - box.TL.x, box.BR.y - box.TL.y, pixelWidth,
                                             pixelHeight))
            return e;
    }
    if (!(box.BR.x > box.TL.x) || !(box.BR.y > box.TL.y)) return err::kBadMetafile;

    wmf_gd_t* device = WMF_GD_GetData(api.get());
    device->type = wmf_gd_image;
    device->bbox = box;
    device->width = static_cast<unsigned>(pixelWidth);
    device->height = static_cast<unsigned>(pixelHeight);
    auto* functions = static_cast<wmfFunctionReference*>(api.get()->function_reference);
    g_gdDeviceBegin = functions->device_begin;
    functions->device_begin = &GreyDeviceBegin;
    const wmf_error_t played = wmf_play(api.get(), 0, &box);
    // The device hands its image over instead of destroying it; given back, it
    // goes with the API.
    struct GiveBack {
        wmf_gd_t* device;
        ~GiveBack() {
            if (device->gd_image != nullptr && device->gd_data != nullptr)
                *static_cast<void**>(device->gd_data) = device->gd_image;
        }
    } giveBack{device};
    if (played != wmf_E_None || api.get()->err != wmf_E_None || device->gd_image == nullptr)
        return err::kBadMetafile;
    const int* pixels = wmf_gd_image_pixels(device->gd_image);
    if (pixels == nullptr) return err::kBadMetafile;

    if (out.AllocatePixels(pixelWidth, pixelHeight) != err::kNone) return err::kNoMemory;
    for (int y = 0; y < pixelHeight; ++y) {
        const int* src = pixels + static_cast<std::size_t>(y) * pixelWidth;
        std::uint8_t* dst = out.row(y);
        for (int x = 0; x < pixelWidth; ++x) {
            dst[3 * x] = static_cast<std::uint8_t>(src[x] >> 16);
            dst[3 * x + 1] = static_cast<std::uint8_t>(src[x] >> 8);
            dst[3 * x + 2] = static_cast<std::uint8_t>(src[x]);
        }
        if (!op.Progress(y, pixelHeight)) {
            out.FreePixels();
            return err::kAborted;
        }
    }
    return err::kNone;
}

}  // namespace orbelune
