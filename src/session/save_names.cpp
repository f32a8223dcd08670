#include "session/save_names.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "image/file_names.h"

namespace orbelune {

std::string ProposedMoviePath(const std::string& rawPathName) {
    const PathParts parts = SplitPath(rawPathName);
    return parts.folder + parts.base + ".mov";
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
