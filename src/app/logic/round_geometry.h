#pragma once

#include "unwarp/ring_params.h"

namespace orbelune {

// How the raw photograph sits in the round view's window: drawn at the top-left
// corner, fitted by its orientation only (the other side may overflow).
struct RoundDisplay {
    int width = 0;
    int height = 0;
    double scale = 0.0;  // display width / image width
};
RoundDisplay FitRoundDisplay(int imageWidth, int imageHeight, int clientWidth, int clientHeight);

struct ImagePoint {
    int x = 0;
    int y = 0;
};
// Window pixels to raw-image pixels (truncating); the origin when scale is 0.
ImagePoint WindowToImage(int windowX, int windowY, double scale);
// Whole raw-image pixels between the point and the ring centre (truncated).
int DistanceFromCentre(ImagePoint point, const RingParams& ring);

// Tolerance around every handle, in raw-image pixels.
inline constexpr int kHandleTolerance = 40;

enum class RingHandle { None = -1, Centre = 0, Outer = 1, Inner = 2 };
// The first handle within reach, in the order centre, outer circle, inner circle.
RingHandle PickHandle(int distance, const RingParams& ring);

// The window the ring is edited in, with the image shown in it.
struct RingWindow {
    int imageWidth = 0;
    int imageHeight = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    double scale = 0.0;
};

// Whether an outer radius of `distance` still stays inside the window edge
// nearest to the centre (measured with the window-to-image stretch factors).
bool OuterRadiusFits(int distance, const RingParams& ring, const RingWindow& window);

// Moves the centre to `point` on each axis along which the outer circle still
// stays inside the window; true when anything changed.
bool MoveCentre(RingParams& ring, ImagePoint point, const RingWindow& window);

// The pointer rules of the ring editor, free of any window.
class RingEditor {
public:
    enum CursorState { kJustGrabbed = 0, kOverHandle = 1, kPlain = 2 };

    // Each returns true when the overlay must be repainted.
    bool Press(int windowX, int windowY, RingParams& ring, const RingWindow& window);
    bool Move(int windowX, int windowY, RingParams& ring, const RingWindow& window);
    void Release();
    void Reset() { *this = RingEditor(); }

    bool dragging() const { return dragging_; }
    bool picking() const { return picking_; }
    RingHandle grabbed() const { return picking_ ? RingHandle::None : grabbed_; }
    CursorState cursorState() const { return cursorState_; }

private:
    bool dragging_ = false;
    bool picking_ = true;
    RingHandle grabbed_ = RingHandle::None;
    CursorState cursorState_ = kPlain;
};

}  // namespace orbelune
