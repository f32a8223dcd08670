#include "export/movie_settings.h"

#include <cstdint>

#include "platform/settings_keys.h"

namespace orbelune {

MovieSettings LoadMovieSettings(SettingsStore& store) {
    MovieSettings movie;
    movie.movieWidth = Read(store, settings::kMovieWidth);
    movie.movieHeight = Read(store, settings::kMovieHeight);
    movie.compressor = Read(store, settings::kCompressor);
    movie.quality = Read(store, settings::kQuality);
    movie.correction = Read(store, settings::kCorrection);
    // Stored as an unsigned number of hundredths.
    movie.zoom =
        static_cast<float>(static_cast<std::uint32_t>(Read(store, settings::kZoom)) * 0.01);
    movie.pan = Read(store, settings::kPan);
    movie.tilt = Read(store, settings::kTilt);
    movie.tiles = Read(store, settings::kTiles);
    return movie;
}

}  // namespace orbelune
