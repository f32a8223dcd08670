#include "image/rgb_image.h"

namespace orbelune {

void RgbImage::BuildDisplayPalette() {}

}  // namespace orbelune
