#include "image/codecs/codec.h"

namespace orbelune {

ImageError DecodeJpeg(ByteSpan, RgbImage&, const ImageOperation&) { return err::kBadJpeg; }
ImageError EncodeJpeg(const std::uint8_t*, int, int, MemorySink&, const ImageOperation&) { return err::kFileWrite; }

}  // namespace orbelune
