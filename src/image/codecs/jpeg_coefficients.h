#pragma once

#include <cstdio>  // jpeglib.h needs FILE

#include <jpeglib.h>

namespace orbelune {

// Gives a decompressor whole-image coefficient arrays of our own. A
// progressive photograph keeps all its coefficients until its last scan, and
// the output pass then reads them once, top to bottom: the rows it has passed
// go back to the system while the pixel rows fill, so coefficients and pixels
// are never both whole in memory (for a 24-megapixel photograph that is 70 MB
// less at the peak). A read of a row already handed back fails the decode
// instead of giving zeros.
//
// Call right after jpeg_create_decompress; the decompressor's client_data is
// taken for this.
void UseReleasingCoefficientArrays(j_decompress_ptr info);

}  // namespace orbelune
