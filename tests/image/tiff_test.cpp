#include <gtest/gtest.h>
#include <tiffio.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "image/codec_test_helpers.h"
#include "image/image_io.h"

namespace orbelune {
namespace {

using test::TestDataPath;

std::vector<std::uint8_t> Fixture(const std::string& name) {
    return test::ReadFileBytes(TestDataPath("tiff/" + name));
}

ImageError Decode(const std::vector<std::uint8_t>& bytes, RgbImage& out) {
    return DecodeImageBytes(bytes, ImageFormat::Tiff, out);
}

// Position-derived pixels, so any misplaced row or column shows.
void PatternPixel(std::uint32_t x, std::uint32_t y, std::uint8_t* rgb) {
    rgb[0] = static_cast<std::uint8_t>(x);
    rgb[1] = static_cast<std::uint8_t>(y);
    rgb[2] = static_cast<std::uint8_t>((x >> 8) | ((y >> 8) << 4));
}

// A pattern picture written by libtiff itself, in strips of 7 rows or in
// 48 x 48 tiles, with the given Orientation.
std::vector<std::uint8_t> WritePattern(std::uint32_t width, std::uint32_t height,
                                       std::uint16_t orientation, bool tiled) {
    const std::string path = testing::TempDir() + "orbelune-pattern.tif";
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    EXPECT_NE(tif, nullptr);
    if (tif == nullptr) return {};
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, orientation);
    const std::uint32_t tile = 48;
    TIFFSetField(tif, tiled ? TIFFTAG_TILEWIDTH : TIFFTAG_ROWSPERSTRIP, tiled ? tile : 7);
    if (tiled) TIFFSetField(tif, TIFFTAG_TILELENGTH, tile);
    std::vector<std::uint8_t> block((tiled ? tile * tile : width) * 3);
    for (std::uint32_t y = 0; !tiled && y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x)
            PatternPixel(x, y, &block[3 * x]);
        EXPECT_EQ(TIFFWriteScanline(tif, block.data(), y, 0), 1);
    }
    for (std::uint32_t ty = 0; tiled && ty < height; ty += tile)
        for (std::uint32_t tx = 0; tx < width; tx += tile) {
            for (std::uint32_t i = 0; i < tile * tile; ++i)
                PatternPixel(tx + i % tile, ty + i / tile, &block[3 * i]);
            EXPECT_GT(TIFFWriteTile(tif, block.data(), tx, ty, 0, 0), 0);
        }
    TIFFClose(tif);
    std::vector<std::uint8_t> bytes(4 << 20);
    FILE* in = std::fopen(path.c_str(), "rb");
    bytes.resize(in == nullptr ? 0 : std::fread(bytes.data(), 1, bytes.size(), in));
    if (in != nullptr) std::fclose(in);
    std::remove(path.c_str());
    return bytes;
}

TEST(TiffDecode, MatchesTheReferenceDecoderForEveryLayoutAndOrientation) {
    // Alpha is dropped without compositing. 16-bit samples and colour maps are
    // reduced with libtiff's rounding (the reference truncates). Orientations
    // 5 to 8 show the 13 x 7 file as 7 x 13.
    for (const std::string name :
         {"lzw", "zip", "packbits", "jpeg", "grey", "tiled", "rgba", "rgb16", "palette",
          "orient_topright", "orient_bottomright", "orient_bottomleft", "orient_lefttop",
          "orient_righttop", "orient_rightbottom", "orient_leftbottom"}) {
        SCOPED_TRACE(name);
        RgbImage image;
        ASSERT_EQ(Decode(Fixture(name + ".tif"), image), err::kNone);
        const int tolerance = name == "rgb16" || name == "palette" ? 1 : 0;
        test::ExpectSamePixels(image, test::ReadPpm(TestDataPath("tiff/" + name + ".ppm")),
                               tolerance);
    }
}

