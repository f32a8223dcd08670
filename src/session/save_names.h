#pragma once

#include <string>

#include "image/file_names.h"  // ProposedPanoramaName

namespace orbelune {

// The raw photograph's folder and base name with ".mov".
std::string ProposedMoviePath(const std::string& rawPathName);

// True when another program holds a lock on the file, so writing it now would
// fight with that program. A missing file is not busy.
bool IsFileBusy(const std::string& path);

}  // namespace orbelune
