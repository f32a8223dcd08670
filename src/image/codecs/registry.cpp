#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>

#include "image/codecs/codec.h"

namespace orbelune {

bool ByteSink::Write(const void* data, std::size_t size) {
    if (size == 0) return true;
    const std::uint64_t end = position_ + size;
    if (fd_ >= 0) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        std::size_t written = 0;
        while (written < size) {
            const ssize_t n = ::pwrite(fd_, bytes + written, size - written,
                                       static_cast<off_t>(position_ + written));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            written += static_cast<std::size_t>(n);
        }
    } else {
        try {
            if (end > bytes_.size()) bytes_.resize(static_cast<std::size_t>(end));
        } catch (const std::bad_alloc&) {
            return false;
        } catch (const std::length_error&) {
            return false;
        }
        std::memcpy(bytes_.data() + position_, data, size);
    }
    position_ = end;
    size_ = std::max(size_, end);
    return true;
}

bool ByteSink::Seek(std::uint64_t position) {
    position_ = position;
    return true;
}

std::size_t ByteSink::ReadAt(std::uint64_t position, void* out, std::size_t size) const {
    if (position >= size_) return 0;
    const std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - position));
    if (fd_ < 0) {
        std::memcpy(out, bytes_.data() + position, count);
        return count;
    }
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(fd_, static_cast<std::uint8_t*>(out) + got, count - got,
                                  static_cast<off_t>(position + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

void ByteSink::Reserve(std::size_t size) {
    if (fd_ >= 0) return;
    try {
        bytes_.reserve(bytes_.size() + size);
    } catch (const std::exception&) {
        // Only a hint: the block still grows as needed.
    }
}

const Codec* FindCodec(ImageFormat format) {
    // Most common first.
    static constexpr std::array<Codec, 8> kCodecs{{
        {ImageFormat::Jpeg, "JPEG", &DecodeJpeg, &EncodeJpeg, &DecodeJpegFile},
        {ImageFormat::Tiff, "TIFF", &DecodeTiff, &EncodeTiff, nullptr},
        {ImageFormat::Bmp, "BMP", &DecodeBmp, &EncodeBmp, nullptr},
        {ImageFormat::Png, "PNG", &DecodePng, &EncodePng, nullptr},
        {ImageFormat::Tga, "TGA", &DecodeTga, nullptr, nullptr},
        {ImageFormat::Pcx, "PCX", &DecodePcx, nullptr, nullptr},
        {ImageFormat::Wmf, "WMF", &DecodeWmf, nullptr, nullptr},
        {ImageFormat::Emf, "EMF", &DecodeEmf, nullptr, nullptr},
    }};
    const auto it = std::find_if(kCodecs.begin(), kCodecs.end(),
                                 [format](const Codec& codec) { return codec.format == format; });
    return it == kCodecs.end() ? nullptr : &*it;
}

}  // namespace orbelune
