#include "export/temp_files.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace orbelune {
namespace fs = std::filesystem;

namespace {

// mkstemps wants a writable, NUL-terminated template ending in XXXXXX + suffix.
std::string CreateExclusive(std::string pattern, int suffixLength) {
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = mkstemps(buffer.data(), suffixLength);
    if (fd < 0) return {};
    ::close(fd);
    return std::string(buffer.data());
}

}  // namespace

std::string MakeTempFileName(const std::string& folder, std::string_view extension) {
    if (folder.empty()) return {};
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "." + string.
    std::string suffix(".");
    suffix += extension;
    std::string pattern = (fs::path(folder) / "OBLXXXXXX").string() + suffix;
    return CreateExclusive(pattern, static_cast<int>(suffix.size()));
}

}  // namespace orbelune
