#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "image/codec_test_helpers.h"
#include "image/codecs/codec.h"
#include "image/file_io.h"
#include "image/image_io.h"
#include "image/image_layer.h"

namespace orbelune {
namespace {

namespace fs = std::filesystem;

const std::vector<std::uint8_t> kNew = {'n', 'e', 'w'};

class FileIo : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder_.valid()); }
    std::string Path(const std::string& name) const { return folder_.path() + "/" + name; }
    std::string Put(const std::string& name, const std::string& text, mode_t mode = 0644) const {
        std::ofstream(Path(name), std::ios::binary) << text;
        ::chmod(Path(name).c_str(), mode);
        return Path(name);
    }
    static std::string Read(const std::string& path) {
        const std::vector<std::uint8_t> bytes = test::ReadFileBytes(path);
        return {bytes.begin(), bytes.end()};
    }
    static mode_t ModeOf(const std::string& path) {
        struct stat info {};
        EXPECT_EQ(::lstat(path.c_str(), &info), 0);
        return info.st_mode & 07777;
    }
    std::set<std::string> Listing(const std::string& folder) const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return names;
    }
    static ImageError Write(const std::string& path) {
        return WriteFileAtomically(path, kNew.data(), kNew.size());
    }

    TempFolder folder_;
};

std::string UmaskNow() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0) return line;
    return {};
}

TEST_F(FileIo, NewFilesGetTheUmaskOfTheStartAndSavingNeverClearsIt) {
    // Changing the umask later changes nothing: it was read once.
    const mode_t startup = StartupUmask();
    const mode_t other = ::umask(startup == 077 ? 022 : 077);
    ASSERT_EQ(Write(Path("new.bin")), err::kNone);
    EXPECT_EQ(ModeOf(Path("new.bin")), 0666 & ~startup);
    ::umask(other);

    // While one thread saves, the process umask never reads 0 (which would
    // leave files other threads create meanwhile writable by everyone).
    const std::string before = UmaskNow();
    ASSERT_FALSE(before.empty());
    std::atomic<bool> done{false};
    std::thread saver([&] {
        for (int i = 0; i < 300; ++i)
            EXPECT_EQ(Write(Path("s" + std::to_string(i % 4))), 0u);
        done = true;
    });
    int changed = 0;
    while (!done)
        changed += UmaskNow() != before;
    saver.join();
    EXPECT_EQ(changed, 0);
}

