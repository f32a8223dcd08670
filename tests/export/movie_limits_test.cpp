#include <gtest/gtest.h>

#include <string>

#include "export/movie_props.h"
#include "export/movie_settings.h"
#include "export/panorama_movie.h"
#include "export/vr_toolbox_test_support.h"
#include "image/rgb_image.h"

namespace orbelune {
namespace {

namespace props = movie_props;

MovieSettings Lossless() {
    MovieSettings s;
    s.tiles = 1;
    s.compressor = 5;
    s.quality = 2;
    s.correction = 2;
    s.zoom = 1.0f;
    s.pan = 0;
    s.tilt = 0;
    return s;
}

TEST(MovieLimits, OneLargestSideForTheDialogTheBatchToolAndTheBuild) {
    // The movie box holds its sides as signed 16-bit values.
    EXPECT_EQ(kMaxMovieSide, 32767);
    EXPECT_TRUE(IsStorableMovieSide(1));
    EXPECT_TRUE(IsStorableMovieSide(kMaxMovieSide));
    EXPECT_FALSE(IsStorableMovieSide(kMaxMovieSide + 1));
    EXPECT_FALSE(IsStorableMovieSide(65535));
    EXPECT_FALSE(IsStorableMovieSide(0));
    EXPECT_FALSE(IsStorableMovieSide(-1));
}

TEST(MovieLimits, WhatTheCorrectionLetsThroughTheBuildTakes) {
    // Every record the one correction gives must pass the build's own check,
    // for any stored size, tile count, codec, view and mirror.
    const int sides[] = {-5, 0, 1, 400, kMaxMovieSide, kMaxMovieSide + 1, 65535, 70000};
    const int tileCounts[] = {-4, 0, 1, 2, 3, 4, 6, 24, 28, 30};
    for (int mirror = 0; mirror < 4; ++mirror)
        for (int width : sides)
            for (int height : sides)
                for (int tiles : tileCounts)
                    for (int codec : {0, 4}) {
                        MovieSettings s = Lossless();
                        s.movieWidth = width;
                        s.movieHeight = height;
                        s.tiles = tiles;
                        s.compressor = codec;
                        s.zoom = 3.0f;
                        s.pan = 400;
                        s.tilt = 80;
                        const MovieSettings c = props::CorrectedSettings(s, mirror);
                        ASSERT_EQ(props::SettingsProblem(c), "")
                            << width << "x" << height << " tiles " << tiles;
                        ASSERT_TRUE(IsStorableMovieSide(c.movieWidth));
                        ASSERT_TRUE(IsStorableMovieSide(c.movieHeight));
                        // The build's own pass changes nothing that was corrected.
                        const MovieSettings b = props::BuildableSettings(c);
                        ASSERT_EQ(b.tiles, c.tiles);
                        ASSERT_EQ(b.tilt, c.tilt);
                        ASSERT_EQ(b.movieWidth, c.movieWidth);
                        ASSERT_EQ(b.movieHeight, c.movieHeight);
                    }
}

TEST(MovieLimits, SidesTooLargeAreCappedAndMissingOnesTakeTheDefault) {
    MovieSettings s = Lossless();
    s.movieWidth = 65535;  // the old dialog limit
    s.movieHeight = 0;
    const MovieSettings c = props::CorrectedSettings(s, 1);
    EXPECT_EQ(c.movieWidth, kMaxMovieSide);
    EXPECT_EQ(c.movieHeight, MovieSettings{}.movieHeight);
    s.movieWidth = 640;
    s.movieHeight = 320;
    EXPECT_EQ(props::CorrectedSettings(s, 1).movieWidth, 640);
    EXPECT_EQ(props::CorrectedSettings(s, 1).movieHeight, 320);
    // A confirmed size wins, but only one the movie can hold.
    s.confirmedWidth = 500;
    s.confirmedHeight = 40000;
    EXPECT_EQ(props::CorrectedSettings(s, 1).movieWidth, 500);
    EXPECT_EQ(props::CorrectedSettings(s, 1).movieHeight, 320);
}

TEST(MovieLimits, TheBuildRefusesExactlyWhatTheLimitRefuses) {
    const std::string destination = ::testing::TempDir() + "movie_limits.mov";
    const RgbImage panorama = testing::PatternImage(96, 24);
    MovieSettings s = Lossless();
    s.movieWidth = kMaxMovieSide;
    s.movieHeight = 1;
    EXPECT_EQ(SaveMovie(panorama, s, destination), 0);
    s.movieWidth = kMaxMovieSide + 1;
    EXPECT_EQ(SaveMovie(panorama, s, destination), movie_err::kUnstorableSize);
    std::remove(destination.c_str());
}

TEST(SaveMovieErrors, EachCauseHasItsOwnCodeAndText) {
    const std::string destination = ::testing::TempDir() + "movie_errors.mov";
    const RgbImage panorama = testing::PatternImage(96, 24);
    const RgbImage thin = testing::PatternImage(200, 3);
    MovieSettings wide = Lossless();
    wide.movieWidth = 40000;
    struct Case {
        const RgbImage& image;
        MovieSettings settings;
        std::string destination;
        int code;
        const char* needle;
    };
    const Case cases[] = {
        {RgbImage(), Lossless(), destination, movie_err::kNoPanorama, "no panorama"},
        {panorama, Lossless(), "", movie_err::kNoDestination, "file name"},
        {panorama, wide, destination, movie_err::kUnstorableSize, "40000 x 180"},
        {thin, Lossless(), destination, movie_err::kUntileable, "(200 x 3)"},
    };
    for (const Case& c : cases) {
        const int result = SaveMovie(c.image, c.settings, c.destination);
        EXPECT_EQ(result, c.code) << c.needle;
        EXPECT_TRUE(IsSaveMovieError(result));
        const std::string text = SaveMovieErrorText(result, c.image, c.settings);
        EXPECT_NE(text.find(c.needle), std::string::npos) << text;
        EXPECT_EQ(text.find("Error #"), std::string::npos) << text;
    }
    for (int code : {movie_err::kNoTempFolder, movie_err::kPrepareFailed}) {
        EXPECT_TRUE(IsSaveMovieError(code));
        EXPECT_EQ(SaveMovieErrorText(code, panorama, Lossless()).find("Error #"),
                  std::string::npos);
    }
    // Toolbox codes keep their own texts and are not taken for the build's.
    EXPECT_FALSE(IsSaveMovieError(-1));
    EXPECT_FALSE(IsSaveMovieError(85));
    EXPECT_EQ(SaveMovieErrorText(85, panorama, Lossless()), ToolboxErrorText(85));
}

}  // namespace
}  // namespace orbelune
