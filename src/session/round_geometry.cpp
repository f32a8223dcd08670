#include "session/round_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace orbelune {

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;

// The margin shown around the photograph, per side, in image pixels.
int Margin(int imageWidth, int imageHeight) {
    return std::min(imageWidth, imageHeight) / 4;
}

}  // namespace

RoundDisplay FitRoundDisplay(int imageWidth, int imageHeight, int clientWidth, int clientHeight) {
    RoundDisplay display;
    if (imageWidth <= 0 || imageHeight <= 0 || clientWidth <= 0 || clientHeight <= 0)
        return display;
    const int margin = Margin(imageWidth, imageHeight);
    const double areaWidth = static_cast<double>(imageWidth) + 2.0 * margin;
    const double areaHeight = static_cast<double>(imageHeight) + 2.0 * margin;
    const double fit = std::min(clientWidth / areaWidth, clientHeight / areaHeight);
    display.width = std::max(1, static_cast<int>(imageWidth * fit));
    display.height = std::max(1, static_cast<int>(imageHeight * fit));
    display.scale = static_cast<double>(display.width) / imageWidth;
    display.originX = (clientWidth - display.width) / 2;
    display.originY = (clientHeight - display.height) / 2;
    return display;
}

ImagePoint WindowToImage(int windowX, int windowY, const RoundDisplay& display) {
    if (display.scale <= 0.0) return {};
    return {static_cast<int>(std::floor((windowX - display.originX) / display.scale)),
            static_cast<int>(std::floor((windowY - display.originY) / display.scale))};
}

int DistanceFromCentre(ImagePoint point, const RingParams& ring) {
    const double dx = static_cast<double>(point.x) - ring.XCenter;
    const double dy = static_cast<double>(point.y) - ring.YCenter;
    return static_cast<int>(std::sqrt(dy * dy + dx * dx));
}

namespace {

bool NearCircle(int distance, int radius, int tolerance) {
    const long long low = std::llabs(static_cast<long long>(radius) - tolerance);
    const long long high = std::llabs(static_cast<long long>(radius) + tolerance);
    return low < distance && distance < high;
}

// The ring centre in window pixels (truncated, as the overlay draws it).
ImagePoint CentreInWindow(int x, int y, const RoundDisplay& display) {
    return {static_cast<int>(display.originX + x * display.scale),
            static_cast<int>(display.originY + y * display.scale)};
}

}  // namespace

RingHandle PickHandle(int distance, const RingParams& ring) {
    return PickHandle(distance, ring, kHandleTolerance);
}

RingHandle PickHandle(int distance, const RingParams& ring, int tolerance) {
    if (distance < tolerance) return RingHandle::Centre;
    if (NearCircle(distance, ring.OuterRadius, tolerance)) return RingHandle::Outer;
    if (NearCircle(distance, ring.InnerRadius, tolerance)) return RingHandle::Inner;
    return RingHandle::None;
}

RoundDisplay ZoomRoundDisplay(const RoundDisplay& view, const RoundDisplay& fit, int imageWidth,
                              int imageHeight, double scale, int anchorX, int anchorY) {
    if (view.scale <= 0.0 || fit.scale <= 0.0 || imageWidth <= 0 || imageHeight <= 0 ||
        !std::isfinite(scale))
        return view;
    const double top = std::max(kMaxRoundZoom, fit.scale);
    if (scale <= fit.scale) return fit;
    scale = std::min(scale, top);
    const double imageX = (anchorX - view.originX) / view.scale;
    const double imageY = (anchorY - view.originY) / view.scale;
    RoundDisplay zoomed;
    zoomed.scale = scale;
    zoomed.width = std::max(1, static_cast<int>(std::lround(imageWidth * scale)));
    zoomed.height = std::max(1, static_cast<int>(std::lround(imageHeight * scale)));
    zoomed.originX = static_cast<int>(std::lround(anchorX - imageX * scale));
    zoomed.originY = static_cast<int>(std::lround(anchorY - imageY * scale));
    return zoomed;
}

RoundDisplay PanRoundDisplay(const RoundDisplay& view, int dx, int dy, int clientWidth,
                             int clientHeight) {
    RoundDisplay moved = view;
    if (view.scale <= 0.0) return moved;
    const int cx = clientWidth / 2;
    const int cy = clientHeight / 2;
    moved.originX = std::clamp(view.originX + dx, cx - view.width, cx);
    moved.originY = std::clamp(view.originY + dy, cy - view.height, cy);
    return moved;
}

namespace {

const RoundDisplay& Bounds(const RingWindow& window) {
    return window.fit.scale > 0.0 ? window.fit : window.display;
}

}  // namespace

int HandleTolerance(const RingWindow& window) {
    const RoundDisplay& fit = Bounds(window);
    if (fit.scale <= 0.0 || window.display.scale <= 0.0) return kHandleTolerance;
    const double reach = std::max(kMinHandleReach, kHandleTolerance * fit.scale);
    return std::max(1, static_cast<int>(std::lround(reach / window.display.scale)));
}

