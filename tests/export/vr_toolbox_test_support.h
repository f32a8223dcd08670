#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "image/rgb_image.h"

namespace orbelune::testing {

// A private folder for one test, removed afterwards; also made the system's
// temporary directory while it lives, so that a test can see every temporary
// file a build leaves behind.
class Scratch {
public:
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vrtestXXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        root_ = mkdtemp(buffer.data());
        std::filesystem::create_directory(Tmp());
        if (const char* old = getenv("TMPDIR")) oldTmp_ = old;
        setenv("TMPDIR", Tmp().c_str(), 1);
    }
    ~Scratch() {
        if (oldTmp_) {
            setenv("TMPDIR", oldTmp_->c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string Path(const std::string& name) const { return (root_ / name).string(); }
    std::string Tmp() const { return (root_ / "tmp").string(); }
    // Names in a folder of the scratch area (the temporary one by default).
    std::vector<std::string> Entries(const std::string& folder = "tmp") const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(root_ / folder)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

private:
    std::filesystem::path root_;
    std::optional<std::string> oldTmp_;
};

// Every pixel different enough that a misplaced row or column shows.
inline RgbImage PatternImage(int width, int height) {
    RgbImage image;
    // An empty picture on failure, which every test using it then notices.
    if (image.AllocatePixels(width, height) != err::kNone) return image;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.row(y);
        for (int x = 0; x < width; ++x) {
            row[x * 3] = static_cast<std::uint8_t>(x * 7 + y * 3);
            row[x * 3 + 1] = static_cast<std::uint8_t>((x ^ y) + y / 256);
            row[x * 3 + 2] = static_cast<std::uint8_t>(x / 256 * 50 + y * 11);
        }
    }
    return image;
}

}  // namespace orbelune::testing
