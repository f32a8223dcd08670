#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace orbelune::testing {

// A fresh folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

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
