#pragma once

#include <cstdint>
#include <vector>

#include "image/rgb_image.h"
#include "platform/quicktime/qt_types.h"

// Encoders over C libraries, each behind one boundary that never aborts or prints.
namespace orbelune::qt::detail {

// libjpeg quality (1..100) for a compressor quality (0..1024).
int JpegQualityFor(CodecQ quality);
// One complete baseline JPEG of the image.
OSErr EncodeBaselineJpeg(const RgbImage& image, CodecQ quality, std::vector<std::uint8_t>& out);
// The tile sizes libavcodec's "cinepak" and "svq1" encoders take (others are
// refused before the library sees them).
bool CinepakTakes(int width, int height);
bool SorensonTakes(int width, int height);
// One intra frame of libavcodec's "cinepak" or "svq1" encoder.
OSErr EncodeCinepak(const RgbImage& image, CodecQ quality, std::vector<std::uint8_t>& out);
OSErr EncodeSorenson(const RgbImage& image, CodecQ quality, std::vector<std::uint8_t>& out);
// Cinepak's rate-distortion lambda: 3072 at quality 0, halved every 128 steps
// (192 at normal quality, near the encoder's default 256; 48 at high).
int CinepakLambdaFor(CodecQ quality);
// The SVQ1 quantiser (1 best .. 31) for a compressor quality: 31 at 0, halved
// every 192 steps (2 at high quality), at least 1.
int SorensonQuantiserFor(CodecQ quality);

}  // namespace orbelune::qt::detail
