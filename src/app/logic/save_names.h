#pragma once

#include <string>

namespace orbelune {

// "%s_pano%s": the panorama proposed for a raw file name keeps its extension.
std::string ProposedPanoramaName(const std::string& rawFileName);

// The raw photograph's folder and base name with ".mov".
std::string ProposedMoviePath(const std::string& rawPathName);

// True when another program holds a lock on the file, so writing it now would
// fight with that program. A missing file is not busy.
bool IsFileBusy(const std::string& path);

}  // namespace orbelune
