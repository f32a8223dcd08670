#include "image/image_ops.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/image_layer.h"
#include "image/parallel.h"
#include "image/rgb_image.h"

namespace orbelune {

namespace {

std::function<bool(int, int)> ProgressOf(const ImageOperation& op) {
    return [&op](int row, int rowCount) { return op.Progress(row, rowCount); };
}

// Where one destination column (or row) samples the source: the two neighbours
// and the weight of the second one.
struct SamplePosition {
    int first = 0;
    int second = 0;
    double fraction = 0.0;
};

SamplePosition PositionFor(int index, double scale, int sourceSize) {
    const double last = static_cast<double>(sourceSize - 1);
    double position = static_cast<double>(index) * scale;
    if (position > last) position = last;
    SamplePosition sample;
    sample.first = static_cast<int>(position);  // position >= 0, so this is the floor
    sample.fraction = position - static_cast<double>(sample.first);
    sample.second = std::min(sample.first + 1, sourceSize - 1);
    return sample;
}

// The blend of two samples as a + f x (b - a): a flat area stays exactly flat,
// where a x (1 - f) + b x f can round 255 down to 254.9999 and truncate to 254.
inline double Blend(double a, double b, double fraction) {
    return a + fraction * (b - a);
}

// The resample proper; progress goes through `op`, so that ResizeImage reports
// the rows as its own.
bool Resample(const ImageOperation& op, const std::uint8_t* source, int sourceWidth,
              int sourceHeight, std::uint8_t* destination, int destinationWidth,
              int destinationHeight) {
    if (source == nullptr || destination == nullptr || source == destination || sourceWidth <= 0 ||
        sourceHeight <= 0 || destinationWidth <= 0 || destinationHeight <= 0) {
        op.Fail(err::kBadParam);
        return false;
    }
    const double columnScale =
        static_cast<double>(sourceWidth) / static_cast<double>(destinationWidth);
    const double rowScale =
        static_cast<double>(sourceHeight) / static_cast<double>(destinationHeight);

    // Per-column positions once per call; the values are those of the per-pixel formula.
    std::vector<SamplePosition> columns(static_cast<std::size_t>(destinationWidth));
    for (int x = 0; x < destinationWidth; ++x) {
        columns[static_cast<std::size_t>(x)] = PositionFor(x, columnScale, sourceWidth);
    }
    const std::size_t sourceStride = static_cast<std::size_t>(sourceWidth) * 3;
    const std::size_t destinationStride = static_cast<std::size_t>(destinationWidth) * 3;

    // One source row blended across: the horizontal step of every destination
    // row that samples it. Consecutive destination rows share source rows when
    // enlarging, so a blended row is kept and reused rather than recomputed.
    auto blendRow = [&](int sourceRow, std::vector<double>& blended) {
        const std::uint8_t* line = source + sourceStride * static_cast<std::size_t>(sourceRow);
        double* out = blended.data();
        for (const SamplePosition& column : columns) {
            const std::uint8_t* left = line + static_cast<std::size_t>(column.first) * 3;
            const std::uint8_t* right = line + static_cast<std::size_t>(column.second) * 3;
            for (int c = 0; c < 3; ++c)
                *out++ = Blend(left[c], right[c], column.fraction);
        }
    };
    auto body = [&](int firstRow, int endRow) {
        // Per thread, so that the row-by-row serial path does not allocate per row.
        thread_local std::vector<double> upper;
        thread_local std::vector<double> lower;
        upper.resize(destinationStride);
        lower.resize(destinationStride);
        int upperRow = -1;
        int lowerRow = -1;
        for (int y = firstRow; y < endRow; ++y) {
            const SamplePosition rowSample = PositionFor(y, rowScale, sourceHeight);
            if (rowSample.first != upperRow) {
                if (rowSample.first == lowerRow) {
                    std::swap(upper, lower);
                    lowerRow = -1;
                } else {
                    blendRow(rowSample.first, upper);
                }
                upperRow = rowSample.first;
            }
            if (rowSample.second != lowerRow) {
                blendRow(rowSample.second, lower);
                lowerRow = rowSample.second;
            }
            std::uint8_t* out = destination + destinationStride * static_cast<std::size_t>(y);
            const double fy = rowSample.fraction;
            for (std::size_t i = 0; i < destinationStride; ++i) {
                out[i] = static_cast<std::uint8_t>(
                    std::clamp(Blend(upper[i], lower[i], fy), 0.0, 255.0));
            }
        }
    };
    if (!ParallelRows(destinationHeight, static_cast<std::int64_t>(destinationStride), body,
                      ProgressOf(op))) {
        op.Fail(err::kAborted);
        return false;
    }
    op.Succeed();
    return true;
}

}  // namespace

bool CopyRect(const std::uint8_t* source, std::uint8_t* destination, int sourceWidth,
              int sourceHeight, int bytesPerPixel, int left, int top, int right, int bottom) {
    ImageOperation op;
    // Besides the documented refusals, a rectangle reaching outside the source
    // is refused too: it would read past the rows.
    if (source == nullptr || destination == nullptr || source == destination || left >= right ||
        top >= bottom || bytesPerPixel <= 0 || left < 0 || top < 0 || right > sourceWidth ||
        bottom > sourceHeight) {
        op.Fail(err::kBadParam);
        return false;
    }
    const std::size_t sourceStride = static_cast<std::size_t>(sourceWidth) * bytesPerPixel;
    const std::size_t rowBytes = static_cast<std::size_t>(right - left) * bytesPerPixel;
    const std::size_t leftBytes = static_cast<std::size_t>(left) * bytesPerPixel;
    const int rows = bottom - top;
    auto body = [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            std::memcpy(destination + rowBytes * static_cast<std::size_t>(y),
                        source + sourceStride * static_cast<std::size_t>(top + y) + leftBytes,
                        rowBytes);
        }
    };
    if (!ParallelRows(rows, static_cast<std::int64_t>(rowBytes), body, ProgressOf(op))) {
        op.Fail(err::kAborted);
        return false;
    }
    op.Succeed();
    return true;
}

