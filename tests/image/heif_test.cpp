// HEIC made with heif-enc, compared with what heif-convert decodes from it.
#include <gtest/gtest.h>

#include <string>

#include "image/codec_test_helpers.h"
#include "image/codecs/codec.h"
#include "image/file_io.h"
#include "image/image_io.h"

namespace orbelune {
namespace {

class HeifTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::HaveTools({"heif-enc", "heif-convert", "convert"}))
            GTEST_SKIP() << "heif-enc, heif-convert and ImageMagick's convert are needed";
        ASSERT_TRUE(folder_.valid());
    }
    std::string Path(const std::string& name) const { return folder_.path() + "/" + name; }
    // A HEIC of a noise picture of the given size (odd sizes test chroma edges).
    std::string MakeHeic(const std::string& name, int width, int height, const char* options) {
        const std::string ppm = Path(name + ".ppm");
        test::WritePpm(ppm, test::NoiseImage(width, height, 11));
        const std::string png = Path(name + ".png");
        const std::string heic = Path(name + ".heic");
        EXPECT_TRUE(test::RunTool("convert '" + ppm + "' '" + png + "'"));
        EXPECT_TRUE(
            test::RunTool("heif-enc " + std::string(options) + " '" + png + "' -o '" + heic + "'"));
        return heic;
    }
    RgbImage Reference(const std::string& heic) {
        const std::string png = heic + ".ref.png";
        if (!test::RunTool("heif-convert '" + heic + "' '" + png + "'")) return {};
        if (!test::RunTool("convert '" + png + "' -alpha off -depth 8 ppm:'" + heic + ".ref.ppm'"))
            return {};
        return test::ReadPpm(heic + ".ref.ppm");
    }
    TempFolder folder_;
};

TEST_F(HeifTest, LossyAndOddSizedPicturesMatchHeifConvert) {
    for (const auto& [width, height, options] :
         {std::tuple{48, 32, "-q 80"}, std::tuple{37, 21, "-q 50"},
          std::tuple{20, 30, "-q 90 -p chroma=444"}}) {
        SCOPED_TRACE(width);
        const std::string heic = MakeHeic("p" + std::to_string(width), width, height, options);
        RgbImage image;
        ASSERT_EQ(image.LoadImageFile(heic), err::kNone);
        test::ExpectSamePixels(image, Reference(heic));
        ImageSize size;
        ImageFormat format{};
        ASSERT_EQ(ProbeImageFile(heic, size, format), err::kNone);
        EXPECT_EQ(format, ImageFormat::Heif);
        EXPECT_EQ(size.width, width);
        EXPECT_EQ(size.height, height);
    }
}

TEST_F(HeifTest, ExifOrientationBesideThePixelsIsNotAppliedOnTopOfHeifsOwn) {
    // heif-enc keeps a JPEG's EXIF block (orientation 6 here) but writes no
    // rotation property: in HEIF the properties decide, so the picture stays
    // as heif-convert shows it rather than being turned a second time.
    if (!test::HaveTools({"exiftool"})) GTEST_SKIP() << "exiftool is needed";
    const std::string ppm = Path("exif.ppm");
    test::WritePpm(ppm, test::NoiseImage(40, 24, 2));
    const std::string jpg = Path("exif.jpg");
    const std::string heic = Path("exif.heic");
    ASSERT_TRUE(test::RunTool("convert '" + ppm + "' '" + jpg + "'"));
    ASSERT_TRUE(test::RunTool("exiftool -q -n -overwrite_original -Orientation=6 '" + jpg + "'"));
    ASSERT_TRUE(test::RunTool("heif-enc -q 80 '" + jpg + "' -o '" + heic + "'"));
    RgbImage image;
    ASSERT_EQ(image.LoadImageFile(heic), err::kNone);
    test::ExpectSamePixels(image, Reference(heic));
    EXPECT_EQ(image.width(), 40);
}

TEST_F(HeifTest, DamagedFileFailsWithItsOwnCodeAndAnEmptyImage) {
    const std::string heic = MakeHeic("d", 48, 32, "-q 80");
    std::vector<std::uint8_t> bytes = test::ReadFileBytes(heic);
    ASSERT_GT(bytes.size(), 100u);
    RgbImage image;
    ImageOperation op;
    EXPECT_EQ(DecodeHeif(ByteSpan(bytes).first(bytes.size() / 2), image, op), err::kBadHeif);
    EXPECT_TRUE(image.empty());
    // Found by fuzzing: a file whose pictures are far larger than the size it
    // declares made libheif allocate gigabytes; now refused within the limits.
    const std::vector<std::uint8_t> oversized =
        test::ReadFileBytes(test::TestDataPath("heif/oversized_plane.heic"));
    ASSERT_FALSE(oversized.empty());
    EXPECT_NE(DecodeHeif(oversized, image, op), err::kNone);
    EXPECT_TRUE(image.empty());
    // Over the layer's limits before any pixel is decoded.
    SetImagePixelLimit(100);
    EXPECT_EQ(DecodeHeif(bytes, image, op), err::kNoMemory);
    SetImagePixelLimit(0);
    EXPECT_TRUE(image.empty());
}

}  // namespace
}  // namespace orbelune
