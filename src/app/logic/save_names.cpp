#include "app/logic/save_names.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace orbelune {

namespace {

// Position of the extension's dot in the last path component, or npos.
std::string::size_type ExtensionDot(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos) return std::string::npos;
    if (slash != std::string::npos && dot < slash) return std::string::npos;
    // A leading dot names a hidden file, not an extension.
    if (dot == (slash == std::string::npos ? 0 : slash + 1)) return std::string::npos;
    return dot;
}

}  // namespace

std::string ProposedPanoramaName(const std::string& rawFileName) {
    const auto dot = ExtensionDot(rawFileName);
    if (dot == std::string::npos) return rawFileName + "_pano";
    return rawFileName.substr(0, dot) + "_pano" + rawFileName.substr(dot);
}

std::string ProposedMoviePath(const std::string& rawPathName) {
    const auto dot = ExtensionDot(rawPathName);
    return (dot == std::string::npos ? rawPathName : rawPathName.substr(0, dot)) + ".mov";
}

bool IsFileBusy(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    bool busy = false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        busy = errno == EWOULDBLOCK;
    } else {
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    return busy;
}

}  // namespace orbelune
