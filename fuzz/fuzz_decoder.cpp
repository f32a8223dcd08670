// Feeds arbitrary bytes to one decoder; the format is chosen at compile time.
#include <cstddef>
#include <cstdint>

#include "image/image_io.h"
#include "image/image_layer.h"
#include "image/rgb_image.h"

namespace {

constexpr orbelune::ImageFormat kFormat =
#if defined(FUZZ_FORMAT_BMP)
    orbelune::ImageFormat::Bmp;
#elif defined(FUZZ_FORMAT_PCX)
    orbelune::ImageFormat::Pcx;
#elif defined(FUZZ_FORMAT_TGA)
    orbelune::ImageFormat::Tga;
#elif defined(FUZZ_FORMAT_JPEG)
    orbelune::ImageFormat::Jpeg;
#elif defined(FUZZ_FORMAT_PNG)
    orbelune::ImageFormat::Png;
#elif defined(FUZZ_FORMAT_TIFF)
    orbelune::ImageFormat::Tiff;
#elif defined(FUZZ_FORMAT_WMF)
    orbelune::ImageFormat::Wmf;
#elif defined(FUZZ_FORMAT_EMF)
    orbelune::ImageFormat::Emf;
#else
#error "define one FUZZ_FORMAT_*"
#endif

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Keeps every accepted picture well inside the fuzzer's memory limit.
    orbelune::SetImagePixelLimit(std::int64_t{16} << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orbelune::RgbImage image;
    const orbelune::ImageError result = orbelune::DecodeImageBytes({data, size}, kFormat, image);
    // A decoder either fails with an empty image or delivers a full, readable block.
    if (result == orbelune::err::kNone) {
        if (image.empty() || image.width() <= 0 || image.height() <= 0) __builtin_trap();
        volatile std::uint8_t sink = 0;
        sink = sink + image.data()[image.byteCount() - 1];
    } else if (!image.empty()) {
        __builtin_trap();
    }
    return 0;
}