TEST_F(FileIo, AReplacedFileKeepsItsPermissionsAndAFileNobodyMayWriteIsKept) {
    for (const mode_t mode : {0600, 0640, 0755}) {
        SCOPED_TRACE(mode);
        const std::string path = Put("kept.bin", "old", mode);
        ASSERT_EQ(Write(path), err::kNone);
        EXPECT_EQ(Read(path), "new");
        EXPECT_EQ(ModeOf(path), mode);
    }
    // Mode bits decide, not access(), which lets root write anything.
    const std::string locked = Put("locked.bin", "old", 0444);
    EXPECT_EQ(Write(locked), err::kFileWrite);
    EXPECT_EQ(LastSystemError(), EACCES);
    EXPECT_EQ(FileErrorMessage(locked, err::kFileWrite), locked + ": Permission denied");
    EXPECT_EQ(Read(locked), "old");
    EXPECT_EQ(Listing(folder_.path()), (std::set<std::string>{"kept.bin", "locked.bin"}));

    if (::geteuid() == 0) {
        // Root gives the new file the old owner.
        const std::string theirs = Put("theirs.bin", "old", 0640);
        ASSERT_EQ(::chown(theirs.c_str(), 4321, 4322), 0);
        ASSERT_EQ(Write(theirs), err::kNone);
        struct stat info {};
        ASSERT_EQ(::stat(theirs.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 4321u);
        EXPECT_EQ(info.st_gid, 4322u);
        EXPECT_EQ(info.st_mode & 0777, 0640u);
    }
}

TEST_F(FileIo, AWriterThatReplacesTheTemporaryFileByNameIsWhatIsCommitted) {
    // As the movie layer does: it writes its own file and renames it there.
    const std::string path = Put("movie.mov", "old", 0640);
    AtomicFile file(path);
    ASSERT_EQ(file.Open(), err::kNone);
    ASSERT_FALSE(file.tempPath().empty());
    const std::string own = Put("own.tmp", "new", 0600);
    ASSERT_EQ(std::rename(own.c_str(), file.tempPath().c_str()), 0);
    ASSERT_EQ(file.Commit(), err::kNone);
    EXPECT_EQ(Read(path), "new");
    EXPECT_EQ(ModeOf(path), 0640u) << "the permissions go to the file committed";
    EXPECT_EQ(Listing(folder_.path()), (std::set<std::string>{"movie.mov"}));
}

TEST_F(FileIo, ALinkedDestinationIsWrittenWhereItPoints) {
    // A symbolic link keeps pointing at the replaced file, written in the
    // target's folder (a rename within one folder stays atomic).
    fs::create_directory(Path("photos"));
    const std::string target = Put("photos/real.jpg", "old", 0600);
    ASSERT_EQ(::symlink("photos/real.jpg", Path("link.jpg").c_str()), 0);
    ASSERT_EQ(::symlink("link.jpg", Path("link2.jpg").c_str()), 0);
    ASSERT_EQ(Write(Path("link2.jpg")), err::kNone);
    EXPECT_TRUE(fs::is_symlink(Path("link.jpg")));
    EXPECT_TRUE(fs::is_symlink(Path("link2.jpg")));
    EXPECT_EQ(Read(target), "new");
    EXPECT_EQ(ModeOf(target), 0600u);
    EXPECT_EQ(Listing(Path("photos")), (std::set<std::string>{"real.jpg"}));
    // Unless links are refused.
    AtomicFile refusing(Path("link.jpg"), AtomicFile::Links::kRefuse);
    EXPECT_EQ(refusing.Open(), err::kFileWrite);
    EXPECT_EQ(LastSystemError(), ELOOP);
    // A dangling link makes the file it names.
    ASSERT_EQ(::symlink("photos/later.jpg", Path("dangling.jpg").c_str()), 0);
    ASSERT_EQ(Write(Path("dangling.jpg")), err::kNone);
    EXPECT_EQ(Read(Path("photos/later.jpg")), "new");

    // A hard link is a second name of the old file: it keeps the old bytes,
    // and the caller is told.
    const std::string first = Put("first.bin", "old");
    ASSERT_EQ(::link(first.c_str(), Path("second.bin").c_str()), 0);
    AtomicFile file(first);
    ASSERT_EQ(file.Open(), err::kNone);
    EXPECT_TRUE(file.replacesHardLink());
    ASSERT_EQ(::write(file.fd(), "new", 3), 3);
    ASSERT_EQ(file.Commit(), err::kNone);
    EXPECT_EQ(Read(first), "new");
    EXPECT_EQ(Read(Path("second.bin")), "old");
    AtomicFile single(Path("kept.bin"));
    ASSERT_EQ(single.Open(), err::kNone);
    EXPECT_FALSE(single.replacesHardLink());
}

TEST_F(FileIo, InputsThatAreNoRegularFilesAreRefusedAtOnceWithTheirReason) {
    ASSERT_EQ(::mkfifo(Path("pipe.jpg").c_str(), 0600), 0);
    fs::create_directory(Path("folder.jpg"));
    std::vector<std::uint8_t> bytes;
    RgbImage image;
    // A FIFO without a writer would block an ordinary open for ever.
    EXPECT_EQ(ReadWholeFile(Path("pipe.jpg"), bytes), err::kFileOpen);
    EXPECT_EQ(image.LoadImageFile(Path("pipe.jpg")), err::kFileOpen);
    EXPECT_EQ(FileErrorMessage("pipe.jpg", LastImageError()), "pipe.jpg: not a regular file");
    EXPECT_EQ(image.LoadImageFile(Path("folder.jpg")), err::kFileOpen);
    EXPECT_EQ(FileErrorMessage("folder.jpg", LastImageError()), "folder.jpg: Is a directory");
    EXPECT_EQ(image.LoadImageFile(Path("absent.jpg")), err::kFileOpen);
    EXPECT_EQ(FileErrorMessage("absent.jpg", LastImageError()),
              "absent.jpg: No such file or directory");
    // The reason belongs to file errors only: a damaged file has the layer's text.
    const std::string damaged = Put("damaged.jpg", "\xFF\xD8\xFF garbage");
    EXPECT_EQ(image.LoadImageFile(damaged), err::kBadJpeg);
    EXPECT_EQ(FileErrorMessage("damaged.jpg", LastImageError()), "damaged.jpg: bad JPG file");
    EXPECT_EQ(LastSystemError(), 0);

    // Saving into a folder that is missing, or onto a folder.
    image = test::NoiseImage(4, 4, 1);
    EXPECT_EQ(image.SaveImageFile(Path("no/such.bmp"), ImageFormat::Bmp), err::kFileOpen);
    EXPECT_EQ(FileErrorMessage("no/such.bmp", LastImageError()),
              "no/such.bmp: No such file or directory");
    EXPECT_EQ(image.SaveImageFile(Path("folder.jpg"), ImageFormat::Jpeg), err::kFileWrite);
    EXPECT_EQ(FileErrorMessage("folder.jpg", LastImageError()), "folder.jpg: Is a directory");

    // An encoder's write onto a full disk.
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full >= 0) {
        ByteSink sink(full);
        const ImageOperation op;
        EXPECT_FALSE(sink.Write(kNew.data(), kNew.size()));
        EXPECT_EQ(op.Fail(sink.WriteFailure()), err::kFileWrite);
        EXPECT_EQ(FileErrorMessage("x.bmp", LastImageError()), "x.bmp: No space left on device");
        ::close(full);
    }
}

}  // namespace
}  // namespace orbelune
