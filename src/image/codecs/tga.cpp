#include "image/codecs/codec.h"

namespace orbelune {

ImageError DecodeTga(ByteSpan, RgbImage&, const ImageOperation&) { return err::kBadTga; }

}  // namespace orbelune
