#pragma once

#include <string>
#include <string_view>

#include "image/file_io.h"  // TempFolder

namespace orbelune {

// Creates a new, empty file exclusively (O_EXCL) in `folder`, named
// "OBL" + six random characters + "." + extension; its path, or empty on failure.
std::string MakeTempFileName(const std::string& folder, std::string_view extension);

}  // namespace orbelune
