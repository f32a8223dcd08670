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
    return DecodePcx(bytes, out, op);
}

struct PcxHeader {
    unsigned version = 5;
    unsigned encoding = 1;
    unsigned bitsPerPixel = 8;
    unsigned width = 1;
    unsigned height = 1;
    unsigned planes = 1;
    unsigned bytesPerLine = 2;
    std::vector<std::uint32_t> palette;  // up to 16 entries, 0xRRGGBB
};

Bytes Header(const PcxHeader& h) {
    Bytes b;
    b.U8(0x0A).U8(h.version).U8(h.encoding).U8(h.bitsPerPixel);
    b.U16(0).U16(0).U16(h.width - 1).U16(h.height - 1).U16(72).U16(72);
    for (std::size_t i = 0; i < 16; ++i) {
        const std::uint32_t rgb = i < h.palette.size() ? h.palette[i] : 0;
        b.U8(rgb >> 16).U8(rgb >> 8).U8(rgb);
    }
    b.U8(0).U8(h.planes).U16(h.bytesPerLine).U16(1);
    b.Fill(128 - b.size(), 0);
    return b;
}

TEST(PcxDecode, MatchesReferencePixelsOfEveryFixture) {
    for (const char* name : {"rgb24", "pal8"}) {
        SCOPED_TRACE(name);
        RgbImage image;
        ASSERT_EQ(
            Decode(test::ReadFileBytes(test::TestDataPath(std::string("pcx/") + name + ".pcx")),
                   image),
            0u);
        EXPECT_TRUE(test::SamePixels(
            image, test::ReadPpm(test::TestDataPath(std::string("pcx/") + name + ".ppm"))));
    }
}

TEST(PcxDecode, SixteenColoursInFourBitPlanes) {
    PcxHeader h;
    h.bitsPerPixel = 1;
    h.planes = 4;
    h.width = 3;
    h.palette.resize(16);
    for (std::uint32_t i = 0; i < 16; ++i)
        h.palette[i] = i * 0x101010;
    // Indexes 5, 10, 15: plane p holds bit p of each index.
    Bytes b = Header(h);
    b.Raw({0xA0, 0, 0x60, 0, 0xA0, 0, 0x60, 0});
    RgbImage image;
    ASSERT_EQ(Decode(b, image), 0u);
    EXPECT_TRUE(test::SamePixels(image, MakeImage(3, 1, {0x505050, 0xA0A0A0, 0xF0F0F0})));
}

TEST(PcxDecode, OneTwoAndFourBitPalettes) {
    // One bit without a stored palette: black and white; a run and a literal.
    PcxHeader mono;
    mono.bitsPerPixel = 1;
    mono.width = 10;
    mono.height = 2;
    Bytes m = Header(mono);
    m.Raw({0xC2, 0xA5, 0x0F, 0x40});
    RgbImage image;
    ASSERT_EQ(Decode(m, image), 0u);
    const std::uint32_t k = 0, w = 0xFFFFFF;
    EXPECT_TRUE(test::SamePixels(image, MakeImage(10, 2, {w, k, w, k, k, w, k, w, w, k,  //
                                                          k, k, k, k, w, w, w, w, k, w})));

    // Two bits, packed, with the header palette.
    PcxHeader cga;
    cga.bitsPerPixel = 2;
    cga.width = 5;
    cga.palette = {0x000000, 0x00AAAA, 0xAA00AA, 0xAAAAAA};
    Bytes c = Header(cga);
    c.Raw({0x1B, 0x40});
    ASSERT_EQ(Decode(c, image), 0u);
    EXPECT_TRUE(test::SamePixels(
        image, MakeImage(5, 1, {0x000000, 0x00AAAA, 0xAA00AA, 0xAAAAAA, 0x00AAAA})));

    // Four bits, packed, from a version 3 file: the standard EGA colours.
    PcxHeader ega;
    ega.version = 3;
    ega.encoding = 0;
    ega.bitsPerPixel = 4;
    ega.width = 3;
    Bytes e = Header(ega);
    e.Raw({0x1E, 0xF0});
    ASSERT_EQ(Decode(e, image), 0u);
    EXPECT_TRUE(test::SamePixels(image, MakeImage(3, 1, {0x0000AA, 0xFFFF55, 0xFFFFFF})));
}