TEST(TiffDecode, ReadsLargePicturesInBandsWithoutMisplacingRows) {
    // Big enough to arrive in two bands, which do not end on the picture's edge.
    const std::uint32_t width = 260, height = 1100;
    for (const auto& [orientation, tiled] :
         {std::pair{ORIENTATION_BOTLEFT, false}, std::pair{ORIENTATION_RIGHTTOP, true}}) {
        SCOPED_TRACE(orientation);
        RgbImage image;
        ASSERT_EQ(Decode(WritePattern(width, height, orientation, tiled), image), err::kNone);
        const bool turned = orientation == ORIENTATION_RIGHTTOP;
        ASSERT_EQ(image.width(), static_cast<int>(turned ? height : width));
        int wrong = 0;
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x) {
                // Bottom-up rows, or a quarter turn clockwise.
                const std::uint32_t shownX = turned ? height - 1 - y : x;
                const std::uint32_t shownY = turned ? x : height - 1 - y;
                std::uint8_t expected[3];
                PatternPixel(x, y, expected);
                wrong += !std::equal(expected, expected + 3,
                                     image.row(static_cast<int>(shownY)) + 3 * shownX);
            }
        EXPECT_EQ(wrong, 0);
    }
}

// One deflate strip of grey rows: a few kilobytes that decode to tens of
// megabytes.
std::vector<std::uint8_t> WriteOneStripGrey(std::uint32_t width, std::uint32_t height) {
    const std::string path = testing::TempDir() + "orbelune-strip.tif";
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    EXPECT_NE(tif, nullptr);
    if (tif == nullptr) return {};
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
    std::vector<std::uint8_t> row(width);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x)
            row[x] = static_cast<std::uint8_t>(y / 64);
        EXPECT_EQ(TIFFWriteScanline(tif, row.data(), y, 0), 1);
    }
    TIFFClose(tif);
    std::vector<std::uint8_t> bytes(1 << 20);
    FILE* in = std::fopen(path.c_str(), "rb");
    bytes.resize(in == nullptr ? 0 : std::fread(bytes.data(), 1, bytes.size(), in));
    if (in != nullptr) std::fclose(in);
    std::remove(path.c_str());
    return bytes;
}

std::uint64_t ResidentBytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<std::uint64_t>(resident) *
           static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

TEST(TiffDecode, ATallStripCostsLittleMoreThanThePicture) {
    const std::uint32_t width = 1024, height = 12288;
    const std::vector<std::uint8_t> bomb = WriteOneStripGrey(width, height);
    ASSERT_FALSE(bomb.empty());
    EXPECT_LT(bomb.size(), 64u * 1024);
    // Measured in a child, whose peak starts at what it shares with us.
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(channel[0]);
        const std::uint64_t before = ResidentBytes();
        RgbImage image;
        std::uint64_t result[2] = {Decode(bomb, image), 0};
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        const std::uint64_t peak = static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
        result[1] = peak > before ? peak - before : 0;
        if (image.height() != static_cast<int>(height) || image.row(height - 1)[0] != 191)
            result[0] = 99;
        const ssize_t written = ::write(channel[1], result, sizeof result);
        ::_exit(written == static_cast<ssize_t>(sizeof result) ? 0 : 1);
    }
    ::close(channel[1]);
    std::uint64_t result[2] = {0, 0};
    const ssize_t got = ::read(channel[0], result, sizeof result);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof result));
    EXPECT_EQ(result[0], err::kNone);
    const double picture = 3.0 * width * height;
    EXPECT_LT(static_cast<double>(result[1]), 1.3 * picture) << result[1] / picture;
}

