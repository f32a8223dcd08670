#include "image/file_names.h"

namespace orbelune {

PathParts SplitPath(const std::string& path) {
    PathParts parts;
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    parts.folder = path.substr(0, nameStart);
    const std::string name = path.substr(nameStart);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        parts.base = name;
    } else {
        parts.base = name.substr(0, dot);
        parts.extension = name.substr(dot);
    }
    return parts;
}

std::string ProposedPanoramaName(const std::string& photoPath, const std::string& extension) {
    const PathParts parts = SplitPath(photoPath);
    return parts.base + "_pano" + (extension.empty() ? parts.extension : extension);
}

}  // namespace orbelune
