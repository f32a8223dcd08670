#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "export/movie_settings.h"
#include "image/rgb_image.h"

namespace orbelune {

// What a movie build may need from the desktop (or the batch tool).
struct MovieBuildHooks {
    // Shows a message that the build itself must tell the user (the missing
    // flattener text); empty: not shown.
    std::function<void(const std::string& text)> showMessage;
    // Image-layer row progress while the panorama is fitted and turned.
    std::function<bool(int row, int rowCount)> progress;
    // (tiles compressed, tile count) while the tiles are compressed, which
    // can take long: 0 first, then one more as each tile is finished.
    std::function<void(int tile, int tileCount)> tileProgress;
    // Seconds since 1970 stamped as the movie's creation and modification
    // time (the photo's capture time, or now); 0 keeps the fixed stamp.
    std::int64_t creationTime = 0;
};

// Fits a copy of the panorama to whole tiles (width a multiple of tiles x 4,
// height a multiple of 4), turns it a quarter counter-clockwise and writes it
// as BMP into `folder`; the file's path, or empty on failure.
std::string PrepareMovieImage(const RgbImage& panorama, int tiles, const std::string& folder);

// Builds the one-node VR panorama movie of `panorama` into `destination`
// (written to a temporary file beside it and renamed over it only on success;
// every temporary file is removed). 0 on success, -1 when the image could not
// be prepared, else the toolbox's code (see ToolboxErrorText).
int SaveMovie(const RgbImage& panorama, const MovieSettings& settings,
              const std::string& destination, const MovieBuildHooks& hooks = {});

// The toolbox's text for a result code (the status and message tables), or
// "Error #N" style text for codes without one.
std::string ToolboxErrorText(int code);

}  // namespace orbelune
