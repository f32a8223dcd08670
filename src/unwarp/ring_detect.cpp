// Ring detection. The mirror's rim and the camera's reflection are circles
// around one centre; the scene between them is full of detail in the angular
// direction, while the housing outside and the reflection inside are nearly
// uniform around the circle.
#include "unwarp/ring_detect.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "image/image_layer.h"
#include "image/parallel.h"

namespace orbelune {

namespace {

constexpr double kPi = 3.141592653589793;
// The reduced copy's longer side is at most this many pixels.
constexpr int kReducedSide = 480;

// A grey copy of the photograph, `factor` times smaller, each pixel the mean
// of its factor x factor block. Pixel (u, v) is centred on full-size
// ((u + 0.5) * factor - 0.5, (v + 0.5) * factor - 0.5).
struct Grey {
    int width = 0;
    int height = 0;
    std::vector<float> pixels;

    float At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    // Bilinear; false outside.
    bool Sample(double x, double y, double& value) const {
        if (!(x >= 0 && y >= 0 && x <= width - 1 && y <= height - 1)) return false;
        const int x0 = std::min(static_cast<int>(x), std::max(0, width - 2));
        const int y0 = std::min(static_cast<int>(y), std::max(0, height - 2));
        const double fx = x - x0, fy = y - y0;
        const int x1 = std::min(x0 + 1, width - 1), y1 = std::min(y0 + 1, height - 1);
        const double top = At(x0, y0) + fx * (At(x1, y0) - At(x0, y0));
        const double bottom = At(x0, y1) + fx * (At(x1, y1) - At(x0, y1));
        value = top + fy * (bottom - top);
        return true;
    }
};

Grey Reduce(const RgbImage& photo, int factor) {
    Grey grey;
    grey.width = photo.width() / factor;
    grey.height = photo.height() / factor;
    grey.pixels.assign(static_cast<std::size_t>(grey.width) * grey.height, 0.0f);
    const float scale = 1.0f / (3.0f * static_cast<float>(factor) * static_cast<float>(factor));
    ParallelRows(grey.height, static_cast<std::int64_t>(photo.stride()) * factor,
                 [&](int first, int end) {
                     std::vector<std::uint32_t> sums(static_cast<std::size_t>(grey.width));
                     for (int v = first; v < end; ++v) {
                         std::fill(sums.begin(), sums.end(), 0u);
                         for (int k = 0; k < factor; ++k) {
                             const std::uint8_t* row = photo.row(v * factor + k);
                             for (int u = 0; u < grey.width; ++u) {
                                 const std::uint8_t* p = row + 3 * u * factor;
                                 std::uint32_t sum = 0;
                                 for (int i = 0; i < 3 * factor; ++i)
                                     sum += p[i];
                                 sums[static_cast<std::size_t>(u)] += sum;
                             }
                         }
                         float* out = grey.pixels.data() + static_cast<std::size_t>(v) * grey.width;
                         for (int u = 0; u < grey.width; ++u)
                             out[u] = static_cast<float>(sums[static_cast<std::size_t>(u)]) * scale;
                     }
                 });
    return grey;
}

struct Point {
    double x = 0, y = 0;
};

// Every strong edge votes for the points along its gradient line, both ways:
// edges of circles around one centre all cross there, straight edges of the
// surroundings spread their votes.
Point VoteForCentre(const Grey& grey, double& peakShare) {
    const int w = grey.width, h = grey.height;
    std::vector<float> gx(static_cast<std::size_t>(w) * h), gy(gx.size()), mag(gx.size());
    for (int y = 1; y + 1 < h; ++y) {
        for (int x = 1; x + 1 < w; ++x) {
            const double sx =
                (grey.At(x + 1, y - 1) + 2 * grey.At(x + 1, y) + grey.At(x + 1, y + 1)) -
                (grey.At(x - 1, y - 1) + 2 * grey.At(x - 1, y) + grey.At(x - 1, y + 1));
            const double sy =
                (grey.At(x - 1, y + 1) + 2 * grey.At(x, y + 1) + grey.At(x + 1, y + 1)) -
                (grey.At(x - 1, y - 1) + 2 * grey.At(x, y - 1) + grey.At(x + 1, y - 1));
            const std::size_t i = static_cast<std::size_t>(y) * w + x;
            gx[i] = static_cast<float>(sx);
            gy[i] = static_cast<float>(sy);
            mag[i] = static_cast<float>(std::hypot(sx, sy));
        }
    }
    // The strongest tenth of the pixels vote, if they are edges at all.
    std::vector<float> sorted = mag;
    const auto tenth = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() * 9 / 10);
    std::nth_element(sorted.begin(), tenth, sorted.end());
    const float threshold = std::max(*tenth, 24.0f);

