// Camera raw: a small Bayer DNG made here with libtiff, developed by us and by
// LibRaw's own dcraw_emu with the same settings (camera white balance, sRGB,
// 8 bits), which must agree exactly.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <string>
#include <vector>

#include "image/codec_test_helpers.h"
#include "image/codecs/codec.h"
#include "image/file_io.h"
#include "image/image_io.h"

namespace orbelune {
namespace {

// A 12-bit RGGB DNG with smooth, different ramps in each colour.
bool WriteDng(const std::string& path, int width, int height, std::uint16_t orientation) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (tif == nullptr) return false;
    const std::uint8_t version[4] = {1, 4, 0, 0};
    const std::uint16_t repeat[2] = {2, 2};
    const std::uint8_t pattern[4] = {0, 1, 1, 2};
    const float colorMatrix[9] = {0.8f, -0.2f, -0.1f, -0.3f, 1.2f, 0.1f, -0.05f, 0.2f, 0.7f};
    const float neutral[3] = {0.5f, 1.0f, 0.7f};
    const std::uint32_t white[1] = {4095};
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, orientation);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
    TIFFSetField(tif, TIFFTAG_MAKE, "Test");
    TIFFSetField(tif, TIFFTAG_MODEL, "Bayer 12");
    TIFFSetField(tif, TIFFTAG_DNGVERSION, version);
    TIFFSetField(tif, TIFFTAG_DNGBACKWARDVERSION, version);
    TIFFSetField(tif, TIFFTAG_UNIQUECAMERAMODEL, "Test Bayer 12");
    TIFFSetField(tif, TIFFTAG_CFAREPEATPATTERNDIM, repeat);
    TIFFSetField(tif, TIFFTAG_CFAPATTERN, 4, pattern);
    TIFFSetField(tif, TIFFTAG_COLORMATRIX1, 9, colorMatrix);
    TIFFSetField(tif, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
    TIFFSetField(tif, TIFFTAG_CALIBRATIONILLUMINANT1, 21);
    TIFFSetField(tif, TIFFTAG_WHITELEVEL, 1, white);
    std::vector<std::uint16_t> row(static_cast<std::size_t>(width));
    bool ok = true;
    for (int y = 0; y < height && ok; ++y) {
        for (int x = 0; x < width; ++x) {
            const int colour = (y % 2) * 2 + (x % 2);  // 0 R, 1 and 2 G, 3 B
            const int value = colour == 0   ? 300 + x * 40
                              : colour == 3 ? 200 + y * 50
                                            : 600 + (x + y) * 20;
            row[static_cast<std::size_t>(x)] = static_cast<std::uint16_t>(std::min(value, 4095));
        }
        // A bright corner block makes the orientation visible.
        if (y < 6)
            for (int x = 0; x < 8; ++x)
                row[static_cast<std::size_t>(x)] = 3800;
        ok = TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0) == 1;
    }
    TIFFClose(tif);
    return ok;
}

class RawTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::HaveTools({"dcraw_emu"})) GTEST_SKIP() << "LibRaw's dcraw_emu is needed";
        ASSERT_TRUE(folder_.valid());
    }
    std::string Path(const std::string& name) const { return folder_.path() + "/" + name; }
    TempFolder folder_;
};

TEST_F(RawTest, DngDevelopsAsDcrawEmuDevelopsItUprightAndProbesItsSize) {
    for (const std::uint16_t orientation : {ORIENTATION_TOPLEFT, ORIENTATION_RIGHTTOP}) {
        SCOPED_TRACE(orientation);
        const std::string dng = Path("bayer" + std::to_string(orientation) + ".dng");
        ASSERT_TRUE(WriteDng(dng, 64, 48, orientation));
        // -w camera white balance; sRGB and 8 bits are its defaults.
        ASSERT_TRUE(test::RunTool("dcraw_emu -w '" + dng + "'"));
        const RgbImage expected = test::ReadPpm(dng + ".ppm");
        ASSERT_FALSE(expected.empty());
        RgbImage image;
        ASSERT_EQ(image.LoadImageFile(dng), err::kNone);
        test::ExpectSamePixels(image, expected);
        const bool turned = orientation == ORIENTATION_RIGHTTOP;
        EXPECT_EQ(image.width(), turned ? 48 : 64);
        ImageSize size;
        ImageFormat format{};
        ASSERT_EQ(ProbeImageFile(dng, size, format), err::kNone);
        EXPECT_EQ(format, ImageFormat::Raw);  // TIFF inside, raw by name
        EXPECT_EQ(size.width, image.width());
        EXPECT_EQ(size.height, image.height());
    }
}

TEST_F(RawTest, UnreadableRawGivesItsOwnCodeNotACrash) {
    const std::string dng = Path("cut.dng");
    ASSERT_TRUE(WriteDng(dng, 64, 48, ORIENTATION_TOPLEFT));
    std::vector<std::uint8_t> bytes = test::ReadFileBytes(dng);
    RgbImage image;
    ImageOperation op;
    // Pixels cut away, then a file that is no raw at all.
    const ImageError cut = DecodeRaw(ByteSpan(bytes).first(bytes.size() / 3), image, op);
    EXPECT_TRUE(cut == err::kBadRaw || cut == err::kRawUnsupported) << cut;
    EXPECT_TRUE(image.empty());
    const std::vector<std::uint8_t> text(4096, 'x');
    EXPECT_EQ(DecodeRaw(text, image, op), err::kRawUnsupported);
    EXPECT_TRUE(image.empty());
    SetImagePixelLimit(1000);
    EXPECT_EQ(DecodeRaw(bytes, image, op), err::kNoMemory);
    SetImagePixelLimit(0);
    EXPECT_TRUE(image.empty());
}

}  // namespace
}  // namespace orbelune
