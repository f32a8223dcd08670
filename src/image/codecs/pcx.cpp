#include "image/codecs/codec.h"

namespace orbelune {

ImageError DecodePcx(ByteSpan, RgbImage&, const ImageOperation&) { return err::kBadPcx; }

}  // namespace orbelune
