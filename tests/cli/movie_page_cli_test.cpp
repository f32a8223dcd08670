#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli_run.h"
#include "image/file_io.h"
#include "image/image_format.h"
#include "image/rgb_image.h"

namespace orbelune {
namespace {

using testing::CliResult;
using testing::ReadFile;
using testing::RunCli;

// The movie's HTML page is written only after the movie was built.
TEST(MoviePageCli, AFailedMovieLeavesTheOldPageAndAGoodOneWritesIt) {
    TempFolder temp;
    ASSERT_TRUE(temp.valid());
    const std::string dir = temp.path();
    std::filesystem::create_directories(dir + "/config/Halvarn");
    RgbImage panorama;
    ASSERT_EQ(panorama.AllocatePixels(480, 120), 0u);
    ASSERT_EQ(panorama.SaveImageFile(dir + "/pano.bmp", ImageFormat::Bmp), 0u);
    std::ofstream(dir + "/page.html") << "old page";

    const CliResult failed = RunCli(
        {"movie", "pano.bmp", "-o", "no/such/dir/x.mov", "--html", "page.html", "--codec", "none"},
        dir + "/config", dir);
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(ReadFile(dir + "/page.html"), "old page");

    const CliResult built = RunCli(
        {"movie", "pano.bmp", "-o", "my pano #1.mov", "--html", "page.html", "--codec", "none"},
        dir + "/config", dir);
    EXPECT_EQ(built.exitCode, 0) << built.err;
    EXPECT_NE(ReadFile(dir + "/page.html").find("SRC=\"my%20pano%20%231.mov\""), std::string::npos);
}

}  // namespace
}  // namespace orbelune