    std::vector<std::uint32_t> votes(static_cast<std::size_t>(w) * h, 0);
    const int minDistance = std::max(3, std::min(w, h) / 40);
    const int maxDistance = std::max(w, h);
    std::uint64_t voters = 0;
    for (int y = 1; y + 1 < h; ++y) {
        for (int x = 1; x + 1 < w; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * w + x;
            if (mag[i] < threshold || mag[i] <= 0) continue;
            ++voters;
            const double dx = gx[i] / mag[i], dy = gy[i] / mag[i];
            for (int sign : {-1, 1}) {
                for (int s = minDistance; s <= maxDistance; ++s) {
                    const int px = static_cast<int>(std::lround(x + sign * s * dx));
                    const int py = static_cast<int>(std::lround(y + sign * s * dy));
                    if (px < 0 || py < 0 || px >= w || py >= h) break;
                    ++votes[static_cast<std::size_t>(py) * w + px];
                }
            }
        }
    }
    // Votes scatter by a pixel or so: sum 5 x 5 windows.
    std::uint64_t best = 0;
    Point centre{w / 2.0, h / 2.0};
    std::vector<std::uint32_t> rows(votes.size(), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint32_t sum = 0;
            for (int k = std::max(0, x - 2); k <= std::min(w - 1, x + 2); ++k)
                sum += votes[static_cast<std::size_t>(y) * w + k];
            rows[static_cast<std::size_t>(y) * w + x] = sum;
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint64_t sum = 0;
            for (int k = std::max(0, y - 2); k <= std::min(h - 1, y + 2); ++k)
                sum += rows[static_cast<std::size_t>(k) * w + x];
            if (sum > best) {
                best = sum;
                centre = {static_cast<double>(x), static_cast<double>(y)};
            }
        }
    peakShare = voters > 0 ? static_cast<double>(best) / static_cast<double>(voters) : 0;
    return centre;
}

// Around a centre on the reduced copy: for each whole radius, how much the
// grey level changes from one angle to the next (one pixel of arc apart), and
// which share of the circle lies in the picture.
struct RadialProfile {
    std::vector<double> detail;
    std::vector<double> visible;
    // How strongly the grey level steps across the circle, with one sign all
    // round: the rim and the reflection's edge are such steps.
    std::vector<double> step;
    // Standard deviation of the grey level around the circle: the housing is
    // one colour all round, a scene hardly ever.
    std::vector<double> spread;
};

RadialProfile ProfileAround(const Grey& grey, Point centre, int maxRadius) {
    RadialProfile profile;
    profile.detail.assign(static_cast<std::size_t>(maxRadius) + 1, 0);
    profile.visible.assign(profile.detail.size(), 0);
    profile.step.assign(profile.detail.size(), 0);
    profile.spread.assign(profile.detail.size(), 0);
    for (int r = 1; r <= maxRadius; ++r) {
        const int steps = std::clamp(static_cast<int>(2 * kPi * r), 32, 2048);
        double sum = 0, previous = 0, across = 0, total = 0, squares = 0;
        int pairs = 0, seen = 0, crossings = 0;
        bool havePrevious = false;
        for (int k = 0; k <= steps; ++k) {
            const double theta = 2 * kPi * k / steps;
            double value;
            if (!grey.Sample(centre.x + r * std::cos(theta), centre.y + r * std::sin(theta),
                             value)) {
                havePrevious = false;
                continue;
            }
            if (k < steps) {
                ++seen;
                total += value;
                squares += value * value;
            }
            double in, out;
            if (k < steps &&
                grey.Sample(centre.x + (r - 1) * std::cos(theta),
                            centre.y + (r - 1) * std::sin(theta), in) &&
                grey.Sample(centre.x + (r + 1) * std::cos(theta),
                            centre.y + (r + 1) * std::sin(theta), out)) {
                across += out - in;
                ++crossings;
            }
            if (havePrevious) {
                sum += std::fabs(value - previous);
                ++pairs;
            }
            previous = value;
            havePrevious = true;
        }
        profile.detail[static_cast<std::size_t>(r)] = pairs > 0 ? sum / pairs : 0;
        profile.visible[static_cast<std::size_t>(r)] = static_cast<double>(seen) / steps;
        if (seen > 0) {
            const double mean = total / seen;
            profile.spread[static_cast<std::size_t>(r)] =
                std::sqrt(std::max(0.0, squares / seen - mean * mean));
        }
        profile.step[static_cast<std::size_t>(r)] =
            crossings > 0 ? std::fabs(across) / crossings : 0;
    }
    return profile;
}

double MeanOver(const std::vector<double>& values, int from, int to) {
    double sum = 0;
    int n = 0;
    for (int r = std::max(1, from); r <= std::min(to, static_cast<int>(values.size()) - 1); ++r) {
        sum += values[static_cast<std::size_t>(r)];
        ++n;
    }
    return n > 0 ? sum / n : 0;
}

double MeanDetail(const RadialProfile& profile, int from, int to) {
    return MeanOver(profile.detail, from, to);
}

// The full-size photograph sampled as grey, bilinear.
struct FullGrey {
    const RgbImage& photo;

