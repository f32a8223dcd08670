#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "export/movie_layout.h"
#include "export/panorama_movie.h"
#include "export/temp_files.h"
#include "export/vr_toolbox_test_support.h"
#include "image/image_layer.h"

namespace orbelune {
namespace {

namespace fs = std::filesystem;

struct FitCase {
    int width, height, tiles;
    int fittedWidth, fittedHeight;
    bool resample;
};

TEST(FitMovieImage, MovesWidthToWholeTilesAndHeightToFours) {
    const FitCase cases[] = {
        {1010, 300, 4, 1008, 296, true},  // down; proportional 299 cut to 296
        {1100, 303, 4, 1104, 300, true},  // up; height cut, not proportional
        {1000, 250, 4, 1008, 248, true},  // r = c / 2 goes up
        {960, 251, 24, 960, 248, true},   // width already whole tiles
        {960, 248, 24, 960, 248, false},  // nothing to do
        {1001, 248, 1, 1000, 247 - 247 % 4, true},
    };
    for (const FitCase& c : cases) {
        const FittedSize fitted = FitMovieImage(c.width, c.height, c.tiles);
        EXPECT_EQ(fitted.width, c.fittedWidth) << c.width << "x" << c.height;
        EXPECT_EQ(fitted.height, c.fittedHeight) << c.width << "x" << c.height;
        EXPECT_EQ(fitted.resample, c.resample) << c.width << "x" << c.height;
        EXPECT_TRUE(fitted.Storable());
    }
    // Sizes the 16-bit fields cannot hold, and sizes that fit to nothing.
    EXPECT_FALSE(FitMovieImage(65540, 100, 1).Storable());
    EXPECT_FALSE(FitMovieImage(100, 65540, 1).Storable());
    EXPECT_FALSE(FitMovieImage(40, 3, 1).Storable());
    EXPECT_FALSE(FitMovieImage(47, 100, 24).Storable());
}

class PrepareMovieImageTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(folder_); }
    void TearDown() override { SetImageProgress({}); }
    std::vector<std::string> Files() const { return scratch_.Entries("prep"); }

    testing::Scratch scratch_;
    std::string folder_ = scratch_.Path("prep");
};

TEST_F(PrepareMovieImageTest, TurnsAFittingPanoramaAQuarterCounterClockwise) {
    const RgbImage panorama = testing::PatternImage(16, 8);
    const std::string path = PrepareMovieImage(panorama, 1, folder_);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(fs::path(path).parent_path(), fs::path(folder_));
    EXPECT_EQ(fs::path(path).extension(), ".BMP");
    RgbImage turned;
    ASSERT_EQ(turned.LoadImageFile(path), 0u);
    ASSERT_EQ(turned.width(), 8);
    ASSERT_EQ(turned.height(), 16);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            const std::uint8_t* from = panorama.row(y) + x * 3;
            const std::uint8_t* to = turned.row(16 - 1 - x) + y * 3;
            ASSERT_TRUE(std::equal(from, from + 3, to)) << x << "," << y;
        }
    }
}

TEST_F(PrepareMovieImageTest, RefusesWhatCannotBeStoredAndLeavesNoFile) {
    EXPECT_EQ(PrepareMovieImage(RgbImage(), 1, folder_), "");
    EXPECT_EQ(PrepareMovieImage(testing::PatternImage(16, 8), 0, folder_), "");
    EXPECT_EQ(PrepareMovieImage(testing::PatternImage(65540, 4), 1, folder_), "");
    EXPECT_EQ(PrepareMovieImage(testing::PatternImage(16, 8), 1, scratch_.Path("missing")), "");
    EXPECT_TRUE(Files().empty());
}

TEST_F(PrepareMovieImageTest, StoppedProgressFailsThePreparation) {
    int calls = 0;
    SetImageProgress([&calls](int, int) { return ++calls < 3; });
    EXPECT_EQ(PrepareMovieImage(testing::PatternImage(1010, 300), 4, folder_), "");
    EXPECT_GE(calls, 3);
    EXPECT_TRUE(Files().empty());
}

TEST(TempFiles, FolderIsPrivateAndRemovedWithItsFiles) {
    testing::Scratch scratch;
    std::string folderPath;
    {
        TempFolder folder;
        ASSERT_TRUE(folder.valid());
        folderPath = folder.path();
        EXPECT_EQ(fs::path(folderPath).parent_path(), fs::path(scratch.Tmp()));
        struct stat info {};
        ASSERT_EQ(::stat(folderPath.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);

        std::set<std::string> names;
        for (int i = 0; i < 20; ++i) {
            const std::string name = MakeTempFileName(folderPath, "TIL");
            ASSERT_FALSE(name.empty());
            EXPECT_EQ(fs::path(name).extension(), ".TIL");
            EXPECT_EQ(fs::path(name).filename().string().rfind("OBL", 0), 0u);
            EXPECT_TRUE(fs::exists(name));
            EXPECT_EQ(fs::file_size(name), 0u);
            EXPECT_TRUE(names.insert(name).second);
        }
    }
    EXPECT_FALSE(fs::exists(folderPath));
    EXPECT_TRUE(scratch.Entries().empty());
    EXPECT_EQ(MakeTempFileName("", "BMP"), "");
    EXPECT_EQ(MakeTempFileName(scratch.Path("missing"), "BMP"), "");
}

}  // namespace
}  // namespace orbelune
