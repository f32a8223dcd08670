#include "image/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>

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

ImageError ReadFileHead(const std::string& path, std::size_t count, std::vector<std::uint8_t>& bytes) {
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

ImageError WriteFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::string temp = FolderOf(path) + "/.orbelune-XXXXXX";
    FileDescriptor fd(::mkstemp(temp.data()));
    if (fd.get() < 0) return err::kFileOpen;
    bool ok = true;
    std::size_t written = 0;
    while (ok && written < size) {
        const ssize_t n = ::write(fd.get(), data + written, size - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else written += static_cast<std::size_t>(n);
    }
    // Keep the mode an ordinary new file would get (mkstemp makes it 0600).
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ok = ok && ::fchmod(fd.get(), 0666 & ~mask) == 0;
    ok = ok && ::fsync(fd.get()) == 0;
    ok = (::close(fd.release()) == 0) && ok;
    ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return err::kFileWrite;
    }
    return err::kNone;
}

}  // namespace orbelune
