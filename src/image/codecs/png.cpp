// PNG through libpng. libpng reports errors by calling back into us; we
// longjmp out, so each setjmp lives in a small function whose locals are all
// trivially destructible, and every C++ object stays in the callers.
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "image/codecs/codec.h"

namespace orbelune {

namespace {

// Chunks whose contents we would only throw away; skipping them also skips
// inflating compressed text.
constexpr png_byte kIgnoredChunks[] = {
    'i', 'C',  'C', 'P', '\0', 'i', 'T',  'X', 't', '\0', 's', 'P',  'L',
    'T', '\0', 't', 'E', 'X',  't', '\0', 'z', 'T', 'X',  't', '\0',
};
constexpr int kIgnoredChunkCount = sizeof(kIgnoredChunks) / 5;

// Passed as libpng's error pointer: what a failure means.
struct PngStatus {
    ImageError failCode;
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp) {
    // libpng's default handler would print first; we only unwind.
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

struct PngInput {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
    if (count > input->size - input->position) png_error(png, "file ends early");
    std::memcpy(out, input->data + input->position, count);
    input->position += count;
}

// Plain C data only, so it may live across setjmp.
struct PngReader {
    png_structp png;
    png_infop info;
    PngInput input;
    PngStatus status;
    png_uint_32 width;
    png_uint_32 height;
};

ImageError ReadPngHeader(PngReader& reader) {
    png_structp png = reader.png;
    if (setjmp(png_jmpbuf(png))) return reader.status.failCode;
    png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks, kIgnoredChunkCount);
    png_set_read_fn(png, &reader.input, &ReadFromMemory);
    png_read_info(png, reader.info);
    int bitDepth = 0;
    int colorType = 0;
    png_get_IHDR(png, reader.info, &reader.width, &reader.height, &bitDepth, &colorType, nullptr,
                 nullptr, nullptr);
    // Every layout becomes 8-bit RGB: palettes and low-depth grey expand, 16-bit
    // samples are scaled (rounded, not truncated), alpha is dropped without
    // compositing and tRNS is ignored.
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if ((colorType & PNG_COLOR_MASK_COLOR) == 0) {
        if (bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
        png_set_gray_to_rgb(png);
    }
    if (bitDepth == 16) png_set_scale_16(png);
    // A palette with tRNS expands to RGBA even without asking; strip that too.
    png_set_strip_alpha(png);
    return err::kNone;
}

ImageError ReadPngPixels(PngReader& reader, std::uint8_t* pixels, const ImageOperation& op) {
    png_structp png = reader.png;
    if (setjmp(png_jmpbuf(png))) return reader.status.failCode;
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, reader.info);
    const std::size_t stride = static_cast<std::size_t>(reader.width) * 3;
    if (png_get_rowbytes(png, reader.info) != stride || png_get_channels(png, reader.info) != 3 ||
        png_get_bit_depth(png, reader.info) != 8)
        return err::kPngInternal;
    const int height = static_cast<int>(reader.height);
    const int steps = passes * height;
    for (int pass = 0; pass < passes; ++pass) {
        // Interlaced passes refine the rows in place, so each pass reads into
        // the final rows.
        for (int y = 0; y < height; ++y) {
            png_read_row(png, pixels + stride * static_cast<std::size_t>(y), nullptr);
            if (!op.Progress(pass * height + y, steps)) return err::kAborted;
        }
    }
    // The chunks after the pixels carry nothing we keep.
    return err::kNone;
}

void WriteToSink(png_structp png, png_bytep data, png_size_t count) {
    auto* sink = static_cast<ByteSink*>(png_get_io_ptr(png));
    if (!sink->Write(data, count)) {
        static_cast<PngStatus*>(png_get_error_ptr(png))->failCode = sink->WriteFailure();
        png_error(png, "out of memory");
    }
}

void FlushSink(png_structp) {}

struct PngWriter {
    png_structp png;
    png_infop info;
    PngStatus status;
};

ImageError WritePng(PngWriter& writer, const std::uint8_t* rgb, int width, int height,
                    ByteSink& sink, const ImageOperation& op) {
    png_structp png = writer.png;
    if (setjmp(png_jmpbuf(png))) return writer.status.failCode;
    png_set_write_fn(png, &sink, &WriteToSink, &FlushSink);
    png_set_IHDR(png, writer.info, static_cast<png_uint_32>(width),
                 static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, writer.info);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        png_write_row(png, rgb + stride * static_cast<std::size_t>(y));
        if (!op.Progress(y, height)) return err::kAborted;
    }
    png_write_end(png, nullptr);
    return err::kNone;
}

}  // namespace

ImageError DecodePng(ByteSpan data, RgbImage& out, const ImageOperation& op) {
    out.FreePixels();
    if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0) return err::kBadPng;
    PngReader reader{};
    reader.input = {data.data(), data.size(), 0};
    reader.status.failCode = err::kBadPng;
    reader.png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader.status, &OnPngError, &OnPngWarning);
    if (reader.png == nullptr) return err::kNoMemory;
    reader.info = png_create_info_struct(reader.png);
    ImageError result = reader.info == nullptr ? err::kNoMemory : ReadPngHeader(reader);
    if (result == err::kNone) {
        result = CheckImageSize(reader.width, reader.height);
        if (result == err::kNone)
            result =
                out.AllocatePixels(static_cast<int>(reader.width), static_cast<int>(reader.height));
        if (result == err::kNone) result = ReadPngPixels(reader, out.data(), op);
    }
    png_destroy_read_struct(&reader.png, reader.info != nullptr ? &reader.info : nullptr, nullptr);
    if (result != err::kNone) out.FreePixels();
    return result;
}

ImageError EncodePng(const std::uint8_t* rgb, int width, int height, ByteSink& sink,
                     const ImageOperation& op) {
    if (rgb == nullptr || width <= 0 || height <= 0) return err::kBadParam;
    PngWriter writer{};
    writer.status.failCode = err::kFileWrite;
    writer.png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &writer.status, &OnPngError, &OnPngWarning);
    if (writer.png == nullptr) return err::kNoMemory;
    writer.info = png_create_info_struct(writer.png);
    const ImageError result =
        writer.info == nullptr ? err::kNoMemory : WritePng(writer, rgb, width, height, sink, op);
    png_destroy_write_struct(&writer.png, writer.info != nullptr ? &writer.info : nullptr);
    return result;
}

}  // namespace orbelune
