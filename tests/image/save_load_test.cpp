#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "image/codec_test_helpers.h"
#include "image/file_io.h"
#include "image/image_io.h"
#include "image/image_layer.h"

namespace orbelune {
namespace {

namespace fs = std::filesystem;
using test::TestDataPath;

// A fresh folder per test, removed afterwards.
class SaveLoad : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.valid());
        dir_ = folder_.path();
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string Put(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }
    std::string Copy(const std::string& fixture, const std::string& name) const {
        fs::copy_file(TestDataPath(fixture), Path(name));
        return Path(name);
    }
    std::set<std::string> Listing() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            names.insert(entry.path().filename().string());
        return names;
    }
    // A loaded image, so each load shows whether failing empties it.
    static RgbImage Loaded() {
        RgbImage image;
        EXPECT_EQ(image.AllocatePixels(3, 2), err::kNone);
        return image;
    }

    TempFolder folder_;
    fs::path dir_;
};

TEST_F(SaveLoad, ContentDecidesBeforeTheExtension) {
    RgbImage image = Loaded();
    EXPECT_EQ(image.LoadImageFile(Copy("jpeg/rgb.jpg", "photo.bmp")), err::kNone);
    test::ExpectSamePixels(image, test::ReadPpm(TestDataPath("jpeg/rgb.ppm")));

    // No known signature: the extension picks the decoder, whose code comes back.
    const std::vector<std::uint8_t> noise(64, 0x5A);
    EXPECT_EQ(image.LoadImageFile(Put("noise.tif", noise)), err::kBadTiff);
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(image.LoadImageFile(Put("noise.JpEg", noise)), err::kBadJpeg);

    // A GIF is recognised but has no decoder; without a usable extension: -1.
    std::vector<std::uint8_t> gif(64, 0);
    const char signature[] = "GIF89a";
    std::copy(signature, signature + 6, gif.begin());
    for (const std::string name : {"anim.gif", "noextension", "pano.mov"}) {
        SCOPED_TRACE(name);
        image = Loaded();
        EXPECT_EQ(image.LoadImageFile(Put(name, gif)), err::kNoDecoder);
        EXPECT_TRUE(image.empty());
    }
    EXPECT_EQ(image.LoadImageFile(Put("anim.png", gif)), err::kBadPng);
}

TEST_F(SaveLoad, MissingAndDamagedFilesReportTheirReason) {
    RgbImage image = Loaded();
    EXPECT_EQ(image.LoadImageFile(Path("absent.jpg")), err::kFileOpen);
    EXPECT_TRUE(image.empty());

    auto jpeg = test::ReadFileBytes(TestDataPath("jpeg/rgb.jpg"));
    jpeg.resize(jpeg.size() / 2);
    image = Loaded();
    EXPECT_EQ(image.LoadImageFile(Put("cut.jpg", jpeg)), err::kBadJpeg);
    EXPECT_EQ(LastImageError(), err::kBadJpeg);
    EXPECT_TRUE(image.empty());
}

TEST_F(SaveLoad, EveryDecoderReportsEachRowAndStopsWhenAsked) {
    // Interlaced PNG refines the rows over seven passes.
    for (const auto& [fixture, steps] : {std::pair{"jpeg/progressive.jpg", 7},
                                         {"png/interlaced.png", 49},
                                         {"tiff/orient_righttop.tif", 7}}) {
        SCOPED_TRACE(fixture);
        std::vector<int> rows;
        SetImageProgress([&rows, steps = steps](int row, int count) {
            EXPECT_EQ(count, steps);
            rows.push_back(row);
            return true;
        });
        RgbImage image;
        EXPECT_EQ(image.LoadImageFile(TestDataPath(fixture)), err::kNone);
        EXPECT_EQ(rows.size(), static_cast<std::size_t>(steps));
        EXPECT_EQ(rows.back(), steps - 1);
        SetImageProgress([](int row, int) { return row < 2; });
        EXPECT_EQ(image.LoadImageFile(TestDataPath(fixture)), err::kAborted);
        SetImageProgress({});
        EXPECT_TRUE(image.empty());
    }
}

