#include "image/image_layer.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace orbelune {

namespace {

struct ThreadState {
    ImageError lastError = err::kNone;
    int systemError = 0;
    ImageProgress progress;
    int depth = 0;
};

ThreadState& State() {
    thread_local ThreadState state;
    return state;
}

bool IsFileError(ImageError code) {
    return code == err::kFileOpen || code == err::kFileRead || code == err::kFileWrite;
}

}  // namespace

ImageError LastImageError() {
    return State().lastError;
}
void SetLastImageError(ImageError code) {
    State().lastError = code;
    if (!IsFileError(code)) State().systemError = 0;
}
int LastSystemError() {
    return State().systemError;
}
void SetLastSystemError(int error) {
    State().systemError = error;
}

std::string FileErrorMessage(const std::string& file, ImageError code) {
    return file + ": " + ImageErrorReason(code);
}

std::string ImageErrorTextFor(const std::string& file, ImageError code) {
    std::string text = ImageErrorText(code);
    if (IsFileError(code) && State().systemError != 0)
        text += "\n\n" + FileErrorMessage(file, code);
    return text;
}

std::string ImageErrorReason(ImageError code) {
    const int error = State().systemError;
    std::string reason;
    if (IsFileError(code) && error == kNotRegularFile) {
        reason = "not a regular file";
    } else if (IsFileError(code) && error > 0) {
        char buffer[256] = {};
        // The GNU strerror_r returns its text, not always in the buffer.
        reason = ::strerror_r(error, buffer, sizeof buffer);
    } else {
        reason = ImageErrorText(code);
    }
    return reason;
}
void SetImageProgress(ImageProgress callback) {
    State().progress = std::move(callback);
}
bool HasImageProgress() {
    return static_cast<bool>(State().progress);
}

namespace {
std::atomic<std::int64_t> g_pixelLimit{kMaxImagePixels};
}

void SetImagePixelLimit(std::int64_t pixels) {
    g_pixelLimit = pixels > 0 && pixels < kMaxImagePixels ? pixels : kMaxImagePixels;
}

std::int64_t ImagePixelLimit() {
    return g_pixelLimit.load();
}

ImageError CheckImageSize(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) return err::kNoMemory;
    if (width > kMaxImageSide || height > kMaxImageSide) return err::kNoMemory;
    if (width * height > g_pixelLimit.load()) return err::kNoMemory;
    return CheckDecodeMemory(static_cast<std::uint64_t>(width * height) * 3);
}

std::uint64_t ParseMemorySize(const char* text) {
    if (text == nullptr) return 0;
    std::uint64_t value = 0;
    const char* p = text;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (value > (std::uint64_t{1} << 50)) return 0;
        value = value * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    if (p == text) return 0;
    int shift = 0;
    switch (*p) {
        case 'k':
        case 'K':
            shift = 10;
            break;
        case 'm':
        case 'M':
            shift = 20;
            break;
        case 'g':
        case 'G':
            shift = 30;
            break;
        case '\0':
            break;
        default:
            return 0;
    }
    if (shift != 0 && *++p != '\0') return 0;
    if (value > (std::uint64_t{1} << (62 - shift))) return 0;
    return value << shift;
}

namespace {

std::uint64_t DefaultMemoryBudget() {
    const std::uint64_t fromEnvironment = ParseMemorySize(std::getenv("ORBELUNE_MAX_MEMORY"));
    if (fromEnvironment != 0) return fromEnvironment;
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    const std::uint64_t half =
        pages > 0 && pageSize > 0
            ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2
            : 0;
    return std::max(std::uint64_t{4} << 30, half);
}

// Read once: the environment does not change under a running decode.
const std::uint64_t g_defaultBudget = DefaultMemoryBudget();
std::atomic<std::uint64_t> g_budget{0};

}  // namespace

std::uint64_t DecodeMemoryBudget() {
    const std::uint64_t set = g_budget.load();
    return set != 0 ? set : g_defaultBudget;
}

void SetDecodeMemoryBudget(std::uint64_t bytes) {
    g_budget = bytes;
}

ImageError CheckDecodeMemory(std::uint64_t bytes) {
    return bytes <= DecodeMemoryBudget() ? err::kNone : err::kNoMemory;
}

ImageOperation::ImageOperation() : outermost_(++State().depth == 1) {
    if (outermost_) State().systemError = 0;
}

ImageOperation::~ImageOperation() {
    --State().depth;
}

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
