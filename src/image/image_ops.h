#pragma once

#include <cstdint>

#include "image/image_error.h"

namespace orbelune {

// Copies rows top..bottom-1 and columns left..right-1 (right and bottom
// exclusive) of a packed source into a packed destination. False (last error 5)
// when the blocks are the same or null, the rectangle is empty, or it is larger
// than the source.
[[nodiscard]] bool CopyRect(const std::uint8_t* source, std::uint8_t* destination, int sourceWidth,
                            int sourceHeight, int bytesPerPixel, int left, int top, int right,
                            int bottom);

// Bilinear resample of packed 3-byte pixels (see RgbImage::ResizeImage).
// Reports rows through the image-layer progress; false with last error set on failure.
[[nodiscard]] bool ResampleBilinear(const std::uint8_t* source, int sourceWidth, int sourceHeight,
                                    std::uint8_t* destination, int destinationWidth,
                                    int destinationHeight);

class RgbImage;

// `turned` becomes `source` turned as RgbImage::RotateImage turns it (mode 0
// a quarter clockwise, 1 a half turn, 2 a quarter counter-clockwise), without
// a second copy of the source. kBadParam for a bad mode, an empty source or
// the same image on both sides; kNoMemory; kAborted when progress asks to stop.
[[nodiscard]] ImageError TurnedCopy(const RgbImage& source, int mode, RgbImage& turned);

// Reverses the order of the rows (upside down, not turned), in place.
[[nodiscard]] ImageError FlipRows(RgbImage& image);

// `out` becomes `source` reflected over its main diagonal: pixel (x, y) goes to
// (y, x). Same refusals as TurnedCopy.
[[nodiscard]] ImageError TransposedCopy(const RgbImage& source, RgbImage& out);

// `out` becomes `source` reflected over its other diagonal: pixel (x, y) of a
// w x h source goes to (h - 1 - y, w - 1 - x).
[[nodiscard]] ImageError TransversedCopy(const RgbImage& source, RgbImage& out);

// Puts upright a picture stored as EXIF orientation 1 to 8 describes (1: as
// stored, 2: mirrored, 3: half turn, 4: upside down, 5: transposed, 6: a
// quarter clockwise, 7: transversed, 8: a quarter counter-clockwise); other
// values change nothing. The image is replaced only on success.
[[nodiscard]] ImageError ApplyOrientation(RgbImage& image, int orientation);

// Size a picture is shown at inside a box: the exact box, or fitted by the
// picture's orientation only (the other side may exceed the box).
struct DisplaySize {
    int width = 0;
    int height = 0;
};
DisplaySize FitDisplaySize(int sourceWidth, int sourceHeight, int boxWidth, int boxHeight,
                           bool exact);

}  // namespace orbelune