TEST_F(SaveLoad, EachWritableFormatRoundTripsThroughAFile) {
    RgbImage source;
    ASSERT_EQ(source.AllocatePixels(24, 16), err::kNone);
    for (std::size_t i = 0; i < source.byteCount(); i += 3)
        source.data()[i] = static_cast<std::uint8_t>(60 + i / 8), source.data()[i + 1] = 200,
        source.data()[i + 2] = 120;
    const struct {
        const char* name;
        std::string magic;
        int tolerance;
    } cases[] = {{"out.png", "\x89PNG", 0},
                 {"out.tif", std::string("II*\0", 4), 0},
                 {"out.jpg", "\xFF\xD8\xFF", 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Path(c.name);
        ASSERT_EQ(source.SaveImageFile(path, FormatFromExtension(path)), err::kNone);
        const auto bytes = test::ReadFileBytes(path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + static_cast<long>(c.magic.size())),
                  c.magic);
        RgbImage loaded;
        ASSERT_EQ(loaded.LoadImageFile(path), err::kNone);
        test::ExpectSamePixels(loaded, source, c.tolerance);
    }
    // PNG: plain 8-bit RGB.
    const auto png = test::ReadFileBytes(Path("out.png"));
    EXPECT_EQ(png[24], 8);
    EXPECT_EQ(png[25], 2);
    EXPECT_EQ(Listing(), (std::set<std::string>{"out.png", "out.tif", "out.jpg"}));
}

TEST_F(SaveLoad, SavingAndFreeingWritesTheSameFileAndAlwaysFrees) {
    // Over 4 MB, so whole huge pages of rows go back while the JPEG is encoded.
    RgbImage source;
    ASSERT_EQ(source.AllocatePixels(1600, 900), err::kNone);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            std::uint8_t* p = source.row(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(x / 7 + y), p[1] = static_cast<std::uint8_t>(x ^ y),
            p[2] = static_cast<std::uint8_t>(y / 4);
        }
    for (const char* name : {"kept.jpg", "kept.bmp"}) {
        SCOPED_TRACE(name);
        const ImageFormat format = FormatFromExtension(name);
        ASSERT_EQ(source.SaveImageFile(Path(name), format), err::kNone);
        RgbImage consumed = source;
        ASSERT_EQ(consumed.SaveImageFileAndFree(Path(std::string("freed-") + name), format),
                  err::kNone);
        EXPECT_TRUE(consumed.empty());
        EXPECT_EQ(test::ReadFileBytes(Path(std::string("freed-") + name)),
                  test::ReadFileBytes(Path(name)));
    }
    RgbImage failing = source;
    EXPECT_EQ(failing.SaveImageFileAndFree(Path("missing/out.jpg"), ImageFormat::Jpeg),
              err::kFileOpen);
    EXPECT_TRUE(failing.empty());
}

TEST_F(SaveLoad, AFailedSaveLeavesTheExistingFileAndNoLeftovers) {
    const std::string keep = Put("keep.jpg", {'o', 'l', 'd'});
    RgbImage empty;
    EXPECT_EQ(empty.SaveImageFile(keep, ImageFormat::Jpeg), err::kBadParam);
    RgbImage small;
    ASSERT_EQ(small.AllocatePixels(4, 4), err::kNone);
    EXPECT_EQ(small.SaveImageFile(keep, ImageFormat::Pcx), err::kBadParam);  // no encoder
    RgbImage tooWide;  // JPEG sides stop at 65500
    ASSERT_EQ(tooWide.AllocatePixels(70000, 1), err::kNone);
    EXPECT_EQ(tooWide.SaveImageFile(keep, ImageFormat::Jpeg), err::kBadParam);
    EXPECT_EQ(test::ReadFileBytes(keep), (std::vector<std::uint8_t>{'o', 'l', 'd'}));

    // A folder that does not exist, and a destination that is a folder.
    EXPECT_EQ(small.SaveImageFile(Path("missing/out.jpg"), ImageFormat::Jpeg), err::kFileOpen);
    fs::create_directory(Path("taken.tif"));
    EXPECT_EQ(small.SaveImageFile(Path("taken.tif"), ImageFormat::Tiff), err::kFileWrite);
    EXPECT_TRUE(fs::is_directory(Path("taken.tif")));
    EXPECT_EQ(Listing(), (std::set<std::string>{"keep.jpg", "taken.tif"}));
}

}  // namespace
}  // namespace orbelune
