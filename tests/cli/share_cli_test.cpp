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

class ShareCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.valid());
        config_ = temp_.path() + "/config";
        std::filesystem::create_directories(config_ + "/Halvarn");
        RgbImage panorama;
        ASSERT_EQ(panorama.AllocatePixels(360, 60), 0u);
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 360 * 3; ++x)
                panorama.row(y)[x] = static_cast<std::uint8_t>(x + y);
        ASSERT_EQ(panorama.SaveImageFile(Path("pano.png"), ImageFormat::Png), 0u);
        // Tall enough (±60°) that a view 10° down still lies on the strip.
        RgbImage tall;
        ASSERT_EQ(tall.AllocatePixels(360, 200), 0u);
        ASSERT_EQ(tall.SaveImageFile(Path("tall.png"), ImageFormat::Png), 0u);
    }
    void WriteSettings(const std::string& ini) {
        std::ofstream(config_ + "/Halvarn/Orbelune.ini") << ini;
    }
    CliResult Run(const std::vector<std::string>& args) {
        return RunCli(args, config_, temp_.path());
    }
    std::string Path(const std::string& name) const { return temp_.path() + "/" + name; }

    TempFolder temp_;
    std::string config_;
};

TEST_F(ShareCli, BadArgumentsAreUsageErrors) {
    const std::vector<std::vector<std::string>> cases{
        {"share", "pano.png"},
        {"share", "-o", "web"},
        {"share", "pano.png", "-o", "web", "--zoom", "near"},
        {"share", "pano.png", "-o", "web", "--pan", "1.5"},
        {"share", "pano.png", "-o", "web", "--tiles", "4"},
        {"share", "pano.png", "other.png", "-o", "web"},
    };
    for (const auto& args : cases) {
        const CliResult r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_NE(r.err.find("usage: orbelune-cli share"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(Path("web")));
}

TEST_F(ShareCli, StoredViewIsCorrectedTheTitleIsTheNameAndTheStoreIsNeverWritten) {
    const std::string ini = "[DEFAULTS]\nPAN=90\nTILT=30\n[EQUIPMENT]\nMIRROR=0\n";
    WriteSettings(ini);
    const CliResult r = Run({"share", "pano.png", "-o", "web"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "web/index.html\n");
    const std::string page = ReadFile(Path("web/index.html"));
    EXPECT_NE(page.find("<title>pano</title>"), std::string::npos);
    EXPECT_NE(page.find("yaw: 90, pitch: 0,"), std::string::npos) << page;  // tilt 30: concave
    EXPECT_EQ(ReadFile(Path("web/panorama.jpg")).substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(ReadFile(config_ + "/Halvarn/Orbelune.ini"), ini);

    // Given values win; one out of range is said and corrected.
    const CliResult given = Run({"share", "tall.png", "-o", "web", "--pan", "400", "--tilt", "-10",
                                 "--title", "Hill & sea"});
    ASSERT_EQ(given.exitCode, 0) << given.err;
    EXPECT_NE(given.err.find("pan 400 is outside 0..360; using 0"), std::string::npos);
    const std::string again = ReadFile(Path("web/index.html"));
    EXPECT_NE(again.find("<title>Hill &amp; sea</title>"), std::string::npos);
    EXPECT_NE(again.find("yaw: 0, pitch: -10,"), std::string::npos) << again;

    // On a low strip the view is kept on the picture: no looking past its edge.
    ASSERT_EQ(Run({"share", "pano.png", "-o", "web", "--tilt", "-10"}).exitCode, 0);
    EXPECT_NE(ReadFile(Path("web/index.html")).find("pitch: 0,"), std::string::npos);
}

TEST_F(ShareCli, FailuresExitOneNamingTheFolderAndTheReason) {
    const CliResult missing = Run({"share", "nothing.png", "-o", "web"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("nothing.png"), std::string::npos);

    std::ofstream(Path("taken")) << "x";
    const CliResult file = Run({"share", "pano.png", "-o", "taken"});
    EXPECT_EQ(file.exitCode, 1);
    EXPECT_NE(file.err.find("orbelune-cli: taken: exists and is not a folder"), std::string::npos)
        << file.err;

    std::filesystem::create_directory(Path("photos"));
    std::ofstream(Path("photos/mine.jpg")) << "x";
    const CliResult foreign = Run({"share", "pano.png", "-o", "photos"});
    EXPECT_EQ(foreign.exitCode, 1);
    EXPECT_NE(foreign.err.find("photos: the folder holds other files"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("photos/index.html")));
}

}  // namespace
}  // namespace orbelune
