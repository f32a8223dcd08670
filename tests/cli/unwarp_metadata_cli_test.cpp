#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli_run.h"
#include "export/exiftool_support.h"
#include "image/file_io.h"
#include "image/rgb_image.h"

namespace orbelune {
namespace {

using testing::CliResult;
using testing::ReadTags;
using testing::RunCli;

class UnwarpMetadataCli : public ::testing::Test {
protected:
    void SetUp() override {
        ORBELUNE_REQUIRE_EXIFTOOL();
        ASSERT_TRUE(temp_.valid());
        config_ = temp_.path() + "/config";
        std::filesystem::create_directories(config_ + "/Halvarn");
        // The stored movie view the 360° JPEG opens at.
        std::ofstream(config_ + "/Halvarn/Orbelune.ini")
            << "[DEFAULTS]\nPAN=90\nTILT=0\nZOOM=150\n";
        ASSERT_EQ(
            Run({"synth", "--size", "200x160", "--outer", "60", "-o", Path("ring.jpg")}).exitCode,
            0);
        testing::RunExiftool(
            "-q -overwrite_original -Make=Acme '-DateTimeOriginal=2023:01:02 03:04:05' "
            "-GPSLatitude=10 -GPSLatitudeRef=S -Orientation#=6",
            Path("ring.jpg"));
    }
    CliResult Run(const std::vector<std::string>& args) { return RunCli(args, config_); }
    std::string Path(const std::string& name) const { return temp_.path() + "/" + name; }

    TempFolder temp_;
    std::string config_;
};

TEST_F(UnwarpMetadataCli, EachOutputKeepsThePhotosTags) {
    const CliResult r = Run({"unwarp", Path("ring.jpg"), "-d", Path("out"), "--format", "tif",
                             "--mirror", "1", "--outer", "60", "--center", "100,80"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto tags = ReadTags(Path("out/ring_pano.tif"),
                         "-Make -DateTimeOriginal -GPS:GPSLatitude -GPSLatitudeRef -ImageWidth");
    EXPECT_EQ(tags["Make"], "Acme");
    EXPECT_EQ(tags["DateTimeOriginal"], "2023:01:02 03:04:05");
    EXPECT_EQ(tags["GPSLatitude"], "10");
    EXPECT_EQ(tags["GPSLatitudeRef"], "S");
    EXPECT_EQ(tags["ImageWidth"], "376");
    RgbImage pano;
    EXPECT_EQ(pano.LoadImageFile(Path("out/ring_pano.tif")), err::kNone);
}

TEST_F(UnwarpMetadataCli, Format360WritesThePhotoSphereJpeg) {
    const CliResult r = Run({"unwarp", Path("ring.jpg"), "--format", "360", "--mirror", "1",
                             "--outer", "60", "--center", "100,80"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string out = Path("ring_360.jpg");
    auto tags = ReadTags(out, "-XMP-GPano:all -Make -Orientation -ImageWidth");
    EXPECT_EQ(tags["ProjectionType"], "equirectangular");
    EXPECT_EQ(tags["FullPanoWidthPixels"], "376");
    EXPECT_EQ(tags["FullPanoHeightPixels"], "188");
    EXPECT_EQ(tags["ImageWidth"], "376");
    EXPECT_EQ(tags["InitialViewHeadingDegrees"], "90");
    EXPECT_EQ(tags["Make"], "Acme");
    EXPECT_EQ(tags.count("Orientation"), 0u);
    EXPECT_FALSE(std::filesystem::exists(Path("ring_pano.jpg")));

    // -o names the file; it must be a JPEG.
    EXPECT_EQ(Run({"unwarp", Path("ring.jpg"), "--format", "360", "-o", Path("mine.jpg"),
                   "--mirror", "1", "--outer", "60"})
                  .exitCode,
              0);
    EXPECT_EQ(ReadTags(Path("mine.jpg"), "-ProjectionType")["ProjectionType"], "equirectangular");
    const CliResult png = Run({"unwarp", Path("ring.jpg"), "--format", "360", "-o",
                               Path("mine.png"), "--mirror", "1", "--outer", "60"});
    EXPECT_EQ(png.exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(Path("mine.png")));
}

TEST_F(UnwarpMetadataCli, Format360PlacesACustomMirrorsStripByItsElevations) {
    // 376 columns make the sphere 376 x 188; the strip's 63 rows span +15 ... -45
    // degrees, so it starts 75 degrees below the zenith: row 78.
    const CliResult r =
        Run({"unwarp", Path("ring.jpg"), "--format", "360", "--mirror", "custom", "--elevations",
             "15,-45", "--outer", "60", "--inner", "20", "--center", "100,80"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto tags = ReadTags(Path("ring_360.jpg"), "-XMP-GPano:all -ImageWidth -ImageHeight");
    EXPECT_EQ(tags["ProjectionType"], "equirectangular");
    EXPECT_EQ(tags["FullPanoWidthPixels"], "376");
    EXPECT_EQ(tags["FullPanoHeightPixels"], "188");
    EXPECT_EQ(tags["ImageHeight"], "63");
    EXPECT_EQ(tags["CroppedAreaImageHeightPixels"], "63");
    EXPECT_EQ(tags["CroppedAreaTopPixels"], "78");
}

TEST_F(UnwarpMetadataCli, ParallelJobsEachWriteTheirOwnMetadata) {
    // libexiv2's XMP toolkit is shared by the jobs' threads.
    std::vector<std::string> args{"unwarp"};
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) {
        std::filesystem::copy_file(Path("ring.jpg"), Path(name));
        args.push_back(Path(name));
    }
    for (const char* option :
         {"--format", "360", "--jobs", "4", "--mirror", "1", "--outer", "60", "-d", "out"})
        args.push_back(option);
    args.back() = Path("out");
    const CliResult r = Run(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* name : {"a_360.jpg", "b_360.jpg", "c_360.jpg", "d_360.jpg"}) {
        auto tags = ReadTags(Path(std::string("out/") + name), "-ProjectionType -Make");
        EXPECT_EQ(tags["ProjectionType"], "equirectangular") << name;
        EXPECT_EQ(tags["Make"], "Acme") << name;
    }
}

}  // namespace
}  // namespace orbelune
