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
    // Asked after each tile (any thread); true stops the build with kCancelled
    // and leaves no movie behind.
    std::function<bool()> cancelled;
    // Seconds since 1970 stamped as the movie's creation and modification
    // time (the photo's capture time, or now); 0 keeps the fixed stamp.
    std::int64_t creationTime = 0;
};

// Fits a copy of the panorama to whole tiles (width a multiple of tiles x 4,
// height a multiple of 4), turns it a quarter counter-clockwise and writes it
// as BMP into `folder`; the file's path, or empty on failure.
std::string PrepareMovieImage(const RgbImage& panorama, int tiles, const std::string& folder);

// SaveMovie's own results, apart from the toolbox's codes (1..90, and the
// platform's negative numbers), each with its own text in SaveMovieErrorText.
namespace movie_err {
inline constexpr int kNoPanorama = 1001;
inline constexpr int kNoDestination = 1002;
inline constexpr int kUnstorableSize = 1003;  // a movie side outside 1..kMaxMovieSide
inline constexpr int kUntileable = 1004;      // the panorama cannot be cut into the tiles
inline constexpr int kNoTempFolder = 1005;
inline constexpr int kPrepareFailed = 1006;  // fitting, turning or writing the working picture
inline constexpr int kCancelled = 1007;      // hooks.cancelled said so between two tiles
}  // namespace movie_err

// Builds the one-node VR panorama movie of `panorama` into `destination`
// (written to a temporary file beside it and renamed over it only on success;
// every temporary file is removed). 0 on success, a movie_err code when the
// build could not start, else the toolbox's code (see ToolboxErrorText).
[[nodiscard]] int SaveMovie(const RgbImage& panorama, const MovieSettings& settings,
                            const std::string& destination, const MovieBuildHooks& hooks = {});

// Whether a SaveMovie result is one of its own (movie_err) codes.
bool IsSaveMovieError(int code);
// What to tell the user about a SaveMovie result, from the panorama and the
// settings it was given: the precise reason for its own codes, else the
// toolbox's text.
std::string SaveMovieErrorText(int code, const RgbImage& panorama, const MovieSettings& settings);

// The toolbox's text for a result code (the status and message tables), or
// "Error #N" style text for codes without one.
std::string ToolboxErrorText(int code);

}  // namespace orbelune