TEST(TiffDecode, DamagedFilesFailQuietlyWithAnEmptyImage) {
    // A minimal uncompressed 4 x 2 RGB file: header, nine tags, the three
    // BitsPerSample values, then one 24-byte strip.
    auto handMade = [](std::uint32_t width, std::uint32_t height, bool withStrip) {
        test::Bytes b;
        b.Raw({'I', 'I', 42, 0}).U32(8).U16(9);
        for (const auto& [tag, type, value] : {std::tuple{256u, 4u, width},
                                               {257u, 4u, height},
                                               {258u, 3u, 122u},
                                               {259u, 3u, 1u},
                                               {262u, 3u, 2u},
                                               {273u, 4u, 128u},
                                               {277u, 3u, 3u},
                                               {278u, 4u, height},
                                               {279u, 4u, 24u}})
            b.U16(tag).U16(type).U32(tag == 258 ? 3 : 1).U32(value);
        b.U32(0).U16(8).U16(8).U16(8);
        if (withStrip) b.Fill(24, 0x80);
        return std::vector<std::uint8_t>(b);
    };
    RgbImage image;
    ASSERT_EQ(Decode(handMade(4, 2, true), image), err::kNone);
    EXPECT_EQ(image.width(), 4);
    EXPECT_EQ(image.data()[23], 0x80);

    const auto lzw = Fixture("lzw.tif");
    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
        ImageError expected;
    } cases[] = {
        {"empty", {}, err::kBadTiff},
        {"header only", {'I', 'I', 42, 0, 8, 0, 0, 0}, err::kBadTiff},
        {"not a TIFF", std::vector<std::uint8_t>(64, 0x5A), err::kBadTiff},
        {"directory cut off", {lzw.begin(), lzw.begin() + 40}, err::kBadTiff},
        {"strip missing", handMade(4, 2, false), err::kBadTiff},
        {"absurd size", handMade(100000, 100000, true), err::kNoMemory},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(image.AllocatePixels(2, 2), err::kNone);
        testing::internal::CaptureStderr();
        EXPECT_EQ(Decode(c.bytes, image), c.expected);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_TRUE(image.empty());
    }
}

TEST(TiffEncode, WritesExactlyTheFixedTags) {
    RgbImage source;
    ASSERT_EQ(source.AllocatePixels(300, 50), err::kNone);
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(EncodeImageBytes(source, ImageFormat::Tiff, bytes), err::kNone);

    // These tags and no others (strip offsets and byte counts come with strips).
    ASSERT_GE(bytes.size(), 8u);
    const std::uint32_t ifd =
        bytes[4] | (bytes[5] << 8) | (bytes[6] << 16) | (std::uint32_t{bytes[7]} << 24);
    ASSERT_LT(ifd + 2 + 15 * 12, bytes.size());
    std::vector<unsigned> tags;
    const unsigned count = bytes[ifd] | (bytes[ifd + 1] << 8);
    for (unsigned i = 0; i < count; ++i)
        tags.push_back(bytes[ifd + 2 + 12 * i] | (bytes[ifd + 3 + 12 * i] << 8));
    EXPECT_EQ(tags, (std::vector<unsigned>{256, 257, 258, 259, 262, 273, 274, 277, 278, 279, 282,
                                           283, 284, 296, 305}));

    const std::string path = testing::TempDir() + "orbelune-tags.tif";
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    auto u16 = [tif](ttag_t tag) {
        std::uint16_t v = 0;
        EXPECT_TRUE(TIFFGetField(tif, tag, &v)) << tag;
        return v;
    };
    auto u32 = [tif](ttag_t tag) {
        std::uint32_t v = 0;
        EXPECT_TRUE(TIFFGetField(tif, tag, &v)) << tag;
        return v;
    };
    float xres = 0, yres = 0;
    char* software = nullptr;
    EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres) &&
                TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres));
    EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_SOFTWARE, &software));
    EXPECT_EQ(u32(TIFFTAG_IMAGEWIDTH), 300u);
    EXPECT_EQ(u32(TIFFTAG_IMAGELENGTH), 50u);
    EXPECT_EQ(u16(TIFFTAG_ORIENTATION), ORIENTATION_TOPLEFT);
    EXPECT_EQ(u16(TIFFTAG_RESOLUTIONUNIT), RESUNIT_NONE);
    EXPECT_EQ(xres, 1.0f);
    EXPECT_EQ(yres, 1.0f);
    EXPECT_STREQ(software, "Orbelune");
    EXPECT_EQ(u32(TIFFTAG_ROWSPERSTRIP), 9u);  // libtiff's default: 8 KiB strips of 900-byte rows
    EXPECT_EQ(u16(TIFFTAG_SAMPLESPERPIXEL), 3);
    EXPECT_EQ(u16(TIFFTAG_BITSPERSAMPLE), 8);
    EXPECT_EQ(u16(TIFFTAG_PLANARCONFIG), PLANARCONFIG_CONTIG);
    EXPECT_EQ(u16(TIFFTAG_PHOTOMETRIC), PHOTOMETRIC_RGB);
    EXPECT_EQ(u16(TIFFTAG_COMPRESSION), COMPRESSION_NONE);
    TIFFClose(tif);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace orbelune
