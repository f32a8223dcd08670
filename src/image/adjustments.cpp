#include "image/adjustments.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "image/image_layer.h"
#include "image/parallel.h"

namespace orbelune {

namespace {

std::function<bool(int, int)> ProgressOf(const ImageOperation& op) {
    return [&op](int row, int rowCount) { return op.Progress(row, rowCount); };
}

// Clamps to 0..255; not-a-number becomes 0.
inline double ClampByteRange(double value) {
    if (!(value > 0.0)) return 0.0;
    return value > 255.0 ? 255.0 : value;
}

inline std::uint8_t SharpenByte(int v, int sum, double k) {
    // The neighbour sum is exact in int, so this is the double formula as written.
    const double result = static_cast<double>(v) - k * static_cast<double>(sum - 8 * v);
    return static_cast<std::uint8_t>(ClampByteRange(result));
}

// One sharpened row; `up` and `down` are the neighbour rows with the edge rule
// already applied.
void SharpenRow(const std::uint8_t* up, const std::uint8_t* centre, const std::uint8_t* down,
                std::uint8_t* out, int width, double k) {
    const int bytes = width * 3;
    auto edgeByte = [&](int i) {
        const int left = i >= 3 ? i - 3 : i;
        const int right = i + 3 < bytes ? i + 3 : i;
        const int sum = up[left] + up[i] + up[right] + centre[left] + centre[right] + down[left] +
                        down[i] + down[right];
        out[i] = SharpenByte(centre[i], sum, k);
    };
    const int interiorEnd = bytes - 3;
    for (int i = 0; i < std::min(3, bytes); ++i) {
        edgeByte(i);
    }
    // Branch-free interior, so the compiler can vectorise it.
    for (int i = 3; i < interiorEnd; ++i) {
        const int sum = up[i - 3] + up[i] + up[i + 3] + centre[i - 3] + centre[i + 3] +
                        down[i - 3] + down[i] + down[i + 3];
        out[i] = SharpenByte(centre[i], sum, k);
    }
    for (int i = std::max(3, interiorEnd); i < bytes; ++i) {
        edgeByte(i);
    }
}

constexpr double kByteToUnit = 0.00392156862745098;
constexpr double kInverse255 = 1.0 / 255.0;

// S and L bytes depend only on the max and min bytes: one table for the process.
struct SaturationLightness {
    std::uint8_t s;
    std::uint8_t l;
};

const std::vector<SaturationLightness>& SaturationLightnessTable() {
    static const std::vector<SaturationLightness> table = [] {
        std::vector<SaturationLightness> t(256 * 256);
        for (int maxByte = 0; maxByte < 256; ++maxByte) {
            for (int minByte = 0; minByte <= maxByte; ++minByte) {
                const double max = maxByte * kByteToUnit;
                const double min = minByte * kByteToUnit;
                const double l = (max + min) * 0.5;
                double s = 0.0;
                if (max != min) {
                    const double d = max - min;
                    s = l < 0.5 ? d / (max + min) : d / (2.0 - max - min);
                }
                t[static_cast<std::size_t>(maxByte * 256 + minByte)] = {
                    static_cast<std::uint8_t>(static_cast<int>(s * 255.0)),
                    static_cast<std::uint8_t>(static_cast<int>(l * 255.0))};
            }
        }
        return t;
    }();
    return table;
}

std::uint8_t HueByte(double hPrime) {
    int h = static_cast<int>(hPrime * 0.16666666666666666 * 255.0) % 256;
    if (h < 0) h += 256;
    return static_cast<std::uint8_t>(h);
}

// HslToRgb's per-channel piece: which part of the curve t falls in.
double HueChannel(double p, double q, double t) {
    if (t < 1.0 / 6.0) return p + (q - p) * 6.0 * t;
    if (t < 1.0 / 2.0) return q;
    if (t < 2.0 / 3.0) return p + (q - p) * (2.0 / 3.0 - t) * 6.0;
    return p;
}

double ChannelT(double h, int channel) {
    double t = h;
    if (channel == 0) {
        t = h + 1.0 / 3.0;
        if (t > 1.0) t -= 1.0;
    } else if (channel == 2) {
        t = h - 1.0 / 3.0;
        if (t < 0.0) t += 1.0;
    }
    return t;
}

// HslToRgb split by what each step depends on: t per hue byte (fixed), p and
// q per (S, L) pair (per factor). The arithmetic per channel is that of
// HueChannel, operation for operation, so the bytes are the same.
struct HueEntry {
    std::uint8_t segment[3];
    double t[3];
    double twoThirdsMinusT[3];
};

const std::vector<HueEntry>& HueTable() {
    static const std::vector<HueEntry> table = [] {
        std::vector<HueEntry> t(256);
        for (int hue = 0; hue < 256; ++hue) {
            const double h = hue * kInverse255;
            HueEntry& entry = t[static_cast<std::size_t>(hue)];
            for (int c = 0; c < 3; ++c) {
                const double ct = ChannelT(h, c);
                entry.t[c] = ct;
                entry.twoThirdsMinusT[c] = 2.0 / 3.0 - ct;
                entry.segment[c] = ct < 1.0 / 6.0 ? 0 : ct < 1.0 / 2.0 ? 1 : ct < 2.0 / 3.0 ? 2 : 3;
            }
        }
        return t;
    }();
    return table;
}

// p and q of HslToRgb per (S, L) byte pair for one factor; 16 bytes an entry
// keeps the table small enough to stay in cache.
struct ToneEntry {
    double p;
    double q;
};

struct ToneTables {
    std::vector<ToneEntry> tones = std::vector<ToneEntry>(256 * 256);
    bool greyForS[256] = {};          // S' is 0
    std::uint8_t greyForL[256] = {};  // the byte of all three channels then
};

void BuildToneTables(double factor, ToneTables& tables) {
    for (int l = 0; l < 256; ++l) {
        tables.greyForL[l] = static_cast<std::uint8_t>(static_cast<int>(l * kInverse255 * 255.0));
    }
    for (int s = 0; s < 256; ++s) {
        const double sPrime = std::min(s * kInverse255 * factor, 1.0);
        tables.greyForS[s] = sPrime == 0.0;
        for (int l = 0; l < 256; ++l) {
            const double lightness = l * kInverse255;
            ToneEntry& entry = tables.tones[static_cast<std::size_t>(s * 256 + l)];
            entry.q = lightness < 0.5 ? lightness * (1.0 + sPrime)
                                      : lightness + sPrime - lightness * sPrime;
            entry.p = 2.0 * lightness - entry.q;
        }
    }
}

// For factors >= 0 the value stays within 0..1 (a rounding step below 0
// truncates to 0 anyway); the clamp only keeps other factors defined.
inline std::uint8_t UnitToByte(double value) {
    return static_cast<std::uint8_t>(ClampByteRange(value * 255.0));
}

}  // namespace

bool SharpenImage(const std::uint8_t* source, int width, int height, std::uint8_t* destination,
                  int amount) {
    ImageOperation op;
    if (source == nullptr || destination == nullptr || source == destination || width <= 0 ||
        height <= 0) {
        op.Fail(err::kBadParam);
        return false;
    }
    const double k = std::clamp(amount, 0, 100) * 0.005;
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    auto body = [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            const std::uint8_t* centre = source + stride * static_cast<std::size_t>(y);
            std::uint8_t* out = destination + stride * static_cast<std::size_t>(y);
            if (k == 0.0) {
                std::memcpy(out, centre, stride);  // v - 0 x (S - 8v) is v
                continue;
            }
            const std::uint8_t* up = source + stride * static_cast<std::size_t>(std::max(y - 1, 0));
            const std::uint8_t* down =
                source + stride * static_cast<std::size_t>(std::min(y + 1, height - 1));
            SharpenRow(up, centre, down, out, width, k);
        }
    };
    if (!ParallelRows(height, static_cast<std::int64_t>(stride) * 4, body, ProgressOf(op))) {
        op.Fail(err::kAborted);
        return false;
    }
    op.Succeed();
    return true;
}

