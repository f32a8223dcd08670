#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace orbelune {

// The per-user settings: integers and texts by section and key. Reads give the
// default when a value is absent or unreadable; writes are kept at once.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual int GetInt(const std::string& section, const std::string& key, int defaultValue) = 0;
    virtual std::string GetString(const std::string& section, const std::string& key,
                                  const std::string& defaultValue) = 0;
    virtual void SetInt(const std::string& section, const std::string& key, int value) = 0;
    virtual void SetString(const std::string& section, const std::string& key,
                           const std::string& value) = 0;
};

// In-memory store for tests; it records the order of writes.
class MemorySettingsStore : public SettingsStore {
public:
    int GetInt(const std::string& section, const std::string& key, int defaultValue) override;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue) override;
    void SetInt(const std::string& section, const std::string& key, int value) override;
    void SetString(const std::string& section, const std::string& key,
                   const std::string& value) override;

    bool Contains(const std::string& section, const std::string& key) const;
    // "SECTION/KEY" of every write, oldest first.
    const std::vector<std::string>& writes() const { return writes_; }
    void ClearWrites() { writes_.clear(); }

private:
    std::map<std::pair<std::string, std::string>, std::string> values_;
    std::vector<std::string> writes_;
};

}  // namespace orbelune
