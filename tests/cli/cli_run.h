#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace orbelune::testing {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs orbelune-cli as a child with XDG_CONFIG_HOME (and HOME) at `configHome`,
// so it reads and could only write the test's own settings.
CliResult RunCli(const std::vector<std::string>& args, const std::string& configHome,
                 const std::string& workDir = {});

// A whole file as text; empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace orbelune::testing
