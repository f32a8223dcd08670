// PBM, PGM, PPM and PAM written by ImageMagick, decoded by our own reader and
// compared with ImageMagick's 8-bit reading of the same file.
#include <gtest/gtest.h>

#include <string>

#include "image/codec_test_helpers.h"
#include "image/codecs/codec.h"
#include "image/file_io.h"
#include "image/image_io.h"

namespace orbelune {
namespace {

class PnmTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::HaveTools({"convert"})) GTEST_SKIP() << "ImageMagick's convert is needed";
        ASSERT_TRUE(folder_.valid());
        test::WritePpm(Path("base.ppm"), test::NoiseImage(13, 7, 3));
    }
    std::string Path(const std::string& name) const { return folder_.path() + "/" + name; }
    RgbImage Reference(const std::string& file) {
        if (!test::RunTool("convert '" + file + "' -depth 8 ppm:'" + file + ".ref.ppm'")) return {};
        return test::ReadPpm(file + ".ref.ppm");
    }
    TempFolder folder_;
};

TEST_F(PnmTest, EveryKindAndDepthMatchesImageMagick) {
    struct Case {
        const char* name;
        const char* options;  // for convert
        int tolerance;        // 16-bit samples may round differently
    };
    for (const Case& c :
         {Case{"p6_8.ppm", "", 0}, Case{"p6_16.ppm", "-depth 16", 1},
          Case{"p3.ppm", "-compress none", 0}, Case{"p5_8.pgm", "-colorspace gray", 0},
          Case{"p5_16.pgm", "-colorspace gray -depth 16", 1},
          Case{"p2.pgm", "-colorspace gray -compress none", 0}, Case{"p4.pbm", "-threshold 50%", 0},
          Case{"p1.pbm", "-threshold 50% -compress none", 0}, Case{"rgb.pam", "", 0},
          Case{"grey16.pam", "-colorspace gray -depth 16", 1},
          Case{"rgba.pam", "-alpha set -channel A -evaluate set 50% +channel", 0}}) {
        SCOPED_TRACE(c.name);
        const std::string file = Path(c.name);
        ASSERT_TRUE(
            test::RunTool("convert '" + Path("base.ppm") + "' " + c.options + " '" + file + "'"));
        RgbImage image;
        ASSERT_EQ(image.LoadImageFile(file), err::kNone);
        test::ExpectSamePixels(image, Reference(file), c.tolerance);
        ImageSize size;
        ImageFormat format{};
        ASSERT_EQ(ProbeImageFile(file, size, format), err::kNone);
        EXPECT_EQ(format, ImageFormat::Pnm);
        EXPECT_EQ(size.width, 13);
        EXPECT_EQ(size.height, 7);
    }
}

TEST(PnmDecode, MaxvalScalingCommentsAndDamage) {
    RgbImage image;
    ImageOperation op;
    // Plain PGM with a comment, maxval 3, and a sample over maxval (counted as maxval).
    const std::string plain = "P2 # comment\n3 1\n3\n0 1 9\n";
    ASSERT_EQ(
        DecodePnm({reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size()}, image, op),
        err::kNone);
    EXPECT_EQ(test::PixelBytes(image),
              test::PixelBytes(test::MakeImage(3, 1, {0x000000, 0x555555, 0xFFFFFF})));
    // Plain PBM bits need no blanks between them; 1 is black.
    const std::string bits = "P1\n3 1\n010";
    ASSERT_EQ(
        DecodePnm({reinterpret_cast<const std::uint8_t*>(bits.data()), bits.size()}, image, op),
        err::kNone);
    EXPECT_EQ(test::PixelBytes(image),
              test::PixelBytes(test::MakeImage(3, 1, {0xFFFFFF, 0x000000, 0xFFFFFF})));
    for (const std::string& damaged :
         {std::string("P6\n2 2\n255\n\x01\x02\x03"),  // pixels cut short
          std::string("P6\n0 2\n255\n"), std::string("P5\n2 2\n70000\n"),
          std::string("P7\nWIDTH 2\nHEIGHT 1\nDEPTH 9\nMAXVAL 255\nENDHDR\n012345678901234567"),
          std::string("P7\nWIDTH 2\nENDHDR\n"), std::string("P6\n99999999 99999999\n255\n"),
          std::string("P3\n2 1\n255\n1 2 3 4 5"), std::string("P6 2 1 255")}) {
        SCOPED_TRACE(damaged);
        const ImageError result = DecodePnm(
            {reinterpret_cast<const std::uint8_t*>(damaged.data()), damaged.size()}, image, op);
        EXPECT_TRUE(result == err::kBadPnm || result == err::kNoMemory) << result;
        EXPECT_TRUE(image.empty());
    }
    // A probe of a header cut short asks for more rather than calling it damaged.
    ImageSize size;
    const std::string head = "P6\n640";
    EXPECT_EQ(ProbePnm({reinterpret_cast<const std::uint8_t*>(head.data()), head.size()}, size),
              err::kFileRead);
}

}  // namespace
}  // namespace orbelune
