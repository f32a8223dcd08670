#include "app/logic/round_geometry.h"

#include <cmath>
#include <cstdlib>

#include "image/image_ops.h"

namespace orbelune {

RoundDisplay FitRoundDisplay(int imageWidth, int imageHeight, int clientWidth, int clientHeight) {
    RoundDisplay display;
    if (imageWidth <= 0 || imageHeight <= 0) return display;
    const DisplaySize size =
        FitDisplaySize(imageWidth, imageHeight, clientWidth, clientHeight, false);
    display.width = size.width;
    display.height = size.height;
    display.scale = static_cast<double>(size.width) / imageWidth;
    return display;
}

ImagePoint WindowToImage(int windowX, int windowY, double scale) {
    if (scale <= 0.0) return {};
    return {static_cast<int>(windowX / scale), static_cast<int>(windowY / scale)};
}

int DistanceFromCentre(ImagePoint point, const RingParams& ring) {
    const double dx = static_cast<double>(point.x) - ring.XCenter;
    const double dy = static_cast<double>(point.y) - ring.YCenter;
    return static_cast<int>(std::sqrt(dy * dy + dx * dx));
}

namespace {

bool NearCircle(int distance, int radius) {
    const long long low = std::llabs(static_cast<long long>(radius) - kHandleTolerance);
    const long long high = std::llabs(static_cast<long long>(radius) + kHandleTolerance);
    return low < distance && distance < high;
}

double StretchX(const RingWindow& w) {
    return w.imageWidth > 0 ? static_cast<double>(w.clientWidth) / w.imageWidth : 0.0;
}
double StretchY(const RingWindow& w) {
    return w.imageHeight > 0 ? static_cast<double>(w.clientHeight) / w.imageHeight : 0.0;
}

}  // namespace

RingHandle PickHandle(int distance, const RingParams& ring) {
    if (distance < kHandleTolerance) return RingHandle::Centre;
    if (NearCircle(distance, ring.OuterRadius)) return RingHandle::Outer;
    if (NearCircle(distance, ring.InnerRadius)) return RingHandle::Inner;
    return RingHandle::None;
}

bool OuterRadiusFits(int distance, const RingParams& ring, const RingWindow& window) {
    const double sx = StretchX(window);
    const double sy = StretchY(window);
    const int halfW = window.clientWidth / 2;
    const int halfH = window.clientHeight / 2;
    const int px = static_cast<int>(ring.XCenter * sx);
    const int py = static_cast<int>(ring.YCenter * sy);
    const int roomH = std::abs(halfW - std::abs(px - halfW));
    const int roomV = std::abs(halfH - std::abs(py - halfH));
    if (roomV < roomH) return static_cast<int>(distance * sy) < roomV;
    return static_cast<int>(distance * sx) < roomH;
}

bool MoveCentre(RingParams& ring, ImagePoint point, const RingWindow& window) {
    const int px = static_cast<int>(point.x * StretchX(window));
    const int py = static_cast<int>(point.y * StretchY(window));
    const int r = static_cast<int>(ring.OuterRadius * window.scale);
    const bool overflowsX = px + r > window.clientWidth || px - r < 0;
    const bool overflowsY = py - r < 0 || py + r > window.clientHeight;
    const RingParams before = ring;
    if (!overflowsX) ring.XCenter = point.x;
    if (!overflowsY) ring.YCenter = point.y;
    return !(ring == before);
}

bool RingEditor::Press(int windowX, int windowY, RingParams& ring, const RingWindow& window) {
    dragging_ = false;
    const int distance = DistanceFromCentre(WindowToImage(windowX, windowY, window.scale), ring);
    const RingHandle handle = PickHandle(distance, ring);
    bool repaint = false;
    if (handle != RingHandle::None) {
        grabbed_ = handle;
        cursorState_ = kJustGrabbed;
        picking_ = false;
        repaint = true;
    }
    dragging_ = true;
    return repaint;
}

bool RingEditor::Move(int windowX, int windowY, RingParams& ring, const RingWindow& window) {
    cursorState_ = kPlain;
    const ImagePoint point = WindowToImage(windowX, windowY, window.scale);
    const int distance = DistanceFromCentre(point, ring);
    if (picking_ && PickHandle(distance, ring) != RingHandle::None) cursorState_ = kOverHandle;
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
            case RingHandle::None:
                break;
        }
    } else if (distance < kHandleTolerance) {
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
