#include <gtest/gtest.h>

#include <cstdio>  // jpeglib.h needs FILE
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "image/codec_test_helpers.h"
#include "image/codecs/codec.h"
#include "image/image_io.h"
#include "image/image_layer.h"

namespace orbelune {
namespace {

using test::TestDataPath;

std::vector<std::uint8_t> Fixture(const std::string& name) {
    return test::ReadFileBytes(TestDataPath("jpeg/" + name));
}

// Offset of the first marker FF <code> after SOI, or npos.
std::size_t FindMarker(const std::vector<std::uint8_t>& bytes, std::uint8_t code) {
    for (std::size_t i = 2; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == code) return i;
    return std::string::npos;
}

// The same coefficients in one sequential scan: libjpeg's lossless transcoding.
std::vector<std::uint8_t> SequentialCopy(const std::vector<std::uint8_t>& jpeg) {
    jpeg_decompress_struct in{};
    jpeg_compress_struct out{};
    jpeg_error_mgr inErrors{}, outErrors{};
    in.err = jpeg_std_error(&inErrors);
    out.err = jpeg_std_error(&outErrors);
    jpeg_create_decompress(&in);
    jpeg_create_compress(&out);
    jpeg_mem_src(&in, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&in, TRUE);
    jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&in);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&out, &buffer, &size);
    jpeg_copy_critical_parameters(&in, &out);
    jpeg_write_coefficients(&out, coefficients);
    jpeg_finish_compress(&out);
    jpeg_finish_decompress(&in);
    jpeg_destroy_compress(&out);
    jpeg_destroy_decompress(&in);
    std::vector<std::uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

// One sequential arithmetic-coded scan, as some cameras and tools write.
std::vector<std::uint8_t> ArithmeticJpeg(const RgbImage& image) {
    jpeg_compress_struct out{};
    jpeg_error_mgr errors{};
    out.err = jpeg_std_error(&errors);
    jpeg_create_compress(&out);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&out, &buffer, &size);
    out.image_width = static_cast<JDIMENSION>(image.width());
    out.image_height = static_cast<JDIMENSION>(image.height());
    out.input_components = 3;
    out.in_color_space = JCS_RGB;
    jpeg_set_defaults(&out);
    out.arith_code = TRUE;
    jpeg_start_compress(&out, TRUE);
    for (int y = 0; y < image.height(); ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(image.row(y));
        jpeg_write_scanlines(&out, &row, 1);
    }
    jpeg_finish_compress(&out);
    jpeg_destroy_compress(&out);
    std::vector<std::uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

TEST(JpegDecode, MatchesTheReferenceDecoderForEveryLayout) {
    // Grey and Adobe-inverted CMYK need conversion; progressive scans and
    // restart markers take other paths through libjpeg.
    for (const std::string name : {"rgb", "grey", "cmyk", "progressive", "restart"}) {
        SCOPED_TRACE(name);
        RgbImage image;
        ASSERT_EQ(DecodeImageBytes(Fixture(name + ".jpg"), ImageFormat::Jpeg, image), err::kNone);
        test::ExpectSamePixels(image, test::ReadPpm(TestDataPath("jpeg/" + name + ".ppm")));
    }
}

TEST(JpegDecode, ProgressiveGivesThePixelsOfTheSameCoefficientsInOneScan) {
    // Coefficient rows of this width span several pages, so the decoder hands
    // rows back while its output pass runs; noise fills every coefficient.
    const RgbImage source = test::NoiseImage(1000, 90, 7);
    std::vector<std::uint8_t> progressive;
    ASSERT_EQ(EncodeImageBytes(source, ImageFormat::Jpeg, progressive), err::kNone);
    const std::vector<std::uint8_t> sequential = SequentialCopy(progressive);
    ASSERT_NE(FindMarker(sequential, 0xC0), std::string::npos);
    RgbImage fromProgressive, fromSequential;
    ASSERT_EQ(DecodeImageBytes(progressive, ImageFormat::Jpeg, fromProgressive), err::kNone);
    ASSERT_EQ(DecodeImageBytes(sequential, ImageFormat::Jpeg, fromSequential), err::kNone);
    test::ExpectSamePixels(fromProgressive, fromSequential);
}

TEST(JpegDecode, DamagedFilesFailQuietlyWithAnEmptyImage) {
    const auto good = Fixture("rgb.jpg");
    const auto progressive = Fixture("progressive.jpg");
    const std::size_t sof = FindMarker(good, 0xC0);
    ASSERT_NE(sof, std::string::npos);
    auto precision = good;
    precision[sof + 4] = 12;  // 12-bit samples
    auto noComponents = good;
    noComponents[sof + 9] = 0;
    auto huge = good;  // 65000 x 65000: over the pixel limit, refused before allocating
    for (int i : {5, 7})
        huge[sof + i] = 0xFD, huge[sof + i + 1] = 0xE8;

    // A crafted file repeating one scan 600 times would keep the decoder busy.
    auto manyScans = progressive;
    std::size_t lastScan = progressive.size() - 1;
    while (lastScan > 0 && !(progressive[lastScan - 1] == 0xFF && progressive[lastScan] == 0xDA))
        --lastScan;
    manyScans.erase(manyScans.end() - 2, manyScans.end());
    for (int i = 0; i < 600; ++i)
        manyScans.insert(manyScans.end(), progressive.begin() + static_cast<long>(lastScan) - 1,
                         progressive.end() - 2);
    manyScans.insert(manyScans.end(), {0xFF, 0xD9});

    // Damage libjpeg only warns about and decodes around.
    const std::size_t sos = FindMarker(good, 0xDA);
    ASSERT_NE(sos, std::string::npos);
    const std::size_t entropy = sos + 2 + (good[sos + 2] << 8 | good[sos + 3]);
    auto badHuffman = good;  // a run of one bits longer than any code
    for (std::size_t i = 0; i < 8; i += 2)
        badHuffman[entropy + 20 + i] = 0xFF, badHuffman[entropy + 21 + i] = 0x00;
    auto extraneous = good;  // stray bytes between the tables and the scan
    extraneous.insert(extraneous.begin() + static_cast<long>(sos), {0x12, 0x34, 0x56});
    auto strayMarker = good;  // a restart marker in a file without restarts
    strayMarker[entropy + 30] = 0xFF, strayMarker[entropy + 31] = 0xD3;
    const std::vector<std::uint8_t> arithmetic = ArithmeticJpeg(test::NoiseImage(64, 48, 3));
    ASSERT_FALSE(arithmetic.empty());

    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
        ImageError expected;
    } cases[] = {
        {"bad Huffman code", badHuffman, err::kBadJpeg},
        {"extraneous bytes before a marker", extraneous, err::kBadJpeg},
        {"marker inside the scan", strayMarker, err::kBadJpeg},
        {"truncated arithmetic-coded",
         {arithmetic.begin(), arithmetic.begin() + static_cast<long>(arithmetic.size() / 2)},
         err::kBadJpeg},
        {"empty", {}, err::kBadJpeg},
        {"signature only", {0xFF, 0xD8, 0xFF}, err::kBadJpeg},
        // Cut inside the pixel data: libjpeg would pad with grey; we refuse.
        {"truncated baseline", {good.begin(), good.end() - 60}, err::kBadJpeg},
        {"truncated progressive", {progressive.begin(), progressive.begin() + 400}, err::kBadJpeg},
        {"progressive without end marker",
         {progressive.begin(), progressive.end() - 2},
         err::kBadJpeg},
        {"cut in the frame header",
         {good.begin(), good.begin() + static_cast<long>(sof) + 6},
         err::kBadJpeg},
        {"12-bit", precision, err::kBadJpeg},
        {"no components", noComponents, err::kBadJpeg},
        {"absurd size", huge, err::kNoMemory},
        {"600 scans", manyScans, err::kBadJpeg},
    };
    // Only the end marker missing: every pixel is there.
    RgbImage image;
    EXPECT_EQ(DecodeImageBytes({good.begin(), good.end() - 2}, ImageFormat::Jpeg, image),
              err::kNone);
    test::ExpectSamePixels(image, test::ReadPpm(TestDataPath("jpeg/rgb.ppm")));

    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(image.AllocatePixels(2, 2), err::kNone);
        testing::internal::CaptureStderr();
        EXPECT_EQ(DecodeImageBytes(c.bytes, ImageFormat::Jpeg, image), c.expected);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_TRUE(image.empty());
    }
}

