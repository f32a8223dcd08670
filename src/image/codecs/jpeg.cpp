// JPEG through libjpeg. libjpeg reports errors by calling back into us; we
// longjmp out of it, so each setjmp lives in a small function whose locals are
// all trivially destructible, and every C++ object stays in the callers.
#include <sys/stat.h>

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>  // jpeglib.h needs FILE

#include <jpeglib.h>
// After jpeglib.h: its configuration decides which messages exist.
#include <jerror.h>

#include "image/codecs/codec.h"
#include "image/codecs/jpeg_coefficients.h"

namespace orbelune {

namespace {

// Rows handed to libjpeg per call: fewer calls, same output.
constexpr int kRowBatch = 16;
// Bounds on the work of multi-scan files, so a small crafted file cannot keep
// the decoder busy for minutes running over every block again and again: a
// count of scans, and the blocks all scans cover together, in passes over the
// whole picture. A scan with nothing in it still costs a pass, so beyond two
// passes the work must be paid for by the file's size, up to twelve passes
// (encoders' progressions make five or six). Only huge pictures of one flat
// colour are that small; photographs carry far more bytes.
constexpr int kMaxScans = 500;
constexpr std::uint64_t kFreePasses = 2;
constexpr std::uint64_t kMaxPasses = 12;
constexpr std::uint64_t kBlocksPerFileByte = 8;
constexpr std::size_t kOutputChunk = 64 * 1024;

struct JpegErrors {
    jpeg_error_mgr pub;  // first member: libjpeg sees only this part
    std::jmp_buf jump;
    ImageError code;
    ImageError failCode;  // what a libjpeg error means for this direction
};

[[noreturn]] void Escape(j_common_ptr cinfo, ImageError code) {
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    errors->code = code;
    std::longjmp(errors->jump, 1);
}

[[noreturn]] void OnError(j_common_ptr cinfo) {
    const auto* errors = reinterpret_cast<const JpegErrors*>(cinfo->err);
    Escape(cinfo, cinfo->err->msg_code == JERR_OUT_OF_MEMORY ? err::kNoMemory : errors->failCode);
}

void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace output
    // libjpeg carries on over damaged data, padding with grey or garbage; a
    // damaged photograph must not pass silently into a panorama.
    const int code = cinfo->err->msg_code;
    switch (code) {
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
        case JWRN_EXTRANEOUS_DATA:
        case JWRN_MUST_RESYNC:
        case JWRN_BOGUS_PROGRESSION:
            Escape(cinfo, err::kBadJpeg);
        default:
            break;
    }
    if (code == JWRN_JPEG_EOF && cinfo->is_decompressor) {
        // In a single Huffman-coded scan holding every component, running out
        // of data is caught above as soon as a pixel needs it, so only the end
        // marker can be missing. A progressive file could be missing whole
        // scans, and the arithmetic decoder pads with zeros without a word.
        const auto* info = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (info->progressive_mode || info->arith_code ||
            info->comps_in_scan != info->num_components)
            Escape(cinfo, err::kBadJpeg);
    }
}

void Silent(j_common_ptr) {}

void InstallErrors(JpegErrors& errors, ImageError failCode) {
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = &OnError;
    errors.pub.emit_message = &OnMessage;
    errors.pub.output_message = &Silent;
    errors.code = err::kNone;
    errors.failCode = failCode;
}

struct ScanBudget {
    jpeg_progress_mgr pub;  // first member: libjpeg sees only this part
    int lastScan;
    std::uint64_t blocks;  // covered by the scans so far
    std::uint64_t fileBytes;
};

std::uint64_t BlocksOf(const jpeg_component_info& component) {
    return static_cast<std::uint64_t>(component.width_in_blocks) * component.height_in_blocks;
}

// Called before every row of blocks is read, so a new scan is counted before
// any of its work is done.
void LimitScans(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    const auto* info = reinterpret_cast<j_decompress_ptr>(cinfo);
    auto* budget = reinterpret_cast<ScanBudget*>(cinfo->progress);
    if (info->input_scan_number == budget->lastScan) return;
    budget->lastScan = info->input_scan_number;
    if (info->input_scan_number > kMaxScans) Escape(cinfo, err::kBadJpeg);
    std::uint64_t picture = 0;
    for (int c = 0; c < info->num_components; ++c)
        picture += BlocksOf(info->comp_info[c]);
    for (int c = 0; c < info->comps_in_scan; ++c)
        budget->blocks += BlocksOf(*info->cur_comp_info[c]);
    const std::uint64_t allowed = std::min(
        kMaxPasses * picture, kFreePasses * picture + kBlocksPerFileByte * budget->fileBytes);
    if (budget->blocks > allowed) Escape(cinfo, err::kBadJpeg);
}

// Everything here is plain C data, so it may live across setjmp.
struct JpegReader {
    jpeg_decompress_struct info;
    JpegErrors errors;
    ScanBudget progress;
};

// Reads from `file` when given (a large photograph is then never held whole in
// memory), else from `data`.
ImageError ReadHeader(JpegReader& reader, ByteSpan data, std::FILE* file) {
    if (setjmp(reader.errors.jump)) return reader.errors.code;
    jpeg_create_decompress(&reader.info);
    UseReleasingCoefficientArrays(&reader.info);
    reader.progress.pub.progress_monitor = &LimitScans;
    reader.progress.fileBytes = data.size();
    struct stat info {};
    if (file != nullptr && ::fstat(::fileno(file), &info) == 0)
        reader.progress.fileBytes = static_cast<std::uint64_t>(info.st_size);
    reader.info.progress = &reader.progress.pub;
    if (file != nullptr) {
        jpeg_stdio_src(&reader.info, file);
    } else {
        jpeg_mem_src(&reader.info, data.data(), static_cast<unsigned long>(data.size()));
    }
    jpeg_read_header(&reader.info, TRUE);
    // libjpeg-turbo converts grey and YCbCr straight to packed RGB; CMYK and
    // YCCK come out as CMYK and are converted here.
    const J_COLOR_SPACE space = reader.info.jpeg_color_space;
    reader.info.out_color_space = space == JCS_CMYK || space == JCS_YCCK ? JCS_CMYK : JCS_RGB;
    return err::kNone;
}

// round(a * b / 255) for bytes, exactly.
inline std::uint8_t MulDiv255(unsigned a, unsigned b) {
    const unsigned t = a * b + 128;
    return static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
}

void CmykToRgb(const JSAMPLE* cmyk, std::uint8_t* rgb, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        // Adobe's writers store CMYK inverted (0 = full ink); others do not.
        const unsigned c = inverted ? cmyk[0] : 255u - cmyk[0];
        const unsigned m = inverted ? cmyk[1] : 255u - cmyk[1];
        const unsigned y = inverted ? cmyk[2] : 255u - cmyk[2];
        const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
        rgb[0] = MulDiv255(c, k);
        rgb[1] = MulDiv255(m, k);
        rgb[2] = MulDiv255(y, k);
    }
}

