#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "image/codec_test_helpers.h"
#include "image/codecs/codec.h"
#include "image/image_layer.h"

namespace orbelune {
namespace {

using test::Bytes;
using test::MakeImage;

ImageError Decode(const std::vector<std::uint8_t>& bytes, RgbImage& out) {
    ImageOperation op;
    return DecodeBmp(bytes, out, op);
}

// Installs a progress callback for one test and removes it again.
class ProgressRecorder {
public:
    explicit ProgressRecorder(int stopAtRow = -1) {
        SetImageProgress([this, stopAtRow](int row, int rows) {
            calls.push_back({row, rows});
            return row != stopAtRow;
        });
    }
    ~ProgressRecorder() { SetImageProgress({}); }
    std::vector<std::pair<int, int>> calls;
};

struct BmpParts {
    std::uint32_t headerSize = 40;
    std::int32_t width = 1;
    std::int32_t height = 1;
    unsigned bitsPerPixel = 24;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
    std::vector<std::uint32_t> palette;  // 0xRRGGBB
    std::vector<std::uint32_t> masks;    // red, green, blue
    std::vector<std::uint8_t> pixels;
};

std::vector<std::uint8_t> BuildBmp(const BmpParts& p) {
    Bytes info;
    if (p.headerSize == 12) {
        info.U32(12).U16(p.width).U16(p.height).U16(1).U16(p.bitsPerPixel);
    } else {
        info.U32(p.headerSize).U32(p.width).U32(p.height).U16(1).U16(p.bitsPerPixel);
        info.U32(p.compression).U32(p.pixels.size()).U32(0).U32(0).U32(p.colorsUsed).U32(0);
        if (p.headerSize >= 52) {
            for (std::uint32_t mask : p.masks)
                info.U32(mask);
        }
        info.Fill(14 + p.headerSize - 14 - info.size(), 0);
        if (p.headerSize < 52) {
            for (std::uint32_t mask : p.masks)
                info.U32(mask);
        }
    }
    for (std::uint32_t rgb : p.palette) {
        if (p.headerSize == 12)
            info.U8(rgb).U8(rgb >> 8).U8(rgb >> 16);
        else
            info.U8(rgb).U8(rgb >> 8).U8(rgb >> 16).U8(0);
    }
    const std::uint32_t offset = 14 + static_cast<std::uint32_t>(info.size());
    Bytes file;
    file.Raw({'B', 'M'}).U32(offset + p.pixels.size()).U32(0).U32(offset);
    file.vec().insert(file.vec().end(), info.vec().begin(), info.vec().end());
    file.vec().insert(file.vec().end(), p.pixels.begin(), p.pixels.end());
    return file.vec();
}

TEST(BmpDecode, MatchesReferencePixelsOfEveryFixture) {
    // Rounding of 5- and 6-bit channels may differ by one from the reference.
    const std::vector<std::pair<std::string, int>> fixtures = {
        {"rgb24", 0},     {"pal8", 0},     {"pal4", 0},      {"pal1", 0},      {"rle8", 0},
        {"os2_rgb24", 0}, {"os2_pal4", 0}, {"v5_argb32", 0}, {"v5_rgb565", 1},
    };
    for (const auto& [name, tolerance] : fixtures) {
        SCOPED_TRACE(name);
        RgbImage image;
        ASSERT_EQ(Decode(test::ReadFileBytes(test::TestDataPath("bmp/" + name + ".bmp")), image),
                  0u);
        EXPECT_TRUE(test::SamePixels(
            image, test::ReadPpm(test::TestDataPath("bmp/" + name + ".ppm")), tolerance));
    }
}

TEST(BmpDecode, Rle4RunsAbsoluteDeltaAndClipping) {
    BmpParts p;
    p.width = 6;
    p.height = 3;
    p.bitsPerPixel = 4;
    p.compression = 2;
    p.palette = {0x000080, 0xFF0000, 0x00FF00, 0x0000FF};
    p.pixels = {
        5, 0x12, 3,    0x33, 0,    0,  // bottom row: 1 2 1 2 1, then a run cut at the edge
        0, 3,    0x23, 0x10,           // absolute 2 3 1 (two bytes, already aligned)
        0, 2,    1,    1,              // delta: one right, one up
        0, 5,    0x12, 0x31, 0x20, 0,  // absolute 5 from x = 4: only 1 2 fit; pad byte
        0, 1,                          // end of bitmap
    };
    RgbImage image;
    ASSERT_EQ(Decode(BuildBmp(p), image), 0u);
    // Pixels the stream skips keep palette colour 0.
    const std::uint32_t bg = 0x000080, r = 0xFF0000, g = 0x00FF00, b = 0x0000FF;
    EXPECT_TRUE(test::SamePixels(image, MakeImage(6, 3,
                                                  {bg, bg, bg, bg, r, g,  //
                                                   g, b, r, bg, bg, bg,   //
                                                   r, g, r, g, r, b})));
}

TEST(BmpDecode, Rle8TopDownWithDeltaAndMissingEndCode) {
    BmpParts p;
    p.width = 5;
    p.height = -2;
    p.bitsPerPixel = 8;
    p.compression = 1;
    p.palette = {0x101010, 0x111111, 0x222222, 0x333333, 0x444444, 0x555555, 0x666666, 0x777777};
    p.pixels = {
        3, 7, 0, 3, 1, 2, 3, 0,  // run of 7s, then an absolute run whose last pixel is clipped
        0, 0,                    // end of line
        0, 2, 2, 0,              // delta two to the right
        2, 5, 1, 6,              // and the row is complete: no end-of-bitmap code follows
    };
    RgbImage image;
    ASSERT_EQ(Decode(BuildBmp(p), image), 0u);
    EXPECT_TRUE(
        test::SamePixels(image, MakeImage(5, 2,
                                          {0x777777, 0x777777, 0x777777, 0x111111, 0x222222,
                                           0x101010, 0x101010, 0x555555, 0x555555, 0x666666})));
}

TEST(BmpDecode, BitfieldsScaleEachMaskToEightBits) {
    // 5-6-5 with the masks after a 40-byte header.
    BmpParts p565;
    p565.width = 3;
    p565.bitsPerPixel = 16;
    p565.compression = 3;
    p565.masks = {0xF800, 0x07E0, 0x001F};
    p565.pixels = {0x00, 0xF8, 0xE0, 0x07, 0x41, 0x08, 0, 0};
    RgbImage image;
    ASSERT_EQ(Decode(BuildBmp(p565), image), 0u);
    EXPECT_TRUE(test::SamePixels(image, MakeImage(3, 1, {0xFF0000, 0x00FF00, 0x080808})));

    // 10-10-10 in a V4 header, top-down.
    BmpParts p1010;
    p1010.headerSize = 108;
    p1010.width = 1;
    p1010.height = -2;
    p1010.bitsPerPixel = 32;
    p1010.compression = 3;
    p1010.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
    Bytes px;
    px.U32((1023u << 20) | 512u).U32(1023u << 10);
    p1010.pixels = px.vec();
    ASSERT_EQ(Decode(BuildBmp(p1010), image), 0u);
    EXPECT_TRUE(test::SamePixels(image, MakeImage(1, 2, {0xFF0080, 0x00FF00})));
}

TEST(BmpDecode, TwoBitPixelsAndIndexesPastThePalette) {
    BmpParts p2;
    p2.width = 5;
    p2.bitsPerPixel = 2;
    p2.palette = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
    p2.pixels = {0x1B, 0x80, 0, 0};
    RgbImage image;
    ASSERT_EQ(Decode(BuildBmp(p2), image), 0u);
    EXPECT_TRUE(test::SamePixels(
        image, MakeImage(5, 1, {0x000000, 0x0000FF, 0x00FF00, 0xFF0000, 0x00FF00})));

    // Two palette entries declared; index 200 reads as black, not past the table.
    BmpParts p8;
    p8.width = 3;
    p8.bitsPerPixel = 8;
    p8.colorsUsed = 2;
    p8.palette = {0x123456, 0xABCDEF};
    p8.pixels = {1, 200, 0, 0};
    ASSERT_EQ(Decode(BuildBmp(p8), image), 0u);
    EXPECT_TRUE(test::SamePixels(image, MakeImage(3, 1, {0xABCDEF, 0x000000, 0x123456})));
}

TEST(BmpDecode, LastRowPaddingMayBeMissing) {
    std::vector<std::uint8_t> bytes = test::ReadFileBytes(test::TestDataPath("bmp/rgb24.bmp"));
    bytes.resize(bytes.size() - 1);  // 13 x 3 = 39 bytes a row, one byte of padding
    RgbImage image;
    ASSERT_EQ(Decode(bytes, image), 0u);
    EXPECT_TRUE(test::SamePixels(image, test::ReadPpm(test::TestDataPath("bmp/rgb24.ppm"))));
}

TEST(BmpDecode, MalformedFilesFailAndLeaveTheImageEmpty) {
    const std::vector<std::uint8_t> rgb24 =
        test::ReadFileBytes(test::TestDataPath("bmp/rgb24.bmp"));
    const std::vector<std::uint8_t> rle8 = test::ReadFileBytes(test::TestDataPath("bmp/rle8.bmp"));
    auto cut = [](std::vector<std::uint8_t> bytes, std::size_t size) {
        bytes.resize(size);
        return bytes;
    };
    auto patched = [](std::vector<std::uint8_t> bytes, std::size_t at, std::uint32_t value,
                      int width) {
        for (int i = 0; i < width; ++i)
            bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return bytes;
    };
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        ImageError expected;
    };
    const std::vector<Case> cases = {
        {"empty", {}, err::kBadBmp},
        {"file header only", cut(rgb24, 14), err::kBadBmp},
        {"wrong signature", patched(rgb24, 0, 'X', 1), err::kBadBmp},
        {"header size 0", patched(rgb24, 14, 0, 4), err::kBadBmp},
        {"header larger than file", patched(rgb24, 14, 5000, 4), err::kBadBmp},
        {"width 0", patched(rgb24, 18, 0, 4), err::kBadBmp},
        {"negative width", patched(rgb24, 18, 0xFFFFFFF0u, 4), err::kBadBmp},
        {"height 0", patched(rgb24, 22, 0, 4), err::kBadBmp},
        {"3 bits per pixel", patched(rgb24, 28, 3, 2), err::kBadBmp},
        {"RLE8 on 24 bits", patched(rgb24, 30, 1, 4), err::kBadBmp},
        {"unknown compression", patched(rgb24, 30, 99, 4), err::kBadBmp},
        {"embedded JPEG", patched(rgb24, 30, 4, 4), err::kRleVariation},
        {"pixel offset past the end", patched(rgb24, 10, 100000, 4), err::kBadBmp},
        {"truncated rows", cut(rgb24, rgb24.size() - 50), err::kBadBmp},
        {"truncated RLE stream", cut(rle8, rle8.size() - 60), err::kBadBmp},
        {"10 gigapixels", patched(patched(rgb24, 18, 100000, 4), 22, 100000, 4), err::kNoMemory},
        {"2^31 rows top-down", patched(rgb24, 22, 0x80000000u, 4), err::kNoMemory},
        {"row wider than the limit", patched(rgb24, 18, 0x7FFFFFFF, 4), err::kNoMemory},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RgbImage image;
        ASSERT_EQ(image.AllocatePixels(2, 2), 0u);
        EXPECT_EQ(Decode(c.bytes, image), c.expected);
        EXPECT_TRUE(image.empty());
        EXPECT_EQ(image.width(), 0);
        EXPECT_EQ(image.height(), 0);
    }

