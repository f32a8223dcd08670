#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/rgb_image.h"
#include "platform/quicktime/qt_types.h"

// Off-screen buffers, the image importer and the image compressor.
namespace orbelune::qt {

// Compressor types.
inline constexpr FourCC kJpegCodecType = MakeFourCC("jpeg");
inline constexpr FourCC kRawCodecType = MakeFourCC("raw ");
inline constexpr FourCC kTiffCodecType = MakeFourCC("tiff");
inline constexpr FourCC kCinepakCodecType = MakeFourCC("cvid");
inline constexpr FourCC kSorensonCodecType = MakeFourCC("SVQ1");
inline constexpr FourCC kBmpCodecType = MakeFourCC("WRLE");

// Compressor qualities (0..1024).
inline constexpr CodecQ kCodecMinQuality = 0;
inline constexpr CodecQ kCodecLowQuality = 256;
inline constexpr CodecQ kCodecNormalQuality = 512;
inline constexpr CodecQ kCodecHighQuality = 768;
inline constexpr CodecQ kCodecMaxQuality = 1023;
inline constexpr CodecQ kCodecLosslessQuality = 1024;

// An off-screen pixel buffer at the default depth (24-bit RGB, top row first).
class OffscreenBuffer {
public:
    // kMemFullErr when the pixels cannot be allocated, kInvalidRect when empty.
    [[nodiscard]] static OSErr Create(int width, int height, std::unique_ptr<OffscreenBuffer>& out);
    int width() const { return pixels_.width(); }
    int height() const { return pixels_.height(); }
    RgbImage& pixels() { return pixels_; }
    const RgbImage& pixels() const { return pixels_; }

private:
    OffscreenBuffer() = default;
    RgbImage pixels_;
};

// Reads an image file (BMP and the other formats of the image layer) and
// draws it into an off-screen buffer at a placement rectangle.
class GraphicsImporter {
public:
    // kFnfErr when the file is missing, kParamErr when it cannot be decoded.
    [[nodiscard]] static OSErr Open(const std::string& path,
                                    std::unique_ptr<GraphicsImporter>& out);
    // (0, 0)-(width, height) of the image.
    Rect naturalBounds() const { return {0, 0, image_.width(), image_.height()}; }
    // Where Draw puts the image in the destination; initially the natural bounds.
    [[nodiscard]] OSErr SetBoundsRect(const Rect& bounds);
    // Draws into the buffer, clipped to it; a bounds size other than the
    // natural size scales (nearest pixel).
    [[nodiscard]] OSErr Draw(OffscreenBuffer& destination) const;

private:
    GraphicsImporter() = default;
    RgbImage image_;
    Rect bounds_{};
};

// The 86-byte video sample description of a compressed image.
struct ImageDescription {
    FourCC codecType = 0;
    std::int16_t width = 0;
    std::int16_t height = 0;
    Fixed hRes = IntToFixed(72);
    Fixed vRes = IntToFixed(72);
    std::int32_t dataSize = 0;  // bytes of compressed data
    std::int16_t frameCount = 1;
    std::string name;  // compressor name, at most 31 characters
    std::int16_t depth = 24;
    std::int16_t clutId = -1;
    CodecQ spatialQuality = 0;
    // Big-endian bytes, starting with the size (86) and the codec type.
    std::vector<std::uint8_t> Bytes() const;
};
inline constexpr std::size_t kImageDescriptionSize = 86;

// Upper bound of the compressed size; kNoCodecErr for an unknown type.
[[nodiscard]] OSErr GetMaxCompressionSize(const OffscreenBuffer& buffer, FourCC type,
                                          CodecQ quality, std::size_t& size);

// Compresses the whole buffer as one key frame:
//   "jpeg" one complete baseline JPEG (libjpeg). Quality maps piecewise
//          linearly onto libjpeg's scale: 0->25, 256->50, 512->75, 768->90,
//          1023 and 1024->100; 4:2:0 below 1023, 4:4:4 from 1023 on.
//   "raw " packed RGB, top row first.
//   "tiff" a complete uncompressed TIFF file.
//   "cvid" one Cinepak frame (width and height multiples of 4); the quality
//          sets the encoder's rate-distortion weight (see CinepakLambdaFor).
//   "SVQ1" one Sorenson Video 1 intra frame (sides below 4096); the quality
//          picks the quantiser (see SorensonQuantiserFor).
//   "WRLE" a headerless DIB: bottom row first, BGR, rows padded to 4 bytes.
// Other types: kNoCodecErr; encoder failure: kCodecErr; no memory: kMemFullErr.
[[nodiscard]] OSErr CompressImage(const OffscreenBuffer& buffer, FourCC type, CodecQ quality,
                                  std::vector<std::uint8_t>& data, ImageDescription& description);

}  // namespace orbelune::qt
