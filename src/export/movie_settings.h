#pragma once

#include <string>

namespace orbelune {

class SettingsStore;

// The largest movie width or height: the movie box and the track sizes hold
// them as signed 16-bit values. The properties dialog, the batch tool and the
// build all take it from here.
inline constexpr int kMaxMovieSide = 32767;
// A movie width or height the movie can hold: 1 to kMaxMovieSide.
constexpr bool IsStorableMovieSide(int side) {
    return side >= 1 && side <= kMaxMovieSide;
}

// How a panorama becomes a VR movie; loaded from the settings store at start-up,
// edited by the movie properties dialog, consumed by the movie build.
struct MovieSettings {
    int tiles = 2;
    int tilt = 2;
    int pan = 2;
    int movieWidth = 400;
    int movieHeight = 180;
    int correction = 2;
    float zoom = 0.02f;
    int quality = 1;
    int compressor = 2;
    int confirmedWidth = 0;
    int confirmedHeight = 0;
    std::string moviePath;
};

// Reads the "DEFAULTS" values with their defaults (zoom is stored x 100).
MovieSettings LoadMovieSettings(SettingsStore& store);

}  // namespace orbelune
