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
            if (n <= 0) {
                SetLastSystemError(n < 0 ? errno : ENOSPC);  // a full disk, typically
                return false;
            }
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

namespace {

bool At(ByteSpan header, std::size_t offset, const char* signature) {
    const std::size_t length = std::strlen(signature);
    return header.size() >= offset + length &&
           std::memcmp(header.data() + offset, signature, length) == 0;
}

bool IsBmp(ByteSpan h) {
    return At(h, 0, "BM");
}
bool IsGif(ByteSpan h) {
    return At(h, 0, "GIF89a") || At(h, 0, "GIF87a");
}
bool IsJpeg(ByteSpan h) {
    return At(h, 0, "\xFF\xD8\xFF");
}
bool IsPcx(ByteSpan h) {
    return h.size() >= 2 && h[0] == 0x0A && (h[1] == 0 || h[1] == 2 || h[1] == 3 || h[1] == 5);
}
// Raw formats with a signature of their own; NEF, ARW, DNG, PEF and others are
// plain TIFF files, told apart by their extension (DetectFileFormat).
bool IsRaw(ByteSpan h) {
    return (At(h, 0, "II*") && At(h, 8, "CR")) || (At(h, 4, "ftyp") && At(h, 8, "crx ")) ||
           At(h, 0, "FUJIFILMCCD-RAW") || At(h, 0, "IIRO") || At(h, 0, "IIRS") ||
           At(h, 0, "MMOR") || At(h, 0, "IIU") || At(h, 0, "FOVb") ||
           (h.size() >= 4 && h[0] == 0 && At(h, 1, "MRM"));
}
bool IsTiff(ByteSpan h) {
    return At(h, 0, "MM") || At(h, 0, "II");
}
bool IsPng(ByteSpan h) {
    return At(h, 0, "\x89PNG\r\n\x1A\n");
}
bool IsWmf(ByteSpan h) {
    return (h.size() >= 5 && h[0] == 1 && h[1] == 0 && h[2] == 9 && h[3] == 0 && h[4] == 0) ||
           At(h, 0, "\xD7\xCD\xC6\x9A");
}
bool IsEmf(ByteSpan h) {
    return At(h, 40, " EMF");
}
bool IsHeif(ByteSpan h) {
    if (!At(h, 4, "ftyp")) return false;
    for (const char* brand :
         {"heic", "heix", "hevc", "hevx", "heim", "heis", "hevm", "hevs", "mif1", "msf1"})
        if (At(h, 8, brand)) return true;
    return false;
}
bool IsWebp(ByteSpan h) {
    return At(h, 0, "RIFF") && At(h, 8, "WEBP");
}
bool IsPnm(ByteSpan h) {
    return h.size() >= 3 && h[0] == 'P' && h[1] >= '1' && h[1] <= '7' &&
           (h[2] == ' ' || h[2] == '\t' || h[2] == '\n' || h[2] == '\r');
}

// Detection order first; the file dialogs list the readable formats in this
// order too, so the formats people use most come early where the order is free.
// WMF and EMF are rendered by their own decoders where those are built; without
// one they are recognised and refused.
constexpr std::array<Codec, 14> kCodecs{{
    {ImageFormat::Bmp, "bmp", "BMP", "Windows BMP Files", "bmp", 1, &IsBmp, &DecodeBmp, &EncodeBmp,
     nullptr, &ProbeBmp},
    {ImageFormat::Unknown, "gif", "GIF", "GIF Files", "", 2, &IsGif, nullptr, nullptr, nullptr,
     nullptr},
    {ImageFormat::Jpeg, "jpeg", "JPEG", "JPEG Files", "jpg jpeg", 3, &IsJpeg, &DecodeJpeg,
     &EncodeJpeg, &DecodeJpegFile, &ProbeJpeg},
    {ImageFormat::Pcx, "pcx", "PCX", "PCX Files", "pcx", 5, &IsPcx, &DecodePcx, nullptr, nullptr,
     &ProbePcx},
    {ImageFormat::Raw, "raw", "camera raw", "Camera Raw Files",
     "dng cr2 cr3 nef nrw arw srf sr2 raf orf rw2 rwl pef srw 3fr erf kdc dcr mrw mos iiq x3f", 9,
     &IsRaw, &DecodeRaw, nullptr, nullptr, &ProbeRaw},
    {ImageFormat::Tiff, "tiff", "TIFF", "TIFF Files", "tif tiff", 6, &IsTiff, &DecodeTiff,
     &EncodeTiff, nullptr, &ProbeTiff},
    {ImageFormat::Png, "png", "PNG", "PNG Files", "png", 4, &IsPng, &DecodePng, &EncodePng, nullptr,
     &ProbePng},
    {ImageFormat::Wmf, "wmf", "WMF", "Windows Metafiles", "wmf", 7, &IsWmf, &DecodeWmf, nullptr,
     nullptr, &ProbeWmf},
    {ImageFormat::Emf, "emf", "EMF", "Enhanced Metafiles", "emf", 8, &IsEmf, &DecodeEmf, nullptr,
     nullptr, &ProbeEmf},
    {ImageFormat::Heif, "heif", "HEIF", "HEIF Files", "heic heif hif", 10, &IsHeif, &DecodeHeif,
     nullptr, nullptr, &ProbeHeif},
    {ImageFormat::WebP, "webp", "WebP", "WebP Files", "webp", 11, &IsWebp, &DecodeWebp, nullptr,
     nullptr, &ProbeWebp},
    {ImageFormat::Pnm, "pnm", "PNM", "Netpbm Files", "pbm pgm ppm pnm pam", 12, &IsPnm, &DecodePnm,
     nullptr, nullptr, &ProbePnm},
    {ImageFormat::Tga, "tga", "TGA", "TGA Files", "tga", 0, nullptr, &DecodeTga, nullptr, nullptr,
     &ProbeTga},
    {ImageFormat::Mov, "mov", "MOV", "QuickTime Movies", "mov", 0, nullptr, nullptr, nullptr,
     nullptr, nullptr},
}};

}  // namespace

std::span<const Codec> AllCodecs() {
    return kCodecs;
}

const Codec* FindCodecById(std::string_view id) {
    const auto it = std::find_if(kCodecs.begin(), kCodecs.end(),
                                 [id](const Codec& codec) { return codec.id == id; });
    return it == kCodecs.end() ? nullptr : &*it;
}

const Codec* FindCodec(ImageFormat format) {
    if (format == ImageFormat::Unknown) return nullptr;
    const auto it = std::find_if(kCodecs.begin(), kCodecs.end(),
                                 [format](const Codec& codec) { return codec.format == format; });
    return it == kCodecs.end() ? nullptr : &*it;
}

}  // namespace orbelune
