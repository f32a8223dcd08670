#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "image/codecs/codec.h"

namespace orbelune {

bool MemorySink::Write(const void* data, std::size_t size) {
    if (size == 0) return true;
    try {
        const std::uint64_t end = position_ + size;
        if (end > bytes_.size()) bytes_.resize(static_cast<std::size_t>(end));
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    std::memcpy(bytes_.data() + position_, data, size);
    position_ += size;
    return true;
}

bool MemorySink::Seek(std::uint64_t position) {
    position_ = position;
    return true;
}

const Codec* FindCodec(ImageFormat format) {
    // Most common first.
    static constexpr std::array<Codec, 6> kCodecs{{
        {ImageFormat::Jpeg, "JPEG", &DecodeJpeg, &EncodeJpeg},
        {ImageFormat::Tiff, "TIFF", &DecodeTiff, &EncodeTiff},
        {ImageFormat::Bmp, "BMP", &DecodeBmp, &EncodeBmp},
        {ImageFormat::Png, "PNG", &DecodePng, &EncodePng},
        {ImageFormat::Tga, "TGA", &DecodeTga, nullptr},
        {ImageFormat::Pcx, "PCX", &DecodePcx, nullptr},
    }};
    const auto it = std::find_if(kCodecs.begin(), kCodecs.end(),
                                 [format](const Codec& codec) { return codec.format == format; });
    return it == kCodecs.end() ? nullptr : &*it;
}

}  // namespace orbelune
