#include "image/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>  // mkdtemp
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

#include "image/image_layer.h"
#include "image/temp_registry.h"

namespace orbelune {

namespace {

// Larger files cannot hold a picture within the layer's limits.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{4} << 30;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Returns `code` with errno kept as the thread's system reason.
ImageError SystemFailure(ImageError code, int error = errno) {
    SetLastSystemError(error);
    return code;
}

ImageError ReadUpTo(int fd, std::uint8_t* data, std::size_t count, std::size_t& got) {
    got = 0;
    while (got < count) {
        const ssize_t n = ::read(fd, data + got, count - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return SystemFailure(err::kFileRead);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return err::kNone;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// What new files get from the umask, read once at start-up: reading it means
// setting it, and a umask(0) per save would let a file another thread creates
// meanwhile come out writable by everyone. /proc tells it without a change.
mode_t ReadUmask() {
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status) != nullptr)
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found) return static_cast<mode_t>(mask & 0777);
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

const mode_t g_umask = ReadUmask();

bool InGroup(gid_t group) {
    if (group == ::getegid()) return true;
    gid_t groups[256];
    const int count = ::getgroups(256, groups);
    for (int i = 0; i < count; ++i)
        if (groups[i] == group) return true;
    return false;
}

// From the mode bits rather than access(), which grants root everything: a
// file nobody may write (0444) is kept from root too.
bool MayReplace(const struct stat& info) {
    const uid_t user = ::geteuid();
    if (user == 0) return (info.st_mode & 0222) != 0;
    if (user == info.st_uid) return (info.st_mode & S_IWUSR) != 0;
    if (InGroup(info.st_gid)) return (info.st_mode & S_IWGRP) != 0;
    return (info.st_mode & S_IWOTH) != 0;
}

// The file a chain of symbolic links ends at (the path itself when it is no
// link); a dangling link gives the path it points to.
std::string FollowLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        std::vector<char> target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) +
                                 2);
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size() - 1);
        if (n <= 0 || static_cast<std::size_t>(n) >= target.size() - 1) return path;
        const std::string next(target.data(), static_cast<std::size_t>(n));
        path = next[0] == '/' ? next : FolderOf(path) + "/" + next;
    }
    return path;
}

}  // namespace

mode_t StartupUmask() {
    return g_umask;
}

ImageError OpenRegularFile(const std::string& path, int& fd) {
    // Non-blocking, so that opening a FIFO cannot hang before the check.
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return SystemFailure(err::kFileOpen);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : kNotRegularFile;
        ::close(fd);
        fd = -1;
        return SystemFailure(err::kFileOpen, error);
    }
    // Regular files ignore the flag; cleared for whoever reads on.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return err::kNone;
}

ImageError ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    int opened = -1;
    if (ImageError e = OpenRegularFile(path, opened)) return e;
    FileDescriptor fd(opened);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return SystemFailure(err::kFileRead);
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > kMaxFileBytes) return err::kNoMemory;
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return err::kNoMemory;
    }
    std::size_t got = 0;
    if (ImageError e = ReadUpTo(fd.get(), bytes.data(), bytes.size(), got)) {
        bytes.clear();
        return e;
    }
    // The file may have shrunk since fstat.
    bytes.resize(got);
    return err::kNone;
}

ImageError ReadFileHead(const std::string& path, std::size_t count,
                        std::vector<std::uint8_t>& bytes) {
    bytes.assign(count, 0);
    int opened = -1;
    if (ImageError e = OpenRegularFile(path, opened)) {
        bytes.clear();
        return e;
    }
    FileDescriptor fd(opened);
    std::size_t got = 0;
    const ImageError e = ReadUpTo(fd.get(), bytes.data(), count, got);
    bytes.resize(got);
    return e;
}

AtomicFile::AtomicFile(std::string path, Links links) : path_(std::move(path)), links_(links) {}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
    UnregisterTempPath(slot_);
}