    // OS/2 2.x numbers Huffman 1D as compression 3: not supported.
    BmpParts os2;
    os2.headerSize = 64;
    os2.bitsPerPixel = 1;
    os2.compression = 3;
    os2.palette = {0, 0xFFFFFF};
    os2.pixels = {0, 0, 0, 0};
    RgbImage image;
    EXPECT_EQ(Decode(BuildBmp(os2), image), err::kRleVariation);
}

TEST(BmpDecode, ReportsEveryRowAndStopsWhenAsked) {
    for (const char* name : {"bmp/rgb24.bmp", "bmp/rle8.bmp"}) {
        SCOPED_TRACE(name);
        const std::vector<std::uint8_t> bytes = test::ReadFileBytes(test::TestDataPath(name));
        RgbImage image;
        {
            ProgressRecorder progress;
            ASSERT_EQ(Decode(bytes, image), 0u);
            ASSERT_EQ(progress.calls.size(), 7u);
            for (int i = 0; i < 7; ++i)
                EXPECT_EQ(progress.calls[i], std::make_pair(i, 7));
        }
        ProgressRecorder stopping(2);
        EXPECT_EQ(Decode(bytes, image), err::kAborted);
        EXPECT_TRUE(image.empty());
        EXPECT_EQ(stopping.calls.size(), 3u);
    }
}

std::vector<std::uint8_t> Encode(const RgbImage& image, ImageError* result = nullptr) {
    ImageOperation op;
    ByteSink sink;
    const ImageError e = EncodeBmp(image.data(), image.width(), image.height(), sink, op);
    if (result != nullptr) *result = e;
    return sink.bytes();
}

std::uint32_t ReadLe(const std::vector<std::uint8_t>& bytes, std::size_t at, int width) {
    std::uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = (v << 8) | bytes.at(at + i);
    return v;
}

TEST(BmpEncode, HeaderOfAThreeByTwoImage) {
    const RgbImage image = MakeImage(3, 2,
                                     {0x010203, 0x040506, 0x070809,  //
                                      0x0A0B0C, 0x0D0E0F, 0x101112});
    const std::vector<std::uint8_t> bytes = Encode(image);
    ASSERT_EQ(bytes.size(), 54u + 2 * 12);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    const std::vector<std::pair<std::size_t, std::uint32_t>> fields32 = {
        {2, 78},   // file size
        {6, 0},    // reserved
        {10, 54},  // pixel offset
        {14, 40},  // info header size
        {18, 3},   // width
        {22, 2},   // height: positive, bottom row first
        {30, 0},   // no compression
        {34, 24},  // image size: 12-byte rows x 2
        {38, 0},  {42, 0}, {46, 0}, {50, 0},
    };
    for (const auto& [at, value] : fields32)
        EXPECT_EQ(ReadLe(bytes, at, 4), value) << "offset " << at;
    EXPECT_EQ(ReadLe(bytes, 26, 2), 1u);   // planes
    EXPECT_EQ(ReadLe(bytes, 28, 2), 24u);  // bits per pixel
    const std::vector<std::uint8_t> pixels(bytes.begin() + 54, bytes.end());
    EXPECT_EQ(pixels, (std::vector<std::uint8_t>{0x0C, 0x0B, 0x0A, 0x0F, 0x0E, 0x0D, 0x12, 0x11,
                                                 0x10, 0,    0,    0,    0x03, 0x02, 0x01, 0x06,
                                                 0x05, 0x04, 0x09, 0x08, 0x07, 0,    0,    0}));
}

TEST(BmpEncode, OnePixelWideRowsArePaddedToFourBytes) {
    const RgbImage image = MakeImage(1, 3, {0xFF0000, 0x00FF00, 0x0000FF});
    const std::vector<std::uint8_t> bytes = Encode(image);
    ASSERT_EQ(bytes.size(), 54u + 3 * 4);
    EXPECT_EQ(ReadLe(bytes, 34, 4), 12u);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 54, bytes.end()),
              (std::vector<std::uint8_t>{0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0}));
}