std::array<std::uint8_t, 256> BrightnessContrastTable(double brightness, double contrast) {
    // NaN counts as neutral.
    const double b = std::isnan(brightness) ? 0.0 : std::clamp(brightness, -1.0, 1.0);
    const double c = std::isnan(contrast) ? 0.0 : std::clamp(contrast, -1.0, 1.0);
    const double shift = 255.0 * b;

    struct Point {
        double x;
        double y;
    };
    Point p[5];
    if (c >= 0.0) {
        p[0] = {127.0 * c, 0.0};
        p[4] = {255.0 - 127.0 * c, 255.0};
    } else {
        p[0] = {0.0, -127.0 * c};
        p[4] = {255.0, 255.0 + 127.0 * c};
    }
    const double f = 1.0 - std::fabs(c);
    p[1] = {(p[0].x + 128.0) * 0.5, p[0].y + f * (128.0 - p[0].y) * 0.5};
    p[2] = {128.0, 128.0};
    p[3] = {(p[4].x + 128.0) * 0.5, p[4].y - f * (p[4].y - 128.0) * 0.5};
    for (Point& point : p) {
        point.x = std::clamp(point.x, 0.0, 255.0);
        point.y = std::clamp(point.y + shift, 0.0, 255.0);
    }

    double curve[256];
    for (int i = 0; i < 256; ++i)
        curve[i] = i <= 128 ? 0.0 : 255.0;
    for (int s = 0; s < 4; ++s) {
        const Point& from = p[s];
        const Point& to = p[s + 1];
        const int start = static_cast<int>(from.x);
        int end = std::min(start + static_cast<int>(to.x - from.x), 255);
        if (s == 3) end = 255;
        const double dx = to.x - from.x;
        // A zero-width segment (contrast at +-1) holds its start value instead of 0/0.
        const double slope = dx != 0.0 ? (to.y - from.y) / dx : 0.0;
        for (int i = start; i <= end; ++i) {
            curve[i] = ClampByteRange(from.y + static_cast<double>(i - start) * slope);
        }
    }
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(curve[i]);
    return table;
}