// A flat grey picture in a valid progression of one scan per coefficient: a
// few hundred bytes that make the decoder run over every block 64 times.
std::vector<std::uint8_t> OneScanPerCoefficient(int width, int height) {
    jpeg_compress_struct out{};
    jpeg_error_mgr errors{};
    out.err = jpeg_std_error(&errors);
    jpeg_create_compress(&out);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&out, &buffer, &size);
    out.image_width = static_cast<JDIMENSION>(width);
    out.image_height = static_cast<JDIMENSION>(height);
    out.input_components = 1;
    out.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&out);
    std::vector<jpeg_scan_info> scans(64);
    for (int k = 0; k < 64; ++k)
        scans[k] = {1, {0, 0, 0, 0}, k, k, 0, 0};
    out.scan_info = scans.data();
    out.num_scans = 64;
    jpeg_start_compress(&out, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width), 128);
    JSAMPROW rows[1] = {row.data()};
    for (int y = 0; y < height; ++y)
        jpeg_write_scanlines(&out, rows, 1);
    jpeg_finish_compress(&out);
    jpeg_destroy_compress(&out);
    std::vector<std::uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

TEST(JpegDecode, ManyScansAndLargeCoefficientBuffersAreRefusedBeforeTheWork) {
    // 64 passes over the picture: refused at the thirteenth scan.
    const std::vector<std::uint8_t> bomb = OneScanPerCoefficient(2048, 2048);
    EXPECT_LT(bomb.size(), 64u * 1024);
    RgbImage image;
    EXPECT_EQ(DecodeImageBytes(bomb, ImageFormat::Jpeg, image), err::kBadJpeg);
    EXPECT_TRUE(image.empty());

    // A smooth picture in the encoder's own progression has far fewer bytes
    // than a photograph, and still enough.
    RgbImage smooth;
    ASSERT_EQ(smooth.AllocatePixels(2048, 1024), err::kNone);
    for (int y = 0; y < smooth.height(); ++y)
        for (int x = 0; x < smooth.width(); ++x) {
            std::uint8_t* p = smooth.row(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(x / 8);
            p[1] = static_cast<std::uint8_t>(y / 4);
            p[2] = 128;
        }
    std::vector<std::uint8_t> smoothJpeg;
    ASSERT_EQ(EncodeImageBytes(smooth, ImageFormat::Jpeg, smoothJpeg), err::kNone);
    EXPECT_EQ(DecodeImageBytes(smoothJpeg, ImageFormat::Jpeg, image), err::kNone);

    // The budget counts the picture and, for progressive files, the
    // coefficients libjpeg keeps for the whole picture.
    const auto baseline = Fixture("rgb.jpg");
    const auto progressive = Fixture("progressive.jpg");
    ASSERT_EQ(DecodeImageBytes(baseline, ImageFormat::Jpeg, image), err::kNone);
    const std::uint64_t pixels = static_cast<std::uint64_t>(image.width()) * image.height();
    SetDecodeMemoryBudget(pixels * 3);
    EXPECT_EQ(DecodeImageBytes(baseline, ImageFormat::Jpeg, image), err::kNone);
    EXPECT_EQ(DecodeImageBytes(progressive, ImageFormat::Jpeg, image), err::kNoMemory);
    SetDecodeMemoryBudget(pixels * 3 - 1);
    EXPECT_EQ(DecodeImageBytes(baseline, ImageFormat::Jpeg, image), err::kNoMemory);
    SetDecodeMemoryBudget(0);
    EXPECT_EQ(DecodeImageBytes(progressive, ImageFormat::Jpeg, image), err::kNone);
}

// A grey 32768 x 32768 progressive file of one DC scan whose data stops after
// `dcBytes` (8 blocks a byte) and 498 AC scans that are one run of empty
// blocks each: a few hundred kilobytes that once kept the decoder busy for
// over a minute, passing over the whole picture once per scan.
std::vector<std::uint8_t> EmptyScansBomb(std::size_t dcBytes) {
    constexpr int kSide = 32768;
    constexpr std::uint32_t kBlocks = (kSide / 8) * (kSide / 8);
    std::vector<std::uint8_t> b{0xFF, 0xD8};
    auto segment = [&](std::uint8_t marker, std::initializer_list<std::uint8_t> body) {
        const std::size_t length = body.size() + 2;
        b.insert(b.end(), {0xFF, marker, static_cast<std::uint8_t>(length >> 8),
                           static_cast<std::uint8_t>(length)});
        b.insert(b.end(), body);
    };
    b.insert(b.end(), {0xFF, 0xDB, 0x00, 67, 0x00});
    b.insert(b.end(), 64, 1);
    segment(0xC2, {8, 0x80, 0x00, 0x80, 0x00, 1, 1, 0x11, 0});
    // DC: difference category 0 is the code 0. AC: EOB14 is 00, EOB9 is 01.
    segment(0xC4, {0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00});
    segment(0xC4, {0x10, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x90});
    segment(0xDA, {1, 1, 0x00, 0, 0, 0x00});
    b.insert(b.end(), dcBytes, 0x00);
    // Runs of 32767 blocks (EOB14 with all extra bits set, 16 bits), then the
    // 512 left over (EOB9), padded with ones.
    std::vector<std::uint8_t> ac;
    for (std::uint32_t covered = 0; covered + 32767 <= kBlocks; covered += 32767)
        ac.insert(ac.end(), {0x3F, 0xFF});
    ac.push_back(0x7F);
    for (int scan = 0; scan < 498; ++scan) {
        segment(0xDA, {1, 1, 0x00, 1, 63, 0x00});
        b.insert(b.end(), ac.begin(), ac.end());
    }
    b.insert(b.end(), {0xFF, 0xD9});
    return b;
}

TEST(JpegDecode, EmptyScansOverAHugePictureAreRefused) {
    const std::vector<std::uint8_t> bomb = EmptyScansBomb(190 * 1024);
    EXPECT_GT(bomb.size(), 650u * 1024);
    EXPECT_LT(bomb.size(), 750u * 1024);
    RgbImage image;
    EXPECT_EQ(DecodeImageBytes(bomb, ImageFormat::Jpeg, image), err::kBadJpeg);
    EXPECT_TRUE(image.empty());
}

TEST(JpegEncode, WritesProgressiveQuality100WithBaselineTables) {
    RgbImage source;
    ASSERT_EQ(source.AllocatePixels(37, 21), err::kNone);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 37; ++x) {
            std::uint8_t* p = source.row(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(40 + 4 * x),
            p[1] = static_cast<std::uint8_t>(200 - 5 * y), p[2] = 90;
        }
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(EncodeImageBytes(source, ImageFormat::Jpeg, bytes), err::kNone);
    ASSERT_GT(bytes.size(), 4u);
    EXPECT_EQ(bytes[bytes.size() - 1], 0xD9);

    // A progressive frame of three components at the picture's size.
    EXPECT_EQ(FindMarker(bytes, 0xC0), std::string::npos);
    const std::size_t sof = FindMarker(bytes, 0xC2);
    ASSERT_NE(sof, std::string::npos);
    EXPECT_EQ((bytes[sof + 5] << 8) | bytes[sof + 6], 21);
    EXPECT_EQ((bytes[sof + 7] << 8) | bytes[sof + 8], 37);
    EXPECT_EQ(bytes[sof + 9], 3);

    // Quality 100 with baseline tables: two 8-bit tables, every entry 1.
    int tables = 0;
    for (std::size_t i = 2; i + 4 < sof;) {
        ASSERT_EQ(bytes[i], 0xFF);
        const std::size_t length = (bytes[i + 2] << 8) | bytes[i + 3];
        for (std::size_t t = i + 4; bytes[i + 1] == 0xDB && t < i + 2 + length; t += 65, ++tables) {
            EXPECT_EQ(bytes[t] >> 4, 0) << "16-bit table";
            for (std::size_t k = 1; k <= 64; ++k)
                EXPECT_EQ(bytes[t + k], 1);
        }
        i += 2 + length;
    }
    EXPECT_EQ(tables, 2);

    RgbImage decoded;
    ASSERT_EQ(DecodeImageBytes(bytes, ImageFormat::Jpeg, decoded), err::kNone);
    // Chroma is subsampled, so not lossless; a smooth picture stays close.
    test::ExpectSamePixels(decoded, source, 4);
}

}  // namespace
}  // namespace orbelune
