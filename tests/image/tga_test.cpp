#include <gtest/gtest.h>

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
    return DecodeTga(bytes, out, op);
}

struct TgaHeader {
    unsigned idLength = 0;
    unsigned mapType = 0;
    unsigned imageType = 2;
    unsigned mapFirst = 0;
    unsigned mapLength = 0;
    unsigned mapBits = 0;
    unsigned width = 1;
    unsigned height = 1;
    unsigned depth = 24;
    unsigned descriptor = 0;
};

Bytes Header(const TgaHeader& h) {
    Bytes b;
    b.U8(h.idLength).U8(h.mapType).U8(h.imageType).U16(h.mapFirst).U16(h.mapLength).U8(h.mapBits);
    b.U16(0).U16(0).U16(h.width).U16(h.height).U8(h.depth).U8(h.descriptor);
    return b;
}

unsigned Rgb555(unsigned r, unsigned g, unsigned b) {
    return (r << 10) | (g << 5) | b;
}

TEST(TgaDecode, MatchesReferencePixelsOfEveryFixture) {
    for (const char* name :
         {"rgb24", "rle24", "pal", "palrle", "grey", "greyrle", "rgba", "topleft"}) {
        SCOPED_TRACE(name);
        RgbImage image;
        ASSERT_EQ(
            Decode(test::ReadFileBytes(test::TestDataPath(std::string("tga/") + name + ".tga")),
                   image),
            0u);
        EXPECT_TRUE(test::SamePixels(
            image, test::ReadPpm(test::TestDataPath(std::string("tga/") + name + ".ppm"))));
    }
}

TEST(TgaDecode, SixteenBitTopRightOriginAfterAnImageId) {
    TgaHeader h;
    h.idLength = 3;
    h.width = 2;
    h.height = 2;
    h.depth = 16;
    h.descriptor = 0x30 | 1;  // top-to-bottom, right-to-left, one alpha bit
    Bytes b = Header(h);
    b.Raw({'a', 'b', 'c'});
    b.U16(Rgb555(31, 0, 0) | 0x8000).U16(Rgb555(0, 31, 0));
    b.U16(Rgb555(0, 0, 31)).U16(Rgb555(3, 16, 30));
    RgbImage image;
    ASSERT_EQ(Decode(b, image), 0u);
    // 5-bit channels scale by 255/31, rounded.
    EXPECT_TRUE(test::SamePixels(image, MakeImage(2, 2, {0x00FF00, 0xFF0000, 0x1984F7, 0x0000FF})));
}

TEST(TgaDecode, ColorMapWithFirstEntryOffsetAndSixteenBitIndexes) {
    TgaHeader h;
    h.mapType = 1;
    h.imageType = 1;
    h.mapFirst = 10;
    h.mapLength = 2;
    h.mapBits = 32;
    h.width = 4;
    h.depth = 16;
    Bytes b = Header(h);
    b.Raw({0x30, 0x20, 0x10, 0x80, 0x03, 0x02, 0x01, 0x80});  // BGRA entries 10 and 11
    b.U16(11).U16(10).U16(9).U16(300);  // 9 and 300 lie outside the map: black
    RgbImage image;
    ASSERT_EQ(Decode(b, image), 0u);
    EXPECT_TRUE(test::SamePixels(image, MakeImage(4, 1, {0x010203, 0x102030, 0, 0})));

    // A colour map on a true-colour picture is skipped; 15-bit map entries work too.
    TgaHeader t;
    t.mapType = 1;
    t.mapLength = 2;
    t.mapBits = 15;
    Bytes tb = Header(t);
    tb.U16(0x7FFF).U16(0x7FFF).Raw({0x01, 0x02, 0x03});
    ASSERT_EQ(Decode(tb, image), 0u);
    EXPECT_TRUE(test::SamePixels(image, MakeImage(1, 1, {0x030201})));
}

