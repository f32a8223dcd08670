// Shared helpers for the image tests: fixture files, reference pictures,
// test pictures and byte-level construction of small files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "image/rgb_image.h"

namespace orbelune::test {

// Absolute path of a file under tests/data.
std::string TestDataPath(const std::string& relative);

// The whole file, or an empty vector (and a test failure) when it cannot be read.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

// A binary PPM (P6, maxval 255) as an RgbImage; empty (and a test failure)
// when the file is missing or not such a PPM.
RgbImage ReadPpm(const std::string& path);

// Same size and every channel within `tolerance` of the expected one; the
// message names the first differing pixel.
::testing::AssertionResult SamePixels(const RgbImage& actual, const RgbImage& expected,
                                      int tolerance = 0);

inline void ExpectSamePixels(const RgbImage& actual, const RgbImage& expected, int tolerance = 0) {
    EXPECT_TRUE(SamePixels(actual, expected, tolerance));
}

// An image from a list of pixels given as 0xRRGGBB, row by row.
RgbImage MakeImage(int width, int height, std::initializer_list<std::uint32_t> pixels);

// Random bytes, the same for the same seed.
RgbImage NoiseImage(int width, int height, unsigned seed);

// The pixel bytes, for comparing whole pictures.
std::vector<std::uint8_t> PixelBytes(const RgbImage& image);

// Whether every named program is on PATH (tests of a format against its
// library's own tools skip without them).
bool HaveTools(std::initializer_list<const char*> tools);

// Runs a shell command with its output discarded; a test failure naming the
// command when it does not exit with 0.
bool RunTool(const std::string& command);

// Writes a binary PPM (P6, maxval 255) without going through our codecs.
void WritePpm(const std::string& path, const RgbImage& image);

// Little-endian byte builder for hand-made files.
class Bytes {
public:
    Bytes& U8(unsigned v);
    Bytes& U16(unsigned v);
    Bytes& U32(std::uint32_t v);
    Bytes& Raw(std::initializer_list<std::uint8_t> bytes);
    Bytes& Fill(std::size_t count, std::uint8_t value);
    std::size_t size() const { return bytes_.size(); }
    std::vector<std::uint8_t>& vec() { return bytes_; }
    operator const std::vector<std::uint8_t>&() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace orbelune::test
