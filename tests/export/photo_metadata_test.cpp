#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "export/exiftool_support.h"
#include "export/share360.h"
#include "image/file_io.h"
#include "image/image_io.h"

namespace orbelune {
namespace {

namespace fs = std::filesystem;
using testing::ReadTags;
using testing::RunExiftool;

RgbImage Pattern(int width, int height) {
    RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), err::kNone);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = image.row(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(x * 5);
            p[1] = static_cast<std::uint8_t>(y * 7);
            p[2] = static_cast<std::uint8_t>((x ^ y) * 3);
        }
    }
    return image;
}

// A small profile readers accept: the 128-byte header and one text tag.
std::vector<std::uint8_t> TinyIccProfile() {
    std::vector<std::uint8_t> icc(160, 0);
    auto put = [&](std::size_t at, const char* text) {
        for (std::size_t i = 0; text[i] != 0; ++i)
            icc[at + i] = static_cast<std::uint8_t>(text[i]);
    };
    icc[3] = 160;  // sizes and offsets big-endian
    icc[8] = 0x02;
    icc[9] = 0x10;  // version 2.1
    put(12, "mntr");
    put(16, "RGB ");
    put(20, "XYZ ");
    put(36, "acsp");
    const std::uint8_t d50[12] = {0, 0, 0xF6, 0xD6, 0, 1, 0, 0, 0, 0, 0xD3, 0x2D};
    std::copy(std::begin(d50), std::end(d50), icc.begin() + 68);
    icc[131] = 1;  // one tag: the copyright text at 144, 13 bytes
    put(132, "cprt");
    icc[139] = 144;
    icc[143] = 13;
    put(144, "text");
    put(152, "Test");
    return icc;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(ReadWholeFile(path, bytes), err::kNone) << path;
    return bytes;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

constexpr const char* kCheckedTags =
    "-Make -Model -DateTimeOriginal -GPSLatitude -GPSLatitudeRef -GPSLongitude -Artist "
    "-Copyright -LensModel -ExposureTime -FNumber -ISO -ProfileClass -Orientation "
    "-ThumbnailLength -ExifImageWidth -ImageUniqueID -ImageWidth -ImageHeight";

class PhotoMetadataTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORBELUNE_REQUIRE_EXIFTOOL();
        ASSERT_TRUE(folder_.valid());
    }
    std::string Path(const std::string& name) const { return folder_.path() + "/" + name; }

    // A camera JPEG with the usual tags, a thumbnail, an orientation and a profile.
    std::string MakeCameraPhoto() {
        const std::string photo = Path("photo.jpg");
        EXPECT_EQ(Pattern(64, 48).SaveImageFile(photo, ImageFormat::Jpeg), err::kNone);
        EXPECT_EQ(Pattern(16, 12).SaveImageFile(Path("thumb.jpg"), ImageFormat::Jpeg), err::kNone);
        WriteBytes(Path("profile.icc"), TinyIccProfile());
        RunExiftool(
            "-q -overwrite_original -n -Make=Acme -Model='Ring 9' "
            "'-DateTimeOriginal=2024:05:06 07:08:09' -GPSLatitude=48.5 -GPSLatitudeRef=N "
            "-GPSLongitude=11.25 -GPSLongitudeRef=E -Artist='A. Tester' "
            "'-Copyright=(c) 2024 A. Tester' '-LensModel=Mirror 360' -ExposureTime=0.004 "
            "-FNumber=8 -ISO=200 -Orientation=6 -ExifImageWidth=64 -ImageUniqueID=0123abcd "
            "'-ThumbnailImage<=" +
                Path("thumb.jpg") + "' '-ICC_Profile<=" + Path("profile.icc") + "'",
            photo);
        const auto tags = ReadTags(photo, kCheckedTags);
        EXPECT_EQ(tags.count("ThumbnailLength"), 1u) << "the test photo lacks its thumbnail";
        EXPECT_EQ(tags.count("ProfileClass"), 1u) << "the test photo lacks its profile";
        return photo;
    }

    TempFolder folder_;
};

