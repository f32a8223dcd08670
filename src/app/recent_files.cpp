#include "app/recent_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/settings_store.h"

namespace {

std::string Key(int index) {
    return "FILE" + std::to_string(index + 1);
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

std::vector<std::string> RecentFiles::Read() const {
    std::vector<std::string> paths;
    for (int i = 0; i < kMaxEntries; ++i) {
        std::string path = m_store.GetString(kSection, Key(i), "");
        if (!path.empty() && std::find(paths.begin(), paths.end(), path) == paths.end()) {
            paths.push_back(std::move(path));
        }
    }
    return paths;
}

void RecentFiles::Write(const std::vector<std::string>& paths) {
    for (int i = 0; i < kMaxEntries; ++i) {
        const std::string value = i < static_cast<int>(paths.size()) ? paths[i] : std::string();
        if (m_store.GetString(kSection, Key(i), "") != value)
            m_store.SetString(kSection, Key(i), value);
    }
}

std::vector<std::string> RecentFiles::List() const {
    std::vector<std::string> paths = Read();
    std::erase_if(paths, [](const std::string& path) { return !Exists(path); });
    return paths;
}

void RecentFiles::Add(const std::string& path) {
    if (path.empty()) return;
    std::vector<std::string> paths = List();
    std::erase(paths, path);
    paths.insert(paths.begin(), path);
    if (paths.size() > static_cast<std::size_t>(kMaxEntries)) paths.resize(kMaxEntries);
    Write(paths);
}

void RecentFiles::Remove(const std::string& path) {
    std::vector<std::string> paths = Read();
    std::erase(paths, path);
    Write(paths);
}
