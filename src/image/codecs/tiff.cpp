// TIFF through libtiff, reading from and writing to memory. libtiff reports
// errors as return values, so no setjmp is needed here; its messages go to
// per-handle handlers that discard them.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "image/codecs/codec.h"

namespace orbelune {

namespace {

// Decoded RGBA rows held at a time (whole strips or tile rows, at least one).
constexpr std::size_t kBandBytes = std::size_t{1} << 20;

int Discard(TIFF*, void*, const char*, const char*, va_list) {
    return 1;  // handled: keeps libtiff's global handlers from printing
}

// Options that silence one handle and cap libtiff's single allocations.
class TiffOptions {
public:
    explicit TiffOptions(tmsize_t maxAlloc) : options_(TIFFOpenOptionsAlloc()) {
        if (options_ == nullptr) return;
        TIFFOpenOptionsSetErrorHandlerExtR(options_, &Discard, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options_, &Discard, nullptr);
        if (maxAlloc > 0) TIFFOpenOptionsSetMaxSingleMemAlloc(options_, maxAlloc);
    }
    ~TiffOptions() {
        if (options_ != nullptr) TIFFOpenOptionsFree(options_);
    }
    TiffOptions(const TiffOptions&) = delete;
    TiffOptions& operator=(const TiffOptions&) = delete;
    TIFFOpenOptions* get() const { return options_; }

private:
    TIFFOpenOptions* options_;
};

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

toff_t NewPosition(std::uint64_t current, std::uint64_t size, toff_t offset, int whence) {
    std::uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = current;
    else if (whence == SEEK_END)
        base = size;
    else if (whence != SEEK_SET)
        return static_cast<toff_t>(-1);
    // libtiff passes negative relative offsets as wrapped unsigned values.
    const auto delta = static_cast<std::int64_t>(offset);
    if (delta < 0 && static_cast<std::uint64_t>(-(delta + 1)) >= base)
        return static_cast<toff_t>(-1);
    return base + offset;
}

// --- Reading -----------------------------------------------------------------

struct TiffSource {
    const std::uint8_t* data;
    std::uint64_t size;
    std::uint64_t position;
};

tmsize_t SourceRead(thandle_t handle, void* out, tmsize_t count) {
    auto* source = static_cast<TiffSource*>(handle);
    if (count <= 0 || source->position >= source->size) return 0;
    const std::uint64_t n =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(count), source->size - source->position);
    std::memcpy(out, source->data + source->position, n);
    source->position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t SourceWrite(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t SourceSeek(thandle_t handle, toff_t offset, int whence) {
    auto* source = static_cast<TiffSource*>(handle);
    const toff_t position = NewPosition(source->position, source->size, offset, whence);
    if (position != static_cast<toff_t>(-1)) source->position = position;
    return position;
}

int NoClose(thandle_t) {
    return 0;
}

toff_t SourceSize(thandle_t handle) {
    return static_cast<TiffSource*>(handle)->size;
}

// Handing libtiff the bytes as a "mapped file" lets it read strips in place.
int SourceMap(thandle_t handle, void** base, toff_t* size) {
    auto* source = static_cast<TiffSource*>(handle);
    // libtiff never writes to a file opened for reading.
    *base = const_cast<std::uint8_t*>(source->data);
    *size = source->size;
    return 1;
}

void NoUnmap(thandle_t, void*, toff_t) {}

struct RgbaImage {
    TIFFRGBAImage image{};
    bool begun = false;
    ~RgbaImage() {
        if (begun) TIFFRGBAImageEnd(&image);
    }
};

// Where file pixel (x, y) lands on screen for each Orientation value; sides
// swap for 5 to 8.
struct Placement {
    bool transposed;
    bool flipX;  // mirror the file's columns
    bool flipY;  // mirror the file's rows
};

Placement PlacementFor(std::uint16_t orientation) {
    switch (orientation) {
        case ORIENTATION_TOPRIGHT:
            return {false, true, false};
        case ORIENTATION_BOTRIGHT:
            return {false, true, true};
        case ORIENTATION_BOTLEFT:
            return {false, false, true};
        case ORIENTATION_LEFTTOP:
            return {true, false, false};
        case ORIENTATION_RIGHTTOP:
            return {true, false, true};
        case ORIENTATION_RIGHTBOT:
            return {true, true, true};
        case ORIENTATION_LEFTBOT:
            return {true, true, false};
        default:
            return {false, false, false};
    }
}

// Copies `rows` file rows starting at `firstRow` (RGBA, file order) into the
// displayed picture.
void PlaceRows(const std::uint32_t* rgba, std::uint32_t fileWidth, std::uint32_t fileHeight,
               std::uint32_t firstRow, std::uint32_t rows, Placement place, RgbImage& out) {
    for (std::uint32_t r = 0; r < rows; ++r) {
        const std::uint32_t y = firstRow + r;
        const std::uint32_t* src = rgba + static_cast<std::size_t>(r) * fileWidth;
        const std::uint32_t py = place.flipY ? fileHeight - 1 - y : y;
        if (!place.transposed) {
            std::uint8_t* dst = out.row(static_cast<int>(py));
            if (!place.flipX) {
                for (std::uint32_t x = 0; x < fileWidth; ++x, dst += 3) {
                    dst[0] = static_cast<std::uint8_t>(TIFFGetR(src[x]));
                    dst[1] = static_cast<std::uint8_t>(TIFFGetG(src[x]));
                    dst[2] = static_cast<std::uint8_t>(TIFFGetB(src[x]));
                }
            } else {
                for (std::uint32_t x = fileWidth; x-- > 0; dst += 3) {
                    dst[0] = static_cast<std::uint8_t>(TIFFGetR(src[x]));
                    dst[1] = static_cast<std::uint8_t>(TIFFGetG(src[x]));
                    dst[2] = static_cast<std::uint8_t>(TIFFGetB(src[x]));
                }
            }
        } else {
            // File row y becomes screen column py; file column x becomes a row.
            std::uint8_t* column = out.data() + static_cast<std::size_t>(py) * 3;
            const std::size_t stride = out.stride();
            for (std::uint32_t x = 0; x < fileWidth; ++x) {
                const std::uint32_t px = place.flipX ? fileWidth - 1 - x : x;
                std::uint8_t* dst = column + stride * px;
                dst[0] = static_cast<std::uint8_t>(TIFFGetR(src[x]));
                dst[1] = static_cast<std::uint8_t>(TIFFGetG(src[x]));
                dst[2] = static_cast<std::uint8_t>(TIFFGetB(src[x]));
            }
        }
    }
}

// Rows per TIFFRGBAImageGet call: a whole number of strips or tile rows, so
// each is decoded once.
std::uint32_t BandRows(TIFF* tif, std::uint32_t width, std::uint32_t height) {
    std::uint32_t unit = 0;
    if (TIFFIsTiled(tif))
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &unit);
    else
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unit);
    if (unit == 0 || unit > height) unit = height;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    const std::size_t wanted = std::max<std::size_t>(1, kBandBytes / rowBytes);
    const std::size_t units = (wanted + unit - 1) / unit;
    return static_cast<std::uint32_t>(std::min<std::size_t>(units * unit, height));
}

// Whether the file's rows can be read one at a time and converted here: 8-bit
// grey or RGB samples, interleaved, in strips of any codec but JPEG's (whose
// YCbCr libtiff converts). A tall strip is then never decoded whole: memory
// stays at the picture and one row.
bool ReadableByRows(TIFF* tif) {
    std::uint16_t bits = 0, samples = 0, planar = 0, photometric = 0, compression = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return false;
    if (TIFFIsTiled(tif) || bits != 8 || planar != PLANARCONFIG_CONTIG) return false;
    if (compression == COMPRESSION_JPEG || compression == COMPRESSION_OJPEG) return false;
    switch (photometric) {
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_MINISWHITE:
            return samples >= 1;
        case PHOTOMETRIC_RGB:
            return samples >= 3;
        default:
            return false;
    }
}

// Rows through TIFFReadScanline, in the RGBA layout PlaceRows takes; extra
// samples (alpha) are dropped as on the other path.
ImageError DecodeByRows(TIFF* tif, std::uint32_t width, std::uint32_t height, RgbImage& out,
                        const ImageOperation& op) {
    std::uint16_t samples = 0, photometric = 0, orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    const tmsize_t lineBytes = TIFFScanlineSize(tif);
    if (lineBytes < static_cast<tmsize_t>(width) * samples) return err::kBadTiff;
    const Placement place = PlacementFor(orientation);
    std::vector<std::uint8_t> line;
    std::vector<std::uint32_t> rgba;
    try {
        line.resize(static_cast<std::size_t>(lineBytes));
        rgba.resize(width);
    } catch (const std::bad_alloc&) {
        return err::kNoMemory;
    }
    const auto shownWidth = static_cast<int>(place.transposed ? height : width);
    const auto shownHeight = static_cast<int>(place.transposed ? width : height);
    if (ImageError e = out.AllocatePixels(shownWidth, shownHeight)) return e;
    const bool grey = photometric != PHOTOMETRIC_RGB;
    const std::uint8_t invert = photometric == PHOTOMETRIC_MINISWHITE ? 0xFF : 0;
    for (std::uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0) return err::kBadTiff;
        const std::uint8_t* p = line.data();
        for (std::uint32_t x = 0; x < width; ++x, p += samples) {
            const std::uint32_t r = p[0] ^ invert;
            const std::uint32_t g = grey ? r : p[1];
            const std::uint32_t b = grey ? r : p[2];
            rgba[x] = r | (g << 8) | (b << 16) | 0xFF000000u;
        }
        PlaceRows(rgba.data(), width, height, y, 1, place, out);
        if (!op.Progress(static_cast<int>(y), static_cast<int>(height))) return err::kAborted;
    }
    return err::kNone;
}

