// EXIF orientation: each of the eight values against what ImageMagick's
// -auto-orient makes of the same file, for every format that carries one.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "image/codec_test_helpers.h"
#include "image/exif_orientation.h"
#include "image/file_io.h"
#include "image/image_io.h"
#include "image/image_ops.h"
#include "image/rgb_image.h"

namespace orbelune {
namespace {

constexpr std::array<const char*, 9> kOrientNames = {
    "",        "TopLeft",  "TopRight",    "BottomRight", "BottomLeft",
    "LeftTop", "RightTop", "RightBottom", "LeftBottom"};

// 24 x 16, smooth (so that JPEG keeps it well) with an asymmetric mark: a
// white block near the top-left corner and a black bar along the right half
// of the bottom edge.
RgbImage MarkedPicture() {
    RgbImage image;
    EXPECT_EQ(image.AllocatePixels(24, 16), err::kNone);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 24; ++x) {
            std::uint8_t* p = image.row(y) + x * 3;
            p[0] = static_cast<std::uint8_t>(40 + x * 6);
            p[1] = static_cast<std::uint8_t>(60 + y * 8);
            p[2] = 128;
            if (x >= 2 && x < 8 && y >= 2 && y < 6) p[0] = p[1] = p[2] = 255;
            if (x >= 12 && y >= 13) p[0] = p[1] = p[2] = 0;
        }
    }
    return image;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    ASSERT_EQ(WriteFileAtomically(path, bytes.data(), bytes.size()), err::kNone) << path;
}

class OrientationTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::HaveTools({"convert", "exiftool"}))
            GTEST_SKIP() << "ImageMagick's convert and exiftool are needed";
        ASSERT_TRUE(folder_.valid());
        test::WritePpm(Path("base.ppm"), MarkedPicture());
    }
    std::string Path(const std::string& name) const { return folder_.path() + "/" + name; }

    // What ImageMagick shows for `file` turned upright.
    RgbImage Upright(const std::string& file) {
        const std::string out = file + ".upright.ppm";
        if (!test::RunTool("convert '" + file + "' -auto-orient -depth 8 ppm:'" + out + "'"))
            return {};
        return test::ReadPpm(out);
    }

    TempFolder folder_;
};

TEST_F(OrientationTest, EveryValueInJpegTiffPngAndWebpComesOutAsImageMagickTurnsIt) {
    const std::string base = Path("base.ppm");
    ASSERT_TRUE(test::RunTool("convert '" + base + "' '" + Path("base.png") + "'"));
    ASSERT_TRUE(test::RunTool("convert '" + base + "' -quality 100 -sampling-factor 1x1 '" +
                              Path("base.jpg") + "'"));
    const bool haveWebpTools = test::HaveTools({"cwebp", "webpmux"});
    if (haveWebpTools) {
        ASSERT_TRUE(test::RunTool("cwebp -quiet -lossless -exact '" + Path("base.png") + "' -o '" +
                                  Path("base.webp") + "'"));
    }
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const std::string value = std::to_string(orientation);
        // TIFF: its own Orientation tag; lossless, so the reference is exact
        // and also serves PNG (ImageMagick does not read PNG's eXIf).
        const std::string tif = Path("o" + value + ".tif");
        ASSERT_TRUE(test::RunTool("convert '" + base + "' -orient " + kOrientNames[orientation] +
                                  " '" + tif + "'"));
        const RgbImage expected = Upright(tif);
        ASSERT_FALSE(expected.empty());
        if (orientation >= 5) {
            EXPECT_EQ(expected.width(), 16);  // the reference did turn it
        }
        RgbImage image;
        ASSERT_EQ(image.LoadImageFile(tif), err::kNone);
        test::ExpectSamePixels(image, expected);

        const std::string png = Path("o" + value + ".png");
        ASSERT_TRUE(test::RunTool("exiftool -q -n -Orientation=" + value + " -o '" + png + "' '" +
                                  Path("base.png") + "'"));
        ASSERT_EQ(image.LoadImageFile(png), err::kNone);
        test::ExpectSamePixels(image, expected);

        // JPEG: our decoder and ImageMagick's see the same coefficients; only
        // their rounding may differ.
        const std::string jpg = Path("o" + value + ".jpg");
        ASSERT_TRUE(test::RunTool("exiftool -q -n -Orientation=" + value + " -o '" + jpg + "' '" +
                                  Path("base.jpg") + "'"));
        ASSERT_EQ(image.LoadImageFile(jpg), err::kNone);
        test::ExpectSamePixels(image, Upright(jpg), 2);
        test::ExpectSamePixels(image, expected, 12);

        // WebP: EXIF chunk set with webpmux (ImageMagick does not turn WebP).
        if (haveWebpTools) {
            test::Bytes exif;
            exif.Raw({'I', 'I', 42, 0})
                .U32(8)
                .U16(1)
                .U16(274)
                .U16(3)
                .U32(1)
                .U32(orientation)
                .U32(0);
            const std::string exifFile = Path("o" + value + ".exif");
            WriteBytes(exifFile, exif.vec());
            const std::string webp = Path("o" + value + ".webp");
            ASSERT_TRUE(test::RunTool("webpmux -set exif '" + exifFile + "' '" + Path("base.webp") +
                                      "' -o '" + webp + "'"));
            ASSERT_EQ(image.LoadImageFile(webp), err::kNone);
            test::ExpectSamePixels(image, expected);
        }

        // The probe gives the upright size without decoding.
        ImageSize size;
        ImageFormat format{};
        ASSERT_EQ(ProbeImageFile(jpg, size, format), err::kNone);
        EXPECT_EQ(format, ImageFormat::Jpeg);
        EXPECT_EQ(size.width, expected.width());
        EXPECT_EQ(size.height, expected.height());
        ASSERT_EQ(ProbeImageFile(tif, size, format), err::kNone);
        EXPECT_EQ(size.width, expected.width());
    }
}

