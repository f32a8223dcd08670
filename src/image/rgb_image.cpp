#include "image/rgb_image.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <utility>

#include "image/image_layer.h"

namespace orbelune {

namespace {

// Asks for transparent huge pages over a large block: filling a 24-megapixel
// picture otherwise costs some 18000 page faults, as much time as decoding it.
void PreferHugePages(void* block, std::size_t bytes) {
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    if (bytes < 2 * kHugePage) return;
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (start + bytes) & ~(kHugePage - 1);
    // Only advice: where the system has no huge pages nothing changes.
    if (last > first) (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace

std::unique_ptr<std::uint8_t[], void (*)(void*)> AllocateImageBlock(int width, int height) {
    std::unique_ptr<std::uint8_t[], void (*)(void*)> block(nullptr, &std::free);
    if (CheckImageSize(width, height) != err::kNone) return block;
    const std::size_t bytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    // calloc: large blocks come zeroed from the system without touching every page.
    block.reset(static_cast<std::uint8_t*>(std::calloc(bytes, 1)));
    if (block) PreferHugePages(block.get(), bytes);
    return block;
}

std::size_t ReleaseImagePages(std::uint8_t* block, std::size_t released, std::size_t done) {
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t from = (start + released + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t to = (start + done) & ~(kHugePage - 1);
    if (to <= from) return released;
    (void)::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
    return to - start;
}

RgbImage::RgbImage(const RgbImage& other) {
    *this = other;
}

RgbImage& RgbImage::operator=(const RgbImage& other) {
    if (this == &other) return *this;
    if (other.empty()) {
        FreePixels();
    } else {
        (void)CopyImage(other);
    }
    if (other.palette_) SetPalette(*other.palette_);
    return *this;
}

RgbImage::RgbImage(RgbImage&& other) noexcept {
    *this = std::move(other);
}

RgbImage& RgbImage::operator=(RgbImage&& other) noexcept {
    if (this == &other) return *this;
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    pixels_ = std::move(other.pixels_);
    other.pixels_ = Block(nullptr, &std::free);
    lockCount_ = std::exchange(other.lockCount_, 0);
    palette_ = std::move(other.palette_);
    return *this;
}

ImageError RgbImage::FreePixels() {
    pixels_.reset();
    width_ = 0;
    height_ = 0;
    lockCount_ = 0;
    palette_.reset();
    return err::kNone;
}

ImageError RgbImage::AllocatePixels(int width, int height) {
    FreePixels();
    Block block = AllocateImageBlock(width, height);
    if (!block) return err::kNoMemory;
    pixels_ = std::move(block);
    width_ = width;
    height_ = height;
    return err::kNone;
}

void RgbImage::AdoptPixels(Block block, int width, int height) {
    FreePixels();
    if (!block) return;
    pixels_ = std::move(block);
    width_ = width;
    height_ = height;
}

ImageError RgbImage::CopyImage(const RgbImage& source) {
    if (this == &source) return source.empty() ? err::kNoMemory : err::kNone;
    FreePixels();
    if (source.empty()) return err::kNoMemory;
    if (AllocatePixels(source.width_, source.height_) != err::kNone) return err::kNoMemory;
    std::memcpy(pixels_.get(), source.pixels_.get(), byteCount());
    return err::kNone;
}

ImageError RgbImage::AssignPixels(const std::uint8_t* rgb, int width, int height) {
    FreePixels();
    if (rgb == nullptr) return err::kBadParam;
    if (AllocatePixels(width, height) != err::kNone) return err::kNoMemory;
    std::memcpy(pixels_.get(), rgb, byteCount());
    return err::kNone;
}

std::uint8_t* RgbImage::LockPixels() {
    if (!pixels_) return nullptr;
    ++lockCount_;
    return pixels_.get();
}

int RgbImage::UnlockPixels() {
    if (lockCount_ > 0) --lockCount_;
    return 0;
}

void RgbImage::SetPalette(const DisplayPalette& palette) {
    palette_ = std::make_unique<DisplayPalette>(palette);
}

}  // namespace orbelune
