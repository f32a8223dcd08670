#pragma once

#include <string>

#include "orbelune_version.h"
#include "platform/settings_store.h"

namespace orbelune {

// Every value the program keeps in the settings store, with its default.
struct IntSetting {
    const char* section;
    const char* key;
    int defaultValue;
};

namespace settings {
inline constexpr const char* kDefaults = "DEFAULTS";
inline constexpr const char* kEquipment = "EQUIPMENT";
inline constexpr const char* kVersionSection = "VERSION";

inline constexpr IntSetting kMovieWidth{kDefaults, "DEFAULT_MOVIE_WIDTH", 400};
inline constexpr IntSetting kMovieHeight{kDefaults, "DEFAULT_MOVIE_HEIGHT", 180};
inline constexpr IntSetting kCompressor{kDefaults, "COMPRESSOR", 2};
inline constexpr IntSetting kQuality{kDefaults, "QUALITY", 1};
inline constexpr IntSetting kCorrection{kDefaults, "CORRECTION", 2};
inline constexpr IntSetting kZoom{kDefaults, "ZOOM", 2};  // zoom x 100
inline constexpr IntSetting kPan{kDefaults, "PAN", 2};
inline constexpr IntSetting kTilt{kDefaults, "TILT", 2};
inline constexpr IntSetting kTiles{kDefaults, "TILES", 2};
inline constexpr IntSetting kDefaultSharpness{kDefaults, "DEFAULT_SHARPNESS", 0};  // written only
inline constexpr IntSetting kInnerRadius{kDefaults, "InnerRadius", 60};
inline constexpr IntSetting kOuterRadius{kDefaults, "OuterRadius", 300};
// The centre's defaults depend on the picture (width / 2, height / 2).
inline constexpr const char* kXCenterKey = "XCENTER";
inline constexpr const char* kYCenterKey = "YCENTER";
inline constexpr IntSetting kMirror{kEquipment, "MIRROR", 1};
// Where the panorama starts, in whole degrees 0..359.
inline constexpr IntSetting kSeam{kEquipment, "SEAM", 0};
// The custom mirror: the elevation (whole degrees, -89..89, the two unequal)
// seen at the outer and at the inner circle, and whether the picture is
// mirrored (0 or 1).
inline constexpr IntSetting kCustomOuterElevation{kEquipment, "CUSTOM_OUTER_ELEVATION", 15};
inline constexpr IntSetting kCustomInnerElevation{kEquipment, "CUSTOM_INNER_ELEVATION", -45};
inline constexpr IntSetting kCustomMirrored{kEquipment, "CUSTOM_MIRRORED", 0};
inline constexpr int kMinElevation = -89;
inline constexpr int kMaxElevation = 89;
inline constexpr const char* kVersionKey = "VERSION";
inline constexpr const char* kVersionDefault = "-1";

// The program's version and its stored form ("%.4f").
inline constexpr double kProgramVersion = kVersionNumber;
std::string VersionText();
}  // namespace settings

int Read(SettingsStore& store, const IntSetting& setting);
void Write(SettingsStore& store, const IntSetting& setting, int value);

// When the stored version text differs (ignoring case) from this version's,
// writes the version and resets six defaults, in a fixed order. True when it did.
bool UpgradeSettingsVersion(SettingsStore& store);

}  // namespace orbelune
