#include <gtest/gtest.h>

#include <fstream>

#include "export/exiftool_support.h"
#include "export/share360.h"
#include "image/file_io.h"

namespace orbelune {
namespace {

using testing::ReadTags;

RgbImage Stripes(int width, int height) {
    RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), err::kNone);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.row(y)[3 * x + (x * 3 / width)] = 200;  // red, green, blue thirds
    return image;
}

class Share360JpegTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORBELUNE_REQUIRE_EXIFTOOL();
        ASSERT_TRUE(folder_.valid());
        ASSERT_EQ(ComputeShareGeometry(720, 115, geometry_), err::kNone);
        view_.headingDegrees = 30;
        view_.pitchDegrees = -2.5;
        view_.horizontalFovDegrees = 75.25;
    }
    std::string Path(const std::string& name) const { return folder_.path() + "/" + name; }

    PhotoMetadata CameraMetadata() {
        const std::string photo = Path("photo.jpg");
        EXPECT_EQ(Stripes(32, 24).SaveImageFile(photo, ImageFormat::Jpeg), err::kNone);
        testing::RunExiftool("-q -overwrite_original -Make=Acme -Orientation#=8", photo);
        return ReadPhotoMetadata(photo);
    }

    void ExpectPhotoSphere(const std::string& path) {
        auto tags = ReadTags(path, "-XMP-GPano:all -Make -Orientation -ImageWidth -ImageHeight");
        EXPECT_EQ(tags["ProjectionType"], "equirectangular");
        EXPECT_EQ(tags["UsePanoramaViewer"], "True");
        EXPECT_EQ(tags["FullPanoWidthPixels"], "720");
        EXPECT_EQ(tags["FullPanoHeightPixels"], "360");
        EXPECT_EQ(tags["CroppedAreaImageWidthPixels"], "720");
        EXPECT_EQ(tags["CroppedAreaImageHeightPixels"], std::to_string(geometry_.stripHeight));
        EXPECT_EQ(tags["CroppedAreaLeftPixels"], "0");
        EXPECT_EQ(tags["CroppedAreaTopPixels"], std::to_string(geometry_.croppedTop));
        EXPECT_EQ(tags["InitialViewHeadingDegrees"], "30");
        EXPECT_EQ(tags["InitialViewPitchDegrees"], "-2.5");
        EXPECT_EQ(tags["InitialHorizontalFOVDegrees"], "75.25");
        // The picture is the strip the XMP describes.
        EXPECT_EQ(tags["ImageWidth"], "720");
        EXPECT_EQ(tags["ImageHeight"], std::to_string(geometry_.stripHeight));
        EXPECT_EQ(tags.count("Orientation"), 0u);
    }

    TempFolder folder_;
    ShareGeometry geometry_;
    ShareView view_;
};

TEST_F(Share360JpegTest, PhotoSphereXmpAndThePhotosTags) {
    const PhotoMetadata metadata = CameraMetadata();
    ASSERT_FALSE(metadata.exif.empty());
    const RgbImage cylinder = Stripes(720, 115);

    std::vector<std::uint8_t> jpeg;
    ASSERT_EQ(EncodeShare360Jpeg(cylinder, view_, metadata, jpeg), err::kNone);
    ASSERT_EQ(WriteFileAtomically(Path("memory.jpg"), jpeg.data(), jpeg.size()), err::kNone);
    ExpectPhotoSphere(Path("memory.jpg"));
    EXPECT_EQ(ReadTags(Path("memory.jpg"), "-Make")["Make"], "Acme");

    ASSERT_EQ(SaveShare360Jpeg(cylinder, view_, metadata, Path("file.jpg")), err::kNone);
    ExpectPhotoSphere(Path("file.jpg"));
    EXPECT_EQ(ReadTags(Path("file.jpg"), "-Make")["Make"], "Acme");
    EXPECT_FALSE(cylinder.empty());

    // The colours stay where they were: left third red, right third blue.
    RgbImage back;
    ASSERT_EQ(back.LoadImageFile(Path("file.jpg")), err::kNone);
    const std::uint8_t* middle = back.row(back.height() / 2);
    EXPECT_GT(middle[3 * 100], 150);
    EXPECT_LT(middle[3 * 100 + 2], 60);
    EXPECT_GT(middle[3 * 620 + 2], 150);
    EXPECT_LT(middle[3 * 620], 60);
}

TEST_F(Share360JpegTest, WithoutPhotoMetadataAndFreeingThePanorama) {
    RgbImage cylinder = Stripes(720, 115);
    ASSERT_EQ(SaveShare360JpegAndFree(cylinder, view_, PhotoMetadata(), Path("plain.jpg")),
              err::kNone);
    EXPECT_TRUE(cylinder.empty());
    ExpectPhotoSphere(Path("plain.jpg"));
    EXPECT_EQ(ReadTags(Path("plain.jpg"), "-Make").count("Make"), 0u);

    // Broken photo metadata costs the photo's tags, never the XMP.
    PhotoMetadata broken;
    broken.exif = {9, 9, 9, 9};
    broken.icc = {1, 2, 3};
    std::vector<std::uint8_t> jpeg;
    ASSERT_EQ(EncodeShare360Jpeg(Stripes(720, 115), view_, broken, jpeg), err::kNone);
    ASSERT_EQ(WriteFileAtomically(Path("broken.jpg"), jpeg.data(), jpeg.size()), err::kNone);
    ExpectPhotoSphere(Path("broken.jpg"));
}

TEST_F(Share360JpegTest, NarrowPanoramaRefusedAndNothingWritten) {
    const std::string path = Path("kept.jpg");
    std::ofstream(path) << "old";
    RgbImage narrow = Stripes(2, 40);
    EXPECT_EQ(SaveShare360Jpeg(narrow, view_, PhotoMetadata(), path), err::kBadParam);
    EXPECT_EQ(SaveShare360JpegAndFree(narrow, view_, PhotoMetadata(), path), err::kBadParam);
    std::vector<std::uint8_t> jpeg{1};
    EXPECT_EQ(EncodeShare360Jpeg(Stripes(2, 40), view_, PhotoMetadata(), jpeg), err::kBadParam);
    EXPECT_TRUE(jpeg.empty());
    std::vector<std::uint8_t> kept;
    ASSERT_EQ(ReadWholeFile(path, kept), err::kNone);
    EXPECT_EQ(kept, (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}

}  // namespace
}  // namespace orbelune
