#pragma once

#include "image/adjustments.h"
#include "image/image_error.h"
#include "image/rgb_image.h"

namespace orbelune {

// The panorama window's pictures: `current` is shown and saved, `base` is the
// unadjusted panorama every adjustment starts from, `undo` is the base from
// before the last crop (empty when there is nothing to undo).
struct PanoImages {
    explicit PanoImages(RgbImage& shown) : current(shown) {}

    RgbImage& current;  // owned by whoever shows it
    RgbImage base;
    RgbImage undo;

    void FreeAll();
};

enum class CropOutcome { Cropped, NotReady, InvalidLines, OutOfMemory };

// Keeps rows top..bottom (inclusive) of the base; the old base becomes the undo
// image and the current image a copy of the new base. Nothing changes unless
// the outcome is Cropped.
[[nodiscard]] CropOutcome CropToLines(PanoImages& images, int top, int bottom);

// Current and base go back to the image before the last crop; false when there
// is nothing to undo. One level only: the undo image is used up.
[[nodiscard]] bool UndoCrop(PanoImages& images);

// The current image becomes the new unadjusted base.
[[nodiscard]] ImageError TakeBase(PanoImages& images);

// Current = base with the adjustments applied; the base is never changed.
// kBadParam when there is no base.
[[nodiscard]] ImageError ApplyAdjustments(PanoImages& images, const PanoAdjustments& adjustments);

}  // namespace orbelune
