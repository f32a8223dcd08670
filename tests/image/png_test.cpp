#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "image/codec_test_helpers.h"
#include "image/image_io.h"

namespace orbelune {
namespace {

using test::TestDataPath;

std::vector<std::uint8_t> Fixture(const std::string& name) {
    return test::ReadFileBytes(TestDataPath("png/" + name));
}

// Stores a big-endian value and recomputes the IHDR CRC, so only the field is wrong.
void PatchHeader(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value,
                 int size = 4) {
    for (int i = 0; i < size; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * (size - 1 - i)));
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 12; i < 29; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    crc = ~crc;
    for (int i = 0; i < 4; ++i)
        bytes[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
}

TEST(PngDecode, MatchesTheReferenceDecoderForEveryLayout) {
    // Alpha and tRNS are dropped without compositing.
    for (const std::string name :
         {"palette", "palette_trns", "grey", "grey4", "grey_alpha", "rgba", "interlaced"}) {
        SCOPED_TRACE(name);
        RgbImage image;
        ASSERT_EQ(DecodeImageBytes(Fixture(name + ".png"), ImageFormat::Png, image), err::kNone);
        test::ExpectSamePixels(image, test::ReadPpm(TestDataPath("png/" + name + ".ppm")));
    }
    // 16-bit samples are rounded (the reference truncates, so it may be one
    // lower): the first pixel, stored as 12417, 34400, 26343, becomes x / 257.
    RgbImage image;
    ASSERT_EQ(DecodeImageBytes(Fixture("rgb16.png"), ImageFormat::Png, image), err::kNone);
    test::ExpectSamePixels(image, test::ReadPpm(TestDataPath("png/rgb16.ppm")), 1);
    EXPECT_EQ(std::vector<int>(image.data(), image.data() + 3), (std::vector<int>{48, 134, 103}));
}

TEST(PngDecode, DamagedFilesFailQuietlyWithAnEmptyImage) {
    const auto good = Fixture("rgba.png");
    const std::string type = "IDAT";
    const auto idat =
        std::search(good.begin(), good.end(), type.begin(), type.end()) - good.begin();
    ASSERT_LT(idat + 20, static_cast<long>(good.size()));
    auto badCrc = good;
    badCrc[idat + 10] ^= 0x40;  // data changed, CRC left as it was
    auto badColour = good;
    PatchHeader(badColour, 25, 5, 1);  // no such colour type
    auto huge = good;
    PatchHeader(huge, 16, 100000);
    PatchHeader(huge, 20, 100000);
    auto zeroWidth = good;
    PatchHeader(zeroWidth, 16, 0);

    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
        ImageError expected;
    } cases[] = {
        {"empty", {}, err::kBadPng},
        {"signature only", {good.begin(), good.begin() + 8}, err::kBadPng},
        {"truncated in the pixels", {good.begin(), good.begin() + idat + 30}, err::kBadPng},
        {"IDAT CRC", badCrc, err::kBadPng},
        {"colour type", badColour, err::kBadPng},
        {"zero width", zeroWidth, err::kBadPng},
        {"absurd size", huge, err::kNoMemory},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RgbImage image;
        ASSERT_EQ(image.AllocatePixels(2, 2), err::kNone);
        testing::internal::CaptureStderr();
        EXPECT_EQ(DecodeImageBytes(c.bytes, ImageFormat::Png, image), c.expected);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_TRUE(image.empty());
    }
}

}  // namespace
}  // namespace orbelune
