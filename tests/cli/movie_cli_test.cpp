#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli_run.h"
#include "image/file_io.h"
#include "image/image_format.h"
#include "image/rgb_image.h"

namespace orbelune {
namespace {

using testing::CliResult;
using testing::ReadFile;
using testing::RunCli;

class MovieCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(temp_.path().empty());
        config_ = temp_.path() + "/config";
        std::filesystem::create_directories(config_ + "/Halvarn");
        RgbImage panorama;
        ASSERT_EQ(panorama.AllocatePixels(960, 240), 0u);
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 960 * 3; ++x)
                panorama.row(y)[x] = static_cast<std::uint8_t>((x / 3 + y * 2) % 256);
        ASSERT_EQ(panorama.SaveImageFile(Path("pano.bmp"), ImageFormat::Bmp), 0u);
    }
    void WriteSettings(const std::string& ini) {
        std::ofstream(config_ + "/Halvarn/Orbelune.ini") << ini;
    }
    CliResult Run(const std::vector<std::string>& args) {
        return RunCli(args, config_, temp_.path());
    }
    std::string Path(const std::string& name) const { return temp_.path() + "/" + name; }
    bool IsMovie(const std::string& path) const {
        const std::string bytes = ReadFile(path);
        return bytes.size() > 8 && bytes.compare(4, 4, "moov") == 0;
    }

    TempFolder temp_;
    std::string config_;
};

TEST_F(MovieCli, ABuildThatCannotStartSaysWhyInOneMessage) {
    RgbImage thin;
    ASSERT_EQ(thin.AllocatePixels(200, 3), 0u);
    ASSERT_EQ(thin.SaveImageFile(Path("thin.bmp"), ImageFormat::Bmp), 0u);
    const CliResult r = Run({"movie", Path("thin.bmp"), "-o", Path("thin.mov")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("thin.mov: The panorama (200 x 3) cannot be cut into"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("Error #"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("orbelune-cli:"), r.err.rfind("orbelune-cli:")) << "one message";
    EXPECT_FALSE(std::filesystem::exists(Path("thin.mov")));
}

TEST_F(MovieCli, BadArgumentsAreUsageErrors) {
    const std::vector<std::vector<std::string>> cases{
        {"movie", Path("pano.bmp")},
        {"movie", "-o", Path("a.mov")},
        {"movie", Path("pano.bmp"), "-o", Path("a.mov"), "--codec", "png"},
        {"movie", Path("pano.bmp"), "-o", Path("a.mov"), "--quality", "6"},
        {"movie", Path("pano.bmp"), "-o", Path("a.mov"), "--correction", "-1"},
        {"movie", Path("pano.bmp"), "-o", Path("a.mov"), "--size", "0x100"},
        {"movie", Path("pano.bmp"), "-o", Path("a.mov"), "--size", "70000x100"},
        {"movie", Path("pano.bmp"), "-o", Path("a.mov"), "--zoom", "fast"},
        {"movie", Path("pano.bmp"), "-o", Path("a.mov"), "--title", "T"},
        {"movie", Path("pano.bmp"), "-o", Path("a.mov"), "--frames", "2"},
    };
    for (const auto& args : cases) {
        const CliResult r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_NE(r.err.find("usage: orbelune-cli movie"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(Path("a.mov")));

    // A stored codec the dialog could not select must be given.
    WriteSettings("[DEFAULTS]\nCOMPRESSOR=9\n");
    const CliResult stored = Run({"movie", Path("pano.bmp"), "-o", Path("a.mov")});
    EXPECT_EQ(stored.exitCode, 2);
    EXPECT_NE(stored.err.find("give --codec"), std::string::npos);
}

TEST_F(MovieCli, StoredDefaultsAreCorrectedAndTheStoreIsNeverWritten) {
    const std::string ini = "[DEFAULTS]\nZOOM=250\nTILES=6\nPAN=90\n[EQUIPMENT]\nMIRROR=0\n";
    WriteSettings(ini);
    const CliResult r = Run({"movie", "pano.bmp", "-o", "out", "--tilt", "30", "--codec", "jpeg"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(IsMovie(Path("out.mov")));  // the missing extension is completed
    EXPECT_NE(r.err.find("tilt 30 is outside this mirror's -35..17; using 0"), std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFile(config_ + "/Halvarn/Orbelune.ini"), ini);
}

TEST_F(MovieCli, PageRefersToTheMovieAsGiven) {
    const CliResult r =
        Run({"movie", "pano.bmp", "-o", "hill.mov", "--size", "320x100", "--html", "hill.html",
             "--title", "Hill & sea", "--codec", "none", "--tiles", "4"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(IsMovie(Path("hill.mov")));
    const std::string page = ReadFile(Path("hill.html"));
    EXPECT_NE(page.find("<TITLE> Hill &amp; sea </TITLE>\r\n"), std::string::npos);
    EXPECT_NE(page.find("SRC=\"hill.mov\" WIDTH=\"320\" Height=\"116\""), std::string::npos);
}

TEST_F(MovieCli, FailuresExitOneWithTheReason) {
    const CliResult missing = Run({"movie", "nothing.bmp", "-o", "x.mov"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("nothing.bmp"), std::string::npos);

    const CliResult folder = Run({"movie", "pano.bmp", "-o", Path("no/such/dir/x.mov")});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_NE(folder.err.find("orbelune-cli: " + Path("no/such/dir/x.mov") + ": "),
              std::string::npos)
        << folder.err;
    EXPECT_FALSE(std::filesystem::exists(Path("no")));
}

// Turned tiles of a low panorama are only a few blocks high: 8 tiles of a
// 48 x 4 picture are 4 x 8 pixels, fewer block rows than the Cinepak
// encoder's strips.
TEST_F(MovieCli, LowPanoramasBuildWithTheVectorQuantisingCodecs) {
    RgbImage low;
    ASSERT_EQ(low.AllocatePixels(48, 4), 0u);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 48 * 3; ++x)
            low.row(y)[x] = static_cast<std::uint8_t>(x * 5 + y * 40);
    ASSERT_EQ(low.SaveImageFile(Path("low.bmp"), ImageFormat::Bmp), 0u);
    for (const char* codec : {"cinepak", "sorenson"}) {
        SCOPED_TRACE(codec);
        const std::string out = Path(std::string(codec) + ".mov");
        const CliResult r =
            Run({"movie", Path("low.bmp"), "-o", out, "--tiles", "8", "--codec", codec});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(IsMovie(out));
    }
}

}  // namespace
}  // namespace orbelune
