#pragma once

#include <string>
#include <vector>

namespace orbelune {
class SettingsStore;
}

// The files opened last, newest first, kept in the settings store. Files that
// are gone are dropped whenever the list is read.
class RecentFiles {
public:
    static constexpr int kMaxEntries = 8;
    static constexpr const char* kSection = "RECENT";

    explicit RecentFiles(orbelune::SettingsStore& store) : m_store(store) {}

    std::vector<std::string> List() const;
    // Puts `path` first; an entry already listed moves up instead of repeating.
    void Add(const std::string& path);
    void Remove(const std::string& path);

private:
    std::vector<std::string> Read() const;
    void Write(const std::vector<std::string>& paths);

    orbelune::SettingsStore& m_store;
};
