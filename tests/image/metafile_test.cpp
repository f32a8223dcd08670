#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "image/codec_test_helpers.h"
#include "image/codecs/codec.h"
#include "image/file_io.h"
#include "image/image_io.h"
#include "image/image_layer.h"

namespace orbelune {
namespace {

using test::Bytes;

constexpr std::uint32_t kGrey = 0x808080;
constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kGreen = 0x00A000;

// A COLORREF: 0x00BBGGRR.
std::uint32_t ColorRef(std::uint32_t rgb) {
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

std::uint32_t Pixel(const RgbImage& image, int x, int y) {
    const std::uint8_t* p = image.row(y) + 3 * x;
    return (p[0] << 16) | (p[1] << 8) | p[2];
}

// The colour at (x, y), or at one of its neighbours (anti-aliased edges).
::testing::AssertionResult ColourNear(const RgbImage& image, int x, int y, std::uint32_t rgb) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int px = x + dx, py = y + dy;
            if (px < 0 || py < 0 || px >= image.width() || py >= image.height()) continue;
            if (Pixel(image, px, py) == rgb) return ::testing::AssertionSuccess();
        }
    char text[96];
    std::snprintf(text, sizeof text, "pixel (%d, %d) is %06X, not %06X", x, y, Pixel(image, x, y),
                  rgb);
    return ::testing::AssertionFailure() << text;
}

bool IsDark(std::uint32_t rgb) {
    return (rgb >> 16) < 0x40 && ((rgb >> 8) & 0xFF) < 0x40 && (rgb & 0xFF) < 0x40;
}

int CountDark(const RgbImage& image, int left, int top, int right, int bottom) {
    int count = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            count += IsDark(Pixel(image, x, y));
    return count;
}

// ---- EMF ----

class Emf {
public:
    // Frame in 0.01 mm on a 96 dpi device (960 pixels on 254 mm).
    explicit Emf(std::int32_t right, std::int32_t bottom) : right_(right), bottom_(bottom) {}

    Emf& Record(std::uint32_t type, std::initializer_list<std::uint32_t> words) {
        body_.U32(type).U32(8 + 4 * static_cast<std::uint32_t>(words.size()));
        for (std::uint32_t w : words)
            body_.U32(w);
        ++records_;
        return *this;
    }
    Emf& Brush(std::uint32_t index, std::uint32_t rgb) {
        return Record(39, {index, 0, ColorRef(rgb), 0});
    }
    Emf& Pen(std::uint32_t index, std::uint32_t width, std::uint32_t rgb) {
        // EXTCREATEPEN, geometric: libemf2svg draws every CREATEPEN one pixel wide.
        return Record(95, {index, 0, 0, 0, 0, 0x10000, width, 0, ColorRef(rgb), 0, 0});
    }
    Emf& Select(std::uint32_t index) { return Record(37, {index}); }
    Emf& Rectangle(int l, int t, int r, int b) {
        return Record(43, {std::uint32_t(l), std::uint32_t(t), std::uint32_t(r), std::uint32_t(b)});
    }
    Emf& Ellipse(int l, int t, int r, int b) {
        return Record(42, {std::uint32_t(l), std::uint32_t(t), std::uint32_t(r), std::uint32_t(b)});
    }
    Emf& Polyline16(std::initializer_list<std::pair<int, int>> points) {
        body_.U32(87).U32(28 + 4 * static_cast<std::uint32_t>(points.size()));
        body_.U32(0).U32(0).U32(0).U32(0).U32(static_cast<std::uint32_t>(points.size()));
        for (auto [x, y] : points)
            body_.U16(static_cast<unsigned>(x)).U16(static_cast<unsigned>(y));
        ++records_;
        return *this;
    }
    Emf& Font(std::uint32_t index, int height) {
        body_.U32(82).U32(104).U32(index);
        body_.U32(static_cast<std::uint32_t>(-height)).U32(0).U32(0).U32(0).U32(700);
        body_.U32(0).U32(0);
        const char* face = "Sans";
        for (int i = 0; i < 32; ++i)
            body_.U16(i < 4 ? static_cast<unsigned>(face[i]) : 0);
        ++records_;
        return *this;
    }
    // UTF-16 code units drawn with their top-left corner at (x, y).
    Emf& Text(int x, int y, std::vector<std::uint16_t> text) {
        const std::uint32_t n = static_cast<std::uint32_t>(text.size());
        const std::uint32_t textBytes = (2 * n + 3) / 4 * 4;
        body_.U32(84).U32(76 + textBytes + 4 * n);
        body_.U32(0).U32(0).U32(0xFFFFFFFF).U32(0xFFFFFFFF).U32(1);  // bounds, GM_COMPATIBLE
        const float scale = 1.0f;
        std::uint32_t bits;
        std::memcpy(&bits, &scale, 4);
        body_.U32(bits).U32(bits);
        body_.U32(static_cast<std::uint32_t>(x)).U32(static_cast<std::uint32_t>(y)).U32(n).U32(76);
        body_.U32(0).U32(0).U32(0).U32(0xFFFFFFFF).U32(0xFFFFFFFF).U32(76 + textBytes);
        for (std::uint16_t c : text)
            body_.U16(c);
        body_.Fill(textBytes - 2 * n, 0);
        for (std::uint32_t i = 0; i < n; ++i)
            body_.U32(0);
        ++records_;
        return *this;
    }

