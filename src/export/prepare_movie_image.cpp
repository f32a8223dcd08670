#include <cstdio>
#include <string>

#include "export/movie_layout.h"
#include "export/panorama_movie.h"
#include "export/temp_files.h"
#include "image/image_format.h"
#include "image/image_layer.h"
#include "image/image_ops.h"

namespace orbelune {

std::string PrepareMovieImage(const RgbImage& panorama, int tiles, const std::string& folder) {
    if (tiles < kMinTiles || panorama.empty()) return {};
    const FittedSize fitted = FitMovieImage(panorama.width(), panorama.height(), tiles);
    if (!fitted.Storable()) return {};

    // Resampled and turned straight from the panorama: no full copy of a large
    // panorama is made only to be replaced.
    RgbImage resized;
    if (fitted.resample) {
        if (resized.AllocatePixels(fitted.width, fitted.height) != err::kNone ||
            !ResampleBilinear(panorama.data(), panorama.width(), panorama.height(), resized.data(),
                              fitted.width, fitted.height))
            return {};
    }
    // Counter-clockwise: the panorama's left edge becomes the bottom row, so the
    // tiles cut from the top down run from the panorama's right end.
    RgbImage copy;
    if (TurnedCopy(fitted.resample ? resized : panorama, 2, copy) != err::kNone) return {};
    resized.FreePixels();

    std::string path = MakeTempFileName(folder, "BMP");
    if (path.empty()) return {};
    if (copy.SaveImageFile(path, ImageFormat::Bmp) != err::kNone) {
        std::remove(path.c_str());
        return {};
    }
    return path;
}

}  // namespace orbelune
