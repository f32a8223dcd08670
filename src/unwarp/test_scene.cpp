#include "unwarp/test_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "unwarp/mirror_models.h"

namespace orbelune {

namespace {

struct Rgb {
    double r, g, b;
};

Rgb Mix(const Rgb& a, const Rgb& b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

void Put(RgbImage& image, int x, int y, const Rgb& c) {
    std::uint8_t* p = image.row(y) + 3 * x;
    p[0] = static_cast<std::uint8_t>(std::clamp(c.r + 0.5, 0.0, 255.0));
    p[1] = static_cast<std::uint8_t>(std::clamp(c.g + 0.5, 0.0, 255.0));
    p[2] = static_cast<std::uint8_t>(std::clamp(c.b + 0.5, 0.0, 255.0));
}

double Hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
    std::uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<double>((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

// Smooth noise that wraps around every `period` units in a.
double PeriodicNoise(double a, double b, int period, std::uint32_t seed) {
    const double fa = std::floor(a), fb = std::floor(b);
    const double ta = a - fa, tb = b - fb;
    const int ia = static_cast<int>(fa), ib = static_cast<int>(fb);
    auto at = [&](int i, int j) {
        const int wrapped = ((i % period) + period) % period;
        return Hash(static_cast<std::uint32_t>(wrapped), static_cast<std::uint32_t>(j), seed);
    };
    const double sa = ta * ta * (3 - 2 * ta), sb = tb * tb * (3 - 2 * tb);
    const double top = at(ia, ib) + (at(ia + 1, ib) - at(ia, ib)) * sa;
    const double bottom = at(ia, ib + 1) + (at(ia + 1, ib + 1) - at(ia, ib + 1)) * sa;
    return top + (bottom - top) * sb;
}

// Distance in columns from x to the nearest multiple of `step` degrees.
double DistanceToMark(int x, int width, double stepDegrees) {
    const double degrees = 360.0 * x / width;
    const double nearest = std::round(degrees / stepDegrees) * stepDegrees;
    return std::abs(degrees - nearest) * width / 360.0;
}

}  // namespace

RgbImage MakeTestScene(int width, int height) {
    RgbImage scene;
    if (scene.AllocatePixels(width, height) != 0) return scene;
    const double horizon = height / 2.0;
    const double lineHalf = std::max(0.75, height / 200.0);
    const double markHalf = std::max(0.5, width / 1200.0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb c = y < horizon ? Mix({60, 110, 200}, {180, 210, 240}, y / horizon)
                                : Mix({100, 150, 70}, {45, 75, 30}, (y - horizon) / horizon);
            // A ramp over the whole turn makes the direction of the turn visible
            // (the marks alone look the same mirrored).
            const double turn = (x + 0.5) / width;
            if (y < horizon) {
                c.r += 70 * turn;
            } else {
                c.b += 150 * turn;
            }
            // Fine texture: a few pixels per period in both directions.
            const double texture = 22 * std::sin(kTwoPi * x / 7.0) * std::sin(kTwoPi * y / 5.0);
            c = {c.r + texture, c.g + texture, c.b + texture};
            if (std::abs(y + 0.5 - horizon) <= lineHalf) c = {0, 0, 0};
            const double fromCentre = std::abs(y + 0.5 - horizon) / horizon;
            if (DistanceToMark(x, width, 30) <= markHalf * 1.5 && fromCentre < 0.8) {
                c = {220, 20, 20};
            } else if (DistanceToMark(x, width, 10) <= markHalf && fromCentre < 0.4) {
                c = {20, 20, 20};
            }
            Put(scene, x, y, c);
        }
    }
    return scene;
}

RgbImage MakeSampleScene(int width, int height) {
    RgbImage scene;
    if (scene.AllocatePixels(width, height) != 0) return scene;
    const double horizon = 0.58 * height;
    const double w = width;
    // All shapes are functions of the angle a (0..2 pi) so the scene wraps.
    auto farHills = [&](double a) {
        return horizon - height * (0.10 + 0.035 * std::sin(2 * a + 0.7) +
                                   0.025 * std::sin(5 * a + 2.1) + 0.012 * std::sin(11 * a + 0.4));
    };
    auto nearHills = [&](double a) {
        return horizon -
               height * (0.045 + 0.03 * std::sin(3 * a + 1.9) + 0.015 * std::sin(7 * a + 0.2));
    };
    struct Building {
        double start, span, top;  // degrees, degrees, fraction of the height above the horizon
    };
    const Building buildings[] = {{118, 6, 0.20}, {125, 4, 0.28}, {130, 7, 0.16}, {138, 3, 0.33},
                                  {142, 6, 0.22}, {149, 5, 0.12}, {300, 5, 0.14}, {306, 3, 0.18}};
    struct Tree {
        double at, size;  // degrees, fraction of the height
    };
    const Tree trees[] = {{20, 0.16},  {27, 0.12},  {33, 0.19},  {62, 0.14},  {95, 0.17},
                          {101, 0.12}, {175, 0.15}, {214, 0.18}, {221, 0.13}, {262, 0.16},
                          {284, 0.12}, {331, 0.17}, {338, 0.14}, {351, 0.11}};
    const double sunAngle = 250.0 / 360.0 * kTwoPi;
    const double sunHeight = horizon - 0.33 * height;
    const double rulerTop = 0.92 * height;

    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double a = kTwoPi * (x + 0.5) / w;
            const double degrees = 360.0 * (x + 0.5) / w;
            const double py = y + 0.5;
            Rgb c;
            if (py < horizon) {
                c = Mix({38, 88, 168}, {196, 218, 236}, std::pow(py / horizon, 1.6));
                // Soft clouds, stretched along the horizon.
                const double cloud = PeriodicNoise(x * 24.0 / w, py * 10.0 / height, 24, 1) * 0.7 +
                                     PeriodicNoise(x * 72.0 / w, py * 30.0 / height, 72, 2) * 0.3;
                c = Mix(c, {245, 245, 248}, (cloud - 0.55) * 2.2 * (1 - py / horizon));
                // The sun with a halo.
                double da = std::abs(a - sunAngle);
                da = std::min(da, kTwoPi - da) * w / kTwoPi;
                const double sunDistance = std::hypot(da, py - sunHeight) / height;
                if (sunDistance < 0.035) {
                    c = {255, 250, 225};
                } else {
                    c = Mix(c, {255, 244, 210}, 0.6 * std::exp(-(sunDistance - 0.035) * 12));
                }
            } else {
                const double depth = (py - horizon) / (height - horizon);
                c = Mix({112, 142, 74}, {62, 96, 40}, depth);
                const double grass = PeriodicNoise(x * 400.0 / w, py * 60.0 / height, 400, 3);
                c = {c.r + (grass - 0.5) * 30, c.g + (grass - 0.5) * 36, c.b + (grass - 0.5) * 16};
                // A sandy path winding around.
                const double pathCentre =
                    horizon + (height - horizon) * (0.45 + 0.25 * std::sin(a * 2 + 1));
                if (std::abs(py - pathCentre) < (height - horizon) * 0.06 * (0.4 + depth))
                    c = Mix(c, {196, 176, 132}, 0.85);
            }
            if (py >= farHills(a) && py < horizon + 1) {
                const double t = (py - farHills(a)) / (horizon - farHills(a) + 1);
                c = Mix({120, 140, 165}, {95, 118, 120}, t);
            }
            if (py >= nearHills(a) && py < horizon + 2) {
                const double shade = PeriodicNoise(x * 150.0 / w, py * 40.0 / height, 150, 4);
                c = Mix({78, 110, 62}, {52, 82, 44}, shade);
            }
            for (const Building& b : buildings) {
                const double top = horizon - b.top * height;
                if (degrees < b.start || degrees > b.start + b.span || py < top || py > horizon + 3)
                    continue;
                const double wallShade = 0.5 + 0.5 * std::sin(b.start);
                c = Mix({118, 104, 96}, {160, 150, 140}, wallShade);
                // Rows of windows, some lit.
                const double u = (degrees - b.start) / b.span * (b.span * 3.2);
                const double v = (py - top) / height * 60;
                const double fu = u - std::floor(u), fv = v - std::floor(v);
                if (fu > 0.3 && fu < 0.7 && fv > 0.3 && fv < 0.75 && py < horizon - 2) {
                    const bool lit = Hash(static_cast<std::uint32_t>(u + b.start * 10),
                                          static_cast<std::uint32_t>(v), 5) > 0.6;
                    c = lit ? Rgb{236, 214, 140} : Rgb{58, 66, 82};
                }
            }
            for (const Tree& t : trees) {
                double d = std::abs(degrees - t.at);
                d = std::min(d, 360 - d) / 360.0 * w;  // columns
                const double size = t.size * height;
                const double canopyY = horizon - size * 0.62;
                const double canopy = std::hypot(d * 1.4, py - canopyY) / (size * 0.42);
                if (canopy < 1) {
                    const double leaf = PeriodicNoise(x * 700.0 / w, py * 90.0 / height, 700, 6);
                    c = Mix({34, 74, 30}, {70, 112, 48}, leaf * (1.1 - canopy * 0.5));
                } else if (d < size * 0.05 && py > canopyY && py < horizon + size * 0.05) {
                    c = {74, 54, 36};
                }
            }
            if (py >= rulerTop) {
                // A scale along the foot: ticks every 10 degrees, longer every 30.
                c = {28, 28, 30};
                const double along = py - rulerTop;
                const double span = height - rulerTop;
                const double half = std::max(0.6, w / 1800.0);
                if (DistanceToMark(x, width, 30) <= half * 1.6 && along < span * 0.8) {
                    c = {240, 200, 60};
                } else if (DistanceToMark(x, width, 10) <= half && along < span * 0.45) {
                    c = {230, 230, 230};
                }
            }
            Put(scene, x, y, c);
        }
    }
    return scene;
}

}  // namespace orbelune
