#pragma once

#include "unwarp/ring_params.h"

namespace orbelune {

// How the raw photograph sits in the round view's window: the photograph and
// a margin around it (a quarter of its shorter side on every side, where the
// rim of a mirror cut off by the frame lies) fitted wholly into the window and
// centred in it.
struct RoundDisplay {
    int width = 0;  // the photograph's display size
    int height = 0;
    int originX = 0;  // window position of the photograph's top-left corner
    int originY = 0;
    double scale = 0.0;  // display width / image width
};
RoundDisplay FitRoundDisplay(int imageWidth, int imageHeight, int clientWidth, int clientHeight);

struct ImagePoint {
    int x = 0;
    int y = 0;
};
// Window pixels to raw-image pixels (rounded down, so that points left of or
// above the photograph are negative); the origin when the scale is 0.
ImagePoint WindowToImage(int windowX, int windowY, const RoundDisplay& display);
// Whole raw-image pixels between the point and the ring centre (truncated).
int DistanceFromCentre(ImagePoint point, const RingParams& ring);

// Tolerance around every handle, in raw-image pixels at the fitted scale.
inline constexpr int kHandleTolerance = 40;
// The least reach of a handle on screen, so that a large photograph's handles
// can still be grabbed at the fitted scale.
inline constexpr double kMinHandleReach = 8.0;
// The largest zoom of the round view (screen pixels per image pixel).
inline constexpr double kMaxRoundZoom = 8.0;
// How near (window pixels) the pointer must come to the seam marker.
inline constexpr int kSeamMarkerReach = 8;

enum class RingHandle { None = -1, Centre = 0, Outer = 1, Inner = 2, Seam = 3 };
// The first handle within reach, in the order centre, outer circle, inner circle.
RingHandle PickHandle(int distance, const RingParams& ring);
RingHandle PickHandle(int distance, const RingParams& ring, int tolerance);

// The view zoomed to `scale` (kept between the fitted scale and kMaxRoundZoom)
// so that the image point under (anchorX, anchorY) stays there; the fitted
// display itself when the scale comes down to it.
RoundDisplay ZoomRoundDisplay(const RoundDisplay& view, const RoundDisplay& fit, int imageWidth,
                              int imageHeight, double scale, int anchorX, int anchorY);
// The view moved by (dx, dy) window pixels; the photograph keeps covering the
// window's centre point.
RoundDisplay PanRoundDisplay(const RoundDisplay& view, int dx, int dy, int clientWidth,
                             int clientHeight);

// The window the ring is edited in, with the image shown in it.
struct RingWindow {
    int imageWidth = 0;
    int imageHeight = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    RoundDisplay display;  // how the photograph is shown now (zoomed and panned)
    // The fitted display, which bounds where the ring may go; when unset the
    // shown display is the fitted one.
    RoundDisplay fit;
};

// The handle tolerance in raw-image pixels for the window's zoom: the same
// screen distance at every zoom.
int HandleTolerance(const RingWindow& window);

// Moves the handle by (dx, dy) image pixels: the centre along both axes, a
// circle's radius by dx - dy (right and up grow it), within the editing
// limits; true when anything changed.
bool NudgeHandle(RingParams& ring, RingHandle handle, int dx, int dy, const RingWindow& window);

// Where the seam marker sits in the window: on the outer circle at the angle
// (degrees, 0 towards increasing x, 90 towards increasing y).
struct WindowPoint {
    double x = 0;
    double y = 0;
};
WindowPoint SeamMarkerPoint(const RingParams& ring, const RoundDisplay& display,
                            double angleDegrees);
bool NearSeamMarker(int windowX, int windowY, const RingParams& ring, const RoundDisplay& display,
                    double angleDegrees);
// The angle of a window point around the ring centre, in degrees 0..360.
double AngleAroundCentre(int windowX, int windowY, const RingParams& ring,
                         const RoundDisplay& display);

// Whether an outer radius of `distance` still stays inside the window edge
// nearest to the centre.
bool OuterRadiusFits(int distance, const RingParams& ring, const RingWindow& window);

// Moves the centre to `point` on each axis along which the outer circle still
// stays inside the window; true when anything changed.
bool MoveCentre(RingParams& ring, ImagePoint point, const RingWindow& window);

// The pointer rules of the ring editor, free of any window. With a seam
// angle (degrees) the seam marker on the outer circle can be grabbed too,
// after the centre and before the circles, and dragged around the circle.
class RingEditor {
public:
    enum CursorState { kJustGrabbed = 0, kOverHandle = 1, kPlain = 2 };

    // Each returns true when the overlay must be repainted.
    bool Press(int windowX, int windowY, RingParams& ring, const RingWindow& window,
               double* seamAngle = nullptr);
    bool Move(int windowX, int windowY, RingParams& ring, const RingWindow& window,
              double* seamAngle = nullptr);
    void Release();
    void Reset() { *this = RingEditor(); }

    bool dragging() const { return dragging_; }
    bool picking() const { return picking_; }
    RingHandle grabbed() const { return picking_ ? RingHandle::None : grabbed_; }
    // The handle the keys move: the last one grabbed, the centre at first.
    RingHandle selected() const { return selected_; }
    CursorState cursorState() const { return cursorState_; }

private:
    RingHandle Pick(int windowX, int windowY, const RingParams& ring, const RingWindow& window,
                    const double* seamAngle) const;

    bool dragging_ = false;
    bool picking_ = true;
    RingHandle grabbed_ = RingHandle::None;
    RingHandle selected_ = RingHandle::Centre;
    CursorState cursorState_ = kPlain;
};

}  // namespace orbelune