bool BrightnessContrast(std::uint8_t* pixels, int width, int height, double brightness,
                        double contrast) {
    ImageOperation op;
    if (pixels == nullptr || width <= 0 || height <= 0) {
        op.Fail(err::kBadParam);
        return false;
    }
    const std::array<std::uint8_t, 256> table = BrightnessContrastTable(brightness, contrast);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    auto body = [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            std::uint8_t* row = pixels + stride * static_cast<std::size_t>(y);
            for (std::size_t i = 0; i < stride; ++i)
                row[i] = table[row[i]];
        }
    };
    if (!ParallelRows(height, static_cast<std::int64_t>(stride), body, ProgressOf(op))) {
        op.Fail(err::kAborted);
        return false;
    }
    op.Succeed();
    return true;
}

HslBytes RgbToHsl(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const double r = red * kByteToUnit;
    const double g = green * kByteToUnit;
    const double b = blue * kByteToUnit;
    const double max = (r >= g && r >= b) ? r : (g >= r && g >= b) ? g : b;
    const double min = (r <= g && r <= b) ? r : (g <= r && g <= b) ? g : b;
    const double l = (max + min) * 0.5;
    double hPrime = 0.0;
    double s = 0.0;
    if (max != min) {
        const double d = max - min;
        s = l < 0.5 ? d / (max + min) : d / (2.0 - max - min);
        if (max == r) {
            hPrime = (g - b) / d;
        } else if (max == g) {
            hPrime = (b - r) / d + 2.0;
        } else {
            hPrime = (r - g) / d + 4.0;
        }
    }
    return {HueByte(hPrime), static_cast<std::uint8_t>(static_cast<int>(s * 255.0)),
            static_cast<std::uint8_t>(static_cast<int>(l * 255.0))};
}

void HslToRgb(HslBytes hsl, double factor, std::uint8_t* rgb) {
    const double h = hsl.h * kInverse255;
    const double sPrime = std::min(hsl.s * kInverse255 * factor, 1.0);
    const double l = hsl.l * kInverse255;
    if (sPrime == 0.0) {
        rgb[0] = rgb[1] = rgb[2] = UnitToByte(l);
        return;
    }
    const double q = l < 0.5 ? l * (1.0 + sPrime) : l + sPrime - l * sPrime;
    const double p = 2.0 * l - q;
    for (int c = 0; c < 3; ++c)
        rgb[c] = UnitToByte(HueChannel(p, q, ChannelT(h, c)));
}

