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
    EXPECT_EQ(ImageErrorText(37), "Error #37!");
    EXPECT_EQ(ImageErrorText(err::kNoDecoder), "Error #4294967295!");
}

}  // namespace
}  // namespace orbelune
