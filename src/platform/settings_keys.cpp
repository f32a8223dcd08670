#include "platform/settings_keys.h"

#include <cctype>
#include <cstdio>

namespace orbelune {

std::string settings::VersionText() {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", kProgramVersion);
    return text;
}

int Read(SettingsStore& store, const IntSetting& setting) {
    return store.GetInt(setting.section, setting.key, setting.defaultValue);
}

void Write(SettingsStore& store, const IntSetting& setting, int value) {
    store.SetInt(setting.section, setting.key, value);
}

namespace {

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

bool UpgradeSettingsVersion(SettingsStore& store) {
    const std::string current = settings::VersionText();
    const std::string stored = store.GetString(settings::kVersionSection, settings::kVersionKey,
                                               settings::kVersionDefault);
    if (EqualIgnoringCase(stored, current)) return false;
    store.SetString(settings::kVersionSection, settings::kVersionKey, current);
    Write(store, settings::kMovieWidth, 400);
    Write(store, settings::kMovieHeight, 180);
    Write(store, settings::kDefaultSharpness, 0);
    Write(store, settings::kQuality, 1);
    Write(store, settings::kCorrection, 2);
    Write(store, settings::kCompressor, 2);
    return true;
}

}  // namespace orbelune
