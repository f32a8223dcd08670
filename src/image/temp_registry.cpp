#include "image/temp_registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

namespace orbelune {

namespace {

constexpr int kSlots = 64;
constexpr std::size_t kPathBytes = 4096;

enum SlotState : int { kFree, kFilling, kFile, kFolder };

struct Slot {
    std::atomic<int> state{kFree};
    pid_t owner;  // a forked child leaves its parent's paths alone
    char path[kPathBytes];
};

Slot g_slots[kSlots];

// Before anything of ours could exist in this process.
const std::time_t g_processStart = std::time(nullptr);

// Only system calls from here to OnSignal: it runs in a signal handler.
struct LinuxDirent {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

bool IsDots(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Empties the folder open as `fd` (its own subfolders to `depth` levels).
void EmptyFolder(int fd, int depth) {
    alignas(LinuxDirent) char buffer[4096];
    for (int pass = 0; pass < 1000; ++pass) {
        bool removed = false;
        ::lseek(fd, 0, SEEK_SET);
        for (;;) {
            const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
            if (n <= 0) break;
            for (long at = 0; at < n;) {
                const auto* entry = reinterpret_cast<const LinuxDirent*>(buffer + at);
                at += entry->d_reclen;
                if (IsDots(entry->d_name)) continue;
                if (::unlinkat(fd, entry->d_name, 0) == 0) {
                    removed = true;
                } else if (errno == EISDIR && depth > 0) {
                    const int sub = ::openat(fd, entry->d_name,
                                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                    if (sub >= 0) {
                        EmptyFolder(sub, depth - 1);
                        ::close(sub);
                    }
                    removed = ::unlinkat(fd, entry->d_name, AT_REMOVEDIR) == 0 || removed;
                }
            }
        }
        if (!removed) return;
    }
}

void RemoveRegistered() {
    const pid_t self = ::getpid();
    for (Slot& slot : g_slots) {
        const int state = slot.state.load(std::memory_order_acquire);
        if (slot.owner != self) continue;
        if (state == kFile) {
            ::unlink(slot.path);
        } else if (state == kFolder) {
            const int fd = ::open(slot.path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0) {
                EmptyFolder(fd, 4);
                ::close(fd);
            }
            ::rmdir(slot.path);
        }
    }
}

void OnSignal(int signal) {
    RemoveRegistered();
    // The handler was installed to reset itself: the signal now does what it
    // would have done without us (it is blocked until we return).
    ::raise(signal);
}

bool NameMatches(const std::string& name, const char* prefix) {
    const std::size_t length = std::strlen(prefix);
    if (name.size() != length + 6 || name.compare(0, length, prefix) != 0) return false;
    for (std::size_t i = length; i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// Once per folder and kind.
bool FirstVisit(const std::string& key) {
    static std::mutex mutex;
    static std::set<std::string> visited;
    const std::lock_guard lock(mutex);
    return visited.insert(key).second;
}

// Ours, old, and not held by a live process (whose lock we would not get).
bool IsStale(const std::string& path, bool folder) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return false;
    if (folder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode)) return false;
    if (info.st_uid != ::geteuid() || info.st_mtime >= g_processStart) return false;
    const int fd = ::open(
        path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd < 0) return false;
    const bool unlocked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return unlocked;
}

void RemoveStale(const std::string& folder, const char* prefix, bool folders) {
    if (!FirstVisit(std::string(folders ? "d:" : "f:") + folder)) return;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!NameMatches(name, prefix)) continue;
        const std::string path = it->path().string();
        if (!IsStale(path, folders)) continue;
        std::error_code removeError;
        if (folders)
            std::filesystem::remove_all(path, removeError);
        else
            ::unlink(path.c_str());
    }
}

}  // namespace

int RegisterTempPath(const std::string& path, bool folder) {
    if (path.empty() || path.size() >= kPathBytes) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!g_slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
        std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
        g_slots[i].owner = ::getpid();
        g_slots[i].state.store(folder ? kFolder : kFile, std::memory_order_release);
        return i;
    }
    return -1;
}

void UnregisterTempPath(int slot) {
    if (slot >= 0 && slot < kSlots) g_slots[slot].state.store(kFree, std::memory_order_release);
}

void RemoveTempFilesOnSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction old {};
            if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
            struct sigaction action {};
            action.sa_handler = &OnSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND;
            ::sigaction(signal, &action, nullptr);
        }
    });
}

void RemoveStaleTempFiles(const std::string& folder) {
    RemoveStale(folder, ".orbelune-", false);
}

void RemoveStaleTempFolders(const std::string& folder) {
    RemoveStale(folder, "OBL", true);
}

void LockAsLive(int fd) {
    if (fd >= 0) ::flock(fd, LOCK_EX | LOCK_NB);
}

}  // namespace orbelune