    std::vector<std::uint8_t> Bytes(bool withEof = true) const {
        test::Bytes all;
        const std::uint32_t total =
            108 + static_cast<std::uint32_t>(body_.size()) + (withEof ? 20 : 0);
        all.U32(1).U32(108);
        all.U32(0)
            .U32(0)
            .U32(static_cast<std::uint32_t>(right_ * 96 / 2540))
            .U32(static_cast<std::uint32_t>(bottom_ * 96 / 2540));
        all.U32(0)
            .U32(0)
            .U32(static_cast<std::uint32_t>(right_))
            .U32(static_cast<std::uint32_t>(bottom_));
        all.U32(0x464D4520).U32(0x10000).U32(total).U32(records_ + 2).U16(8).U16(0);
        all.U32(0).U32(0).U32(0);
        all.U32(960).U32(960).U32(254).U32(254);
        all.U32(0).U32(0).U32(0).U32(254000).U32(254000);
        std::vector<std::uint8_t> out = all;
        const std::vector<std::uint8_t>& body = body_;
        out.insert(out.end(), body.begin(), body.end());
        if (withEof) {
            test::Bytes eof;
            eof.U32(14).U32(20).U32(0).U32(16).U32(20);
            const std::vector<std::uint8_t>& e = eof;
            out.insert(out.end(), e.begin(), e.end());
        }
        return out;
    }

private:
    std::int32_t right_, bottom_;
    test::Bytes body_;
    std::uint32_t records_ = 0;
};

constexpr std::uint32_t kNullPen = 0x80000008;

// 192 x 96 pixels: a red rectangle, a blue disc, a thick green line, black text.
Emf Scene() {
    Emf emf(5080, 2540);
    emf.Select(kNullPen).Brush(1, kRed).Select(1).Rectangle(20, 20, 60, 50);
    emf.Brush(2, kBlue).Select(2).Ellipse(100, 10, 180, 90);
    emf.Pen(3, 6, kGreen).Select(3).Polyline16({{10, 80}, {90, 80}});
    emf.Record(18, {1}).Record(24, {0}).Font(4, 20).Select(4);
    emf.Text(4, 52, {'H', 'H'});  // under the rectangle, above the line
    return emf;
}

ImageError DecodeEmfBytes(const std::vector<std::uint8_t>& bytes, RgbImage& out) {
    return DecodeImageBytes(bytes, ImageFormat::Emf, out);
}

void ExpectScene(const RgbImage& image, int textLeft, int textTop, int textRight, int textBottom) {
    ASSERT_EQ(image.width(), 192);
    ASSERT_EQ(image.height(), 96);
    // Rectangle 20..60 x 20..50.
    EXPECT_TRUE(ColourNear(image, 40, 35, kRed));
    EXPECT_TRUE(ColourNear(image, 22, 22, kRed));
    EXPECT_TRUE(ColourNear(image, 57, 47, kRed));
    EXPECT_TRUE(ColourNear(image, 17, 35, kGrey));
    EXPECT_TRUE(ColourNear(image, 63, 35, kGrey));
    EXPECT_TRUE(ColourNear(image, 40, 17, kGrey));
    // Disc centred on (140, 50), radius 40.
    EXPECT_TRUE(ColourNear(image, 140, 50, kBlue));
    EXPECT_TRUE(ColourNear(image, 140, 13, kBlue));
    EXPECT_TRUE(ColourNear(image, 103, 50, kBlue));
    EXPECT_TRUE(ColourNear(image, 106, 16, kGrey));  // corner of its box, outside the circle
    EXPECT_TRUE(ColourNear(image, 185, 50, kGrey));
    // Line at y = 80, 6 wide.
    EXPECT_TRUE(ColourNear(image, 50, 80, kGreen));
    EXPECT_TRUE(ColourNear(image, 50, 74, kGrey));
    EXPECT_TRUE(ColourNear(image, 50, 86, kGrey));
    // Text strokes inside its box, none in the empty top-left corner.
    EXPECT_GT(CountDark(image, textLeft, textTop, textRight, textBottom), 20);
    EXPECT_EQ(CountDark(image, 0, 0, 18, 18), 0);
    EXPECT_TRUE(ColourNear(image, 2, 2, kGrey));
}

TEST(EmfDecoder, DrawsShapesAndTextAtPredictedPlaces) {
    RgbImage image;
    ASSERT_EQ(DecodeEmfBytes(Scene().Bytes(), image), err::kNone);
    ExpectScene(image, 0, 50, 60, 74);
}

TEST(EmfDecoder, DescriptionWhereTheHeaderExtensionWouldBeIsNotReadAsSizes) {
    // Older writers put the description right after the 88-byte header: what
    // would be the micrometre sizes is text then.
    std::vector<std::uint8_t> bytes = Scene().Bytes();
    const std::uint32_t length = 10, at = 88;
    std::memcpy(bytes.data() + 60, &length, 4);
    std::memcpy(bytes.data() + 64, &at, 4);
    for (int i = 88; i < 108; i += 2)
        bytes[i] = 'x', bytes[i + 1] = 0;
    RgbImage image;
    ASSERT_EQ(DecodeEmfBytes(bytes, image), err::kNone);
    ExpectScene(image, 0, 50, 60, 74);
}

TEST(EmfDecoder, FrameSetsSizeAndScale) {
    // Twice the frame on the same drawing: twice the pixels, shapes twice as far.
    Emf emf(10160, 5080);
    emf.Select(kNullPen).Brush(1, kRed).Select(1).Rectangle(20, 20, 60, 50);
    RgbImage image;
    ASSERT_EQ(DecodeEmfBytes(emf.Bytes(), image), err::kNone);
    EXPECT_EQ(image.width(), 384);
    EXPECT_EQ(image.height(), 192);
    EXPECT_TRUE(ColourNear(image, 40, 35, kRed));  // drawn in device pixels: unscaled
    EXPECT_TRUE(ColourNear(image, 100, 100, kGrey));
}

TEST(EmfDecoder, DamagedFilesGiveBadMetafileAndNoPicture) {
    const std::vector<std::uint8_t> good = Scene().Bytes();
    std::vector<std::vector<std::uint8_t>> bad;
    bad.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    bad.push_back(Scene().Bytes(false));  // no EOF record
    auto oversized = good;
    oversized[108 + 4] = 0xF0;  // first record longer than the file
    bad.push_back(oversized);
    auto signature = good;
    signature[41] = 'X';
    bad.push_back(signature);
    Emf surrogate = Scene();
    surrogate.Text(0, 0, {0xDC00, 'A'});
    bad.push_back(surrogate.Bytes());
    Emf shortRecord(5080, 2540);
    shortRecord.Record(43, {1, 2});  // a rectangle without its corners
    bad.push_back(shortRecord.Bytes());
    for (std::size_t i = 0; i < bad.size(); ++i) {
        RgbImage image;
        EXPECT_EQ(DecodeEmfBytes(bad[i], image), err::kBadMetafile) << "case " << i;
        EXPECT_TRUE(image.empty()) << "case " << i;
    }
}

TEST(EmfDecoder, TextTallerThanAnyPictureStillRenders) {
    // Millions of pixels high: FreeType fails on it and librsvg would abort.
    Emf emf(5080, 2540);
    emf.Record(18, {1}).Record(24, {0}).Font(1, 13762572).Select(1).Text(10, 10, {'d', 'u'});
    emf.Select(kNullPen).Brush(2, kRed).Select(2).Rectangle(20, 20, 60, 50);
    RgbImage image;
    ASSERT_EQ(DecodeEmfBytes(emf.Bytes(), image), err::kNone);
    EXPECT_EQ(image.width(), 192);
}

TEST(EmfDecoder, GlyphIndexTextAfterOrdinaryTextDoesNotAbort) {
    // libemf2svg shuts fontconfig down after looking up a glyph-index font,
    // which aborts once librsvg has laid out text with it.
    RgbImage first;
    ASSERT_EQ(DecodeEmfBytes(Scene().Bytes(), first), err::kNone);
    std::vector<std::uint8_t> glyphs = Scene().Bytes();
    std::size_t offset = 0;
    while (offset < glyphs.size()) {  // every text record's options: ETO_GLYPH_INDEX
        std::uint32_t type, size;
        std::memcpy(&type, glyphs.data() + offset, 4);
        std::memcpy(&size, glyphs.data() + offset + 4, 4);
        if (type == 84) glyphs[offset + 52] |= 0x10;
        offset += size;
    }
    RgbImage image;
    ASSERT_EQ(DecodeEmfBytes(glyphs, image), err::kNone);
    EXPECT_TRUE(ColourNear(image, 40, 35, kRed));
}

TEST(EmfDecoder, HugeFrameIsRefusedBeforeRendering) {
    Emf emf(1000000, 1000000);  // 10 m
    RgbImage image;
    EXPECT_EQ(DecodeEmfBytes(emf.Bytes(), image), err::kNoMemory);
    EXPECT_TRUE(image.empty());
}

// ---- WMF ----

class Wmf {
public:
    Wmf& Record(std::uint16_t function, std::initializer_list<int> words) {
        body_.U32(3 + static_cast<std::uint32_t>(words.size())).U16(function);
        for (int w : words)
            body_.U16(static_cast<unsigned>(w) & 0xFFFF);
        largest_ = std::max<std::uint32_t>(largest_, 3 + static_cast<std::uint32_t>(words.size()));
        return *this;
    }
    Wmf& Brush(std::uint32_t rgb) {
        const std::uint32_t c = ColorRef(rgb);
        return Record(0x2FC, {0, int(c & 0xFFFF), int(c >> 16), 0});
    }
    Wmf& Pen(int style, int width, std::uint32_t rgb) {
        const std::uint32_t c = ColorRef(rgb);
        return Record(0x2FA, {style, width, 0, int(c & 0xFFFF), int(c >> 16)});
    }
    Wmf& Select(int index) { return Record(0x12D, {index}); }
    Wmf& Window(int x, int y, int w, int h) { return Record(0x20B, {y, x}).Record(0x20C, {h, w}); }
    Wmf& Font(int height, const char* face = "Sans") {
        // Height, width, escapement, orientation, weight, then byte fields and the face.
        body_.U32(3 + 9 + static_cast<std::uint32_t>(std::strlen(face) / 2 + 1)).U16(0x2FB);
        for (int w : {-height, 0, 0, 0, 700, 0, 0, 0, 0})
            body_.U16(static_cast<unsigned>(w) & 0xFFFF);
        for (const char* c = face; *c != 0; ++c)
            body_.U8(static_cast<unsigned char>(*c));
        body_.U8(0);
        if (std::strlen(face) % 2 == 0) body_.U8(0);
        largest_ = std::max<std::uint32_t>(
            largest_, 12 + static_cast<std::uint32_t>(std::strlen(face) / 2 + 1));
        return *this;
    }
    Wmf& Text(int x, int y, const char* text) {
        const int n = static_cast<int>(std::strlen(text));
        body_.U32(3 + 1 + static_cast<std::uint32_t>((n + 1) / 2) + 2)
            .U16(0x521)
            .U16(static_cast<unsigned>(n));
        for (int i = 0; i < n; ++i)
            body_.U8(static_cast<unsigned char>(text[i]));
        if (n % 2) body_.U8(0);
        body_.U16(static_cast<unsigned>(y)).U16(static_cast<unsigned>(x));
        return *this;
    }

