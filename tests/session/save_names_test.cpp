#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "session/save_names.h"

TEST(SaveNames, PanoramaKeepsTheRawFilesExtension) {
    EXPECT_EQ(orbelune::ProposedPanoramaName("ring.JPG"), "ring_pano.JPG");
    EXPECT_EQ(orbelune::ProposedPanoramaName("my.ring.tif"), "my.ring_pano.tif");
    EXPECT_EQ(orbelune::ProposedPanoramaName("ring"), "ring_pano");
    EXPECT_EQ(orbelune::ProposedPanoramaName(".hidden"), ".hidden_pano");
    EXPECT_EQ(orbelune::ProposedPanoramaName(""), "_pano");

    EXPECT_EQ(orbelune::ProposedMoviePath("/shots/ring.jpg"), "/shots/ring.mov");
    EXPECT_EQ(orbelune::ProposedMoviePath("/shots.d/ring"), "/shots.d/ring.mov");
}

TEST(SaveNames, FileIsBusyOnlyWhileAnotherHolderLocksIt) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("orbelune_busy_" + std::to_string(::getpid()) + ".jpg");
    EXPECT_FALSE(orbelune::IsFileBusy(path.string()));  // not there yet
    std::ofstream(path) << "x";
    EXPECT_FALSE(orbelune::IsFileBusy(path.string()));

    const int holder = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_SH), 0);
    EXPECT_TRUE(orbelune::IsFileBusy(path.string()));
    ::flock(holder, LOCK_UN);
    EXPECT_FALSE(orbelune::IsFileBusy(path.string()));
    ::close(holder);
    std::filesystem::remove(path);
}
