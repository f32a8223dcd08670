#include "platform/settings_store.h"

#include <charconv>

namespace orbelune {

int MemorySettingsStore::GetInt(const std::string& section, const std::string& key,
                                int defaultValue) {
    const auto it = values_.find({section, key});
    if (it == values_.end()) return defaultValue;
    int value = 0;
    const std::string& text = it->second;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return defaultValue;
    return value;
}

std::string MemorySettingsStore::GetString(const std::string& section, const std::string& key,
                                           const std::string& defaultValue) {
    const auto it = values_.find({section, key});
    return it == values_.end() ? defaultValue : it->second;
}

void MemorySettingsStore::SetInt(const std::string& section, const std::string& key, int value) {
    SetString(section, key, std::to_string(value));
}

void MemorySettingsStore::SetString(const std::string& section, const std::string& key,
                                    const std::string& value) {
    values_[{section, key}] = value;
    writes_.push_back(section + "/" + key);
}

bool MemorySettingsStore::Contains(const std::string& section, const std::string& key) const {
    return values_.count({section, key}) != 0;
}

}  // namespace orbelune
