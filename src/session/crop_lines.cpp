#include "session/crop_lines.h"

#include <cstdlib>

namespace orbelune {

bool CropLines::Init(int imageHeight) {
    if (imageHeight <= 0) return false;
    shown_ = true;
    Reset(imageHeight);
    return true;
}

void CropLines::Reset(int imageHeight) {
    top_ = 0;
    bottom_ = imageHeight - 1;
}

bool CropLines::Press(int row) {
    shown_ = true;
    drag_ = kNone;
    if (std::abs(top_ - row) < kGrabRows) {
        drag_ = kTop;
    } else if (std::abs(bottom_ - row) < kGrabRows) {
        drag_ = kBottom;
    }
    return drag_ != kNone;
}

bool CropLines::Move(int row) {
    if (!shown_ || drag_ == kNone) return false;
    (drag_ == kTop ? top_ : bottom_) = row;
    return true;
}

void CropLines::Release(int imageHeight) {
    if (shown_) {
        if (drag_ == kTop) {
            if (top_ < 0) {
                top_ = 0;
            } else if (top_ > bottom_) {
                top_ = bottom_ / 2;
            }
        } else if (drag_ == kBottom) {
            if (bottom_ >= imageHeight) {
                bottom_ = imageHeight - 1;
            } else if (bottom_ < top_) {
                bottom_ = top_ + (imageHeight - top_) / 2;
                if (bottom_ > imageHeight - 1) bottom_ = imageHeight - 1;
            }
        }
    }
    drag_ = kNone;
}

int RowFromWindowY(int y, double verticalScale) {
    if (verticalScale <= 0.0) return 0;
    return static_cast<int>(y / verticalScale);
}

}  // namespace orbelune
