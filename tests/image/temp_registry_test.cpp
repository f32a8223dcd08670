#include "image/temp_registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "image/codec_test_helpers.h"
#include "image/file_io.h"
#include "image/image_io.h"
#include "image/image_layer.h"

namespace orbelune {
namespace {

namespace fs = std::filesystem;

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

std::string Read(const std::string& path) {
    const auto bytes = test::ReadFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

// Runs `work` in a child that reports through `channel` when it is in the
// middle of it and then waits; kills it with `signal` and returns how it ended.
template <typename Work>
int KillMidWork(int signal, Work work) {
    int channel[2];
    EXPECT_EQ(::pipe(channel), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        RemoveTempFilesOnSignals();
        work(channel[1]);
        ::_exit(3);  // the work was meant to be stopped
    }
    ::close(channel[1]);
    char ready = 0;
    EXPECT_EQ(::read(channel[0], &ready, 1), 1);
    ::close(channel[0]);
    ::kill(child, signal);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status);
}

// Tells the parent, then sleeps until killed.
void Hold(int channel) {
    const char ready = 1;
    if (::write(channel, &ready, 1) != 1) ::_exit(4);
    for (;;)
        ::pause();
}

TEST(TempRegistry, SignalsDuringASaveOrAMovieBuildLeaveNothingBehind) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string destination = folder.path() + "/pano.bmp";
    std::ofstream(destination) << "old";
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        // Stopped while the encoder writes the temporary file.
        const int ended = KillMidWork(signal, [&](int channel) {
            SetImageProgress([channel](int, int) {
                Hold(channel);
                return true;
            });
            const RgbImage image = test::NoiseImage(16, 16, 1);
            (void)image.SaveImageFile(destination, ImageFormat::Bmp);
        });
        EXPECT_EQ(ended, signal);
        EXPECT_EQ(Listing(folder.path()), (std::set<std::string>{"pano.bmp"}));
        EXPECT_EQ(Read(destination), "old");

        // A private folder with a file in it, as a movie build has.
        std::string made;
        int channel[2];
        ASSERT_EQ(::pipe(channel), 0);
        const int endedBuild = KillMidWork(signal, [&](int ready) {
            TempFolder work;
            std::ofstream(work.path() + "/OBLtile01.BMP") << "tile";
            fs::create_directory(work.path() + "/sub");
            std::ofstream(work.path() + "/sub/x") << "x";
            const std::string path = work.path() + "\n";
            if (::write(channel[1], path.data(), path.size()) < 0) ::_exit(5);
            Hold(ready);
        });
        ::close(channel[1]);
        char buffer[4096] = {};
        const ssize_t n = ::read(channel[0], buffer, sizeof buffer - 1);
        ::close(channel[0]);
        ASSERT_GT(n, 1);
        made.assign(buffer, static_cast<std::size_t>(n - 1));
        EXPECT_EQ(endedBuild, signal);
        EXPECT_EQ(made.rfind(fs::temp_directory_path().string(), 0), 0u) << made;
        EXPECT_FALSE(fs::exists(made)) << made;
    }
}

TEST(TempRegistry, AKilledRunsLeftoversAreRemovedByTheNextRunOnlyWhenTheyAreOurs) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    auto put = [&](const std::string& name, bool old) {
        const std::string path = folder.path() + "/" + name;
        if (name.find('.') == 0)
            std::ofstream(path) << "x";
        else
            fs::create_directory(path);
        if (old) {
            const timespec times[2] = {{std::time(nullptr) - 3600, 0},
                                       {std::time(nullptr) - 3600, 0}};
            EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
        }
        return path;
    };
    put(".orbelune-Ab12Cd", true);    // ours, from a killed run
    put(".orbelune-new123", false);   // as new as this run: maybe another one's
    put(".orbelune-toolong1", true);  // not our pattern
    put(".orbelune-Busy12", true);    // old, but a live run holds it
    put("OBLk1lled", true);           // a killed build's folder
    put("OBLfresh1", false);
    put("OBLx", true);
    const std::string theirs = put(".orbelune-Their1", true);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(theirs.c_str(), 4321, 4321), 0);
    }
    const int busy = ::open((folder.path() + "/.orbelune-Busy12").c_str(), O_RDONLY);
    LockAsLive(busy);

    // Saving into the folder clears its leftover files.
    ASSERT_EQ(WriteFileAtomically(folder.path() + "/out.bin",
                                  reinterpret_cast<const std::uint8_t*>("new"), 3),
              err::kNone);
    std::set<std::string> expected = {".orbelune-new123", ".orbelune-toolong1", ".orbelune-Busy12",
                                      "OBLk1lled",        "OBLfresh1",          "OBLx",
                                      "out.bin"};
    if (::geteuid() == 0) expected.insert(".orbelune-Their1");
    EXPECT_EQ(Listing(folder.path()), expected);
    // The temporary folder's place is cleared of leftover folders.
    RemoveStaleTempFolders(folder.path());
    expected.erase("OBLk1lled");
    EXPECT_EQ(Listing(folder.path()), expected);
    ::close(busy);
}

}  // namespace
}  // namespace orbelune
