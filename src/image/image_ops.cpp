#include "image/image_ops.h"

#include "image/image_layer.h"
#include "image/rgb_image.h"

namespace orbelune {

bool CopyRect(const std::uint8_t*, std::uint8_t*, int, int, int, int, int, int, int) { return false; }
bool ResampleBilinear(const std::uint8_t*, int, int, std::uint8_t*, int, int) { return false; }
DisplaySize FitDisplaySize(int, int, int, int, bool) { return {}; }
ImageError RgbImage::ResizeImage(int, int) { return err::kBadParam; }
ImageError RgbImage::MirrorRows() { return err::kBadParam; }
int RgbImage::RotateImage(int) { return 0; }

}  // namespace orbelune
