#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <ctime>

#include <filesystem>
#include <fstream>
#include <thread>

#include "export/panorama_movie.h"
#include "export/panorama_movie_walker.h"
#include "export/vr_toolbox_test_support.h"
#include "image/image_layer.h"
#include "image/parallel.h"
#include "image/temp_registry.h"
#include "platform/quicktime/movie_toolbox.h"

namespace orbelune {
namespace {

namespace fs = std::filesystem;

MovieSettings Lossless(int tiles) {
    MovieSettings s;
    s.tiles = tiles;
    s.compressor = 5;
    s.quality = 2;
    s.correction = 2;
    s.zoom = 1.0f;
    s.pan = 0;
    s.tilt = 0;
    return s;
}

class SaveMovieTest : public ::testing::Test {
protected:
    void TearDown() override { qt::ClearPlatformFaults(); }

    MovieBuildHooks Hooks() {
        MovieBuildHooks hooks;
        hooks.showMessage = [this](const std::string& text) { messages_.push_back(text); };
        return hooks;
    }
    testing::MovieInfo Walk(const std::string& path) {
        testing::Bytes file;
        testing::MovieInfo movie;
        std::string error;
        EXPECT_TRUE(testing::ReadFileBytes(path, file));
        EXPECT_TRUE(testing::WalkMovie(file, movie, error)) << error;
        return movie;
    }
    void WriteText(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    std::string ReadText(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    testing::Scratch scratch_;
    std::vector<std::string> messages_;
    std::string destination_ = scratch_.Path("pano.mov");
    RgbImage panorama_ = testing::PatternImage(128, 40);
};

TEST_F(SaveMovieTest, WritesTheDestinationAndLeavesNoWorkingFiles) {
    const mode_t old = ::umask(022);
    EXPECT_EQ(SaveMovie(panorama_, Lossless(4), destination_, Hooks()), 0);
    ::umask(old);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(Walk(destination_).tracks.size(), 3u);
    struct stat info {};
    ASSERT_EQ(::stat(destination_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_TRUE(scratch_.Entries().empty()) << "temporary files left behind";
    EXPECT_EQ(scratch_.Entries(".").size(), 2u) << "only tmp and the movie";
}

TEST_F(SaveMovieTest, ReportsEachTileAsItIsFinishedOnAnyCount) {
    const RgbImage panorama = testing::PatternImage(320, 48);
    MovieSettings settings = Lossless(8);
    settings.compressor = 2;  // Cinepak, the slow one
    const std::thread::id caller = std::this_thread::get_id();
    for (const int threads : {1, 3}) {
        SCOPED_TRACE(threads);
        SetWorkerThreads(threads);
        MovieBuildHooks hooks = Hooks();
        std::vector<std::pair<int, int>> reports;
        bool onCaller = true;
        hooks.tileProgress = [&](int tile, int count) {
            reports.emplace_back(tile, count);
            onCaller = onCaller && std::this_thread::get_id() == caller;
        };
        EXPECT_EQ(SaveMovie(panorama, settings, destination_, hooks), 0);
        std::vector<std::pair<int, int>> expected;
        for (int done = 0; done <= 8; ++done)
            expected.emplace_back(done, 8);
        EXPECT_EQ(reports, expected);
        EXPECT_TRUE(onCaller) << "the desktop's bar may only be touched by its own thread";
    }
    SetWorkerThreads(0);
}

TEST_F(SaveMovieTest, AReplacedMovieKeepsItsPermissions) {
    WriteText(destination_, "old movie");
    ASSERT_EQ(::chmod(destination_.c_str(), 0600), 0);
    EXPECT_EQ(SaveMovie(panorama_, Lossless(4), destination_, Hooks()), 0);
    struct stat info {};
    ASSERT_EQ(::stat(destination_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(ReadText(destination_), "old movie");
}

TEST_F(SaveMovieTest, AMovieTheUserMayNotWriteIsRefusedBeforeTheWork) {
    WriteText(destination_, "old movie");
    ASSERT_EQ(::chmod(destination_.c_str(), 0444), 0);
    MovieBuildHooks hooks = Hooks();
    bool built = false;
    hooks.progress = [&](int, int) { return built = true; };
    EXPECT_EQ(SaveMovie(panorama_, Lossless(4), destination_, hooks), 85);
    EXPECT_FALSE(built);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], destination_ + ": Permission denied");
    EXPECT_EQ(ReadText(destination_), "old movie");
    EXPECT_EQ(scratch_.Entries(".").size(), 2u) << "no partial movie";
}

TEST_F(SaveMovieTest, ThroughASymbolicLinkTheFileItPointsToIsReplaced) {
    fs::create_directory(scratch_.Path("real"));
    const std::string target = scratch_.Path("real/pano.mov");
    WriteText(target, "old movie");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    fs::create_symlink("real/pano.mov", destination_);
    EXPECT_EQ(SaveMovie(panorama_, Lossless(4), destination_, Hooks()), 0);
    EXPECT_TRUE(fs::is_symlink(destination_));
    EXPECT_EQ(Walk(target).tracks.size(), 3u);
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(scratch_.Entries("real").size(), 1u) << "the partial movie went beside the target";
}

TEST_F(SaveMovieTest, PartialMoviesOfKilledRunsAreClearedButNotThoseOfLiveOnes) {
    // Left by runs that died long ago, one of them still held by a live run.
    const std::string dead = scratch_.Path(".orbelune-Dead01");
    const std::string held = scratch_.Path(".orbelune-Held01");
    const std::string other = scratch_.Path(".pano.mov.Other1");
    for (const std::string& path : {dead, held, other}) {
        WriteText(path, "partial movie");
        const struct timespec old[2] = {{std::time(nullptr) - 3600, 0},
                                        {std::time(nullptr) - 3600, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
    }
    const int live = ::open(held.c_str(), O_RDONLY);
    LockAsLive(live);
    MovieBuildHooks hooks = Hooks();
    std::vector<std::string> during;
    hooks.tileProgress = [&](int tile, int) {
        if (tile == 0) during = scratch_.Entries(".");
    };
    EXPECT_EQ(SaveMovie(panorama_, Lossless(4), destination_, hooks), 0);
    ::close(live);
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(fs::exists(held));
    EXPECT_TRUE(fs::exists(other)) << "not a name of ours";
    // Cleared as the build began, and its own partial movie had the name a
    // later run would clear.
    int partials = 0;
    for (const std::string& name : during) {
        EXPECT_NE(name, ".orbelune-Dead01");
        partials += name.rfind(".orbelune-", 0) == 0 && name != ".orbelune-Held01" &&
                    name != ".orbelune-Dead01";
    }
    EXPECT_EQ(partials, 1);
}

TEST_F(SaveMovieTest, AnInterruptedBuildLeavesNoWorkingFilesAndTheOldMovie) {
    WriteText(destination_, "old movie");
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        RemoveTempFilesOnSignals();
        MovieBuildHooks hooks;
        // Stops in the middle of the tiles, with every working file made.
        hooks.tileProgress = [&](int tile, int) {
            if (tile != 1) return;
            const char ready = 1;
            if (::write(channel[1], &ready, 1) != 1) ::_exit(4);
            for (;;)
                ::pause();
        };
        (void)SaveMovie(panorama_, Lossless(4), destination_, hooks);
        ::_exit(3);
    }
    ::close(channel[1]);
    char ready = 0;
    ASSERT_EQ(::read(channel[0], &ready, 1), 1);
    ::close(channel[0]);
    EXPECT_FALSE(scratch_.Entries().empty()) << "the build's folder exists meanwhile";
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_TRUE(scratch_.Entries().empty()) << "temporary files left behind";
    EXPECT_EQ(scratch_.Entries(".").size(), 2u) << "only tmp and the movie";
    EXPECT_EQ(ReadText(destination_), "old movie");
}

TEST_F(SaveMovieTest, TilesCompressedOnSeveralCoresGiveTheFileOfOne) {
    const RgbImage panorama = testing::PatternImage(320, 48);
    for (const int compressor : {0, 2, 4}) {  // JPEG, Cinepak, Sorenson
        SCOPED_TRACE(compressor);
        MovieSettings settings = Lossless(8);
        settings.compressor = compressor;
        std::vector<std::string> files;
        for (const int threads : {1, 3, 8}) {
            SetWorkerThreads(threads);
            EXPECT_EQ(SaveMovie(panorama, settings, destination_, Hooks()), 0);
            files.push_back(ReadText(destination_));
        }
        SetWorkerThreads(0);
        ASSERT_GT(files[0].size(), 1000u);
        EXPECT_TRUE(files[1] == files[0]);
        EXPECT_TRUE(files[2] == files[0]);
    }
}

TEST_F(SaveMovieTest, FailedBuildKeepsAnExistingMovieAndLeavesNoPartialFile) {
    WriteText(destination_, "old movie");
    qt::SetPlatformFaults({.flattenerMissing = true});
    EXPECT_EQ(SaveMovie(panorama_, Lossless(4), destination_, Hooks()), -2005);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].rfind("You need the QTVR Flattener extension", 0), 0u);
    EXPECT_EQ(ReadText(destination_), "old movie");
    EXPECT_EQ(scratch_.Entries(".").size(), 2u);
    EXPECT_TRUE(scratch_.Entries().empty());

    qt::PlatformFaults faults;
    faults.failStep = qt::FaultStep::kCompress;
    qt::SetPlatformFaults(faults);
    EXPECT_EQ(SaveMovie(panorama_, Lossless(4), destination_, Hooks()), 29);
    EXPECT_EQ(ReadText(destination_), "old movie");
    EXPECT_EQ(scratch_.Entries(".").size(), 2u);
    EXPECT_TRUE(scratch_.Entries().empty());
}

TEST_F(SaveMovieTest, ReplacesAnExistingMovieOnSuccess) {
    WriteText(destination_, "old movie");
    EXPECT_EQ(SaveMovie(panorama_, Lossless(1), destination_, Hooks()), 0);
    EXPECT_EQ(Walk(destination_).tracks.size(), 3u);
}

TEST_F(SaveMovieTest, UnwritableFolderIsMovieFileNotCreated) {
    EXPECT_EQ(SaveMovie(panorama_, Lossless(4), scratch_.Path("missing/pano.mov"), Hooks()), 85);
    EXPECT_TRUE(scratch_.Entries().empty());
}

TEST_F(SaveMovieTest, TileCountsOutsideTheFormatAreCorrected) {
    const std::pair<int, std::size_t> cases[] = {{0, 1}, {-4, 1}, {30, 24}, {24, 24}};
    for (const auto& [tiles, stored] : cases) {
        ASSERT_EQ(SaveMovie(testing::PatternImage(960, 40), Lossless(tiles), destination_), 0)
            << tiles;
        const testing::MovieInfo movie = Walk(destination_);
        ASSERT_EQ(movie.tracks.size(), 3u);
        EXPECT_EQ(movie.tracks[2].samples.size(), stored) << tiles;
    }
}

TEST_F(SaveMovieTest, DefaultViewOutsideItsRangesFallsBack) {
    MovieSettings s = Lossless(1);
    s.zoom = 0.02f;  // the settings store's start-up default
    s.pan = 400;
    s.tilt = -120;
    ASSERT_EQ(SaveMovie(panorama_, s, destination_), 0);
    const testing::MovieInfo movie = Walk(destination_);
    ASSERT_EQ(movie.tracks.size(), 3u);
    testing::QtAtom sample;
    std::string error;
    ASSERT_TRUE(testing::ParseAtomContainer(movie.tracks[1].samples.at(0), sample, error)) << error;
    const testing::Bytes& pdat = sample.Child(testing::Code("pdat"))->data;
    EXPECT_EQ(testing::BeF32(pdat, 36), 0.0f);
    EXPECT_EQ(testing::BeF32(pdat, 40), 0.0f);
    EXPECT_EQ(testing::BeF32(pdat, 44), testing::BeF32(pdat, 32))
        << "zoom 1 shows the whole height";
}

TEST_F(SaveMovieTest, SizesTheFormatCannotHoldAreRefusedBeforeWriting) {
    MovieSettings wide = Lossless(1);
    wide.movieWidth = 40000;
    EXPECT_EQ(SaveMovie(panorama_, wide, destination_, Hooks()), movie_err::kUnstorableSize);
    MovieSettings confirmed = Lossless(1);
    confirmed.confirmedHeight = -5;
    EXPECT_EQ(SaveMovie(panorama_, confirmed, destination_, Hooks()), movie_err::kUnstorableSize);
    // One tile 40000 pixels wide after the turn.
    const RgbImage tall = testing::PatternImage(8, 40000);
    EXPECT_EQ(SaveMovie(tall, Lossless(1), destination_, Hooks()), movie_err::kUntileable);
    EXPECT_EQ(SaveMovie(testing::PatternImage(200, 3), Lossless(1), destination_, Hooks()),
              movie_err::kUntileable);
    // The reasons are the caller's to tell, once, with the sizes in them.
    EXPECT_TRUE(messages_.empty());
    EXPECT_NE(SaveMovieErrorText(movie_err::kUnstorableSize, panorama_, wide).find("40000"),
              std::string::npos);
    EXPECT_NE(SaveMovieErrorText(movie_err::kUntileable, tall, Lossless(1)).find("tiles"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(destination_));
    EXPECT_TRUE(scratch_.Entries().empty());
    EXPECT_EQ(SaveMovie(RgbImage(), Lossless(1), destination_), movie_err::kNoPanorama);
}

TEST_F(SaveMovieTest, ProgressReportsOnlyWhileThePanoramaIsPrepared) {
    MovieBuildHooks hooks;
    int rows = 0;
    hooks.progress = [&rows](int, int) {
        ++rows;
        return true;
    };
    ASSERT_EQ(SaveMovie(testing::PatternImage(1010, 300), Lossless(4), destination_, hooks), 0);
    EXPECT_GT(rows, 0);
    EXPECT_FALSE(HasImageProgress());

    hooks.progress = [](int, int) { return false; };
    fs::remove(destination_);
    EXPECT_EQ(SaveMovie(testing::PatternImage(1010, 300), Lossless(4), destination_, hooks),
              movie_err::kPrepareFailed);
    EXPECT_FALSE(HasImageProgress());
    EXPECT_FALSE(fs::exists(destination_));
    EXPECT_TRUE(scratch_.Entries().empty());
}

}  // namespace
}  // namespace orbelune
