#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/image_error.h"
#include "image/image_format.h"

namespace orbelune {
namespace {

std::vector<std::uint8_t> Header(std::initializer_list<std::uint8_t> start, std::size_t size = 44) {
    std::vector<std::uint8_t> bytes(size, 0x20);
    std::copy(start.begin(), start.end(), bytes.begin());
    return bytes;
}

TEST(FormatDetection, SignaturesInTableOrder) {
    EXPECT_EQ(DetectFormatCode(Header({'B', 'M'})), 1);
    EXPECT_EQ(DetectFormatCode(Header({'G', 'I', 'F', '8', '9', 'a'})), 2);
    EXPECT_EQ(DetectFormatCode(Header({0xFF, 0xD8, 0xFF, 0xE1})), 3);
    EXPECT_EQ(DetectFormatCode(Header({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})), 4);
    EXPECT_EQ(DetectFormatCode(Header({0x0A, 0x05})), 5);
    EXPECT_EQ(DetectFormatCode(Header({0x0A, 0x01})), 0);
    EXPECT_EQ(DetectFormatCode(Header({'I', 'I', 42, 0})), 6);
    EXPECT_EQ(DetectFormatCode(Header({0xD7, 0xCD, 0xC6, 0x9A})), 7);
    auto emf = Header({1, 0, 0, 0});
    emf[40] = ' ', emf[41] = 'E', emf[42] = 'M', emf[43] = 'F';
    EXPECT_EQ(DetectFormatCode(emf), 8);
    // The newer formats: raw with a signature of its own before TIFF's.
    EXPECT_EQ(DetectFormatCode(Header({'I', 'I', 42, 0, 16, 0, 0, 0, 'C', 'R', 2, 0})), 9);
    EXPECT_EQ(DetectFormatCode(Header({'I', 'I', 'U', 0})), 9);
    EXPECT_EQ(DetectFormatCode(Header({0, 0, 0, 24, 'f', 't', 'y', 'p', 'c', 'r', 'x', ' '})), 9);
    EXPECT_EQ(DetectFormatCode(Header({0, 0, 0, 24, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c'})), 10);
    EXPECT_EQ(DetectFormatCode(Header({0, 0, 0, 24, 'f', 't', 'y', 'p', 'a', 'v', 'i', 'f'})), 0);
    EXPECT_EQ(DetectFormatCode(Header({'R', 'I', 'F', 'F', 1, 0, 0, 0, 'W', 'E', 'B', 'P'})), 11);
    EXPECT_EQ(DetectFormatCode(Header({'R', 'I', 'F', 'F', 1, 0, 0, 0, 'W', 'A', 'V', 'E'})), 0);
    EXPECT_EQ(DetectFormatCode(Header({'P', '5', '\n'})), 12);
    EXPECT_EQ(DetectFormatCode(Header({'P', '8', '\n'})), 0);
    // Fewer than 44 bytes are never recognised.
    EXPECT_EQ(DetectFormatCode(Header({'B', 'M'}, 43)), 0);
    EXPECT_EQ(FormatFromDetectionCode(2), ImageFormat::Unknown);
    EXPECT_EQ(FormatFromDetectionCode(6), ImageFormat::Tiff);
}

TEST(FormatFromExtension, CaseBlanksAndUnknowns) {
    EXPECT_EQ(FormatFromExtension("photo.JpEg"), ImageFormat::Jpeg);
    EXPECT_EQ(FormatFromExtension("dir.v2/photo.tif  "), ImageFormat::Tiff);
    EXPECT_EQ(FormatFromExtension("movie.mov"), ImageFormat::Mov);
    EXPECT_EQ(FormatFromExtension("noextension"), ImageFormat::Unknown);
    EXPECT_EQ(FormatFromExtension("archive.tar.gz"), ImageFormat::Unknown);
    EXPECT_EQ(FormatFromExtension("a.tga"), ImageFormat::Tga);
}

TEST(ImageErrorText, TableAndFallback) {
    EXPECT_EQ(ImageErrorText(0), "no err");
    EXPECT_EQ(ImageErrorText(6), "bad BMP file");
    EXPECT_EQ(ImageErrorText(36), "LZW de/compression is not permitted");
    EXPECT_EQ(ImageErrorText(8), "Error #8!");
    EXPECT_EQ(ImageErrorText(37), "bad HEIF file");
    EXPECT_EQ(ImageErrorText(43), "Error #43!");
    // The loader's "no decoder" is never shown as a number.
    EXPECT_EQ(ImageErrorText(err::kNoDecoder), "not a format this program reads");
}

}  // namespace
}  // namespace orbelune
