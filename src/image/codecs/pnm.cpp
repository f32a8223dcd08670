// Netpbm pictures, read by our own code: PBM, PGM and PPM in their plain (P1 to
// P3) and binary (P4 to P6) forms and PAM (P7), 1 to 16 bits per sample. Only
// the first picture of a file is read; alpha is dropped.
#include <cstring>
#include <string_view>

#include "image/codecs/codec.h"

namespace orbelune {

namespace {

struct PnmHeader {
    char kind = 0;  // '1' to '7'
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t depth = 0;  // samples per pixel
    std::uint32_t maxval = 0;
    std::size_t dataOffset = 0;
};

bool IsBlank(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

class Cursor {
public:
    explicit Cursor(ByteSpan data, std::size_t at = 0) : data_(data), at_(at) {}

    // Skips blanks and '#' comments (to the end of the line).
    void SkipBlanks() {
        while (at_ < data_.size()) {
            if (IsBlank(data_[at_])) {
                ++at_;
            } else if (data_[at_] == '#') {
                while (at_ < data_.size() && data_[at_] != '\n' && data_[at_] != '\r')
                    ++at_;
            } else {
                break;
            }
        }
    }
    // A decimal number after blanks; false at the end or on anything else.
    // `maxDigits` 1 reads one digit only (plain PBM needs no blank between bits).
    bool Number(std::uint32_t& value, int maxDigits = 10) {
        SkipBlanks();
        std::uint64_t result = 0;
        int digits = 0;
        while (at_ < data_.size() && digits < maxDigits && data_[at_] >= '0' && data_[at_] <= '9') {
            result = result * 10 + (data_[at_] - '0');
            if (result > 0xFFFFFFFFu) return false;
            ++at_;
            ++digits;
        }
        value = static_cast<std::uint32_t>(result);
        return digits > 0;
    }
    // A word of PAM's header (up to a blank).
    std::string_view Word() {
        SkipBlanks();
        const std::size_t start = at_;
        while (at_ < data_.size() && !IsBlank(data_[at_]))
            ++at_;
        return {reinterpret_cast<const char*>(data_.data()) + start, at_ - start};
    }
    void SkipLine() {
        while (at_ < data_.size() && data_[at_] != '\n')
            ++at_;
        if (at_ < data_.size()) ++at_;
    }
    bool AtEnd() const { return at_ >= data_.size(); }
    std::uint8_t Peek() const { return data_[at_]; }
    void Advance() { ++at_; }
    std::size_t position() const { return at_; }

private:
    ByteSpan data_;
    std::size_t at_;
};

// kFileRead when the header is cut short, kBadPnm when it is malformed.
ImageError ReadPamHeader(Cursor& cursor, PnmHeader& header) {
    bool sawWidth = false, sawHeight = false, sawDepth = false, sawMaxval = false;
    for (int lines = 0; lines < 1000; ++lines) {
        const std::string_view word = cursor.Word();
        if (word.empty()) return err::kFileRead;
        if (word == "ENDHDR") {
            cursor.SkipLine();
            if (!sawWidth || !sawHeight || !sawDepth || !sawMaxval) return err::kBadPnm;
            header.dataOffset = cursor.position();
            return err::kNone;
        }
        if (word == "TUPLTYPE") {
            cursor.SkipLine();
            continue;
        }
        std::uint32_t value = 0;
        bool* seen = nullptr;
        std::uint32_t* field = nullptr;
        if (word == "WIDTH") seen = &sawWidth, field = &header.width;
        if (word == "HEIGHT") seen = &sawHeight, field = &header.height;
        if (word == "DEPTH") seen = &sawDepth, field = &header.depth;
        if (word == "MAXVAL") seen = &sawMaxval, field = &header.maxval;
        if (field == nullptr) return err::kBadPnm;
        if (!cursor.Number(value)) return cursor.AtEnd() ? err::kFileRead : err::kBadPnm;
        *field = value;
        *seen = true;
    }
    return err::kBadPnm;
}

ImageError ReadHeader(ByteSpan data, PnmHeader& header) {
    if (data.size() < 3) return data.empty() || data[0] == 'P' ? err::kFileRead : err::kBadPnm;
    if (data[0] != 'P' || data[1] < '1' || data[1] > '7' || !IsBlank(data[2])) return err::kBadPnm;
    header.kind = static_cast<char>(data[1]);
    Cursor cursor(data, 2);
    if (header.kind == '7') {
        if (ImageError e = ReadPamHeader(cursor, header)) return e;
    } else {
        const bool bitmap = header.kind == '1' || header.kind == '4';
        header.depth = header.kind == '3' || header.kind == '6' ? 3 : 1;
        if (!cursor.Number(header.width) || !cursor.Number(header.height))
            return cursor.AtEnd() ? err::kFileRead : err::kBadPnm;
        if (bitmap) {
            header.maxval = 1;
        } else if (!cursor.Number(header.maxval)) {
            return cursor.AtEnd() ? err::kFileRead : err::kBadPnm;
        }
        // One blank ends the header of the binary forms; the pixels follow.
        if (cursor.AtEnd()) return err::kFileRead;
        if (!IsBlank(cursor.Peek())) return err::kBadPnm;
        cursor.Advance();
        header.dataOffset = cursor.position();
    }
    if (header.width == 0 || header.height == 0 || header.maxval == 0 || header.maxval > 65535 ||
        header.depth == 0 || header.depth > 4)
        return err::kBadPnm;
    return err::kNone;
}

// Scales a sample of 0..maxval to 0..255, rounded; values over maxval count as maxval.
class SampleScale {
public:
    explicit SampleScale(std::uint32_t maxval) : maxval_(maxval) {}
    std::uint8_t operator()(std::uint32_t value) const {
        if (value >= maxval_) return 255;
        return static_cast<std::uint8_t>((value * 255u + maxval_ / 2) / maxval_);
    }

private:
    std::uint32_t maxval_;
};

// Puts the first three (grey: the first) of `depth` samples into an RGB pixel.
void StorePixel(std::uint8_t* to, const std::uint8_t* samples, std::uint32_t depth) {
    if (depth >= 3) {
        to[0] = samples[0], to[1] = samples[1], to[2] = samples[2];
    } else {
        to[0] = to[1] = to[2] = samples[0];
    }
}

ImageError DecodeBody(ByteSpan data, const PnmHeader& header, RgbImage& out,
                      const ImageOperation& op) {
    const int width = static_cast<int>(header.width);
    const int height = static_cast<int>(header.height);
    const std::uint32_t depth = header.depth;
    const SampleScale scale(header.maxval);
    const bool plain = header.kind >= '1' && header.kind <= '3';
    const bool bitmap = header.kind == '1' || header.kind == '4';
    const std::size_t sampleBytes = header.maxval > 255 ? 2 : 1;
    const std::size_t samplesPerRow = static_cast<std::size_t>(width) * depth;
    const std::size_t rowBytes = header.kind == '4' ? (static_cast<std::size_t>(width) + 7) / 8
                                                    : samplesPerRow * sampleBytes;
    const std::size_t available = data.size() - header.dataOffset;
    // Refused before allocating: each plain sample takes a byte at least.
    const std::size_t needed = plain ? samplesPerRow * static_cast<std::size_t>(height)
                                     : rowBytes * static_cast<std::size_t>(height);
    if (needed / static_cast<std::size_t>(height) != (plain ? samplesPerRow : rowBytes) ||
        available < needed)
        return err::kBadPnm;
    if (ImageError e = out.AllocatePixels(width, height)) return e;

    Cursor cursor(data, header.dataOffset);
    const std::uint8_t* binary = data.data() + header.dataOffset;
    std::uint8_t samples[4] = {};
    for (int y = 0; y < height; ++y) {
        std::uint8_t* to = out.row(y);
        const std::uint8_t* from = binary + rowBytes * static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x, to += 3) {
            if (header.kind == '4') {
                const bool black = (from[x / 8] >> (7 - x % 8)) & 1;
                to[0] = to[1] = to[2] = black ? 0 : 255;
                continue;
            }
            for (std::uint32_t s = 0; s < depth; ++s) {
                std::uint32_t value = 0;
                if (plain) {
                    if (!cursor.Number(value, bitmap ? 1 : 10)) return err::kBadPnm;
                } else if (sampleBytes == 2) {
                    const std::uint8_t* p = from + (static_cast<std::size_t>(x) * depth + s) * 2;
                    value = std::uint32_t{p[0]} << 8 | p[1];
                } else {
                    value = from[static_cast<std::size_t>(x) * depth + s];
                }
                // In PBM 1 is black; everywhere else larger is brighter.
                samples[s] = bitmap ? (value != 0 ? 0 : 255) : scale(value);
            }
            StorePixel(to, samples, depth);
        }
        if (!op.Progress(y, height)) return err::kAborted;
    }
    return err::kNone;
}

}  // namespace

ImageError DecodePnm(ByteSpan data, RgbImage& out, const ImageOperation& op) {
    out.FreePixels();
    PnmHeader header;
    ImageError result = ReadHeader(data, header);
    if (result == err::kFileRead) result = err::kBadPnm;  // the whole file is here: cut short
    if (result == err::kNone) result = CheckImageSize(header.width, header.height);
    if (result == err::kNone) result = DecodeBody(data, header, out, op);
    if (result != err::kNone) out.FreePixels();
    return result;
}

ImageError ProbePnm(ByteSpan data, ImageSize& size) {
    PnmHeader header;
    if (ImageError e = ReadHeader(data, header)) return e;
    if (ImageError e = CheckImageSize(header.width, header.height)) return e;
    size = {static_cast<int>(header.width), static_cast<int>(header.height)};
    return err::kNone;
}

}  // namespace orbelune