ImageError AtomicFile::Open() {
    // Through a symbolic link the file it points to is replaced, beside it.
    struct stat link {};
    if (links_ == Links::kRefuse && ::lstat(path_.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        return SystemFailure(err::kFileWrite, ELOOP);
    target_ = links_ == Links::kFollow ? FollowLinks(path_) : path_;
    struct stat info {};
    const bool exists = links_ == Links::kReplace
                            ? ::lstat(target_.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)
                            : ::stat(target_.c_str(), &info) == 0;
    if (exists) {
        // Refused before any encoding, with the code a failed rename gave.
        if (S_ISDIR(info.st_mode)) return SystemFailure(err::kFileWrite, EISDIR);
        if (!MayReplace(info)) return SystemFailure(err::kFileWrite, EACCES);
        // The new file keeps what the old one had: its permissions, and its
        // owner when we may give it.
        replacing_ = true;
        oldMode_ = info.st_mode & 0777;
        oldOwner_ = info.st_uid;
        oldGroup_ = info.st_gid;
        hardLinked_ = S_ISREG(info.st_mode) && info.st_nlink > 1;
    }
    const std::string folder = FolderOf(target_);
    RemoveStaleTempFiles(folder);
    std::string temp = folder + "/.orbelune-XXXXXX";
    fd_ = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd_ < 0) return SystemFailure(err::kFileOpen);
    LockAsLive(fd_);
    temp_ = std::move(temp);
    slot_ = RegisterTempPath(temp_, false);
    return err::kNone;
}

ImageError AtomicFile::Commit() {
    if (fd_ < 0) return err::kFileWrite;
    // A writer that went through tempPath() may have put a new file there.
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd_, &opened) == 0 && ::lstat(temp_.c_str(), &named) == 0 &&
        (opened.st_ino != named.st_ino || opened.st_dev != named.st_dev)) {
        if (!S_ISREG(named.st_mode)) return SystemFailure(err::kFileWrite, kNotRegularFile);
        const int fresh = ::open(temp_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fresh < 0) return SystemFailure(err::kFileWrite);
        ::close(fd_);
        fd_ = fresh;
        LockAsLive(fd_);
    }
    // mkstemp makes the file 0600; a new file gets what the umask allows.
    const mode_t mode = replacing_ ? oldMode_ : (0666 & ~g_umask);
    if (replacing_ && (oldOwner_ != ::geteuid() || oldGroup_ != ::getegid())) {
        // Only root may give a file away; others keep theirs, which is harmless.
        (void)::fchown(fd_, oldOwner_, oldGroup_);
    }
    bool ok = ::fchmod(fd_, mode) == 0;
    ok = ok && ::fsync(fd_) == 0;
    int error = ok ? 0 : errno;
    const bool closed = ::close(fd_) == 0;
    if (!closed && error == 0) error = errno;
    ok = ok && closed;
    fd_ = -1;
    if (ok && std::rename(temp_.c_str(), target_.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) return SystemFailure(err::kFileWrite, error);
    temp_.clear();
    // After the rename: a signal in between finds no file of that name.
    UnregisterTempPath(slot_);
    slot_ = -1;
    return err::kNone;
}

ImageError WriteFileAtomically(const std::string& path, const std::uint8_t* data,
                               std::size_t size) {
    AtomicFile file(path);
    if (ImageError e = file.Open()) return e;
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(file.fd(), data + written, size - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return SystemFailure(err::kFileWrite, n < 0 ? errno : ENOSPC);
        written += static_cast<std::size_t>(n);
    }
    return file.Commit();
}

TempFolder::TempFolder() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) return;
    RemoveStaleTempFolders(base.string());
    std::string pattern = (base / "OBLXXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) return;
    path_ = buffer.data();
    lockFd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    LockAsLive(lockFd_);
    slot_ = RegisterTempPath(path_, true);
}

TempFolder::~TempFolder() {
    Remove();
}

void TempFolder::Remove() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    UnregisterTempPath(slot_);
    slot_ = -1;
    if (lockFd_ >= 0) ::close(lockFd_);
    lockFd_ = -1;
    path_.clear();
}

}  // namespace orbelune
