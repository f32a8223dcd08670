#include <gtest/gtest.h>

#include <algorithm>

#include "image/codecs/codec.h"
#include "image/image_layer.h"
#include "platform/quicktime/image_compression.h"
#include "platform/quicktime/movie_test_helpers.h"
#include "platform/quicktime/tile_codecs.h"

namespace orbelune::qt {
namespace {

using test::Be16;
using test::Be32;

std::unique_ptr<OffscreenBuffer> BufferWith(const RgbImage& picture) {
    std::unique_ptr<OffscreenBuffer> buffer;
    EXPECT_EQ(OffscreenBuffer::Create(picture.width(), picture.height(), buffer), 0);
    std::copy_n(picture.data(), picture.byteCount(), buffer->pixels().data());
    return buffer;
}

TEST(Compressor, RawIsPackedRgbTopRowFirst) {
    const RgbImage picture = test::TestPicture(12, 5);
    auto buffer = BufferWith(picture);
    std::vector<std::uint8_t> data;
    ImageDescription description;
    ASSERT_EQ(CompressImage(*buffer, kRawCodecType, 512, data, description), 0);
    EXPECT_EQ(data,
              std::vector<std::uint8_t>(picture.data(), picture.data() + picture.byteCount()));
    EXPECT_EQ(description.dataSize, 12 * 5 * 3);
}

TEST(Compressor, WrleIsHeaderlessBottomUpBgrDibWithPaddedRows) {
    const RgbImage picture = test::TestPicture(5, 3);  // 15 bytes a row, padded to 16
    auto buffer = BufferWith(picture);
    std::vector<std::uint8_t> data;
    ImageDescription description;
    ASSERT_EQ(CompressImage(*buffer, kBmpCodecType, 0, data, description), 0);
    ASSERT_EQ(data.size(), 16u * 3);
    for (int y = 0; y < 3; ++y) {
        const std::uint8_t* row = data.data() + 16 * y;
        const std::uint8_t* source = picture.row(2 - y);
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(row[x * 3], source[x * 3 + 2]);
            EXPECT_EQ(row[x * 3 + 1], source[x * 3 + 1]);
            EXPECT_EQ(row[x * 3 + 2], source[x * 3]);
        }
        EXPECT_EQ(row[15], 0);
    }
    EXPECT_NE(data[0], 'B');  // not a BMP file
}

TEST(Compressor, TiffIsCompleteLosslessFile) {
    const RgbImage picture = test::TestPicture(20, 8);
    auto buffer = BufferWith(picture);
    std::vector<std::uint8_t> data;
    ImageDescription description;
    ASSERT_EQ(CompressImage(*buffer, kTiffCodecType, 512, data, description), 0);
    RgbImage decoded;
    ImageOperation op;
    ASSERT_EQ(DecodeTiff(data, decoded, op), err::kNone);
    ASSERT_EQ(decoded.byteCount(), picture.byteCount());
    EXPECT_TRUE(std::equal(decoded.data(), decoded.data() + decoded.byteCount(), picture.data()));
}

TEST(Compressor, JpegIsOneBaselineStreamAndQualityOrdersSizes) {
    const RgbImage picture = test::TestPicture(64, 48);
    auto buffer = BufferWith(picture);
    std::vector<std::uint8_t> low, high;
    ImageDescription description;
    ASSERT_EQ(CompressImage(*buffer, kJpegCodecType, kCodecLowQuality, low, description), 0);
    ASSERT_EQ(CompressImage(*buffer, kJpegCodecType, kCodecHighQuality, high, description), 0);
    EXPECT_LT(low.size(), high.size());
    ASSERT_GE(high.size(), 4u);
    EXPECT_EQ(high[0], 0xFF);
    EXPECT_EQ(high[1], 0xD8);
    EXPECT_EQ(high[high.size() - 2], 0xFF);
    EXPECT_EQ(high[high.size() - 1], 0xD9);
    // Baseline: a SOF0 frame header and no progressive SOF2.
    bool sof0 = false, sof2 = false;
    for (std::size_t i = 2; i + 1 < high.size();) {
        if (high[i] != 0xFF) break;
        const std::uint8_t marker = high[i + 1];
        if (marker == 0xC0) sof0 = true;
        if (marker == 0xC2) sof2 = true;
        if (marker == 0xDA) break;  // scan data follows
        i += 2 + Be16(high, i + 2);
    }
    EXPECT_TRUE(sof0);
    EXPECT_FALSE(sof2);

    RgbImage decoded;
    ImageOperation op;
    ASSERT_EQ(DecodeJpeg(high, decoded, op), err::kNone);
    ASSERT_EQ(decoded.byteCount(), picture.byteCount());
    EXPECT_GE(test::Psnr(decoded.data(), picture.data(), picture.byteCount()), 35.0);
}

TEST(Compressor, QualityMapsMonotonicallyOntoLibraryScales) {
    EXPECT_EQ(detail::JpegQualityFor(0), 25);
    EXPECT_EQ(detail::JpegQualityFor(256), 50);
    EXPECT_EQ(detail::JpegQualityFor(512), 75);
    EXPECT_EQ(detail::JpegQualityFor(768), 90);
    EXPECT_EQ(detail::JpegQualityFor(1023), 100);
    EXPECT_EQ(detail::JpegQualityFor(1024), 100);
    EXPECT_EQ(detail::CinepakLambdaFor(512), 192);
    EXPECT_EQ(detail::SorensonQuantiserFor(0), 31);
    EXPECT_EQ(detail::SorensonQuantiserFor(1024), 1);
    for (int q = 1; q <= 1024; ++q) {
        EXPECT_GE(detail::JpegQualityFor(q), detail::JpegQualityFor(q - 1));
        EXPECT_LE(detail::SorensonQuantiserFor(q), detail::SorensonQuantiserFor(q - 1));
        EXPECT_LT(detail::CinepakLambdaFor(q), detail::CinepakLambdaFor(q - 1) + 1);
    }
}

TEST(Compressor, DescriptionIsThe86ByteVideoLayout) {
    const RgbImage picture = test::TestPicture(32, 16);
    auto buffer = BufferWith(picture);
    std::vector<std::uint8_t> data;
    ImageDescription description;
    ASSERT_EQ(CompressImage(*buffer, kCinepakCodecType, 512, data, description), 0);
    EXPECT_EQ(description.dataSize, static_cast<std::int32_t>(data.size()));
    const std::vector<std::uint8_t> b = description.Bytes();
    ASSERT_EQ(b.size(), 86u);
    EXPECT_EQ(Be32(b, 0), 86u);
    EXPECT_EQ(test::Type(Be32(b, 4)), "cvid");
    EXPECT_EQ(Be16(b, 14), 1);
    EXPECT_EQ(Be16(b, 32), 32);
    EXPECT_EQ(Be16(b, 34), 16);
    EXPECT_EQ(Be32(b, 36), 0x00480000u);
    EXPECT_EQ(Be32(b, 40), 0x00480000u);
    EXPECT_EQ(Be32(b, 44), data.size());
    EXPECT_EQ(Be16(b, 48), 1);
    EXPECT_EQ(b[50], 7);  // Pascal "Cinepak"
    EXPECT_EQ(std::string(b.begin() + 51, b.begin() + 58), "Cinepak");
    EXPECT_EQ(Be16(b, 82), 24);
    EXPECT_EQ(Be16(b, 84), 0xFFFF);
}

TEST(Compressor, RefusesUnknownTypesAndSizesItsCodecCannotTake) {
    auto buffer = BufferWith(test::TestPicture(30, 16));  // width not a multiple of 4
    std::vector<std::uint8_t> data;
    ImageDescription description;
    EXPECT_EQ(CompressImage(*buffer, MakeFourCC("gif "), 512, data, description),
              oserr::kNoCodecErr);
    EXPECT_EQ(CompressImage(*buffer, kCinepakCodecType, 512, data, description), oserr::kCodecErr);
    EXPECT_TRUE(data.empty());
    std::size_t size = 0;
    EXPECT_EQ(GetMaxCompressionSize(*buffer, MakeFourCC("gif "), 0, size), oserr::kNoCodecErr);
    ASSERT_EQ(GetMaxCompressionSize(*buffer, kBmpCodecType, 0, size), 0);
    EXPECT_EQ(size, 92u * 16);
}

// Turned tiles of low panoramas are as small as 4 pixels a side; the library's
// encoders must never see a size they cannot take.
TEST(Compressor, CinepakAndSorensonTakeTheSmallestTilesAndRefuseTheOutsideOnes) {
    const std::vector<std::pair<int, int>> sizes = {{4, 4},  {4, 8},  {8, 4},   {4, 12},
                                                    {8, 8},  {12, 4}, {4, 16},  {48, 4},
                                                    {4, 48}, {4, 64}, {16, 16}, {20, 36}};
    for (const auto& [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        auto buffer = BufferWith(test::TestPicture(w, h));
        std::vector<std::uint8_t> data;
        ImageDescription description;
        ASSERT_EQ(CompressImage(*buffer, kCinepakCodecType, 512, data, description), 0);
        // A key frame whose header holds its own size, the picture's sides and
        // at least one strip, each strip at least one row of blocks.
        ASSERT_GE(data.size(), 10u);
        EXPECT_EQ(data[0], 0);
        EXPECT_EQ((data[1] << 16) | (data[2] << 8) | data[3], static_cast<int>(data.size()));
        EXPECT_EQ(Be16(data, 4), w);
        EXPECT_EQ(Be16(data, 6), h);
        const int strips = Be16(data, 8);
        EXPECT_GE(strips, 1);
        EXPECT_LE(strips, std::max(1, h / 4));
        ASSERT_EQ(CompressImage(*buffer, kSorensonCodecType, 512, data, description), 0);
        EXPECT_FALSE(data.empty());
    }
    EXPECT_FALSE(detail::CinepakTakes(0, 4));
    EXPECT_FALSE(detail::CinepakTakes(4, 2));
    EXPECT_FALSE(detail::CinepakTakes(4, 6));
    EXPECT_FALSE(detail::CinepakTakes(0x7FFC, 0x7FFC));  // the encoder's buffer sizes overflow
    EXPECT_TRUE(detail::CinepakTakes(0x7FFC, 8000));
    EXPECT_FALSE(detail::SorensonTakes(4096, 4));
    EXPECT_FALSE(detail::SorensonTakes(4, 4096));
    EXPECT_TRUE(detail::SorensonTakes(4095, 4095));
    auto wide = BufferWith(test::TestPicture(4096, 4));
    std::vector<std::uint8_t> data;
    ImageDescription description;
    EXPECT_EQ(CompressImage(*wide, kSorensonCodecType, 512, data, description), oserr::kCodecErr);
}

TEST(Importer, DrawsShiftedImageIntoTileBuffer) {
    test::TempDir dir;
    const RgbImage picture = test::TestPicture(8, 12);
    const std::string path = dir.File("p.bmp");
    ASSERT_EQ(picture.SaveImageFile(path, ImageFormat::Bmp), err::kNone);
    std::unique_ptr<GraphicsImporter> importer;
    ASSERT_EQ(GraphicsImporter::Open(path, importer), 0);
    EXPECT_EQ(importer->naturalBounds(), (Rect{0, 0, 8, 12}));
    std::unique_ptr<OffscreenBuffer> tile;
    ASSERT_EQ(OffscreenBuffer::Create(8, 4, tile), 0);
    // Tile 1 of 3: rows 4..7 of the picture.
    ASSERT_EQ(importer->SetBoundsRect({0, -4, 8, 8}), 0);
    ASSERT_EQ(importer->Draw(*tile), 0);
    for (int y = 0; y < 4; ++y) {
        EXPECT_TRUE(std::equal(picture.row(4 + y), picture.row(4 + y) + 24, tile->pixels().row(y)));
    }
    EXPECT_EQ(GraphicsImporter::Open(dir.File("missing.bmp"), importer), oserr::kFnfErr);
}

}  // namespace
}  // namespace orbelune::qt
