// WebP through libwebp, lossy and lossless; alpha is dropped without compositing.
// libwebp neither prints nor aborts; it decodes straight into our block.
#include <webp/decode.h>

#include "image/codecs/codec.h"

namespace orbelune {

namespace {

// kFileRead when the header is cut short, kBadWebp when it is not WebP.
ImageError ReadFeatures(ByteSpan data, WebPBitstreamFeatures& features) {
    switch (WebPGetFeatures(data.data(), data.size(), &features)) {
        case VP8_STATUS_OK:
            return err::kNone;
        case VP8_STATUS_NOT_ENOUGH_DATA:
            return err::kFileRead;
        case VP8_STATUS_OUT_OF_MEMORY:
            return err::kNoMemory;
        default:
            return err::kBadWebp;
    }
}

}  // namespace

ImageError DecodeWebp(ByteSpan data, RgbImage& out, const ImageOperation& op) {
    out.FreePixels();
    WebPBitstreamFeatures features;
    if (ImageError e = ReadFeatures(data, features)) return e == err::kFileRead ? err::kBadWebp : e;
    // Animations would decode only as their first frame's bitstream, which
    // the simple decoder refuses; say so instead of showing garbage.
    if (features.has_animation) return err::kBadWebp;
    if (ImageError e = CheckImageSize(features.width, features.height)) return e;
    if (ImageError e = out.AllocatePixels(features.width, features.height)) return e;
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        out.FreePixels();
        return err::kMisc;
    }
    config.output.colorspace = MODE_RGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = out.data();
    config.output.u.RGBA.stride = static_cast<int>(out.stride());
    config.output.u.RGBA.size = out.byteCount();
    config.options.use_threads = 1;
    const VP8StatusCode status = WebPDecode(data.data(), data.size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) {
        out.FreePixels();
        return status == VP8_STATUS_OUT_OF_MEMORY ? err::kNoMemory : err::kBadWebp;
    }
    // One call decodes everything; progress is reported once at the end.
    if (!op.Progress(out.height() - 1, out.height())) {
        out.FreePixels();
        return err::kAborted;
    }
    return err::kNone;
}

ImageError ProbeWebp(ByteSpan data, ImageSize& size) {
    WebPBitstreamFeatures features;
    if (ImageError e = ReadFeatures(data, features)) return e;
    if (ImageError e = CheckImageSize(features.width, features.height)) return e;
    size = {features.width, features.height};
    return err::kNone;
}

}  // namespace orbelune
