#pragma once

#include <array>
#include <cstdint>

#include "image/rgb_image.h"

namespace orbelune {

// 3 x 3 Laplacian sharpening of `source` into `destination` (distinct blocks of
// the same size); amount clamped to 0..100. False with last error 5 or 14.
[[nodiscard]] bool SharpenImage(const std::uint8_t* source, int width, int height,
                                std::uint8_t* destination, int amount);

// The 256-entry tone curve for brightness and contrast (each -1..1).
std::array<std::uint8_t, 256> BrightnessContrastTable(double brightness, double contrast);

// Applies the tone curve to every byte in place. False with last error 5 or 14.
[[nodiscard]] bool BrightnessContrast(std::uint8_t* pixels, int width, int height,
                                      double brightness, double contrast);

struct HslBytes {
    std::uint8_t h = 0;
    std::uint8_t s = 0;
    std::uint8_t l = 0;
};
HslBytes RgbToHsl(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
// `factor` is the saturation percentage x 0.01; writes red, green, blue.
void HslToRgb(HslBytes hsl, double factor, std::uint8_t* rgb);

// Scales saturation through HSL; 100 percent is neutral (up to quantisation).
void AdjustSaturation(RgbImage& image, double saturationPercent);

// Slider positions as the panorama view reads them (0 sharpness, 50 brightness
// and contrast, 100 saturation are neutral) and the values they stand for.
struct SliderPositions {
    int sharpness = 0;
    int brightness = 50;
    int contrast = 50;
    int saturation = 100;
};
struct SliderRange {
    int minimum;
    int maximum;
    int neutral;
};
inline constexpr SliderRange kSharpnessSlider{0, 100, 0};
inline constexpr SliderRange kBrightnessSlider{0, 100, 50};
inline constexpr SliderRange kContrastSlider{0, 100, 50};
inline constexpr SliderRange kSaturationSlider{0, 300, 100};

struct PanoAdjustments {
    int sharpness = 0;
    double brightness = 0.0;
    double contrast = 0.0;
    double saturation = 100.0;
};
PanoAdjustments AdjustmentsFromSliders(const SliderPositions& positions);

// Sharpening into `current` from `base`, then brightness/contrast, then
// saturation: what every slider release applies to a fresh copy of the base.
// Each step at its neutral value leaves the pixels as they are.
[[nodiscard]] ImageError ApplyAdjustmentsTo(const RgbImage& base,
                                            const PanoAdjustments& adjustments, RgbImage& current);

}  // namespace orbelune