ImageError DecodeOpened(TIFF* tif, RgbImage& out, const ImageOperation& op) {
    std::uint32_t declaredWidth = 0;
    std::uint32_t declaredHeight = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &declaredWidth);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &declaredHeight);
    if (declaredWidth == 0 || declaredHeight == 0) return err::kBadTiff;
    if (ImageError e = CheckImageSize(declaredWidth, declaredHeight)) return e;
    if (ReadableByRows(tif)) return DecodeByRows(tif, declaredWidth, declaredHeight, out, op);
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message)) return err::kBadTiff;
    // libtiff would multiply colours by an unassociated alpha (blackening
    // transparent areas); alpha is dropped untouched instead, as for PNG.
    // Declaring it associated only changes the in-memory directory.
    std::uint16_t extraCount = 0;
    const std::uint16_t* extraKinds = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds) && extraCount >= 1 &&
        extraKinds[0] == EXTRASAMPLE_UNASSALPHA) {
        std::vector<std::uint16_t> kinds(extraKinds, extraKinds + extraCount);
        kinds[0] = EXTRASAMPLE_ASSOCALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, extraCount, kinds.data());
    }
    RgbaImage rgba;
    if (!TIFFRGBAImageBegin(&rgba.image, tif, 1, message)) return err::kTiffInternal;
    rgba.begun = true;
    const std::uint32_t width = rgba.image.width;
    const std::uint32_t height = rgba.image.height;
    const Placement place = PlacementFor(rgba.image.orientation);
    const std::uint32_t band = BandRows(tif, width, height);
    const std::uint64_t bandBytes = std::uint64_t{width} * band * 4;
    if (ImageError e = CheckDecodeMemory(std::uint64_t{width} * height * 3 + bandBytes)) return e;
    std::unique_ptr<std::uint32_t[]> buffer(
        new (std::nothrow) std::uint32_t[static_cast<std::size_t>(width) * band]);
    if (!buffer) return err::kNoMemory;
    const auto shownWidth = static_cast<int>(place.transposed ? height : width);
    const auto shownHeight = static_cast<int>(place.transposed ? width : height);
    if (ImageError e = out.AllocatePixels(shownWidth, shownHeight)) return e;
    // Ask for the rows exactly as stored; the orientation is applied while
    // placing them, which also covers the transposed orientations libtiff skips.
    rgba.image.orientation = ORIENTATION_TOPLEFT;
    rgba.image.req_orientation = ORIENTATION_TOPLEFT;
    for (std::uint32_t first = 0; first < height; first += band) {
        const std::uint32_t rows = std::min(band, height - first);
        rgba.image.row_offset = static_cast<int>(first);
        rgba.image.col_offset = 0;
        if (!TIFFRGBAImageGet(&rgba.image, buffer.get(), width, rows)) return err::kBadTiff;
        PlaceRows(buffer.get(), width, height, first, rows, place, out);
        for (std::uint32_t y = first; y < first + rows; ++y)
            if (!op.Progress(static_cast<int>(y), static_cast<int>(height))) return err::kAborted;
    }
    return err::kNone;
}

