#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "image/image_error.h"
#include "image/image_format.h"

namespace orbelune {

struct PaletteEntry {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t flags = 0;
};
using DisplayPalette = std::array<PaletteEntry, 256>;

// Runs on a new image file once the encoder has written it through `fd` and
// before it replaces the destination (metadata that belongs in the file). A
// failure fails the save; the destination stays untouched.
using SaveFinisher = std::function<ImageError(int fd, ImageFormat format)>;

// A picture: width x height pixels of 3 bytes (red, green, blue), top row
// first, rows packed without padding, in one zero-filled block. Copies are deep.
class RgbImage {
public:
    RgbImage() = default;
    RgbImage(const RgbImage& other);
    RgbImage& operator=(const RgbImage& other);
    RgbImage(RgbImage&& other) noexcept;
    RgbImage& operator=(RgbImage&& other) noexcept;
    ~RgbImage() = default;

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return pixels_ == nullptr; }
    std::size_t stride() const { return static_cast<std::size_t>(width_) * 3; }
    std::size_t byteCount() const { return stride() * static_cast<std::size_t>(height_); }
    std::uint8_t* data() { return pixels_.get(); }
    const std::uint8_t* data() const { return pixels_.get(); }
    std::uint8_t* row(int y) { return pixels_.get() + stride() * static_cast<std::size_t>(y); }
    const std::uint8_t* row(int y) const {
        return pixels_.get() + stride() * static_cast<std::size_t>(y);
    }
    int lockCount() const { return lockCount_; }
    const DisplayPalette* palette() const { return palette_.get(); }

    // Releases the block and the palette; always 0.
    ImageError FreePixels();
    // Frees, then allocates a zero-filled width x height block (1 when too big
    // or out of memory; the image then stays empty).
    [[nodiscard]] ImageError AllocatePixels(int width, int height);
    // Deep copy of the source's pixels (not its palette); 1 when the source is empty.
    [[nodiscard]] ImageError CopyImage(const RgbImage& source);
    // Copies width x height x 3 bytes from the caller's block.
    [[nodiscard]] ImageError AssignPixels(const std::uint8_t* rgb, int width, int height);
    // Takes over a block allocated with AllocateImageBlock.
    void AdoptPixels(std::unique_ptr<std::uint8_t[], void (*)(void*)> block, int width, int height);

    std::uint8_t* LockPixels();
    int UnlockPixels();

    // Loads a file; the format is detected from the content, then the extension.
    // 0 on success, the decoder's code, or err::kNoDecoder. The image is empty on failure.
    [[nodiscard]] ImageError LoadImageFile(const std::string& path);
    [[nodiscard]] ImageError LoadImageAs(const std::string& path, ImageFormat format);
    // Writes the image; an existing file is replaced only when the write succeeded.
    [[nodiscard]] ImageError SaveImageFile(const std::string& path, ImageFormat format) const;
    [[nodiscard]] ImageError SaveImageFile(const std::string& path, ImageFormat format,
                                           const SaveFinisher& finish) const;
    // The same for a caller that is done with the picture: the pixels are freed
    // afterwards, whatever the outcome, and rows the encoder has taken in go back
    // to the system while it runs, so a progressive JPEG's coefficients never sit
    // beside the whole picture.
    [[nodiscard]] ImageError SaveImageFileAndFree(const std::string& path, ImageFormat format);
    [[nodiscard]] ImageError SaveImageFileAndFree(const std::string& path, ImageFormat format,
                                                  const SaveFinisher& finish);

    [[nodiscard]] ImageError ResizeImage(int newWidth, int newHeight);
    [[nodiscard]] ImageError MirrorRows();
    // 1 on success, 0 on failure or refusal (mode above 2, no pixels).
    [[nodiscard]] int RotateImage(int mode);

    // Computes the 256-entry display palette from the pixels.
    void BuildDisplayPalette();
    void SetPalette(const DisplayPalette& palette);

private:
    using Block = std::unique_ptr<std::uint8_t[], void (*)(void*)>;
    int width_ = 0;
    int height_ = 0;
    Block pixels_{nullptr, &std::free};
    int lockCount_ = 0;
    std::unique_ptr<DisplayPalette> palette_;
};

// A zero-filled block for width x height pixels, or null when the size is over
// the limits or memory is short.
std::unique_ptr<std::uint8_t[], void (*)(void*)> AllocateImageBlock(int width, int height);

// Hands the memory of a pixel block's bytes [released, done) back to the
// system, in whole huge pages (part of one would free nothing), and returns
// how far it got; the bytes read as zeros afterwards. For a block whose
// content is no longer needed.
std::size_t ReleaseImagePages(std::uint8_t* block, std::size_t released, std::size_t done);

}  // namespace orbelune
