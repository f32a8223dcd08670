// Feeds arbitrary bytes to one codec's decoder and size probe; the codec is
// named by its id in the format table at compile time (FUZZ_CODEC).
#include <cstddef>
#include <cstdint>

#include "image/codecs/codec.h"
#include "image/image_io.h"
#include "image/image_layer.h"
#include "image/rgb_image.h"

namespace {

const orbelune::Codec* codec = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Keeps every accepted picture well inside the fuzzer's memory limit.
    orbelune::SetImagePixelLimit(std::int64_t{16} << 20);
    codec = orbelune::FindCodecById(FUZZ_CODEC);
    if (codec == nullptr || codec->decode == nullptr) __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orbelune::RgbImage image;
    const orbelune::ImageError result =
        orbelune::DecodeImageBytes({data, size}, codec->format, image);
    // A decoder either fails with an empty image or delivers a full, readable block.
    if (result == orbelune::err::kNone) {
        if (image.empty() || image.width() <= 0 || image.height() <= 0) __builtin_trap();
        volatile std::uint8_t sink = 0;
        sink = sink + image.data()[image.byteCount() - 1];
    } else if (!image.empty()) {
        __builtin_trap();
    }
    if (codec->probe != nullptr) {
        orbelune::ImageSize probed;
        if (codec->probe({data, size}, probed) == orbelune::err::kNone &&
            (probed.width <= 0 || probed.height <= 0))
            __builtin_trap();
    }
    return 0;
}
