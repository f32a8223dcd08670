// Camera raw through LibRaw (thread-safe build): the camera's white balance,
// sRGB, 8 bits per sample, full resolution, turned as the camera recorded.
// LibRaw's error callbacks would print, so they are replaced by silent ones;
// its exceptions are caught here.
#include <libraw/libraw.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "image/codecs/codec.h"

namespace orbelune {

namespace {

void IgnoreMemoryError(void*, const char*, const char*) {}
void IgnoreDataError(void*, const char*, const int) {}

ImageError ToImageError(int code) {
    switch (code) {
        case LIBRAW_SUCCESS:
            return err::kNone;
        case LIBRAW_FILE_UNSUPPORTED:
        case LIBRAW_NOT_IMPLEMENTED:
        case LIBRAW_REQUEST_FOR_NONEXISTENT_IMAGE:
            return err::kRawUnsupported;
        case LIBRAW_UNSUFFICIENT_MEMORY:
        case LIBRAW_TOO_BIG:
        case LIBRAW_MEMPOOL_OVERFLOW:
            return err::kNoMemory;
        case LIBRAW_CANCELLED_BY_CALLBACK:
            return err::kAborted;
        default:
            return err::kBadRaw;
    }
}

// Stages LibRaw reports while it develops; shown as steps of the progress.
struct ProgressState {
    const ImageOperation* op;
    int steps;
};

int OnProgress(void* data, LibRaw_progress, int iteration, int expected) {
    auto* state = static_cast<ProgressState*>(data);
    if (expected <= 0 || iteration < 0 || iteration >= expected) return 0;
    ++state->steps;
    // Non-zero cancels the processing.
    return state->op->Progress(state->steps % 64, 64) ? 0 : 1;
}

std::unique_ptr<LibRaw> NewProcessor() {
    std::unique_ptr<LibRaw> raw(new (std::nothrow) LibRaw(LIBRAW_OPIONS_NO_MEMERR_CALLBACK |
                                                          LIBRAW_OPIONS_NO_DATAERR_CALLBACK));
    if (!raw) return raw;
    raw->set_memerror_handler(&IgnoreMemoryError, nullptr);
    raw->set_dataerror_handler(&IgnoreDataError, nullptr);
    libraw_output_params_t& params = raw->imgdata.params;
    params.use_camera_wb = 1;
    params.output_color = 1;  // sRGB
    params.output_bps = 8;
    params.half_size = 0;
    // LibRaw's own cap on one raw buffer, in step with the layer's pixel limit
    // (a raw pixel takes up to 8 bytes while it is unpacked).
    const std::int64_t megabytes = std::max<std::int64_t>(64, ImagePixelLimit() * 8 >> 20);
    params.max_raw_memory_mb = static_cast<unsigned>(std::min<std::int64_t>(megabytes, 1 << 20));
    return raw;
}

// Opens the file and checks both the sensor's and the developed picture's size
// against the limits before anything is unpacked.
ImageError Open(LibRaw& raw, ByteSpan data, ImageSize& size) {
    if (data.empty()) return err::kBadRaw;
    // LibRaw only reads through this pointer.
    void* buffer = const_cast<std::uint8_t*>(data.data());
    if (ImageError e = ToImageError(raw.open_buffer(buffer, data.size()))) return e;
    const libraw_image_sizes_t& sizes = raw.imgdata.sizes;
    if (ImageError e = CheckImageSize(sizes.raw_width, sizes.raw_height)) return e;
    if (ImageError e = ToImageError(raw.adjust_sizes_info_only())) return e;
    if (ImageError e = CheckImageSize(sizes.iwidth, sizes.iheight)) return e;
    size = {sizes.iwidth, sizes.iheight};
    return err::kNone;
}

ImageError Develop(ByteSpan data, RgbImage& out, const ImageOperation& op) {
    std::unique_ptr<LibRaw> raw = NewProcessor();
    if (!raw) return err::kNoMemory;
    ImageSize probed;
    if (ImageError e = Open(*raw, data, probed)) return e;
    // adjust_sizes_info_only leaves the sizes as the developed picture has
    // them; open again so that unpacking starts from the file's own.
    raw->recycle();
    if (ImageError e =
            ToImageError(raw->open_buffer(const_cast<std::uint8_t*>(data.data()), data.size())))
        return e;
    ProgressState progress{&op, 0};
    raw->set_progress_handler(&OnProgress, &progress);
    if (ImageError e = ToImageError(raw->unpack())) return e;
    if (ImageError e = ToImageError(raw->dcraw_process())) return e;
    int width = 0, height = 0, colors = 0, bps = 0;
    raw->get_mem_image_format(&width, &height, &colors, &bps);
    if (bps != 8 || (colors != 3 && colors != 1)) return err::kRawUnsupported;
    if (ImageError e = CheckImageSize(width, height)) return e;
    if (ImageError e = out.AllocatePixels(width, height)) return e;
    if (colors == 3)
        return ToImageError(raw->copy_mem_image(out.data(), static_cast<int>(out.stride()), 0));
    // Monochrome sensors: one sample per pixel, spread over the three channels.
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(width) *
                                   static_cast<std::size_t>(height));
    if (ImageError e = ToImageError(raw->copy_mem_image(grey.data(), width, 0))) return e;
    std::uint8_t* to = out.data();
    for (const std::uint8_t value : grey) {
        to[0] = to[1] = to[2] = value;
        to += 3;
    }
    return err::kNone;
}

}  // namespace

ImageError DecodeRaw(ByteSpan data, RgbImage& out, const ImageOperation& op) {
    out.FreePixels();
    ImageError result;
    try {
        result = Develop(data, out, op);
    } catch (const std::bad_alloc&) {
        result = err::kNoMemory;
    } catch (...) {
        result = err::kBadRaw;
    }
    if (result != err::kNone) out.FreePixels();
    return result;
}

ImageError ProbeRaw(ByteSpan data, ImageSize& size) {
    try {
        std::unique_ptr<LibRaw> raw = NewProcessor();
        if (!raw) return err::kNoMemory;
        return Open(*raw, data, size);
    } catch (const std::bad_alloc&) {
        return err::kNoMemory;
    } catch (...) {
        return err::kBadRaw;
    }
}

}  // namespace orbelune
