#pragma once

namespace orbelune {

// The two horizontal crop lines of the panorama window, in image rows.
class CropLines {
public:
    enum DragState { kNone = 0, kTop = 3, kBottom = 4 };

    // Rows within this distance of a line take it.
    static constexpr int kGrabRows = 80;

    // Shows the lines on the whole picture; false when it has no rows.
    bool Init(int imageHeight);
    // Back to the whole picture; shown or not stays as it was.
    void Reset(int imageHeight);
    // Hidden, both at row 0, nothing taken.
    void Clear() { *this = CropLines(); }

    // Shows the lines and takes the one near `row` (the top line first); true when one was taken.
    bool Press(int row);
    // Moves the taken line; true when something moved.
    bool Move(int row);
    // Puts the released line back inside the picture and in order.
    void Release(int imageHeight);

    int top() const { return top_; }
    int bottom() const { return bottom_; }
    bool shown() const { return shown_; }
    DragState dragState() const { return drag_; }
    void Set(int top, int bottom) {
        top_ = top;
        bottom_ = bottom;
    }

private:
    DragState drag_ = kNone;
    int top_ = 0;
    int bottom_ = 0;
    bool shown_ = false;
};

// Window y to image row for a display stretched by `verticalScale`.
int RowFromWindowY(int y, double verticalScale);

}  // namespace orbelune
