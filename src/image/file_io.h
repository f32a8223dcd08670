#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/image_error.h"

namespace orbelune {

// Opens an existing regular file for reading. kFileOpen when it cannot be
// opened or is no regular file (a FIFO is refused without blocking; a folder
// leaves EISDIR as the system reason, other kinds kNotRegularFile).
[[nodiscard]] ImageError OpenRegularFile(const std::string& path, int& fd);

// The process's umask as read once at start-up; new files get 0666 without it.
mode_t StartupUmask();

// Reads a whole file. kFileOpen when it cannot be opened, kFileRead on a read
// error, kNoMemory when it is too large to hold.
[[nodiscard]] ImageError ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes);

// Reads at most `count` leading bytes of a file (fewer when it is shorter).
[[nodiscard]] ImageError ReadFileHead(const std::string& path, std::size_t count,
                                      std::vector<std::uint8_t>& bytes);

// A new file that replaces `path` only when committed: it is written as a
// fresh temporary file in the destination's folder, flushed and renamed over
// the destination by Commit. Without a successful Commit the temporary file
// is removed and the destination stays untouched. A symbolic link is followed:
// the file it points to is replaced, in its own folder. A replaced file's
// permission bits (and owner, when we may set it) carry over; one that its
// mode bits do not let us write is refused. Failures leave the system's
// reason (LastSystemError).
class AtomicFile {
public:
    enum class Links { kFollow, kRefuse, kReplace };
    // kRefuse: a destination that is a symbolic link is refused (kFileWrite,
    // ELOOP) instead of followed, for files that must never land elsewhere.
    // kReplace: the link itself is replaced by the new file, so nothing is
    // written where it pointed (pages written into a folder the user shares).
    explicit AtomicFile(std::string path, Links links = Links::kFollow);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // kFileOpen when no file can be created in the folder; kFileWrite when the
    // destination is a folder or a file we may not replace.
    [[nodiscard]] ImageError Open();
    int fd() const { return fd_; }
    // After Open: the temporary file's name, for writers that work on names.
    // They may replace it through that name (write their own file and rename
    // it there); Commit then commits what the name holds.
    const std::string& tempPath() const { return temp_; }
    // kFileWrite when flushing, closing or renaming fails.
    [[nodiscard]] ImageError Commit();
    // After Open: the destination had other hard links, which keep the old
    // contents (the name gets a new file).
    bool replacesHardLink() const { return hardLinked_; }

private:
    std::string path_;
    std::string target_;  // path_ with symbolic links followed
    std::string temp_;
    int fd_ = -1;
    int slot_ = -1;  // in the registry of temporary paths
    Links links_;
    bool replacing_ = false;
    bool hardLinked_ = false;
    mode_t oldMode_ = 0;
    uid_t oldOwner_ = 0;
    gid_t oldGroup_ = 0;
};

// Writes `bytes` to a fresh temporary file in the destination's folder, flushes
// it and renames it over `path`. On any failure the destination is untouched and
// the temporary file is removed. kFileOpen when no file can be created there,
// kFileWrite when writing, flushing or renaming fails.
[[nodiscard]] ImageError WriteFileAtomically(const std::string& path, const std::uint8_t* data,
                                             std::size_t size);

// A private folder (mode 0700, made with mkdtemp) in the system's temporary
// directory, for the temporary files of one piece of work (a movie build). The
// folder and everything in it are removed when the object goes away, whatever
// happened, and by the signal handlers of temp_registry.h; folders that killed
// runs left there are removed by the first one made.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Empty when the folder could not be made.
    const std::string& path() const { return path_; }
    bool valid() const { return !path_.empty(); }

    // Removes the folder and its files now; later calls do nothing.
    void Remove();

private:
    std::string path_;
    int slot_ = -1;    // in the registry of temporary paths
    int lockFd_ = -1;  // holds the lock that marks the folder as alive
};

}  // namespace orbelune
