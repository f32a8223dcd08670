#pragma once

#include <string>

namespace orbelune {

// A path split into folder (with its trailing '/'), base name and extension
// (from the last '.', with it); any part may be empty. A name's leading dot
// marks a hidden file, not an extension.
struct PathParts {
    std::string folder;
    std::string base;
    std::string extension;
};
PathParts SplitPath(const std::string& path);

// The name proposed for the panorama of a photograph: "%s_pano%s" with the
// photograph's base name and `extension` (its own when empty); no folder.
std::string ProposedPanoramaName(const std::string& photoPath, const std::string& extension = {});

}  // namespace orbelune