bool ResampleBilinear(const std::uint8_t* source, int sourceWidth, int sourceHeight,
                      std::uint8_t* destination, int destinationWidth, int destinationHeight) {
    ImageOperation op;
    return Resample(op, source, sourceWidth, sourceHeight, destination, destinationWidth,
                    destinationHeight);
}

DisplaySize FitDisplaySize(int sourceWidth, int sourceHeight, int boxWidth, int boxHeight,
                           bool exact) {
    if (exact) return {boxWidth, boxHeight};
    if (sourceWidth <= 0 || sourceHeight <= 0) return {};
    const double aspect = static_cast<double>(sourceWidth) / static_cast<double>(sourceHeight);
    DisplaySize size;
    if (sourceWidth < sourceHeight) {
        size.height = boxHeight;
        size.width = static_cast<int>(static_cast<double>(boxHeight) * aspect);
    } else {
        size.width = boxWidth;
        size.height = static_cast<int>(static_cast<double>(boxWidth) / aspect);
    }
    // A very long, thin picture still shows as one pixel line, not as nothing.
    if (boxWidth > 0 && boxHeight > 0) {
        size.width = std::max(size.width, 1);
        size.height = std::max(size.height, 1);
    }
    return size;
}

ImageError RgbImage::ResizeImage(int newWidth, int newHeight) {
    ImageOperation op;
    Block resized = AllocateImageBlock(newWidth, newHeight);
    if (!resized) return op.Fail(err::kNoMemory);
    if (empty()) return op.Fail(err::kBadParam);
    if (!Resample(op, pixels_.get(), width_, height_, resized.get(), newWidth, newHeight)) {
        return LastImageError();
    }
    // The resampled block becomes the pixels; the palette stays as it was.
    pixels_ = std::move(resized);
    width_ = newWidth;
    height_ = newHeight;
    lockCount_ = 0;
    return op.Succeed();
}

ImageError RgbImage::MirrorRows() {
    ImageOperation op;
    if (empty()) return op.Fail(err::kBadParam);
    const int width = width_;
    auto body = [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            std::uint8_t* pixels = row(y);
            for (int left = 0, right = width - 1; left < right; ++left, --right) {
                std::swap_ranges(pixels + static_cast<std::size_t>(left) * 3,
                                 pixels + static_cast<std::size_t>(left) * 3 + 3,
                                 pixels + static_cast<std::size_t>(right) * 3);
            }
        }
    };
    if (!ParallelRows(height_, static_cast<std::int64_t>(stride()), body, ProgressOf(op))) {
        return op.Fail(err::kAborted);
    }
    return op.Succeed();
}

ImageError TurnedCopy(const RgbImage& sourceImage, int mode, RgbImage& turnedImage) {
    ImageOperation op;
    if (mode < 0 || mode > 2 || sourceImage.empty() || &sourceImage == &turnedImage)
        return op.Fail(err::kBadParam);
    const int w = sourceImage.width();
    const int h = sourceImage.height();
    const bool quarter = mode != 1;
    const int turnedWidth = quarter ? h : w;
    RgbImage result;
    if (result.AllocatePixels(turnedWidth, quarter ? w : h) != err::kNone)
        return op.Fail(err::kNoMemory);
    const std::uint8_t* source = sourceImage.data();
    std::uint8_t* target = result.data();
    const std::size_t sourceStride = sourceImage.stride();
    const std::size_t turnedStride = static_cast<std::size_t>(turnedWidth) * 3;
    auto body = [&](int first, int end) {
        if (mode == 1) {
            // Source row y becomes turned row h - 1 - y, read backwards.
            for (int y = first; y < end; ++y) {
                const std::uint8_t* from = source + sourceStride * static_cast<std::size_t>(y);
                std::uint8_t* to = target + turnedStride * static_cast<std::size_t>(h - 1 - y);
                for (int x = 0; x < w; ++x) {
                    std::memcpy(to + static_cast<std::size_t>(w - 1 - x) * 3,
                                from + static_cast<std::size_t>(x) * 3, 3);
                }
            }
            return;
        }
        // A quarter turn, column by column within the band of source rows: the
        // writes land next to each other and the band's rows stay in cache.
        for (int x = 0; x < w; ++x) {
            std::uint8_t* to =
                target + turnedStride * static_cast<std::size_t>(mode == 0 ? x : w - 1 - x);
            const std::uint8_t* from = source + static_cast<std::size_t>(x) * 3;
            for (int y = first; y < end; ++y) {
                const int column = mode == 0 ? h - 1 - y : y;
                std::memcpy(to + static_cast<std::size_t>(column) * 3,
                            from + sourceStride * static_cast<std::size_t>(y), 3);
            }
        }
    };
    if (!ParallelRows(h, static_cast<std::int64_t>(sourceStride), body, ProgressOf(op)))
        return op.Fail(err::kAborted);
    turnedImage = std::move(result);
    return op.Succeed();
}

