#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli_run.h"
#include "image/file_io.h"

namespace orbelune {
namespace {

using testing::RunCli;

TEST(InfoCli, ReadsTheHeaderOfEveryFormatAndSaysWhyAFileIsRefused) {
    TempFolder temp;
    ASSERT_TRUE(temp.valid());
    const std::string config = temp.path() + "/config";
    std::filesystem::create_directories(config + "/Halvarn");
    const std::string pgm = temp.path() + "/wide.pgm";
    // A 16-bit PGM header; its pixels are missing, which info need not read.
    std::ofstream(pgm) << "P5\n500 200\n65535\n";
    auto result = RunCli({"info", pgm}, config);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "format=25 width=500 height=200 kind=panorama\n");

    const std::string gif = temp.path() + "/anim.gif";
    std::ofstream(gif) << "GIF89a" << std::string(60, '\1');
    result = RunCli({"info", gif}, config);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("\"anim.gif\" is not in a format this program reads"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find("Error #"), std::string::npos);

    // A PNG whose header is garbled: the decoder's verdict, naming the format.
    const std::string png = temp.path() + "/ring.png";
    std::ofstream(png) << "\x89PNG\r\n\x1a\n" << std::string(60, 'x');
    result = RunCli({"info", png}, config);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("\"ring.png\" is a PNG file, but it is damaged"), std::string::npos)
        << result.err;
}

// info and unwarp classify with the start view's rule; exactly twice as wide
// as high is still a ring photograph.
TEST(InfoCli, PanoramaShapeBoundaryMatchesTheProgram) {
    TempFolder temp;
    ASSERT_TRUE(temp.valid());
    const std::string config = temp.path() + "/config";
    std::filesystem::create_directories(config + "/Halvarn");
    const std::string twice = temp.path() + "/twice.pgm";
    const std::string wider = temp.path() + "/wider.pgm";
    std::ofstream(twice) << "P5\n200 100\n255\n" << std::string(200 * 100, '\x40');
    std::ofstream(wider) << "P5\n201 100\n255\n" << std::string(201 * 100, '\x40');
    auto result = RunCli({"info", twice}, config);
    EXPECT_EQ(result.out, "format=25 width=200 height=100 kind=ring\n") << result.err;
    result = RunCli({"info", wider}, config);
    EXPECT_EQ(result.out, "format=25 width=201 height=100 kind=panorama\n") << result.err;
    result = RunCli({"unwarp", wider, "-d", temp.path()}, config);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("wider.pgm: already a panorama"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace orbelune
