#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <jpeglib.h>

#include "platform/quicktime/tile_codecs.h"

namespace orbelune::qt::detail {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}
void Silent(j_common_ptr) {}

// The C-style part: no C++ objects with destructors live across setjmp.
bool Encode(const RgbImage* image, int jpegQuality, bool fullChroma, unsigned char** buffer,
            unsigned long* size) {
    jpeg_compress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    errors.base.output_message = Silent;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, buffer, size);
    info.image_width = static_cast<JDIMENSION>(image->width());
    info.image_height = static_cast<JDIMENSION>(image->height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, jpegQuality, TRUE);
    if (fullChroma) {
        info.comp_info[0].h_samp_factor = 1;
        info.comp_info[0].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image->row(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

int JpegQualityFor(CodecQ quality) {
    // Knots of a piecewise linear map onto libjpeg's 1..100 scale.
    static constexpr int kFrom[] = {0, 256, 512, 768, 1023};
    static constexpr int kTo[] = {25, 50, 75, 90, 100};
    if (quality <= 0) return kTo[0];
    if (quality >= 1023) return 100;
    for (int i = 1; i < 5; ++i) {
        if (quality <= kFrom[i]) {
            return kTo[i - 1] +
                   (kTo[i] - kTo[i - 1]) * (quality - kFrom[i - 1]) / (kFrom[i] - kFrom[i - 1]);
        }
    }
    return 100;
}

OSErr EncodeBaselineJpeg(const RgbImage& image, CodecQ quality, std::vector<std::uint8_t>& out) {
    if (image.empty()) return oserr::kParamErr;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = Encode(&image, JpegQualityFor(quality), quality >= 1023, &buffer, &size);
    OSErr result = ok ? oserr::kNoErr : oserr::kCodecErr;
    if (ok) {
        try {
            out.assign(buffer, buffer + size);
        } catch (const std::bad_alloc&) {
            result = oserr::kMemFullErr;
        }
    }
    std::free(buffer);
    return result;
}

}  // namespace orbelune::qt::detail