TEST_F(PhotoMetadataTest, CameraTagsAndProfileKeptOnJpegTiffAndPng) {
    const PhotoMetadata metadata = ReadPhotoMetadata(MakeCameraPhoto());
    ASSERT_FALSE(metadata.exif.empty());
    EXPECT_EQ(metadata.icc, TinyIccProfile());
    EXPECT_EQ(metadata.dateTimeOriginal, "2024:05:06 07:08:09");

    const RgbImage panorama = Pattern(200, 30);
    for (const auto& [name, format] :
         {std::pair{"pano.jpg", ImageFormat::Jpeg}, std::pair{"pano.tif", ImageFormat::Tiff},
          std::pair{"pano.png", ImageFormat::Png}}) {
        SCOPED_TRACE(name);
        const std::string path = Path(name);
        ASSERT_EQ(panorama.SaveImageFile(path, format, PhotoMetadataFinisher(metadata)),
                  err::kNone);
        auto tags = ReadTags(path, kCheckedTags);
        EXPECT_EQ(tags["Make"], "Acme");
        EXPECT_EQ(tags["Model"], "Ring 9");
        EXPECT_EQ(tags["DateTimeOriginal"], "2024:05:06 07:08:09");
        EXPECT_EQ(tags["GPSLatitude"], "48.5");
        EXPECT_EQ(tags["GPSLatitudeRef"], "N");
        EXPECT_EQ(tags["GPSLongitude"], "11.25");
        EXPECT_EQ(tags["Artist"], "A. Tester");
        EXPECT_EQ(tags["Copyright"], "(c) 2024 A. Tester");
        EXPECT_EQ(tags["LensModel"], "Mirror 360");
        EXPECT_EQ(tags["ExposureTime"], "0.004");
        EXPECT_EQ(tags["FNumber"], "8");
        EXPECT_EQ(tags["ISO"], "200");
        EXPECT_EQ(tags["ProfileClass"], "mntr");
        // What described the photo, not the panorama, is gone (a TIFF states
        // its own orientation).
        if (format == ImageFormat::Tiff) {
            EXPECT_EQ(tags["Orientation"], "1");
        } else {
            EXPECT_EQ(tags.count("Orientation"), 0u);
        }
        EXPECT_EQ(tags.count("ThumbnailLength"), 0u);
        EXPECT_EQ(tags.count("ExifImageWidth"), 0u);
        EXPECT_EQ(tags.count("ImageUniqueID"), 0u);
        EXPECT_EQ(tags["ImageWidth"], "200");
        EXPECT_EQ(tags["ImageHeight"], "30");

        // The picture itself is untouched: lossless formats give the pixels back.
        RgbImage back;
        ASSERT_EQ(back.LoadImageFile(path), err::kNone);
        ASSERT_EQ(back.width(), 200);
        ASSERT_EQ(back.height(), 30);
        if (format != ImageFormat::Jpeg) {
            EXPECT_TRUE(std::equal(back.data(), back.data() + back.byteCount(), panorama.data()));
        }
        // And what the panorama carries is what a further save carries on.
        EXPECT_EQ(ReadPhotoMetadata(path).dateTimeOriginal, "2024:05:06 07:08:09");
    }

    // BMP holds no metadata: the same file as without.
    ASSERT_EQ(
        panorama.SaveImageFile(Path("with.bmp"), ImageFormat::Bmp, PhotoMetadataFinisher(metadata)),
        err::kNone);
    ASSERT_EQ(panorama.SaveImageFile(Path("without.bmp"), ImageFormat::Bmp), err::kNone);
    EXPECT_EQ(ReadBytes(Path("with.bmp")), ReadBytes(Path("without.bmp")));
}

TEST_F(PhotoMetadataTest, NoMetadataInNoneOut) {
    const std::string photo = Path("plain.jpg");
    ASSERT_EQ(Pattern(64, 48).SaveImageFile(photo, ImageFormat::Jpeg), err::kNone);
    const PhotoMetadata metadata = ReadPhotoMetadata(photo);
    EXPECT_TRUE(metadata.empty());
    EXPECT_FALSE(PhotoMetadataFinisher(metadata));
    std::vector<std::uint8_t> bytes = ReadBytes(photo);
    const std::vector<std::uint8_t> before = bytes;
    EXPECT_TRUE(EmbedPhotoMetadata(bytes, metadata));
    EXPECT_EQ(bytes, before);
    EXPECT_EQ(RunExiftool("-q -q -S -EXIF:all -ICC_Profile:all", photo), "");

    // Unreadable and metadata-free sources give nothing either.
    EXPECT_TRUE(ReadPhotoMetadata(Path("missing.jpg")).empty());
    ASSERT_EQ(Pattern(8, 8).SaveImageFile(Path("photo.bmp"), ImageFormat::Bmp), err::kNone);
    EXPECT_TRUE(ReadPhotoMetadata(Path("photo.bmp")).empty());
    EXPECT_TRUE(ReadPhotoMetadata(nullptr, 0).empty());
}