// --- Writing -----------------------------------------------------------------

struct TiffTarget {
    ByteSink* sink;
    bool failed;
};

tmsize_t TargetRead(thandle_t handle, void* out, tmsize_t count) {
    auto* target = static_cast<TiffTarget*>(handle);
    ByteSink& sink = *target->sink;
    if (count <= 0) return 0;
    const std::size_t n = sink.ReadAt(sink.Tell(), out, static_cast<std::size_t>(count));
    sink.Seek(sink.Tell() + n);
    return static_cast<tmsize_t>(n);
}

tmsize_t TargetWrite(thandle_t handle, void* data, tmsize_t count) {
    auto* target = static_cast<TiffTarget*>(handle);
    if (count < 0) return 0;
    if (!target->sink->Write(data, static_cast<std::size_t>(count))) {
        target->failed = true;
        return 0;
    }
    return count;
}

toff_t TargetSeek(thandle_t handle, toff_t offset, int whence) {
    ByteSink& sink = *static_cast<TiffTarget*>(handle)->sink;
    const toff_t position = NewPosition(sink.Tell(), sink.Size(), offset, whence);
    if (position != static_cast<toff_t>(-1)) sink.Seek(position);
    return position;
}

toff_t TargetSize(thandle_t handle) {
    return static_cast<TiffTarget*>(handle)->sink->Size();
}

