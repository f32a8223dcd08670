#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "image/image_error.h"

namespace orbelune {

// Progress callback: (row index, row count) -> keep going. Installed per thread.
using ImageProgress = std::function<bool(int row, int rowCount)>;

// Per-thread state of the image layer.
[[nodiscard]] ImageError LastImageError();
void SetLastImageError(ImageError code);
// The system's reason (an errno value) for the calling thread's last failed
// file operation; 0 when there is none. The outermost operation starts with
// none, and a result that is not a file error drops it.
int LastSystemError();
void SetLastSystemError(int error);
// errno-like value for an input that exists but is not a regular file.
inline constexpr int kNotRegularFile = -1;
// The system's reason for file errors when there is one ("No such file or
// directory"), else the layer's text (ImageErrorText).
std::string ImageErrorReason(ImageError code);
// "<file>: <reason>".
std::string FileErrorMessage(const std::string& file, ImageError code);
// For message boxes: the layer's text (ImageErrorText), followed on a line of
// its own by "<file>: <reason>" when the system gave a reason.
std::string ImageErrorTextFor(const std::string& file, ImageError code);
void SetImageProgress(ImageProgress callback);  // empty to remove
bool HasImageProgress();

// Largest picture the layer accepts: checked in 64-bit before any allocation.
inline constexpr std::int64_t kMaxImagePixels = std::int64_t{1} << 30;
inline constexpr int kMaxImageSide = 1 << 20;
// Lowers the pixel limit (fuzzers keep memory small); 0 restores kMaxImagePixels.
void SetImagePixelLimit(std::int64_t pixels);
std::int64_t ImagePixelLimit();

// kNone when w x h pixels may be allocated, kNoMemory when the size is over the
// limits (or not positive) or its pixels alone exceed the decoding budget.
[[nodiscard]] ImageError CheckImageSize(std::int64_t width, std::int64_t height);

// Bytes one decoding may use (its picture and the decoder's own buffers): the
// ORBELUNE_MAX_MEMORY environment variable (bytes, or with a K, M or G suffix)
// when set, else the larger of 4 GiB and half the machine's memory.
std::uint64_t DecodeMemoryBudget();
// Overrides the budget (tests); 0 goes back to the default.
void SetDecodeMemoryBudget(std::uint64_t bytes);
// kNone when a decoding needing `bytes` in all fits the budget, else kNoMemory.
[[nodiscard]] ImageError CheckDecodeMemory(std::uint64_t bytes);
// Parses a budget as ORBELUNE_MAX_MEMORY gives it; 0 when it is not one.
std::uint64_t ParseMemorySize(const char* text);

// One image-layer operation on the calling thread: raises the nesting depth for
// its lifetime, so that only the outermost operation reports progress.
class ImageOperation {
public:
    ImageOperation();
    ~ImageOperation();
    ImageOperation(const ImageOperation&) = delete;
    ImageOperation& operator=(const ImageOperation&) = delete;

    bool IsOutermost() const { return outermost_; }
    // Reports one processed row; false when the callback asked to stop.
    [[nodiscard]] bool Progress(int row, int rowCount) const;
    // Sets the last error and returns the code, for `return op.Fail(...)`.
    ImageError Fail(ImageError code) const;
    ImageError Succeed() const;

    // An encoder that keeps a whole-image buffer of its own calls this once
    // source rows [first, end) will not be read again; a caller that is done
    // with the picture can then hand their memory back early.
    void RowsEncoded(int first, int end) const {
        if (rowsEncoded_) rowsEncoded_(first, end);
    }
    void OnRowsEncoded(std::function<void(int, int)> hook) { rowsEncoded_ = std::move(hook); }

private:
    bool outermost_;
    std::function<void(int, int)> rowsEncoded_;
};

}  // namespace orbelune