    bool Sample(double x, double y, double& value) const {
        const int w = photo.width(), h = photo.height();
        if (!(x >= 0 && y >= 0 && x < w - 1 && y < h - 1)) return false;
        const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
        const double fx = x - x0, fy = y - y0;
        const std::uint8_t* a = photo.row(y0) + 3 * x0;
        const std::uint8_t* c = photo.row(y0 + 1) + 3 * x0;
        const double p00 = a[0] + a[1] + a[2], p10 = a[3] + a[4] + a[5];
        const double p01 = c[0] + c[1] + c[2], p11 = c[3] + c[4] + c[5];
        const double top = p00 + fx * (p10 - p00), bottom = p01 + fx * (p11 - p01);
        value = (top + fy * (bottom - top)) / 3;
        return true;
    }
};

struct CircleFit {
    Point centre;
    double radius = 0;
    int inliers = 0;
    int rays = 0;  // rays whose window lay in the picture
};

// Algebraic (Kasa) least-squares circle through the points.
bool FitCircle(const std::vector<Point>& points, CircleFit& fit) {
    if (points.size() < 3) return false;
    double mx = 0, my = 0;
    for (const Point& p : points) {
        mx += p.x;
        my += p.y;
    }
    mx /= static_cast<double>(points.size());
    my /= static_cast<double>(points.size());
    double suu = 0, svv = 0, suv = 0, suuu = 0, svvv = 0, suvv = 0, svuu = 0;
    for (const Point& p : points) {
        const double u = p.x - mx, v = p.y - my;
        suu += u * u;
        svv += v * v;
        suv += u * v;
        suuu += u * u * u;
        svvv += v * v * v;
        suvv += u * v * v;
        svuu += v * u * u;
    }
    const double det = suu * svv - suv * suv;
    if (std::fabs(det) < 1e-9) return false;
    const double bu = 0.5 * (suuu + suvv), bv = 0.5 * (svvv + svuu);
    const double uc = (bu * svv - bv * suv) / det;
    const double vc = (bv * suu - bu * suv) / det;
    fit.centre = {uc + mx, vc + my};
    fit.radius = std::sqrt(uc * uc + vc * vc + (suu + svv) / static_cast<double>(points.size()));
    return std::isfinite(fit.radius);
}

// Reorders `values`; taken by reference, since a copy trips GCC 12's
// -Wfree-nonheap-object at -O3.
double Median(std::vector<double>& values) {
    if (values.empty()) return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Finds, along rays from the estimated centre, the strongest radial edge
// within `window` of the estimated radius, then fits a circle to those edges,
// dropping the ones far from it.
// What marks the circle along a ray: the strongest step in grey, or the
// place where the scene's detail across the ray gives way to plain.
// kRimStep: the first clear step from where the detail ends.
enum class RayEdge { kStrongestStep, kDetailEnds, kRimStep };

CircleFit RefineCircle(const FullGrey& grey, Point centre, double radius, double window,
                       int rayCount, RayEdge kind) {
    CircleFit fit;
    fit.centre = centre;
    fit.radius = radius;
    std::vector<Point> edges;
    struct RaySteps {
        double c, s;
        std::vector<double> at;
    };
    std::vector<RaySteps> rayCandidates;
    const double from = std::max(1.0, radius - window), to = radius + window;
    for (int k = 0; k < rayCount; ++k) {
        const double theta = 2 * kPi * (k + 0.5) / rayCount;
        const double c = std::cos(theta), s = std::sin(theta);
        // Averaged across the ray over a pixel either side, against noise.
        auto at = [&](double t, double& value) {
            double sum = 0, one;
            for (int side = -1; side <= 1; ++side) {
                if (!grey.Sample(centre.x + t * c - side * s, centre.y + t * s + side * c, one))
                    return false;
                sum += one;
            }
            value = sum / 3;
            return true;
        };
        std::vector<double> profile, across;
        bool complete = true;
        for (double t = from - 1; t <= to + 1; t += 1) {
            double value, left, right;
            if (!at(t, value) ||
                !grey.Sample(centre.x + t * c + 1.5 * s, centre.y + t * s - 1.5 * c, left) ||
                !grey.Sample(centre.x + t * c - 1.5 * s, centre.y + t * s + 1.5 * c, right)) {
                complete = false;
                break;
            }
            profile.push_back(value);
            across.push_back(std::fabs(left - right));
        }
        if (!complete || profile.size() < 12) continue;
        ++fit.rays;
        // Detail over the few pixels inside against the few outside: where
        // it ends, or profile.size() when it does not on this ray.
        auto detailEnd = [&]() -> std::size_t {
            constexpr int kSpan = 4;
            std::size_t best = 0;
            double largest = 0, level = 0;
            for (std::size_t i = kSpan; i + kSpan < across.size(); ++i) {
                double in = 0, out = 0;
                for (int d = 1; d <= kSpan; ++d) {
                    in += across[i - static_cast<std::size_t>(d)];
                    out += across[i + static_cast<std::size_t>(d) - 1];
                }
                if (in - out > largest) {
                    largest = in - out;
                    best = i;
                    level = (in + out) / (2 * kSpan);
                }
            }
            if (largest < 4 * kSpan) return profile.size();
            // Detail may fade over the last pixels: the edge is past the last
            // sample that still has more than the midway level.
            std::size_t last = best - 1;
            for (std::size_t j = best + kSpan - 1; j + kSpan >= best; --j)
                if (across[j] > level) {
                    last = j;
                    break;
                }
            return last;
        };
        // The step at `i` to sub-pixel precision (a parabola through three).
        auto stepAt = [&](std::size_t best) {
            const double strongest = std::fabs(profile[best + 1] - profile[best - 1]);
            double offset = 0;
            if (best > 1 && best + 2 < profile.size()) {
                const double l = std::fabs(profile[best] - profile[best - 2]);
                const double r = std::fabs(profile[best + 2] - profile[best]);
                const double denominator = l - 2 * strongest + r;
                if (denominator < 0) offset = std::clamp(0.5 * (l - r) / denominator, -0.5, 0.5);
            }
            return from - 1 + static_cast<double>(best) + offset;
        };
        auto step = [&](std::size_t i) { return std::fabs(profile[i + 1] - profile[i - 1]); };
        double t = 0;
        if (kind == RayEdge::kStrongestStep) {
            std::size_t best = 0;
            double strongest = 0;
            for (std::size_t i = 1; i + 1 < profile.size(); ++i)
                if (step(i) > strongest) {
                    strongest = step(i);
                    best = i;
                }
            if (strongest < 6) continue;  // no edge on this ray
            t = stepAt(best);
        } else if (kind == RayEdge::kDetailEnds) {
            const std::size_t last = detailEnd();
            if (last == profile.size()) continue;
            t = from - 1 + static_cast<double>(last) + 0.5;
        } else {
            // The housing starts at the first clear step from where the
            // scene's detail ends: a lit rim just outside falls off outwards
            // and may end in a step as strong as the scene's own.
            const std::size_t last = detailEnd();
            const std::size_t first = last == profile.size() ? 2 : std::max<std::size_t>(2, last);
            double strongest = 0;
            for (std::size_t i = first; i + 1 < profile.size(); ++i)
                strongest = std::max(strongest, step(i));
            if (strongest < 6) continue;
            // Every clear step is a candidate; which circle of them is the
            // rim is decided over all rays below.
            std::vector<double> steps;
            for (std::size_t i = first; i + 1 < profile.size(); ++i)
                if (step(i) >= std::max(6.0, 0.25 * strongest) && step(i) >= step(i - 1) &&
                    (i + 2 >= profile.size() || step(i) > step(i + 1)))
                    steps.push_back(stepAt(i));
            if (steps.empty()) continue;
            rayCandidates.push_back({c, s, std::move(steps)});
            continue;
        }
        edges.push_back({centre.x + t * c, centre.y + t * s});
    }
    if (kind == RayEdge::kRimStep && !rayCandidates.empty()) {
        // The rim is the innermost circle of steps most rays share with an
        // even ring just outside it: the housing is one colour all round,
        // the scene and the surroundings are not.
        std::vector<int> counts(static_cast<std::size_t>(2 * window) + 8, 0);
        for (const RaySteps& ray : rayCandidates)
            for (double t : ray.at) {
                const double d = t - (from - 2);
                if (d >= 0 && d < static_cast<double>(counts.size()))
                    ++counts[static_cast<std::size_t>(d)];
            }
        auto windowSum = [&](std::size_t i) {
            int sum = 0;
            for (std::size_t j = i >= 2 ? i - 2 : 0; j <= std::min(counts.size() - 1, i + 2); ++j)
                sum += counts[j];
            return sum;
        };
        // Even: what is left around the circle once slow changes
        // (vignetting, light falling from one side) are taken out.
        auto evenOutside = [&](double r) {
            constexpr int kAround = 720, kSmooth = 8;
            std::vector<double> values(kAround, -1);
            int seen = 0;
            for (int k = 0; k < kAround; ++k) {
                const double theta = 2 * kPi * (k + 0.5) / kAround;
                double sum = 0, value;
                bool inside = true;
                for (int d = 2; d <= 4 && inside; ++d)
                    inside = grey.Sample(centre.x + (r + d) * std::cos(theta),
                                         centre.y + (r + d) * std::sin(theta), value) &&
                             (sum += value, true);
                if (inside) {
                    values[static_cast<std::size_t>(k)] = sum / 3;
                    ++seen;
                }
            }
            if (seen < kAround / 10) return false;
            double deviation = 0;
            int counted = 0;
            for (int k = 0; k < kAround; ++k) {
                const double v = values[static_cast<std::size_t>(k)];
                if (v < 0) continue;
                double local = 0;
                int n = 0;
                for (int j = -kSmooth; j <= kSmooth; ++j) {
                    const double u = values[static_cast<std::size_t>((k + j + kAround) % kAround)];
                    if (u >= 0) {
                        local += u;
                        ++n;
                    }
                }
                deviation += std::fabs(v - local / n);
                ++counted;
            }
            return deviation / counted <= 8;
        };
        const int enough = std::max(8, static_cast<int>(0.3 * fit.rays));
        double chosen = -1, fallback = -1;
        int most = 0;
        for (std::size_t i = 0; i < counts.size(); ++i) {
            const int sum = windowSum(i);
            if (sum < enough || (i > 0 && windowSum(i - 1) >= sum) ||
                (i + 1 < counts.size() && windowSum(i + 1) > sum))
                continue;
            const double r = from - 2 + static_cast<double>(i) + 0.5;
            if (sum > most) {
                most = sum;
                fallback = r;
            }
            if (chosen < 0 && evenOutside(r)) chosen = r;
        }
        if (chosen < 0) chosen = fallback;
        if (chosen < 0) return fit;
        for (const RaySteps& ray : rayCandidates) {
            double nearest = ray.at.front();
            for (double t : ray.at)
                if (std::fabs(t - chosen) < std::fabs(nearest - chosen)) nearest = t;
            edges.push_back({centre.x + nearest * ray.c, centre.y + nearest * ray.s});
        }
    }
    if (edges.size() < 8) return fit;
    // Keep the edges near the circle, tightening as the fit settles.
    // Start from the distance most edges agree on: a second edge within the
    // window (the far side of a rim) must not pull the fit between the two.
    std::vector<int> histogram(static_cast<std::size_t>(2 * window) + 8, 0);
    for (const Point& p : edges) {
        const double d = std::hypot(p.x - centre.x, p.y - centre.y) - (from - 2);
        if (d >= 0 && d < static_cast<double>(histogram.size()))
            ++histogram[static_cast<std::size_t>(d)];
    }
    std::size_t peak = 0;
    int most = -1;
    for (std::size_t i = 0; i < histogram.size(); ++i) {
        int sum = 0;
        for (std::size_t j = i >= 2 ? i - 2 : 0; j <= std::min(histogram.size() - 1, i + 2); ++j)
            sum += histogram[j];
        if (sum > most) {
            most = sum;
            peak = i;
        }
    }
    CircleFit current = fit;
    current.radius = from - 2 + static_cast<double>(peak) + 0.5;
    double tolerance = std::max(3.0, 0.015 * current.radius);
    for (int round = 0; round < 6; ++round) {
        std::vector<Point> near;
        for (const Point& p : edges) {
            const double d = std::fabs(std::hypot(p.x - current.centre.x, p.y - current.centre.y) -
                                       current.radius);
            if (d <= tolerance) near.push_back(p);
        }
        if (near.size() < 8) break;
        CircleFit next = current;
        if (!FitCircle(near, next)) break;
        current = next;
        std::vector<double> nearResiduals;
        for (const Point& p : near)
            nearResiduals.push_back(std::fabs(
                std::hypot(p.x - current.centre.x, p.y - current.centre.y) - current.radius));
        tolerance = std::max(1.5, 3 * 1.4826 * Median(nearResiduals));
    }
    int inliers = 0;
    for (const Point& p : edges)
        if (std::fabs(std::hypot(p.x - current.centre.x, p.y - current.centre.y) -
                      current.radius) <= std::max(2.0, 0.01 * current.radius))
            ++inliers;
    fit.centre = current.centre;
    fit.radius = current.radius;
    fit.inliers = inliers;
    return fit;
}

// How much more the grey level steps across the circle than across its
// neighbours a few pixels in and out: a real edge stands out, a circle drawn
// through noise or texture does not. 1 for no difference.
double EdgeContrast(const FullGrey& grey, Point centre, double radius) {
    auto stepAcross = [&](double r) {
        double sum = 0;
        int n = 0;
        for (int k = 0; k < 720; ++k) {
            const double theta = 2 * kPi * (k + 0.5) / 720;
            const double c = std::cos(theta), s = std::sin(theta);
            double in, out;
            if (!grey.Sample(centre.x + (r - 1.5) * c, centre.y + (r - 1.5) * s, in) ||
                !grey.Sample(centre.x + (r + 1.5) * c, centre.y + (r + 1.5) * s, out))
                continue;
            sum += std::fabs(out - in);
            ++n;
        }
        return n > 0 ? sum / n : 0.0;
    };
    double around = 0;
    for (double d : {-9.0, -6.0, 6.0, 9.0})
        around += stepAcross(radius + d) / 4;
    return (stepAcross(radius) + 1) / (around + 1);
}

}  // namespace

ImageError DetectRing(const RgbImage& photo, RingDetection& found) {
    found = RingDetection{};
    if (photo.empty()) {
        SetLastImageError(err::kBadParam);
        return err::kBadParam;
    }
    found.xCenter = photo.width() / 2;
    found.yCenter = photo.height() / 2;
    SetLastImageError(err::kNone);
    const int longer = std::max(photo.width(), photo.height());
    const int factor = std::max(1, (longer + kReducedSide - 1) / kReducedSide);
    const Grey grey = Reduce(photo, factor);
    if (grey.width < 24 || grey.height < 24) return err::kNone;

    double peakShare = 0;
    const Point reducedCentre = VoteForCentre(grey, peakShare);
    if (peakShare <= 0) return err::kNone;

    // Radii: the rim is where the scene's angular detail gives way to the
    // plain housing; the camera's reflection, where plain gives way to detail.
    const int farthest = static_cast<int>(
        std::ceil(std::hypot(std::max(reducedCentre.x, grey.width - reducedCentre.x),
                             std::max(reducedCentre.y, grey.height - reducedCentre.y))));
    const RadialProfile profile = ProfileAround(grey, reducedCentre, farthest);
    const int band = std::max(2, std::max(grey.width, grey.height) / 160);
    const int smallest = std::max(band + 2, std::min(grey.width, grey.height) / 10);
    // Detail is compared as a ratio: plain is plain however busy the scene.
    constexpr double kPlain = 1.0;
    auto visibleAround = [&](int r) {
        return profile.visible[static_cast<std::size_t>(r - band)] >= 0.3 &&
               profile.visible[static_cast<std::size_t>(r + band)] >= 0.3;
    };
    // Plain means no more detail than the plainest circles have (noise).
    double plainest = 1e9;
    for (int r = smallest; r + band <= farthest; ++r)
        if (visibleAround(r))
            plainest = std::min(plainest, MeanDetail(profile, r - band, r + band));
    const double plainLevel = 3 * plainest + 1;
    // The rim: a step with one sign all round, with the plain housing outside
    // (the scene just inside may be nearly as plain, a clear sky); the
    // reflection's edge: plain inside, detail outside.
    // Edges inside the ring may score higher (the reflection's own edge, a
    // horizon with a plain ground), so the outermost good candidate wins.
    const std::vector<int> outers = [&] {
        std::vector<double> scores(static_cast<std::size_t>(farthest) + 1, 0);
        double top = 0;
        for (int r = smallest; r + band <= farthest; ++r) {
            if (!visibleAround(r)) continue;
            const double in = MeanDetail(profile, r - band, r - 1);
            const double out = MeanDetail(profile, r + 1, r + band);
            if (out > plainLevel || in < out) continue;
            const double plainness = 1 / (1 + (out - plainest) / (plainest + 0.5));
            scores[static_cast<std::size_t>(r)] =
                profile.step[static_cast<std::size_t>(r)] * plainness;
            top = std::max(top, scores[static_cast<std::size_t>(r)]);
        }
        // The outermost few clear peaks; the fits at full size choose.
        std::vector<int> peaks;
        for (int r = farthest - 1; r > smallest && peaks.size() < 4; --r) {
            const double here = scores[static_cast<std::size_t>(r)];
            if (top > 0 && here >= 0.2 * top && here >= scores[static_cast<std::size_t>(r + 1)] &&
                here > scores[static_cast<std::size_t>(r - 1)])
                peaks.push_back(r);
        }
        return peaks;
    }();
    const int outer = outers.empty() ? 0 : outers.front();
    // The reflection's edge: plain inside, detail outside. A plain band of
    // the scene may score as well, so the best few are tried at full size.
    const std::vector<int> inners = [&] {
        std::vector<double> scores(static_cast<std::size_t>(std::max(outer, 1)), 0);
        for (int r = std::max(band + 1, outer / 20); r < outer * 85 / 100; ++r) {
            if (!visibleAround(r)) continue;
            scores[static_cast<std::size_t>(r)] = (MeanDetail(profile, r + 1, r + band) + kPlain) /
                                                  (MeanDetail(profile, r - band, r - 1) + kPlain);
        }
        std::vector<int> peaks;
        for (int r = 1; r + 1 < static_cast<int>(scores.size()); ++r) {
            const double here = scores[static_cast<std::size_t>(r)];
            if (here > 1 && here >= scores[static_cast<std::size_t>(r - 1)] &&
                here > scores[static_cast<std::size_t>(r + 1)])
                peaks.push_back(r);
        }
        std::sort(peaks.begin(), peaks.end(), [&](int a, int b) {
            return scores[static_cast<std::size_t>(a)] > scores[static_cast<std::size_t>(b)];
        });
        if (peaks.size() > 3) peaks.resize(3);
        // Scene detail must clearly start outside it.
        while (peaks.size() > 1 && scores[static_cast<std::size_t>(peaks.back())] <
                                       0.5 * scores[static_cast<std::size_t>(peaks.front())])
            peaks.pop_back();
        return peaks;
    }();
    const int inner = inners.empty() ? 0 : inners.front();
    if (outer == 0) return err::kNone;

    // Full resolution: both circles fitted to the edges along rays.
    const FullGrey full{photo};
    const double k = factor;
    const Point centre{(reducedCentre.x + 0.5) * k - 0.5, (reducedCentre.y + 0.5) * k - 0.5};
    const double window = std::max((band + 2) * k, 8.0);
    // The camera's reflection has a sharp, complete edge: it places the
    // centre unless the rim, fitted from there, agrees better.
    auto share = [](const CircleFit& fit) {
        return fit.rays > 0 ? static_cast<double>(fit.inliers) / fit.rays : 0;
    };
    // The scene's own circles (a horizon) may fit as well: of the edges that
    // fit nearly as well as the best, the one plainest inside wins.
    std::vector<CircleFit> eyes;
    double bestEyeShare = 0;
    // Each fit reads a few hundred thousand pixels: one per worker.
    constexpr std::int64_t kFitCost = std::int64_t{1} << 24;
    eyes.resize(inners.size());
    ParallelRows(static_cast<int>(inners.size()), kFitCost, [&](int first, int end) {
        for (int i = first; i < end; ++i)
            eyes[static_cast<std::size_t>(i)] =
                RefineCircle(full, centre, (inners[static_cast<std::size_t>(i)] + 0.5) * k, window,
                             360, RayEdge::kStrongestStep);
    });
    for (const CircleFit& fit : eyes)
        bestEyeShare = std::max(bestEyeShare, share(fit));
    CircleFit eye;
    double plainestInside = 1e300;
    for (std::size_t i = 0; i < eyes.size(); ++i) {
        if (share(eyes[i]) < bestEyeShare - 0.15) continue;
        // The reflection is plain all the way in; the scene's circles hold
        // the rest of the scene (and the reflection) inside them.
        const double inside = MeanDetail(profile, std::max(1, outer / 20), inners[i] - band);
        if (inside < plainestInside) {
            plainestInside = inside;
            eye = eyes[i];
        }
    }
    const double eyeShare = share(eye);
    const Point rimFrom = eyeShare >= 0.5 ? eye.centre : centre;
    const double rimWindow = window + std::max(2.0, 0.06 * outer) * k;
    CircleFit rim, detailRim, rimSteps;
    // Both kinds of edge for every candidate: fits 2i and 2i + 1.
    std::vector<CircleFit> rims(2 * outers.size());
    ParallelRows(static_cast<int>(rims.size()), kFitCost, [&](int first, int end) {
        for (int i = first; i < end; ++i)
            rims[static_cast<std::size_t>(i)] =
                RefineCircle(full, rimFrom, (outers[static_cast<std::size_t>(i / 2)] + 0.5) * k,
                             rimWindow, 720, i % 2 == 0 ? RayEdge::kDetailEnds : RayEdge::kRimStep);
    });
    for (std::size_t i = 0; i < outers.size(); ++i) {
        const CircleFit& byDetail = rims[2 * i];
        const CircleFit& bySteps = rims[2 * i + 1];
        const CircleFit& better = share(bySteps) > share(byDetail) ? bySteps : byDetail;
        // Outermost first: an inner one must fit clearly better.
        if (rim.rays == 0 || share(better) > share(rim) + 0.1) {
            rim = better;
            detailRim = byDetail;
            rimSteps = bySteps;
        }
    }
    const double rimShare = share(rim);
    Point best = centre;
    if (eyeShare >= 0.8 || (eyeShare > 0 && eyeShare >= rimShare)) {
        best = eye.centre;
    } else if (rimShare > 0) {
        best = rim.centre;
    }
    found.xCenter = best.x;
    found.yCenter = best.y;
    found.outerRadius = rim.inliers > 0 ? rim.radius : (outer + 0.5) * k;
    found.innerRadius = eye.inliers > 0 ? eye.radius : (inner + 0.5) * k;
    // Both circles must be there: a ring photograph has edges on most rays
    // of both, a picture without a ring on few rays of either.
    // And one at least an edge that stands out from its surroundings (the
    // rim's step may be faint where the scene is as light as the housing).
    const double rimContrast = EdgeContrast(full, best, found.outerRadius);
    const double eyeContrast = EdgeContrast(full, best, found.innerRadius);
    const double standsOut = std::clamp(std::max(rimContrast, eyeContrast) - 1.2, 0.0, 1.0);
    found.confidence =
        std::clamp((std::sqrt(rimShare * eyeShare) - 0.2) / 0.6, 0.0, 1.0) * standsOut;
    return err::kNone;
}

RingParams RingFromDetection(const RingDetection& found) {
    RingParams ring;
    ring.XCenter = static_cast<int>(std::lround(found.xCenter));
    ring.YCenter = static_cast<int>(std::lround(found.yCenter));
    ring.OuterRadius = static_cast<int>(std::lround(found.outerRadius));
    ring.InnerRadius = static_cast<int>(std::lround(found.innerRadius));
    return ring;
}

}  // namespace orbelune