TEST(ExifOrientation, MalformedOrMissingBlocksMeanUpright) {
    // A JPEG whose APP1 claims more bytes than there are.
    const std::vector<std::uint8_t> cut = {0xFF, 0xD8, 0xFF, 0xE1, 0x40, 0x00, 'E', 'x', 'i', 'f'};
    EXPECT_EQ(ExifOrientation(ImageFormat::Jpeg, cut), 1);
    // A directory whose entry count runs past the end.
    test::Bytes tiff;
    tiff.Raw({'I', 'I', 42, 0}).U32(8).U16(500).U16(274).U16(3).U32(1).U32(6);
    TiffDirectory directory;
    EXPECT_FALSE(ReadTiffDirectory(tiff.vec(), directory));
    // The same with a sound count is read; an out-of-range value is ignored.
    test::Bytes good;
    good.Raw({'I', 'I', 42, 0}).U32(8).U16(1).U16(274).U16(3).U32(1).U32(6).U32(0);
    ASSERT_TRUE(ReadTiffDirectory(good.vec(), directory));
    EXPECT_EQ(directory.orientation, 6);
    test::Bytes big;
    big.Raw({'M', 'M', 0, 42}).Raw({0, 0, 0, 8, 0, 1, 1, 18, 0, 3, 0, 0, 0, 1, 0, 9, 0, 0});
    ASSERT_TRUE(ReadTiffDirectory(big.vec(), directory));
    EXPECT_EQ(directory.orientation, 0);
    // A directory offset far outside the block.
    test::Bytes far;
    far.Raw({'I', 'I', 42, 0}).U32(0xFFFFFFF0u);
    EXPECT_FALSE(ReadTiffDirectory(far.vec(), directory));
}

TEST(ApplyOrientation, KeepsTheImageOnABadValueAndTurnsOneRowPictures) {
    RgbImage image = test::MakeImage(3, 1, {0x010203, 0x040506, 0x070809});
    ASSERT_EQ(ApplyOrientation(image, 9), err::kNone);
    EXPECT_EQ(test::PixelBytes(image),
              test::PixelBytes(test::MakeImage(3, 1, {0x010203, 0x040506, 0x070809})));
    ASSERT_EQ(ApplyOrientation(image, 4), err::kNone);  // one row: upside down is the same
    EXPECT_EQ(image.width(), 3);
    ASSERT_EQ(ApplyOrientation(image, 7), err::kNone);
    EXPECT_EQ(image.width(), 1);
    EXPECT_EQ(image.height(), 3);
    // Transversed: the last pixel of the row comes first.
    EXPECT_EQ(test::PixelBytes(image),
              test::PixelBytes(test::MakeImage(1, 3, {0x070809, 0x040506, 0x010203})));
    RgbImage empty;
    EXPECT_EQ(ApplyOrientation(empty, 6), err::kBadParam);
}

}  // namespace
}  // namespace orbelune