    std::vector<std::uint8_t> Bytes(bool placeable, int right = 0, int bottom = 0, int inch = 96,
                                    bool withEof = true) const {
        test::Bytes all;
        if (placeable) {
            all.U32(0x9AC6CDD7)
                .U16(0)
                .U16(0)
                .U16(0)
                .U16(static_cast<unsigned>(right))
                .U16(static_cast<unsigned>(bottom))
                .U16(static_cast<unsigned>(inch))
                .U32(0)
                .U16(0);
        }
        const std::uint32_t words =
            9 + static_cast<std::uint32_t>(body_.size()) / 2 + (withEof ? 3 : 0);
        all.U16(1).U16(9).U16(0x300).U32(words).U16(8).U32(largest_).U16(0);
        std::vector<std::uint8_t> out = all;
        const std::vector<std::uint8_t>& body = body_;
        out.insert(out.end(), body.begin(), body.end());
        if (withEof) out.insert(out.end(), {3, 0, 0, 0, 0, 0});
        return out;
    }

private:
    test::Bytes body_;
    std::uint32_t largest_ = 3;
};

// The scene of the EMF tests in a 192 x 96 window, one unit a pixel.
Wmf WmfScene(const char* face = "Sans") {
    Wmf wmf;
    wmf.Record(0x103, {8}).Window(0, 0, 192, 96);
    wmf.Pen(5, 0, 0).Select(0);  // null pen: object 0
    wmf.Brush(kRed).Select(1).Record(0x41B, {50, 60, 20, 20});
    wmf.Brush(kBlue).Select(2).Record(0x418, {90, 180, 10, 100});
    wmf.Pen(0, 6, kGreen).Select(3).Record(0x325, {2, 10, 80, 90, 80});
    wmf.Record(0x102, {1}).Record(0x209, {0, 0}).Font(20, face).Select(4);
    wmf.Text(4, 52, "HH");
    return wmf;
}

ImageError DecodeWmfBytes(const std::vector<std::uint8_t>& bytes, RgbImage& out) {
    return DecodeImageBytes(bytes, ImageFormat::Wmf, out);
}

TEST(WmfDecoder, PlaceableFileDrawsShapesAndTextAtPredictedPlaces) {
    RgbImage image;
    ASSERT_EQ(DecodeWmfBytes(WmfScene().Bytes(true, 192, 96, 96), image), err::kNone);
    ExpectScene(image, 0, 50, 60, 74);
}

TEST(WmfDecoder, TextInTheStandardFacesRenders) {
    // Every face name ends on one of libwmf's standard faces, whatever font
    // map the machine has.
    for (const char* face : {"Times New Roman", "Courier New", "Arial", "Symbol", "NoSuchFace"}) {
        RgbImage image;
        ASSERT_EQ(DecodeWmfBytes(WmfScene(face).Bytes(true, 192, 96, 96), image), err::kNone)
            << face;
        ExpectScene(image, 0, 50, 60, 74);
    }
}

TEST(WmfDecoder, TextWithoutAFontOrGlyphsItCanRenderIsLeftOut) {
    // No font ever selected: the rest of the picture is drawn.
    Wmf bare;
    bare.Record(0x103, {8}).Window(0, 0, 192, 96);
    bare.Pen(5, 0, 0).Select(0).Brush(kRed).Select(1).Record(0x41B, {50, 60, 20, 20});
    bare.Text(4, 52, "HH");
    RgbImage image;
    ASSERT_EQ(DecodeWmfBytes(bare.Bytes(false), image), err::kNone);
    EXPECT_TRUE(ColourNear(image, 40, 35, kRed));

    // A window 200 times wider than tall stretches the glyphs past what
    // FreeType renders; libwmf then painted a glyph without pixels.
    Wmf stretched;
    stretched.Record(0x103, {8}).Window(0, 0, 19392, 96);
    stretched.Pen(5, 0, 0).Select(0).Brush(kRed).Select(1).Record(0x41B, {50, 9600, 20, 0});
    stretched.Font(20, "Times").Select(2).Text(4, 56, "HH");
    image = RgbImage();
    ASSERT_EQ(DecodeWmfBytes(stretched.Bytes(false), image), err::kNone);
    EXPECT_TRUE(ColourNear(image, 4800, 35, kRed));
}

TEST(WmfDecoder, PlainFileTakesItsWindowExtent) {
    RgbImage image;
    ASSERT_EQ(DecodeWmfBytes(WmfScene().Bytes(false), image), err::kNone);
    ExpectScene(image, 0, 50, 60, 74);
}

TEST(WmfDecoder, PlaceableUnitsPerInchScaleThePicture) {
    // The same 192 x 96 units at 192 units per inch: half the pixels.
    RgbImage image;
    ASSERT_EQ(DecodeWmfBytes(WmfScene().Bytes(true, 192, 96, 192), image), err::kNone);
    EXPECT_EQ(image.width(), 96);
    EXPECT_EQ(image.height(), 48);
    EXPECT_TRUE(ColourNear(image, 20, 17, kRed));
    EXPECT_TRUE(ColourNear(image, 70, 25, kBlue));
}

TEST(WmfDecoder, WithoutWindowTheDrawingSetsTheSize) {
    Wmf wmf;
    wmf.Pen(5, 0, 0).Select(0).Brush(kRed).Select(1).Record(0x41B, {150, 140, 50, 40});
    RgbImage image;
    ASSERT_EQ(DecodeWmfBytes(wmf.Bytes(false), image), err::kNone);
    EXPECT_NEAR(image.width(), 100, 2);
    EXPECT_NEAR(image.height(), 100, 2);
    EXPECT_TRUE(ColourNear(image, 50, 50, kRed));
}

TEST(WmfDecoder, DamagedFilesGiveBadMetafileAndNoPicture) {
    const std::vector<std::uint8_t> good = WmfScene().Bytes(true, 192, 96);
    std::vector<std::vector<std::uint8_t>> bad;
    bad.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    bad.push_back(WmfScene().Bytes(true, 192, 96, 96, false));  // no EOF record
    auto oversized = good;
    oversized[22 + 18 + 2] = 0x40;  // first record longer than the file
    bad.push_back(oversized);
    auto header = good;
    header[22 + 2] = 7;  // header size
    bad.push_back(header);
    bad.push_back(WmfScene().Bytes(true, 192, 96, 0));  // no units per inch
    // A bitmap whose header claims 100000 x 100000 pixels in a few bytes.
    Wmf bitmap;
    bitmap.Record(0xF43, {0x20, 0xCC, 0, 1, 1, 0, 0, 10, 10, 0, 0, 40, 0, -31072, 1, -31072, 1,
                          1,    24,   0, 0, 0, 0, 0, 0,  0,  0, 0, 0,  0, 0,      0, 0});
    bad.push_back(bitmap.Bytes(true, 192, 96));
    for (std::size_t i = 0; i < bad.size(); ++i) {
        RgbImage image;
        EXPECT_EQ(DecodeWmfBytes(bad[i], image), err::kBadMetafile) << "case " << i;
        EXPECT_TRUE(image.empty()) << "case " << i;
    }
}

TEST(WmfDecoder, TopDownBitmapKeepsItsTopRowOnTop) {
    // A 2 x 2 DIB stored top row first (negative height): red over blue,
    // stretched over the whole window.
    Wmf wmf;
    wmf.Record(0x103, {8}).Window(0, 0, 192, 96);
    wmf.Record(0xF43, {0x20,   0xCC,   0,      2,      2,      0,      0, 96, 192,
                       0,      0,  // raster op, sizes
                       40,     0,      2,      0,      -2,     -1,     1, 24, 0,
                       0,      16,     0,      0,      0,      0,      0, 0,  0,
                       0,      0,      0x0000, 0x00FF, 0xFF00, 0x0000,  // red, red (BGR), padding
                       0x00FF, 0xFF00, 0x0000, 0x0000});                // blue, blue, padding
    RgbImage image;
    ASSERT_EQ(DecodeWmfBytes(wmf.Bytes(false), image), err::kNone);
    // libwmf blends between the two rows when it stretches them.
    const std::uint32_t top = Pixel(image, 96, 10), bottom = Pixel(image, 96, 86);
    EXPECT_GT(top >> 16, (top & 0xFF) + 64) << std::hex << top;
    EXPECT_GT(bottom & 0xFF, (bottom >> 16) + 64) << std::hex << bottom;
}

TEST(WmfDecoder, PenWiderThanThePictureStillRenders) {
    // libwmf stamps the pen's square at every point: 30000 units would take minutes.
    Wmf wmf;
    wmf.Record(0x103, {8}).Window(0, 0, 192, 96);
    wmf.Pen(0, 30000, kGreen).Select(0).Record(0x325, {2, 10, 48, 180, 48});
    RgbImage image;
    ASSERT_EQ(DecodeWmfBytes(wmf.Bytes(false), image), err::kNone);
    EXPECT_TRUE(ColourNear(image, 96, 48, kGreen));
}

TEST(WmfDecoder, HugeFrameIsRefusedBeforeRendering) {
    RgbImage image;  // 3937 units at 10 per inch: 10 m
    EXPECT_EQ(DecodeWmfBytes(WmfScene().Bytes(true, 3937, 3937, 10), image), err::kNoMemory);
    EXPECT_TRUE(image.empty());
}

// ---- Through the loader, and the public sample files ----

TEST(MetafileLoading, LoadImageFileDetectsBothKindsAndBuildsThePalette) {
    TempFolder folder;
    const std::string emfPath = folder.path() + "/scene.emf";
    const std::string wmfPath = folder.path() + "/scene.bin";  // content decides
    const std::vector<std::uint8_t> emf = Scene().Bytes();
    const std::vector<std::uint8_t> wmf = WmfScene().Bytes(true, 192, 96);
    ASSERT_EQ(WriteFileAtomically(emfPath, emf.data(), emf.size()), err::kNone);
    ASSERT_EQ(WriteFileAtomically(wmfPath, wmf.data(), wmf.size()), err::kNone);
    for (const std::string& path : {emfPath, wmfPath}) {
        RgbImage image;
        ASSERT_EQ(image.LoadImageFile(path), err::kNone) << path;
        EXPECT_EQ(image.width(), 192);
        ASSERT_NE(image.palette(), nullptr);
    }
    EXPECT_EQ(DetectFileFormat(wmfPath), ImageFormat::Wmf);
}

std::string SampleFolder() {
    for (const char* candidate : {"/work/shared/metafiles", "../shared/metafiles"})
        if (std::filesystem::is_directory(candidate)) return candidate;
    return {};
}

// Frame of an EMF sample in pixels, straight from its header.
void EmfFrame(const std::vector<std::uint8_t>& bytes, int& w, int& h) {
    std::int32_t f[4];
    std::memcpy(f, bytes.data() + 24, 16);
    w = static_cast<int>(std::lround((f[2] - f[0]) * 96.0 / 2540));
    h = static_cast<int>(std::lround((f[3] - f[1]) * 96.0 / 2540));
}

TEST(MetafileSamples, RenderAtTheirFrameOrAreRefusedWhenDamaged) {
    const std::string folder = SampleFolder();
    if (folder.empty()) GTEST_SKIP() << "no sample metafiles in ../shared/metafiles";
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        const std::string ext = entry.path().extension().string();
        if (ext != ".emf" && ext != ".wmf") continue;
        SCOPED_TRACE(name);
        ++checked;
        RgbImage image;
        const ImageError result = image.LoadImageFile(entry.path().string());
        if (name.rfind("bad_corrupted", 0) == 0) {
            EXPECT_EQ(result, err::kBadMetafile);
            EXPECT_TRUE(image.empty());
            continue;
        }
        EXPECT_EQ(result, err::kNone);
        if (result != err::kNone) continue;
        const std::vector<std::uint8_t> bytes = test::ReadFileBytes(entry.path().string());
        int w = 0, h = 0;
        if (ext == ".emf") {
            EmfFrame(bytes, w, h);
        } else {
            std::int16_t box[4];
            std::memcpy(box, bytes.data() + 6, 8);
            const std::uint16_t inch = static_cast<std::uint16_t>(bytes[14] | bytes[15] << 8);
            w = static_cast<int>(std::lround((box[2] - box[0]) * 96.0 / inch));
            h = static_cast<int>(std::lround((box[3] - box[1]) * 96.0 / inch));
        }
        EXPECT_EQ(image.width(), w);
        EXPECT_EQ(image.height(), h);
        int background = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                background += Pixel(image, x, y) == kGrey;
        const double share = static_cast<double>(background) / (image.width() * image.height());
        if (name == "test-030.emf")
            EXPECT_EQ(share, 1.0);  // selects stock objects, draws nothing
        else
            EXPECT_LT(share, 0.9);
    }
    EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace orbelune

namespace orbelune {
namespace {

// Found by the fuzzer: a bitmap record whose header makes libwmf ask for 11 GB.
// Its allocations are bounded now: the bitmap is left out (under ASan the old
// allocation aborted the process) and the rest is drawn, or the file refused.
TEST(WmfDecoder, ABitmapHeaderAskingForGigabytesCostsNoGigabytes) {
    const std::vector<std::uint8_t> bytes =
        test::ReadFileBytes(ORBELUNE_TEST_DATA "/wmf/oom_bitmap_header.wmf");
    ASSERT_FALSE(bytes.empty());
    RgbImage image;
    const ImageError result = DecodeImageBytes(bytes, ImageFormat::Wmf, image);
    if (result == err::kNone) {
        EXPECT_GT(image.width(), 0);
        EXPECT_LT(image.byteCount(), std::size_t{1} << 30);
    } else {
        EXPECT_EQ(result, err::kBadMetafile);
        EXPECT_TRUE(image.empty());
    }
}

// Found by the fuzzer: text in the default font in a window 200 times wider
// than tall, whose glyphs FreeType cannot render at that stretch; libwmf read
// the missing pixels.
TEST(WmfDecoder, TextStretchedBeyondRenderingIsLeftOut) {
    const std::vector<std::uint8_t> bytes =
        test::ReadFileBytes(ORBELUNE_TEST_DATA "/wmf/stretched_text.wmf");
    ASSERT_FALSE(bytes.empty());
    RgbImage image;
    ASSERT_EQ(DecodeImageBytes(bytes, ImageFormat::Wmf, image), err::kNone);
    EXPECT_EQ(image.width(), 19392);
    EXPECT_EQ(image.height(), 96);
}

// Found by the fuzzer next: a font 1300 units tall and one wide, turned by
// 25 degrees. Whether FreeType renders a glyph that thin depends on the
// fraction of a pixel where it starts, so checking only where the text starts
// was not enough.
TEST(WmfDecoder, TextSquashedAndTurnedIsLeftOutWhereItCannotRender) {
    const std::vector<std::uint8_t> bytes =
        test::ReadFileBytes(ORBELUNE_TEST_DATA "/wmf/squashed_turned_text.wmf");
    ASSERT_FALSE(bytes.empty());
    RgbImage image;
    ASSERT_EQ(DecodeImageBytes(bytes, ImageFormat::Wmf, image), err::kNone);
    EXPECT_GT(image.width(), 0);
}

}  // namespace
}  // namespace orbelune