int RgbImage::RotateImage(int mode) {
    // TurnedCopy is the operation proper: it reports the rows and the last error.
    RgbImage turned;
    if (TurnedCopy(*this, mode, turned) != err::kNone) return 0;
    // Copied back rather than swapped, so a pointer from LockPixels stays valid.
    std::memcpy(pixels_.get(), turned.data(), byteCount());
    width_ = turned.width();
    height_ = turned.height();
    return 1;
}

}  // namespace orbelune

namespace orbelune {

namespace {

// Copies a w x h source into an h x w target, source pixel (x, y) landing on
// target row (reverseRows ? w - 1 - x : x), column (reverseColumns ? h - 1 - y : y).
ImageError QuarterCopy(const RgbImage& sourceImage, bool reverseRows, bool reverseColumns,
                       RgbImage& out) {
    ImageOperation op;
    if (sourceImage.empty() || &sourceImage == &out) return op.Fail(err::kBadParam);
    const int w = sourceImage.width();
    const int h = sourceImage.height();
    RgbImage result;
    if (result.AllocatePixels(h, w) != err::kNone) return op.Fail(err::kNoMemory);
    const std::uint8_t* source = sourceImage.data();
    std::uint8_t* target = result.data();
    const std::size_t sourceStride = sourceImage.stride();
    const std::size_t targetStride = static_cast<std::size_t>(h) * 3;
    auto body = [&](int first, int end) {
        // Column by column within the band of source rows, as TurnedCopy does.
        for (int x = 0; x < w; ++x) {
            std::uint8_t* to =
                target + targetStride * static_cast<std::size_t>(reverseRows ? w - 1 - x : x);
            const std::uint8_t* from = source + static_cast<std::size_t>(x) * 3;
            for (int y = first; y < end; ++y) {
                const int column = reverseColumns ? h - 1 - y : y;
                std::memcpy(to + static_cast<std::size_t>(column) * 3,
                            from + sourceStride * static_cast<std::size_t>(y), 3);
            }
        }
    };
    if (!ParallelRows(h, static_cast<std::int64_t>(sourceStride), body, ProgressOf(op)))
        return op.Fail(err::kAborted);
    out = std::move(result);
    return op.Succeed();
}

}  // namespace

ImageError FlipRows(RgbImage& image) {
    ImageOperation op;
    if (image.empty()) return op.Fail(err::kBadParam);
    const int height = image.height();
    const std::size_t stride = image.stride();
    auto body = [&](int first, int end) {
        for (int y = first; y < end; ++y)
            std::swap_ranges(image.row(y), image.row(y) + stride, image.row(height - 1 - y));
    };
    if (!ParallelRows(height / 2, static_cast<std::int64_t>(stride) * 2, body, ProgressOf(op)))
        return op.Fail(err::kAborted);
    return op.Succeed();
}

ImageError TransposedCopy(const RgbImage& source, RgbImage& out) {
    return QuarterCopy(source, false, false, out);
}

ImageError TransversedCopy(const RgbImage& source, RgbImage& out) {
    return QuarterCopy(source, true, true, out);
}

ImageError ApplyOrientation(RgbImage& image, int orientation) {
    RgbImage turned;
    ImageError result = err::kNone;
    switch (orientation) {
        case 2:
            return image.MirrorRows();
        case 3:
            result = TurnedCopy(image, 1, turned);
            break;
        case 4:
            return FlipRows(image);
        case 5:
            result = TransposedCopy(image, turned);
            break;
        case 6:
            result = TurnedCopy(image, 0, turned);
            break;
        case 7:
            result = TransversedCopy(image, turned);
            break;
        case 8:
            result = TurnedCopy(image, 2, turned);
            break;
        default:
            return err::kNone;
    }
    if (result == err::kNone) image = std::move(turned);
    return result;
}

}  // namespace orbelune