TEST_F(PhotoMetadataTest, BrokenMetadataIsDroppedAndTheSaveStillWorks) {
    // A photo whose EXIF segment is garbage still decodes and reads as empty.
    std::vector<std::uint8_t> photo = ReadBytes(MakeCameraPhoto());
    const std::string exif = "Exif";
    auto at = std::search(photo.begin(), photo.end(), exif.begin(), exif.end());
    ASSERT_NE(at, photo.end());
    for (auto p = at + 6; p < at + 200 && p < photo.end(); ++p)
        *p = static_cast<std::uint8_t>(0xA5 ^ (p - at));
    WriteBytes(Path("broken.jpg"), photo);
    RgbImage decoded;
    EXPECT_EQ(decoded.LoadImageFile(Path("broken.jpg")), err::kNone);
    const PhotoMetadata fromBroken = ReadPhotoMetadata(Path("broken.jpg"));
    EXPECT_TRUE(fromBroken.exif.empty());

    // Metadata that cannot be written is left out; the save itself succeeds.
    PhotoMetadata garbage;
    garbage.exif = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    garbage.icc = {0, 0, 0, 99, 1, 2};  // its size field lies
    const RgbImage panorama = Pattern(120, 20);
    for (const auto& [name, format] :
         {std::pair{"g.jpg", ImageFormat::Jpeg}, std::pair{"g.tif", ImageFormat::Tiff},
          std::pair{"g.png", ImageFormat::Png}}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(panorama.SaveImageFile(Path(name), format, PhotoMetadataFinisher(garbage)),
                  err::kNone);
        RgbImage back;
        EXPECT_EQ(back.LoadImageFile(Path(name)), err::kNone);
        EXPECT_EQ(back.width(), 120);
        std::vector<std::uint8_t> bytes = ReadBytes(Path(name));
        const std::vector<std::uint8_t> before = bytes;
        EXPECT_FALSE(EmbedPhotoMetadata(bytes, garbage));
        EXPECT_EQ(bytes, before);
    }
    // Not an image at all.
    std::vector<std::uint8_t> text{'h', 'e', 'l', 'l', 'o'};
    PhotoMetadata real;
    real.icc = TinyIccProfile();
    EXPECT_FALSE(EmbedPhotoMetadata(text, real));
    EXPECT_EQ(text.size(), 5u);
}

TEST_F(PhotoMetadataTest, FailedFinisherLeavesTheOldFile) {
    const std::string path = Path("old.jpg");
    WriteBytes(path, {'o', 'l', 'd'});
    const SaveFinisher failing = [](int, ImageFormat) { return err::kFileWrite; };
    RgbImage panorama = Pattern(40, 10);
    EXPECT_EQ(panorama.SaveImageFile(path, ImageFormat::Jpeg, failing), err::kFileWrite);
    EXPECT_EQ(ReadBytes(path), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(panorama.SaveImageFileAndFree(path, ImageFormat::Png, failing), err::kFileWrite);
    EXPECT_TRUE(panorama.empty());
    EXPECT_EQ(ReadBytes(path), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder_.path()))
        ++files;
    EXPECT_EQ(files, 1) << "a temporary file was left behind";
}

TEST(PhotoTime, CaptureTimeAsUnixSeconds) {
    PhotoMetadata metadata;
    metadata.dateTimeOriginal = "2024:05:06 07:08:09";
    EXPECT_EQ(PhotoTimeSeconds(metadata), 1714979289);
    metadata.dateTimeOriginal = "1904:01:01 00:00:00";
    EXPECT_EQ(PhotoTimeSeconds(metadata), -2082844800);
    for (const char* bad : {"", "0000:00:00 00:00:00", "2024:13:06 07:08:09",
                            "2024:05:06 07:08:09x", "2024-05-06 07:08:09", "garbage"}) {
        metadata.dateTimeOriginal = bad;
        EXPECT_EQ(PhotoTimeSeconds(metadata), 0) << bad;
    }
}

}  // namespace
}  // namespace orbelune
