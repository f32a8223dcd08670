#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/panorama_movie.h"
#include "export/panorama_movie_walker.h"
#include "export/vr_toolbox_test_support.h"
#include "platform/quicktime/movie_toolbox.h"

namespace orbelune {
namespace {

std::uint32_t Be32At(const testing::Bytes& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// Creation and modification stamps of every movie, track and media header.
std::vector<std::uint32_t> HeaderTimes(const testing::Bytes& file) {
    std::vector<std::uint32_t> times;
    for (const std::string type : {"mvhd", "tkhd", "mdhd"}) {
        for (std::size_t at = 4; at + 16 <= file.size(); ++at) {
            if (std::equal(type.begin(), type.end(), file.begin() + at)) {
                times.push_back(Be32At(file, at + 8));
                times.push_back(Be32At(file, at + 12));
            }
        }
    }
    return times;
}

MovieSettings Settings() {
    MovieSettings s;
    s.tiles = 1;
    s.compressor = 5;
    s.zoom = 1.0f;
    return s;
}

TEST(MovieCreationTime, StampedFromTheCallerOrFixed) {
    testing::Scratch scratch;
    const RgbImage panorama = testing::PatternImage(128, 40);

    MovieBuildHooks dated;
    dated.creationTime = 1714979289;  // 2024-05-06 07:08:09 UTC
    ASSERT_EQ(SaveMovie(panorama, Settings(), scratch.Path("dated.mov"), dated), 0);
    testing::Bytes file;
    ASSERT_TRUE(testing::ReadFileBytes(scratch.Path("dated.mov"), file));
    const std::vector<std::uint32_t> times = HeaderTimes(file);
    ASSERT_GE(times.size(), 2u * 7);  // the movie, three tracks and their media
    for (std::uint32_t time : times)
        EXPECT_EQ(time, 1714979289u + 2082844800u);

    // Read back by the movie layer too.
    ASSERT_EQ(qt::InitializeMediaLayer(), 0);
    ASSERT_EQ(qt::EnterMovies(), 0);
    {
        std::unique_ptr<qt::MovieFile> movieFile;
        std::unique_ptr<qt::Movie> movie;
        EXPECT_EQ(qt::OpenMovieFile(scratch.Path("dated.mov"), movieFile), 0);
        if (movieFile) {
            EXPECT_EQ(qt::NewMovieFromFile(*movieFile, movie), 0);
            if (movie) {
                EXPECT_EQ(movie->creationTime(), 1714979289u + 2082844800u);
            }
        }
    }
    EXPECT_EQ(qt::ExitMovies(), 0);
    EXPECT_EQ(qt::TerminateMediaLayer(), 0);

    // No time given: the fixed stamp, so two builds give the same bytes.
    ASSERT_EQ(SaveMovie(panorama, Settings(), scratch.Path("a.mov")), 0);
    ASSERT_EQ(SaveMovie(panorama, Settings(), scratch.Path("b.mov")), 0);
    testing::Bytes a, b;
    ASSERT_TRUE(testing::ReadFileBytes(scratch.Path("a.mov"), a));
    ASSERT_TRUE(testing::ReadFileBytes(scratch.Path("b.mov"), b));
    EXPECT_EQ(a, b);
    for (std::uint32_t time : HeaderTimes(a))
        EXPECT_EQ(time, 0u);
}

TEST(MovieCreationTime, UnixSecondsToMovieStamps) {
    EXPECT_EQ(qt::MovieTimeFromUnix(0), 2082844800u);
    EXPECT_EQ(qt::MovieTimeFromUnix(-2082844800), 0u);  // 1904 itself is "no time"
    EXPECT_EQ(qt::MovieTimeFromUnix(-2082844801), 0u);
    EXPECT_EQ(qt::MovieTimeFromUnix(4294967295LL - 2082844800), 4294967295u);
    EXPECT_EQ(qt::MovieTimeFromUnix(4294967296LL - 2082844800), 0u);  // after 2040
}

}  // namespace
}  // namespace orbelune