bool NudgeHandle(RingParams& ring, RingHandle handle, int dx, int dy, const RingWindow& window) {
    const RingParams before = ring;
    switch (handle) {
        case RingHandle::Centre:
            MoveCentre(ring, {ring.XCenter + dx, ring.YCenter + dy}, window);
            break;
        case RingHandle::Outer: {
            const int radius = ring.OuterRadius + dx - dy;
            if (radius < ring.OuterRadius || OuterRadiusFits(radius, ring, window))
                ring.SetOuterRadius(radius);
            break;
        }
        case RingHandle::Inner:
            ring.SetInnerRadius(ring.InnerRadius + dx - dy);
            break;
        case RingHandle::Seam:
        case RingHandle::None:
            break;
    }
    return !(ring == before);
}

WindowPoint SeamMarkerPoint(const RingParams& ring, const RoundDisplay& display,
                            double angleDegrees) {
    const double a = angleDegrees / kDegrees;
    return {display.originX + (ring.XCenter + ring.OuterRadius * std::cos(a)) * display.scale,
            display.originY + (ring.YCenter + ring.OuterRadius * std::sin(a)) * display.scale};
}

bool NearSeamMarker(int windowX, int windowY, const RingParams& ring, const RoundDisplay& display,
                    double angleDegrees) {
    if (display.scale <= 0.0) return false;
    const WindowPoint marker = SeamMarkerPoint(ring, display, angleDegrees);
    return std::hypot(windowX - marker.x, windowY - marker.y) <= kSeamMarkerReach;
}

double AngleAroundCentre(int windowX, int windowY, const RingParams& ring,
                         const RoundDisplay& display) {
    if (display.scale <= 0.0) return 0.0;
    const double x = (windowX - display.originX) / display.scale - ring.XCenter;
    const double y = (windowY - display.originY) / display.scale - ring.YCenter;
    if (x == 0.0 && y == 0.0) return 0.0;
    const double angle = std::atan2(y, x) * kDegrees;
    return angle < 0 ? angle + 360.0 : angle;
}

bool OuterRadiusFits(int distance, const RingParams& ring, const RingWindow& window) {
    const RoundDisplay& bounds = window.fit.scale > 0.0 ? window.fit : window.display;
    const ImagePoint centre = CentreInWindow(ring.XCenter, ring.YCenter, bounds);
    const int halfW = window.clientWidth / 2;
    const int halfH = window.clientHeight / 2;
    const int roomH = std::abs(halfW - std::abs(centre.x - halfW));
    const int roomV = std::abs(halfH - std::abs(centre.y - halfH));
    return static_cast<int>(distance * bounds.scale) < std::min(roomH, roomV);
}

bool MoveCentre(RingParams& ring, ImagePoint point, const RingWindow& window) {
    const RoundDisplay& bounds = window.fit.scale > 0.0 ? window.fit : window.display;
    const ImagePoint p = CentreInWindow(point.x, point.y, bounds);
    const int r = static_cast<int>(ring.OuterRadius * bounds.scale);
    const bool overflowsX = p.x + r > window.clientWidth || p.x - r < 0;
    const bool overflowsY = p.y - r < 0 || p.y + r > window.clientHeight;
    const RingParams before = ring;
    if (!overflowsX) ring.XCenter = point.x;
    if (!overflowsY) ring.YCenter = point.y;
    return !(ring == before);
}

RingHandle RingEditor::Pick(int windowX, int windowY, const RingParams& ring,
                            const RingWindow& window, const double* seamAngle) const {
    const int distance = DistanceFromCentre(WindowToImage(windowX, windowY, window.display), ring);
    const RingHandle handle = PickHandle(distance, ring, HandleTolerance(window));
    if (handle != RingHandle::Centre && seamAngle != nullptr &&
        NearSeamMarker(windowX, windowY, ring, window.display, *seamAngle))
        return RingHandle::Seam;
    return handle;
}

bool RingEditor::Press(int windowX, int windowY, RingParams& ring, const RingWindow& window,
                       double* seamAngle) {
    dragging_ = false;
    const RingHandle handle = Pick(windowX, windowY, ring, window, seamAngle);
    bool repaint = false;
    if (handle != RingHandle::None) {
        grabbed_ = handle;
        if (handle != RingHandle::Seam) selected_ = handle;
        cursorState_ = kJustGrabbed;
        picking_ = false;
        repaint = true;
    }
    dragging_ = true;
    return repaint;
}

bool RingEditor::Move(int windowX, int windowY, RingParams& ring, const RingWindow& window,
                      double* seamAngle) {
    cursorState_ = kPlain;
    const ImagePoint point = WindowToImage(windowX, windowY, window.display);
    const int distance = DistanceFromCentre(point, ring);
    if (picking_ && Pick(windowX, windowY, ring, window, seamAngle) != RingHandle::None)
        cursorState_ = kOverHandle;
    if (!dragging_) return true;
    if (!picking_) {
        switch (grabbed_) {
            case RingHandle::Inner:
                ring.SetInnerRadius(distance);
                break;
            case RingHandle::Outer:
                if (OuterRadiusFits(distance, ring, window)) ring.SetOuterRadius(distance);
                break;
            case RingHandle::Centre:
                MoveCentre(ring, point, window);
                break;
            case RingHandle::Seam:
                if (seamAngle != nullptr)
                    *seamAngle = AngleAroundCentre(windowX, windowY, ring, window.display);
                break;
            case RingHandle::None:
                break;
        }
    } else if (distance < HandleTolerance(window)) {
        ring.XCenter = point.x;
        ring.YCenter = point.y;
        cursorState_ = kPlain;
    }
    return true;
}

void RingEditor::Release() {
    dragging_ = false;
    picking_ = true;
}

}  // namespace orbelune
