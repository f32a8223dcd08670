#include "image/codecs/codec.h"

namespace orbelune {

ImageError DecodeTiff(ByteSpan, RgbImage&, const ImageOperation&) { return err::kBadTiff; }
ImageError EncodeTiff(const std::uint8_t*, int, int, MemorySink&, const ImageOperation&) { return err::kFileWrite; }

}  // namespace orbelune
