#include <cstdio>
#include <string>

#include "export/movie_layout.h"
#include "export/panorama_movie.h"
#include "export/temp_files.h"
#include "image/image_format.h"
#include "image/image_layer.h"

namespace orbelune {

std::string PrepareMovieImage(const RgbImage& panorama, int tiles, const std::string& folder) {
    if (tiles < kMinTiles || panorama.empty()) return {};
    const FittedSize fitted = FitMovieImage(panorama.width(), panorama.height(), tiles);
    if (!fitted.Storable()) return {};

    RgbImage copy;
    if (copy.CopyImage(panorama) != err::kNone) return {};
    if (fitted.resample && copy.ResizeImage(fitted.width, fitted.height) != err::kNone) return {};
    // Counter-clockwise: the panorama's left edge becomes the bottom row, so the
    // tiles cut from the top down run from the panorama's right end.
    if (copy.RotateImage(2) == 0 || LastImageError() != err::kNone) return {};

    std::string path = MakeTempFileName(folder, "BMP");
    if (path.empty()) return {};
    if (copy.SaveImageFile(path, ImageFormat::Bmp) != err::kNone) {
        std::remove(path.c_str());
        return {};
    }
    return path;
}

}  // namespace orbelune
