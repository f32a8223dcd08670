#include "image/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>  // mkdtemp
#include <filesystem>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

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

ImageError ReadUpTo(int fd, std::uint8_t* data, std::size_t count, std::size_t& got) {
    got = 0;
    while (got < count) {
        const ssize_t n = ::read(fd, data + got, count - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return err::kFileRead;
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

}  // namespace

ImageError ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return err::kFileOpen;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return err::kFileRead;
    if (!S_ISREG(info.st_mode)) return err::kFileOpen;
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
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        bytes.clear();
        return err::kFileOpen;
    }
    std::size_t got = 0;
    const ImageError e = ReadUpTo(fd.get(), bytes.data(), count, got);
    bytes.resize(got);
    return e;
}

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

ImageError AtomicFile::Open() {
    std::string temp = FolderOf(path_) + "/.orbelune-XXXXXX";
    fd_ = ::mkstemp(temp.data());
    if (fd_ < 0) return err::kFileOpen;
    temp_ = std::move(temp);
    return err::kNone;
}

ImageError AtomicFile::Commit() {
    if (fd_ < 0) return err::kFileWrite;
    // Keep the mode an ordinary new file would get (mkstemp makes it 0600).
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::fchmod(fd_, 0666 & ~mask) == 0;
    ok = ok && ::fsync(fd_) == 0;
    ok = (::close(fd_) == 0) && ok;
    fd_ = -1;
    ok = ok && std::rename(temp_.c_str(), path_.c_str()) == 0;
    if (!ok) return err::kFileWrite;
    temp_.clear();
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
        if (n <= 0) return err::kFileWrite;
        written += static_cast<std::size_t>(n);
    }
    return file.Commit();
}

TempFolder::TempFolder() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) return;
    std::string pattern = (base / "OBLXXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
}

TempFolder::~TempFolder() {
    Remove();
}

void TempFolder::Remove() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    path_.clear();
}

}  // namespace orbelune
