// WebP made with cwebp, compared with what dwebp decodes from the same file.
#include <gtest/gtest.h>

#include <string>

#include "image/codec_test_helpers.h"
#include "image/codecs/codec.h"
#include "image/file_io.h"
#include "image/image_io.h"

namespace orbelune {
namespace {

class WebpTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::HaveTools({"cwebp", "dwebp", "convert"}))
            GTEST_SKIP() << "cwebp, dwebp and ImageMagick's convert are needed";
        ASSERT_TRUE(folder_.valid());
        test::WritePpm(Path("base.ppm"), test::NoiseImage(37, 21, 5));
        ASSERT_TRUE(test::RunTool("convert '" + Path("base.ppm") + "' '" + Path("base.png") + "'"));
        // Half-transparent copy: alpha must be dropped, not composited.
        ASSERT_TRUE(test::RunTool("convert '" + Path("base.ppm") +
                                  "' -alpha set -channel A -evaluate set 40% +channel '" +
                                  Path("alpha.png") + "'"));
    }
    std::string Path(const std::string& name) const { return folder_.path() + "/" + name; }
    TempFolder folder_;
};

TEST_F(WebpTest, LossyLosslessAndAlphaMatchDwebp) {
    struct Case {
        const char* name;
        const char* source;
        const char* options;
    };
    for (const Case& c :
         {Case{"lossy.webp", "base.png", "-q 75"}, Case{"lossless.webp", "base.png", "-lossless"},
          Case{"alpha_lossy.webp", "alpha.png", "-q 60"},
          Case{"alpha_lossless.webp", "alpha.png", "-lossless -exact"}}) {
        SCOPED_TRACE(c.name);
        const std::string file = Path(c.name);
        ASSERT_TRUE(test::RunTool("cwebp -quiet " + std::string(c.options) + " '" + Path(c.source) +
                                  "' -o '" + file + "'"));
        ASSERT_TRUE(test::RunTool("dwebp '" + file + "' -ppm -o '" + file + ".ppm'"));
        RgbImage image;
        ASSERT_EQ(image.LoadImageFile(file), err::kNone);
        test::ExpectSamePixels(image, test::ReadPpm(file + ".ppm"));
        if (std::string(c.options).find("lossless") != std::string::npos)
            test::ExpectSamePixels(image, test::ReadPpm(Path("base.ppm")));
        ImageSize size;
        ImageFormat format{};
        ASSERT_EQ(ProbeImageFile(file, size, format), err::kNone);
        EXPECT_EQ(format, ImageFormat::WebP);
        EXPECT_EQ(size.width, 37);
        EXPECT_EQ(size.height, 21);
    }
}

TEST_F(WebpTest, DamagedFileFailsWithItsOwnCodeAndAnEmptyImage) {
    ASSERT_TRUE(
        test::RunTool("cwebp -quiet -q 75 '" + Path("base.png") + "' -o '" + Path("a.webp") + "'"));
    std::vector<std::uint8_t> bytes = test::ReadFileBytes(Path("a.webp"));
    ASSERT_GT(bytes.size(), 60u);
    RgbImage image;
    ImageOperation op;
    EXPECT_EQ(DecodeWebp(ByteSpan(bytes).first(bytes.size() / 2), image, op), err::kBadWebp);
    EXPECT_TRUE(image.empty());
    bytes[20] ^= 0xFF;  // the VP8 chunk's frame tag
    bytes[24] ^= 0xFF;
    EXPECT_NE(DecodeWebp(bytes, image, op), err::kNone);
    EXPECT_TRUE(image.empty());
}

}  // namespace
}  // namespace orbelune