int NoMap(thandle_t, void**, toff_t*) {
    return 0;
}

bool WriteTags(TIFF* tif, int width, int height) {
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width)) == 1;
    ok = ok && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height)) == 1;
    ok = ok && TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) == 1;
    ok = ok && TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE) == 1;
    ok = ok && TIFFSetField(tif, TIFFTAG_XRESOLUTION, 1.0) == 1;
    ok = ok && TIFFSetField(tif, TIFFTAG_YRESOLUTION, 1.0) == 1;
    ok = ok && TIFFSetField(tif, TIFFTAG_SOFTWARE, "Orbelune") == 1;
    ok = ok && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) == 1;
    ok = ok && TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) == 1;
    ok = ok && TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == 1;
    ok = ok && TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) == 1;
    ok = ok && TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE) == 1;
    // The default strip size depends on the row size, so it comes last.
    ok = ok && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0)) == 1;
    return ok;
}

ImageError EncodeOpened(TIFF* tif, const std::uint8_t* rgb, int width, int height,
                        const ImageOperation& op) {
    if (!WriteTags(tif, width, height)) return err::kFileWrite;
    std::uint32_t rowsPerStrip = 0;
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    if (rowsPerStrip == 0) return err::kFileWrite;
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    const auto rows = static_cast<std::uint32_t>(height);
    for (std::uint32_t first = 0, strip = 0; first < rows; first += rowsPerStrip, ++strip) {
        const std::uint32_t count = std::min(rowsPerStrip, rows - first);
        // With no compression libtiff only copies the strip out; its API is not const.
        void* data = const_cast<std::uint8_t*>(rgb + stride * first);
        if (TIFFWriteEncodedStrip(tif, strip, data, static_cast<tmsize_t>(stride * count)) < 0)
            return err::kFileWrite;
        for (std::uint32_t y = first; y < first + count; ++y)
            if (!op.Progress(static_cast<int>(y), height)) return err::kAborted;
    }
    if (!TIFFFlush(tif)) return err::kFileWrite;
    return err::kNone;
}

}  // namespace

ImageError DecodeTiff(ByteSpan data, RgbImage& out, const ImageOperation& op) {
    out.FreePixels();
    if (data.size() < 8) return err::kBadTiff;
    // Strips of up to 8 bytes per pixel (16-bit RGBA) of the largest accepted
    // picture; anything beyond is a crafted size, refused before allocation.
    TiffOptions options(static_cast<tmsize_t>(ImagePixelLimit() * 8));
    if (options.get() == nullptr) return err::kNoMemory;
    TiffSource source{data.data(), data.size(), 0};
    TiffHandle tif(TIFFClientOpenExt("memory", "r", &source, &SourceRead, &SourceWrite, &SourceSeek,
                                     &NoClose, &SourceSize, &SourceMap, &NoUnmap, options.get()));
    if (!tif) return err::kBadTiff;
    const ImageError result = DecodeOpened(tif.get(), out, op);
    if (result != err::kNone) out.FreePixels();
    return result;
}

ImageError EncodeTiff(const std::uint8_t* rgb, int width, int height, ByteSink& sink,
                      const ImageOperation& op) {
    if (rgb == nullptr || width <= 0 || height <= 0) return err::kBadParam;
    TiffOptions options(0);
    if (options.get() == nullptr) return err::kNoMemory;
    TiffTarget target{&sink, false};
    ImageError result = err::kNone;
    {
        TiffHandle tif(TIFFClientOpenExt("memory", "w", &target, &TargetRead, &TargetWrite,
                                         &TargetSeek, &NoClose, &TargetSize, &NoMap, &NoUnmap,
                                         options.get()));
        if (!tif) return target.failed ? sink.WriteFailure() : err::kFileWrite;
        result = EncodeOpened(tif.get(), rgb, width, height, op);
    }
    if (target.failed) return sink.WriteFailure();
    return result;
}

}  // namespace orbelune
