#include "image/codecs/codec.h"

namespace orbelune {

ImageError DecodePng(ByteSpan, RgbImage&, const ImageOperation&) { return err::kBadPng; }
ImageError EncodePng(const std::uint8_t*, int, int, MemorySink&, const ImageOperation&) { return err::kFileWrite; }

}  // namespace orbelune
