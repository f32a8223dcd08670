#include "image/codecs/codec.h"

namespace orbelune {

ImageError DecodeBmp(ByteSpan, RgbImage&, const ImageOperation&) { return err::kBadBmp; }
ImageError EncodeBmp(const std::uint8_t*, int, int, MemorySink&, const ImageOperation&) { return err::kFileWrite; }

}  // namespace orbelune
