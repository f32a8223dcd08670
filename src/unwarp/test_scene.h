#pragma once

#include "image/rgb_image.h"

namespace orbelune {

// A panorama for checking geometry: sky and ground gradients split by a black
// horizon line, vertical angle marks every 10 degrees (longer and red every
// 30), a colour ramp over the turn (so a mirrored result is told apart) and a
// fine texture.
// Column 0 is angle 0; the picture wraps around at its right edge.
RgbImage MakeTestScene(int width, int height);

// A plausible outdoor panorama for the bundled sample: sky, hills, buildings,
// trees, ground, and small angle marks along the foot of the picture.
RgbImage MakeSampleScene(int width, int height);

}  // namespace orbelune