ImageError ReadPixels(JpegReader& reader, std::uint8_t* pixels, const ImageOperation& op) {
    if (setjmp(reader.errors.jump)) return reader.errors.code;
    jpeg_decompress_struct& info = reader.info;
    const JDIMENSION width = info.image_width;
    const JDIMENSION height = info.image_height;
    jpeg_start_decompress(&info);
    const bool cmyk = info.out_color_space == JCS_CMYK;
    if (info.output_width != width || info.output_height != height ||
        info.output_components != (cmyk ? 4 : 3))
        return err::kBadJpeg;
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    JSAMPARRAY cmykRows = nullptr;
    if (cmyk) {
        // From libjpeg's own pool, released by jpeg_destroy even after a jump.
        cmykRows = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                             width * 4, kRowBatch);
    }
    const bool inverted = info.saw_Adobe_marker != 0;
    JSAMPROW rows[kRowBatch];
    while (info.output_scanline < height) {
        const JDIMENSION first = info.output_scanline;
        const JDIMENSION wanted = height - first < kRowBatch ? height - first : kRowBatch;
        for (JDIMENSION i = 0; i < wanted; ++i)
            rows[i] = cmyk ? cmykRows[i] : pixels + stride * (first + i);
        const JDIMENSION got = jpeg_read_scanlines(&info, rows, wanted);
        if (got == 0) return err::kBadJpeg;
        for (JDIMENSION i = 0; i < got; ++i) {
            if (cmyk) CmykToRgb(cmykRows[i], pixels + stride * (first + i), width, inverted);
            if (!op.Progress(static_cast<int>(first + i), static_cast<int>(height)))
                return err::kAborted;
        }
    }
    // The trailing markers carry nothing we keep; no need to read up to EOI.
    return err::kNone;
}

// Writes libjpeg's output in chunks into the sink.
struct JpegWriter {
    jpeg_compress_struct info;
    JpegErrors errors;
    jpeg_destination_mgr destination;
    ByteSink* sink;
    JOCTET* buffer;
};

JpegWriter& WriterOf(j_compress_ptr cinfo) {
    return *static_cast<JpegWriter*>(cinfo->client_data);
}

void StartDestination(j_compress_ptr cinfo) {
    JpegWriter& writer = WriterOf(cinfo);
    writer.buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, kOutputChunk));
    writer.destination.next_output_byte = writer.buffer;
    writer.destination.free_in_buffer = kOutputChunk;
}

boolean FlushDestination(j_compress_ptr cinfo) {
    JpegWriter& writer = WriterOf(cinfo);
    if (!writer.sink->Write(writer.buffer, kOutputChunk))
        Escape(reinterpret_cast<j_common_ptr>(cinfo), writer.sink->WriteFailure());
    writer.destination.next_output_byte = writer.buffer;
    writer.destination.free_in_buffer = kOutputChunk;
    return TRUE;
}