void AdjustSaturation(RgbImage& image, double saturationPercent) {
    if (image.empty()) return;
    // A negative percentage has no meaning; it would drive the channels far
    // outside 0..1. It counts as 0 (grey), as does not-a-number.
    const double factor = saturationPercent > 0.0 ? saturationPercent * 0.01 : 0.0;
    const std::vector<SaturationLightness>& saturationLightness = SaturationLightnessTable();
    const std::vector<HueEntry>& hues = HueTable();
    ToneTables tables;
    BuildToneTables(factor, tables);

    // RgbToHsl and HslToRgb are fused per pixel: the H, S, L bytes go straight
    // from one to the other, so no image-sized block of triples is needed.
    const int width = image.width();
    std::uint8_t* pixels = image.data();
    const std::size_t stride = image.stride();
    auto body = [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            std::uint8_t* px = pixels + stride * static_cast<std::size_t>(y);
            for (int x = 0; x < width; ++x, px += 3) {
                const int red = px[0];
                const int green = px[1];
                const int blue = px[2];
                // Byte order equals the order of the doubles, so ties resolve the same way.
                const int maxByte = (red >= green && red >= blue)     ? red
                                    : (green >= red && green >= blue) ? green
                                                                      : blue;
                const int minByte = (red <= green && red <= blue)     ? red
                                    : (green <= red && green <= blue) ? green
                                                                      : blue;
                const SaturationLightness sl =
                    saturationLightness[static_cast<std::size_t>(maxByte * 256 + minByte)];
                std::uint8_t hueByte = 0;
                if (maxByte != minByte) {
                    const double r = red * kByteToUnit;
                    const double g = green * kByteToUnit;
                    const double b = blue * kByteToUnit;
                    const double d = maxByte * kByteToUnit - minByte * kByteToUnit;
                    double hPrime;
                    if (maxByte == red) {
                        hPrime = (g - b) / d;
                    } else if (maxByte == green) {
                        hPrime = (b - r) / d + 2.0;
                    } else {
                        hPrime = (r - g) / d + 4.0;
                    }
                    hueByte = HueByte(hPrime);
                }
                if (tables.greyForS[sl.s]) {
                    px[0] = px[1] = px[2] = tables.greyForL[sl.l];
                    continue;
                }
                const ToneEntry& tone = tables.tones[static_cast<std::size_t>(sl.s * 256 + sl.l)];
                const double qMinusP = tone.q - tone.p;
                const HueEntry& hue = hues[hueByte];
                for (int c = 0; c < 3; ++c) {
                    double value;
                    switch (hue.segment[c]) {
                        case 0:
                            value = tone.p + qMinusP * 6.0 * hue.t[c];
                            break;
                        case 1:
                            value = tone.q;
                            break;
                        case 2:
                            value = tone.p + qMinusP * hue.twoThirdsMinusT[c] * 6.0;
                            break;
                        default:
                            value = tone.p;
                            break;
                    }
                    px[c] = UnitToByte(value);
                }
            }
        }
    };
    ParallelRows(image.height(), static_cast<std::int64_t>(stride) * 8, body);
}

PanoAdjustments AdjustmentsFromSliders(const SliderPositions& positions) {
    PanoAdjustments adjustments;
    adjustments.sharpness = positions.sharpness;
    adjustments.brightness = (positions.brightness - 50) * 0.01;
    adjustments.contrast = (positions.contrast - 50) * 0.01;
    adjustments.saturation = static_cast<double>(positions.saturation);
    return adjustments;
}

ImageError ApplyAdjustmentsTo(const RgbImage& base, const PanoAdjustments& adjustments,
                              RgbImage& current) {
    if (&base == &current) {
        const RgbImage copy(base);
        if (copy.empty() && !base.empty()) return err::kNoMemory;
        return ApplyAdjustmentsTo(copy, adjustments, current);
    }
    if (base.empty()) return err::kBadParam;
    if (current.CopyImage(base) != err::kNone) return err::kNoMemory;
    // The base is only read, so it serves as the sharpening source directly.
    if (!SharpenImage(base.data(), base.width(), base.height(), current.data(),
                      adjustments.sharpness)) {
        return LastImageError();
    }
    // At their neutral values the tone curve and the HSL round trip would still
    // move most pixels by a few levels; a user who asked for no change gets none.
    if ((adjustments.brightness != 0.0 || adjustments.contrast != 0.0) &&
        !BrightnessContrast(current.data(), current.width(), current.height(),
                            adjustments.brightness, adjustments.contrast)) {
        return LastImageError();
    }
    if (adjustments.saturation != 100.0) AdjustSaturation(current, adjustments.saturation);
    return err::kNone;
}

}  // namespace orbelune
