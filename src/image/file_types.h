#pragma once

#include <string>

#include "image/image_error.h"
#include "image/image_format.h"

namespace orbelune {

// Everything below is read from the format table, so a format added there
// appears in the dialogs and messages without further work.

// Filters for the open dialog, separated by ";;": "All images (...)" with every
// readable extension first, then one entry per readable format, then
// "All files (*)". Each extension is offered in lower and upper case, since
// file names are case-sensitive.
std::string OpenDialogFilters();

// Filters for saving a picture: "Image Files (...)" with every writable
// extension, one entry per writable format, then "All files (*)".
std::string SaveDialogFilters();

// The readable formats for messages: "BMP, JPEG, ... and TGA".
std::string ReadableFormatNames();

// The writable extensions for messages: ".bmp, .jpg, .tif or .png".
std::string WritableExtensions();

// What went wrong loading `path`, in words for the user: it names the file, and
// says which formats are read when the format is unknown, or that the file is
// damaged when a decoder refused it. `format` is the one it was read as.
std::string DescribeLoadFailure(const std::string& path, ImageFormat format, ImageError code);

}  // namespace orbelune
