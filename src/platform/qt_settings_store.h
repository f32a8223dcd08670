#pragma once

#include <memory>
#include <string>

#include "platform/settings_store.h"

class QSettings;

namespace orbelune {

// The settings store as a per-user INI file (organisation "Halvarn",
// application "Orbelune"). Every write is flushed at once and every read sees
// what another process wrote; QSettings locks the file and replaces it
// atomically, so the program and the batch tool can share it.
class QtSettingsStore : public SettingsStore {
public:
    QtSettingsStore();                                     // the user's own store
    explicit QtSettingsStore(const std::string& iniPath);  // a given file (tests)
    ~QtSettingsStore() override;

    int GetInt(const std::string& section, const std::string& key, int defaultValue) override;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue) override;
    void SetInt(const std::string& section, const std::string& key, int value) override;
    void SetString(const std::string& section, const std::string& key,
                   const std::string& value) override;

    std::string FilePath() const;

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace orbelune
