#include <gtest/gtest.h>

#include "image/file_names.h"

namespace orbelune {
namespace {

TEST(FileNames, SplitKeepsFolderAndDotsAndHiddenNames) {
    const PathParts parts = SplitPath("/photos/2026.trip/ring.v2.JPG");
    EXPECT_EQ(parts.folder, "/photos/2026.trip/");
    EXPECT_EQ(parts.base, "ring.v2");
    EXPECT_EQ(parts.extension, ".JPG");
    EXPECT_EQ(SplitPath("/photos/.hidden").base, ".hidden");
    EXPECT_EQ(SplitPath("/photos/.hidden").extension, "");
    EXPECT_EQ(SplitPath("noext").folder, "");
}

TEST(FileNames, PanoramaNameTakesTheGivenExtensionOrKeepsItsOwn) {
    EXPECT_EQ(ProposedPanoramaName("/in/ring.jpg"), "ring_pano.jpg");
    EXPECT_EQ(ProposedPanoramaName("/in/ring.jpg", ".tif"), "ring_pano.tif");
    EXPECT_EQ(ProposedPanoramaName("/in.d/ring"), "ring_pano");
}

}  // namespace
}  // namespace orbelune