void FinishDestination(j_compress_ptr cinfo) {
    JpegWriter& writer = WriterOf(cinfo);
    const std::size_t used = kOutputChunk - writer.destination.free_in_buffer;
    if (!writer.sink->Write(writer.buffer, used))
        Escape(reinterpret_cast<j_common_ptr>(cinfo), writer.sink->WriteFailure());
}

ImageError WriteJpeg(JpegWriter& writer, const std::uint8_t* rgb, int width, int height,
                     const ImageOperation& op) {
    if (setjmp(writer.errors.jump)) return writer.errors.code;
    jpeg_compress_struct& info = writer.info;
    jpeg_create_compress(&info);
    writer.destination.init_destination = &StartDestination;
    writer.destination.empty_output_buffer = &FlushDestination;
    writer.destination.term_destination = &FinishDestination;
    info.dest = &writer.destination;
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    JSAMPROW rows[kRowBatch];
    while (info.next_scanline < info.image_height) {
        const JDIMENSION first = info.next_scanline;
        const JDIMENSION left = info.image_height - first;
        const JDIMENSION count = left < kRowBatch ? left : kRowBatch;
        // libjpeg only reads the rows; its API is not const-correct.
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = const_cast<JSAMPROW>(rgb + stride * (first + i));
        const JDIMENSION done = jpeg_write_scanlines(&info, rows, count);
        if (done == 0) return err::kFileWrite;
        // The rows are in libjpeg's coefficient buffer now.
        op.RowsEncoded(static_cast<int>(first), static_cast<int>(first + done));
        for (JDIMENSION i = 0; i < done; ++i)
            if (!op.Progress(static_cast<int>(first + i), height)) return err::kAborted;
    }
    jpeg_finish_compress(&info);
    return err::kNone;
}

}  // namespace

namespace {

// The picture, and the coefficients of every block (64 of 2 bytes) when the
// file has several scans and libjpeg must keep them all until the last.
std::uint64_t DecodeBytes(const jpeg_decompress_struct& info) {
    std::uint64_t bytes = std::uint64_t{info.image_width} * info.image_height * 3;
    if (jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&info))) {
        for (int c = 0; c < info.num_components; ++c)
            bytes += BlocksOf(info.comp_info[c]) * sizeof(JBLOCK);
    }
    return bytes;
}

// Huffman coding spends at least one bit on every block's DC value, so a file
// with fewer bits than the picture has blocks lacks data: refused before the
// memory for a huge picture is taken and run over (arithmetic coding can code
// flat blocks in less, and is left to the scan budget).
bool TooShortForItsBlocks(const jpeg_decompress_struct& info, std::uint64_t fileBytes) {
    if (info.arith_code || fileBytes == 0) return false;
    std::uint64_t blocks = 0;
    for (int c = 0; c < info.num_components; ++c)
        blocks += BlocksOf(info.comp_info[c]);
    return fileBytes * 8 < blocks;
}

ImageError Decode(ByteSpan data, std::FILE* file, RgbImage& out, const ImageOperation& op) {
    out.FreePixels();
    JpegReader reader{};
    reader.info.err = &reader.errors.pub;
    InstallErrors(reader.errors, err::kBadJpeg);
    ImageError result = ReadHeader(reader, data, file);
    if (result == err::kNone) {
        result = CheckImageSize(reader.info.image_width, reader.info.image_height);
        if (result == err::kNone && TooShortForItsBlocks(reader.info, reader.progress.fileBytes))
            result = err::kBadJpeg;
        if (result == err::kNone) result = CheckDecodeMemory(DecodeBytes(reader.info));
        if (result == err::kNone)
            result = out.AllocatePixels(static_cast<int>(reader.info.image_width),
                                        static_cast<int>(reader.info.image_height));
        if (result == err::kNone) result = ReadPixels(reader, out.data(), op);
    }
    jpeg_destroy_decompress(&reader.info);
    if (result != err::kNone) out.FreePixels();
    return result;
}

}  // namespace

ImageError DecodeJpeg(ByteSpan data, RgbImage& out, const ImageOperation& op) {
    if (data.empty()) {
        out.FreePixels();
        return err::kBadJpeg;
    }
    return Decode(data, nullptr, out, op);
}

ImageError DecodeJpegFile(std::FILE* file, RgbImage& out, const ImageOperation& op) {
    return Decode({}, file, out, op);
}

ImageError EncodeJpeg(const std::uint8_t* rgb, int width, int height, ByteSink& sink,
                      const ImageOperation& op) {
    if (rgb == nullptr || width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION ||
        height > JPEG_MAX_DIMENSION)
        return err::kBadParam;
    // Room for a typical quality-100 photograph up front instead of regrowing
    // and copying.
    sink.Reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    JpegWriter writer{};
    writer.sink = &sink;
    writer.info.client_data = &writer;
    writer.info.err = &writer.errors.pub;
    InstallErrors(writer.errors, err::kFileWrite);
    const ImageError result = WriteJpeg(writer, rgb, width, height, op);
    jpeg_destroy_compress(&writer.info);
    return result;
}

}  // namespace orbelune