TEST(BmpEncode, RoundTripIsExactForEveryPadding) {
    for (int width = 1; width <= 5; ++width) {
        SCOPED_TRACE(width);
        RgbImage image;
        ASSERT_EQ(image.AllocatePixels(width, 3), 0u);
        for (std::size_t i = 0; i < image.byteCount(); ++i)
            image.data()[i] = static_cast<std::uint8_t>(i * 37 + 11);
        ImageError result = 1;
        const std::vector<std::uint8_t> bytes = Encode(image, &result);
        ASSERT_EQ(result, 0u);
        RgbImage decoded;
        ASSERT_EQ(Decode(bytes, decoded), 0u);
        EXPECT_TRUE(test::SamePixels(decoded, image));
    }
}

TEST(BmpEncode, RefusesWhatTheHeaderCannotHoldAndStopsWhenAsked) {
    // Over 4 GiB of rows: refused before any pixel is read.
    {
        const std::uint8_t pixel[3] = {};
        ImageOperation op;
        ByteSink sink;
        EXPECT_EQ(EncodeBmp(pixel, 100000, 20000, sink, op), err::kBadParam);
        EXPECT_EQ(sink.Size(), 0u);
        EXPECT_EQ(EncodeBmp(nullptr, 1, 1, sink, op), err::kBadParam);
        EXPECT_EQ(EncodeBmp(pixel, 0, 1, sink, op), err::kBadParam);
    }

    const RgbImage image = MakeImage(1, 3, {1, 2, 3});
    ProgressRecorder stopping(1);
    ImageError result = 0;
    Encode(image, &result);
    EXPECT_EQ(result, err::kAborted);
    EXPECT_EQ(stopping.calls, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}}));
}

}  // namespace
}  // namespace orbelune