TEST(PcxDecode, EightBitsWithoutPaletteAreGreyAndRunsCrossScanLines) {
    PcxHeader grey;
    grey.width = 2;
    Bytes g = Header(grey);
    g.Raw({0x10, 0x80});
    RgbImage image;
    ASSERT_EQ(Decode(g, image), 0u);
    EXPECT_TRUE(test::SamePixels(image, MakeImage(2, 1, {0x101010, 0x808080})));

    // RGBA in four planes, one pixel a line: one run of 16 fills both lines.
    PcxHeader rgba;
    rgba.planes = 4;
    rgba.height = 2;
    Bytes r = Header(rgba);
    r.Raw({0xD0, 0x40});
    ASSERT_EQ(Decode(r, image), 0u);
    EXPECT_TRUE(test::SamePixels(image, MakeImage(1, 2, {0x404040, 0x404040})));
}

TEST(PcxDecode, MalformedFilesFailAndLeaveTheImageEmpty) {
    const std::vector<std::uint8_t> rgb = test::ReadFileBytes(test::TestDataPath("pcx/rgb24.pcx"));
    const std::vector<std::uint8_t> pal = test::ReadFileBytes(test::TestDataPath("pcx/pal8.pcx"));
    auto cut = [](std::vector<std::uint8_t> bytes, std::size_t size) {
        bytes.resize(size);
        return bytes;
    };
    auto with = [](std::vector<std::uint8_t> bytes, std::size_t at, std::uint8_t value) {
        bytes[at] = value;
        return bytes;
    };
    PcxHeader huge;
    huge.width = 65536;
    huge.height = 65536;
    huge.bytesPerLine = 65535;  // long enough lines: only the size is wrong
    huge.bitsPerPixel = 1;
    PcxHeader danglingRun;
    Bytes dangling = Header(danglingRun);
    dangling.U8(0xC1);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        ImageError expected;
    };
    const std::vector<Case> cases = {
        {"empty", {}, err::kBadPcx},
        {"short header", cut(rgb, 127), err::kBadPcx},
        {"wrong maker byte", with(rgb, 0, 0x0B), err::kBadPcx},
        {"unknown encoding", with(rgb, 2, 2), err::kBadPcx},
        {"right edge left of the left edge", with(rgb, 4, 20), err::kBadPcx},
        {"two 8-bit planes", with(rgb, 65, 2), err::kBadPcx},
        {"16 bits per pixel", with(rgb, 3, 16), err::kBadPcx},
        {"lines shorter than the width", with(rgb, 66, 4), err::kBadPcx},
        {"truncated pixels", cut(rgb, rgb.size() - 40), err::kBadPcx},
        {"truncated before the palette", cut(pal, pal.size() - 769 - 40), err::kBadPcx},
        // Would otherwise decode in grey.
        {"palette cut off", cut(pal, pal.size() - 300), err::kBadPcx},
        {"only the palette marker", cut(pal, pal.size() - 768), err::kBadPcx},
        {"run without its value", dangling, err::kBadPcx},
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

TEST(PcxDecode, ReportsEveryRowAndStopsWhenAsked) {
    const std::vector<std::uint8_t> bytes = test::ReadFileBytes(test::TestDataPath("pcx/pal8.pcx"));
    std::vector<int> rows;
    SetImageProgress([&rows](int row, int count) {
        EXPECT_EQ(count, 7);
        rows.push_back(row);
        return true;
    });
    RgbImage image;
    EXPECT_EQ(Decode(bytes, image), 0u);
    EXPECT_EQ(rows, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    SetImageProgress([](int row, int) { return row != 0; });
    EXPECT_EQ(Decode(bytes, image), err::kAborted);
    SetImageProgress({});
    EXPECT_TRUE(image.empty());
}

}  // namespace
}  // namespace orbelune
