#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

// Big-endian output for the atom and movie writers.
namespace orbelune::qt::detail {

class ByteWriter {
public:
    void U8(std::uint8_t v) { bytes_.push_back(v); }
    void U16(std::uint16_t v) {
        U8(static_cast<std::uint8_t>(v >> 8));
        U8(static_cast<std::uint8_t>(v));
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v >> 16));
        U16(static_cast<std::uint16_t>(v));
    }
    void I16(std::int16_t v) { U16(static_cast<std::uint16_t>(v)); }
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void Zeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }
    void Bytes(std::span<const std::uint8_t> data) {
        bytes_.insert(bytes_.end(), data.begin(), data.end());
    }
    // A Pascal string: count byte, then the text.
    void PascalString(std::string_view text) {
        U8(static_cast<std::uint8_t>(text.size()));
        for (char c : text)
            U8(static_cast<std::uint8_t>(c));
    }

    // Starts an atom: size placeholder and type; EndAtom patches the size.
    std::size_t BeginAtom(std::uint32_t type) {
        const std::size_t start = bytes_.size();
        U32(0);
        U32(type);
        return start;
    }
    void EndAtom(std::size_t start) {
        PatchU32(start, static_cast<std::uint32_t>(bytes_.size() - start));
    }
    void PatchU32(std::size_t at, std::uint32_t v) {
        bytes_[at] = static_cast<std::uint8_t>(v >> 24);
        bytes_[at + 1] = static_cast<std::uint8_t>(v >> 16);
        bytes_[at + 2] = static_cast<std::uint8_t>(v >> 8);
        bytes_[at + 3] = static_cast<std::uint8_t>(v);
    }

    std::size_t size() const { return bytes_.size(); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

inline std::uint16_t ReadU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t ReadU32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}
inline void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
    PutU16(p, static_cast<std::uint16_t>(v >> 16));
    PutU16(p + 2, static_cast<std::uint16_t>(v));
}

}  // namespace orbelune::qt::detail
