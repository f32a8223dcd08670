#include "image/adjustments.h"

namespace orbelune {

bool SharpenImage(const std::uint8_t*, int, int, std::uint8_t*, int) { return false; }
std::array<std::uint8_t, 256> BrightnessContrastTable(double, double) { return {}; }
bool BrightnessContrast(std::uint8_t*, int, int, double, double) { return false; }
HslBytes RgbToHsl(std::uint8_t, std::uint8_t, std::uint8_t) { return {}; }
void HslToRgb(HslBytes, double, std::uint8_t*) {}
void AdjustSaturation(RgbImage&, double) {}
PanoAdjustments AdjustmentsFromSliders(const SliderPositions&) { return {}; }
ImageError ApplyAdjustmentsTo(const RgbImage&, const PanoAdjustments&, RgbImage&) { return err::kBadParam; }

}  // namespace orbelune
