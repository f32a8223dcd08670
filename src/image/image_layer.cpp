#include "image/image_layer.h"

#include <atomic>
#include <utility>

namespace orbelune {

namespace {

struct ThreadState {
    ImageError lastError = err::kNone;
    ImageProgress progress;
    int depth = 0;
};

ThreadState& State() {
    thread_local ThreadState state;
    return state;
}

}  // namespace

ImageError LastImageError() { return State().lastError; }
void SetLastImageError(ImageError code) { State().lastError = code; }
void SetImageProgress(ImageProgress callback) { State().progress = std::move(callback); }
bool HasImageProgress() { return static_cast<bool>(State().progress); }

namespace {
std::atomic<std::int64_t> g_pixelLimit{kMaxImagePixels};
}

void SetImagePixelLimit(std::int64_t pixels) {
    g_pixelLimit = pixels > 0 && pixels < kMaxImagePixels ? pixels : kMaxImagePixels;
}

std::int64_t ImagePixelLimit() { return g_pixelLimit.load(); }

ImageError CheckImageSize(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) return err::kNoMemory;
    if (width > kMaxImageSide || height > kMaxImageSide) return err::kNoMemory;
    if (width * height > g_pixelLimit.load()) return err::kNoMemory;
    return err::kNone;
}

ImageOperation::ImageOperation() : outermost_(++State().depth == 1) {}

ImageOperation::~ImageOperation() { --State().depth; }

bool ImageOperation::Progress(int row, int rowCount) const {
    if (!outermost_) return true;
    const ImageProgress& callback = State().progress;
    return !callback || callback(row, rowCount);
}

ImageError ImageOperation::Fail(ImageError code) const {
    SetLastImageError(code);
    return code;
}

ImageError ImageOperation::Succeed() const {
    SetLastImageError(err::kNone);
    return err::kNone;
}

}  // namespace orbelune
