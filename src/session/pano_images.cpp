#include "session/pano_images.h"

#include "image/image_ops.h"

namespace orbelune {

void PanoImages::FreeAll() {
    current.FreePixels();
    base.FreePixels();
    undo.FreePixels();
}

CropOutcome CropToLines(PanoImages& images, int top, int bottom) {
    if (images.base.empty()) return CropOutcome::NotReady;
    const int width = images.base.width();
    const int height = images.base.height();
    if (bottom < top || top < 0 || bottom >= height) return CropOutcome::InvalidLines;

    RgbImage cropped;
    if (cropped.AllocatePixels(width, bottom - top + 1) != err::kNone)
        return CropOutcome::OutOfMemory;
    if (!CopyRect(images.base.data(), cropped.data(), width, height, 3, 0, top, width,
                  bottom + 1)) {
        return CropOutcome::InvalidLines;
    }
    RgbImage shown;
    if (shown.CopyImage(cropped) != err::kNone) return CropOutcome::OutOfMemory;

    images.undo = std::move(images.base);
    images.base = std::move(cropped);
    images.current = std::move(shown);
    return CropOutcome::Cropped;
}

bool UndoCrop(PanoImages& images) {
    if (images.undo.width() <= 0 || images.undo.height() <= 0) return false;
    images.current = std::move(images.undo);
    images.undo.FreePixels();
    return TakeBase(images) == err::kNone;
}

ImageError TakeBase(PanoImages& images) {
    if (images.current.empty()) return err::kBadParam;
    return images.base.CopyImage(images.current);
}

ImageError ApplyAdjustments(PanoImages& images, const PanoAdjustments& adjustments) {
    if (images.base.empty()) return err::kBadParam;
    return ApplyAdjustmentsTo(images.base, adjustments, images.current);
}

}  // namespace orbelune
