// HEIC/HEIF stills through libheif: the primary image, turned and mirrored as
// its rotation and mirror properties say (those are the orientation in HEIF;
// an EXIF orientation beside them only repeats it and is not applied again),
// reduced to 8-bit RGB. libheif reports through its error values and prints
// nothing; C++ exceptions from inside it are caught here.
#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include "image/codecs/codec.h"

namespace orbelune {

namespace {

void InitLibheifOnce() {
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

ImageError ToImageError(const heif_error& error) {
    switch (error.code) {
        case heif_error_Ok:
            return err::kNone;
        case heif_error_Memory_allocation_error:
            return err::kNoMemory;
        case heif_error_Unsupported_feature:
        case heif_error_Unsupported_filetype:
            return err::kHeifUnsupported;
        default:
            return error.subcode == heif_suberror_End_of_data ? err::kFileRead : err::kBadHeif;
    }
}

struct ContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

struct OpenedHeif {
    std::unique_ptr<heif_context, ContextDeleter> context;
    std::unique_ptr<heif_image_handle, HandleDeleter> handle;
    int width = 0;  // upright, as decoded
    int height = 0;
};

// Reads the boxes (no pixels) and finds the primary image; `data` must outlive it.
ImageError Open(ByteSpan data, OpenedHeif& heif) {
    InitLibheifOnce();
    heif.context.reset(heif_context_alloc());
    if (!heif.context) return err::kNoMemory;
    heif_context_set_maximum_image_size_limit(heif.context.get(), kMaxImageSide);
    if (ImageError e = ToImageError(heif_context_read_from_memory_without_copy(
            heif.context.get(), data.data(), data.size(), nullptr)))
        return e;
    heif_image_handle* handle = nullptr;
    if (ImageError e =
            ToImageError(heif_context_get_primary_image_handle(heif.context.get(), &handle)))
        return e == err::kFileRead ? err::kBadHeif : e;
    heif.handle.reset(handle);
    heif.width = heif_image_handle_get_width(handle);
    heif.height = heif_image_handle_get_height(handle);
    if (ImageError e = CheckImageSize(heif.width, heif.height)) return e;
    // A grid or a coded picture larger than the size the file declares would
    // make libheif allocate for it; its limit, checked while decoding, keeps
    // every plane near the declared size (coded pictures are padded to whole
    // 64-pixel blocks, so one block more is allowed).
    const int side = std::max(heif.width, heif.height);
    heif_context_set_maximum_image_size_limit(heif.context.get(),
                                              std::min(kMaxImageSide, (side + 63) / 64 * 64 + 65));
    return err::kNone;
}

ImageError Decode(ByteSpan data, RgbImage& out, const ImageOperation& op) {
    OpenedHeif heif;
    if (ImageError e = Open(data, heif)) return e == err::kFileRead ? err::kBadHeif : e;
    std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
    if (!options) return err::kNoMemory;
    options->ignore_transformations = 0;
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    if (ImageError e =
            ToImageError(heif_decode_image(heif.handle.get(), &decoded, heif_colorspace_RGB,
                                           heif_chroma_interleaved_RGB, options.get())))
        return e == err::kFileRead ? err::kBadHeif : e;
    std::unique_ptr<heif_image, ImageDeleter> image(decoded);
    const int width = heif_image_get_width(decoded, heif_channel_interleaved);
    const int height = heif_image_get_height(decoded, heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    if (plane == nullptr || width <= 0 || height <= 0 ||
        heif_image_get_bits_per_pixel_range(decoded, heif_channel_interleaved) != 8 ||
        stride < width * 3)
        return err::kBadHeif;
    if (ImageError e = CheckImageSize(width, height)) return e;
    if (ImageError e = out.AllocatePixels(width, height)) return e;
    for (int y = 0; y < height; ++y) {
        std::memcpy(out.row(y),
                    plane + static_cast<std::size_t>(stride) * static_cast<std::size_t>(y),
                    out.stride());
        if (!op.Progress(y, height)) return err::kAborted;
    }
    return err::kNone;
}

}  // namespace

ImageError DecodeHeif(ByteSpan data, RgbImage& out, const ImageOperation& op) {
    out.FreePixels();
    ImageError result;
    try {
        result = Decode(data, out, op);
    } catch (const std::bad_alloc&) {
        result = err::kNoMemory;
    } catch (...) {
        result = err::kBadHeif;
    }
    if (result != err::kNone) out.FreePixels();
    return result;
}

ImageError ProbeHeif(ByteSpan data, ImageSize& size) {
    try {
        OpenedHeif heif;
        if (ImageError e = Open(data, heif)) return e;
        size = {heif.width, heif.height};
        return err::kNone;
    } catch (const std::bad_alloc&) {
        return err::kNoMemory;
    } catch (...) {
        return err::kBadHeif;
    }
}

}  // namespace orbelune
