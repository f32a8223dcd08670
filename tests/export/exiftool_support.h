#pragma once

// exiftool as an independent reader (and writer of test photos) of metadata.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace orbelune::testing {

inline bool HaveExiftool() {
    return std::system("exiftool -ver >/dev/null 2>&1") == 0;
}

#define ORBELUNE_REQUIRE_EXIFTOOL()                                                           \
    if (!::orbelune::testing::HaveExiftool())                                                 \
    GTEST_SKIP() << "exiftool is not installed (Debian package libimage-exiftool-perl, part " \
                    "of make test's packages)"

// Runs exiftool with `arguments` (quoted by the caller) on `path`; its output.
inline std::string RunExiftool(const std::string& arguments, const std::string& path) {
    const std::string command = "exiftool " + arguments + " '" + path + "' 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return {};
    std::string output;
    char buffer[4096];
    while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, got);
    ::pclose(pipe);
    return output;
}

// Tag name -> value (numbers unformatted) of the tags asked for, e.g.
// "-Make -XMP-GPano:all"; tags the file lacks are missing from the map.
inline std::map<std::string, std::string> ReadTags(const std::string& path,
                                                   const std::string& tags) {
    std::map<std::string, std::string> values;
    const std::string output = RunExiftool("-S -n " + tags, path);
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(start, end - start);
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos) values[line.substr(0, colon)] = line.substr(colon + 2);
        start = end + 1;
    }
    return values;
}

}  // namespace orbelune::testing