TEST(TgaDecode, RunLengthPacketsCrossRowsAndGreyAlphaDropsAlpha) {
    TgaHeader h;
    h.imageType = 10;
    h.width = 3;
    h.height = 2;  // bottom-left origin: the first row read is the bottom one
    Bytes b = Header(h);
    b.U8(0x80 | 3).Raw({0x00, 0x00, 0xFF});             // four red pixels, across the row end
    b.U8(1).Raw({0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00});  // raw blue, green
    RgbImage image;
    ASSERT_EQ(Decode(b, image), 0u);
    EXPECT_TRUE(test::SamePixels(image, MakeImage(3, 2,
                                                  {0xFF0000, 0x0000FF, 0x00FF00,  //
                                                   0xFF0000, 0xFF0000, 0xFF0000})));

    TgaHeader g;
    g.imageType = 11;
    g.width = 3;
    g.depth = 16;
    Bytes gb = Header(g);
    gb.U8(0x80 | 1).Raw({0x40, 0xFF}).U8(0).Raw({0x90, 0x00});
    ASSERT_EQ(Decode(gb, image), 0u);
    EXPECT_TRUE(test::SamePixels(image, MakeImage(1 * 3, 1, {0x404040, 0x404040, 0x909090})));
}

TEST(TgaDecode, MalformedFilesFailAndLeaveTheImageEmpty) {
    const std::vector<std::uint8_t> raw = test::ReadFileBytes(test::TestDataPath("tga/rgb24.tga"));
    const std::vector<std::uint8_t> rle = test::ReadFileBytes(test::TestDataPath("tga/rle24.tga"));
    auto cut = [](std::vector<std::uint8_t> bytes, std::size_t size) {
        bytes.resize(size);
        return bytes;
    };
    auto with = [](std::vector<std::uint8_t> bytes, std::size_t at, std::uint8_t value) {
        bytes[at] = value;
        return bytes;
    };
    TgaHeader huge;
    huge.width = 65535;
    huge.height = 65535;
    TgaHeader unmapped;
    unmapped.imageType = 1;
    unmapped.depth = 8;
    TgaHeader shortMap;
    shortMap.mapType = 1;
    shortMap.imageType = 1;
    shortMap.mapLength = 200;
    shortMap.mapBits = 24;
    shortMap.depth = 8;
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        ImageError expected;
    };
    const std::vector<Case> cases = {
        {"empty", {}, err::kBadTga},
        {"short header", cut(raw, 17), err::kBadTga},
        {"no image data (type 0)", with(raw, 2, 0), err::kBadTga},
        {"unknown type", with(raw, 2, 32), err::kBadTga},
        {"colour map type 2", with(raw, 1, 2), err::kBadTga},
        {"width 0", with(with(raw, 12, 0), 13, 0), err::kBadTga},
        {"12-bit pixels", with(raw, 16, 12), err::kBadTga},
        {"colour-mapped without a map", Header(unmapped).U8(0), err::kBadTga},
        {"map longer than the file", Header(shortMap).Fill(10, 0), err::kBadTga},
        {"id field longer than the file", with(cut(raw, 40), 0, 255), err::kBadTga},
        {"truncated pixels", cut(raw, raw.size() - 30), err::kBadTga},
        {"truncated run-length data", cut(rle, rle.size() - 30), err::kBadTga},
        {"run-length header only", cut(rle, 18), err::kBadTga},
        {"4 gigapixels", Header(huge).vec(), err::kNoMemory},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RgbImage image;
        ASSERT_EQ(image.AllocatePixels(2, 2), 0u);
        EXPECT_EQ(Decode(c.bytes, image), c.expected);
        EXPECT_TRUE(image.empty());
    }
}

TEST(TgaDecode, ReportsEveryRowAndStopsWhenAsked) {
    const std::vector<std::uint8_t> bytes =
        test::ReadFileBytes(test::TestDataPath("tga/rle24.tga"));
    std::vector<int> rows;
    SetImageProgress([&rows](int row, int count) {
        EXPECT_EQ(count, 7);
        rows.push_back(row);
        return row < 3;
    });
    RgbImage image;
    EXPECT_EQ(Decode(bytes, image), err::kAborted);
    SetImageProgress({});
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(rows, (std::vector<int>{0, 1, 2, 3}));
}

}  // namespace
}  // namespace orbelune
