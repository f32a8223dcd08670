#pragma once

#include <string>
#include <string_view>

#include "image/file_io.h"  // TempFolder

namespace orbelune {

// Creates a new, empty file exclusively (O_EXCL) in `folder`, named
// "OBL" + six random characters + "." + extension; its path, or empty on failure.
std::string MakeTempFileName(const std::string& folder, std::string_view extension);

// Creates a new, empty, hidden file exclusively in the folder of `destination`
// to write it through; its path, or empty when that folder cannot take it.
std::string MakeSiblingTempFile(const std::string& destination);

}  // namespace orbelune
