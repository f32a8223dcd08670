#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "export/movie_props.h"
#include "export/movie_settings.h"
#include "platform/settings_keys.h"
#include "platform/settings_store.h"

namespace orbelune {
namespace {

namespace props = movie_props;
using props::TileMove;

TEST(MoviePropsRules, StartUpDefaultsOpenAsZoomOneAndOneTile) {
    MemorySettingsStore store;
    const MovieSettings corrected = props::CorrectedSettings(LoadMovieSettings(store), 1);
    EXPECT_EQ(corrected.zoom, 1.0f);
    EXPECT_EQ(corrected.pan, 2);
    EXPECT_EQ(corrected.tilt, 2);
    EXPECT_EQ(corrected.tiles, 1);
    EXPECT_EQ(corrected.compressor, 2);
}

TEST(MoviePropsRules, ValuesOutsideTheirRangesFallBack) {
    EXPECT_EQ(props::CorrectZoom(1.5f), 1.5f);
    EXPECT_EQ(props::CorrectZoom(2.0f), 2.0f);
    EXPECT_EQ(props::CorrectZoom(2.5f), 1.0f);
    EXPECT_EQ(props::CorrectZoom(0.99f), 1.0f);
    EXPECT_EQ(props::CorrectZoom(std::nanf("")), 1.0f);
    EXPECT_EQ(props::CorrectPan(360), 360);
    EXPECT_EQ(props::CorrectPan(361), 0);
    EXPECT_EQ(props::CorrectPan(-1), 0);

    // Concave mirrors allow -35..17, convex ones and unknown types -40..60.
    EXPECT_EQ(props::TiltLimits(0).minimum, -35);
    EXPECT_EQ(props::TiltLimits(1).maximum, 17);
    EXPECT_EQ(props::TiltLimits(2).minimum, -40);
    EXPECT_EQ(props::TiltLimits(7).maximum, 60);
    EXPECT_EQ(props::CorrectTilt(30, 0), 0);
    EXPECT_EQ(props::CorrectTilt(30, 2), 30);
    EXPECT_EQ(props::CorrectTilt(-35, 1), -35);
    EXPECT_EQ(props::CorrectTilt(-36, 1), 0);
}

TEST(MoviePropsRules, OnlyOneOrWholeRowsOfFourUpToTwentyFourTilesSurvive) {
    for (int tiles = -8; tiles <= 40; ++tiles) {
        const bool valid = tiles == 1 || (tiles >= 4 && tiles <= 24 && tiles % 4 == 0);
        EXPECT_EQ(props::CorrectTiles(tiles), valid ? tiles : 1) << tiles;
    }
    // Sorenson needs at least 4 tiles, whatever was stored.
    MovieSettings sorenson;
    sorenson.compressor = props::kSorensonCodec;
    sorenson.tiles = 2;
    EXPECT_EQ(props::CorrectedSettings(sorenson, 1).tiles, 4);
    sorenson.tiles = 12;
    EXPECT_EQ(props::CorrectedSettings(sorenson, 1).tiles, 12);
}

TEST(MoviePropsRules, ZoomSurvivesTheSliderAndTheStoreForEveryPosition) {
    for (int position = 100; position <= 200; ++position) {
        const float zoom = props::ZoomFromSlider(position);
        EXPECT_EQ(props::ZoomSliderPosition(zoom), position);
        // The store keeps the slider position and LoadMovieSettings divides by 100.
        MemorySettingsStore store;
        Write(store, settings::kZoom, props::ZoomSliderPosition(zoom));
        EXPECT_EQ(props::ZoomSliderPosition(LoadMovieSettings(store).zoom), position);
    }
}

TEST(MoviePropsRules, SorensonMovesTheTilesRangeAndLeavingItResetsToOne) {
    const props::TilesSlider sorenson = props::UpdateTiles(props::kSorensonCodec, 1, false);
    EXPECT_EQ(sorenson.range.minimum, 4);
    EXPECT_EQ(sorenson.range.maximum, 24);
    EXPECT_EQ(sorenson.tiles, 4);
    EXPECT_EQ(sorenson.position, 4);

    const props::TilesSlider back = props::UpdateTiles(0, 12, true);
    EXPECT_EQ(back.range.minimum, 0);
    EXPECT_EQ(back.tiles, 1);
    EXPECT_EQ(back.position, 0);

    const props::TilesSlider other = props::UpdateTiles(3, 12, false);
    EXPECT_EQ(other.tiles, 12);
    EXPECT_EQ(other.position, 12);
    EXPECT_EQ(props::UpdateTiles(3, 1, false).position, 0);
    // A typed codec (no selection) is not Sorenson.
    EXPECT_EQ(props::UpdateTiles(-1, 1, false).tiles, 1);
}

TEST(MoviePropsRules, SnapFollowsTheDirectionOfSingleStepsAndTheNearestRowOtherwise) {
    EXPECT_EQ(props::SnapTiles(5, TileMove::StepRight, 0), 8);  // 4, one step right
    EXPECT_EQ(props::SnapTiles(1, TileMove::StepRight, 0), 4);  // 1 (at 0), one step right
    EXPECT_EQ(props::SnapTiles(24, TileMove::StepRight, 0), 24);
    EXPECT_EQ(props::SnapTiles(3, TileMove::StepLeft, 0), 1);  // 4, one step left
    EXPECT_EQ(props::SnapTiles(7, TileMove::StepLeft, 0), 4);
    EXPECT_EQ(props::SnapTiles(6, TileMove::Other, 0), 4);
    EXPECT_EQ(props::SnapTiles(7, TileMove::Other, 0), 8);
    EXPECT_EQ(props::SnapTiles(2, TileMove::Other, 0), 1);
    EXPECT_EQ(props::SnapTiles(0, TileMove::Other, 0), 1);
    EXPECT_EQ(props::SnapTiles(0, TileMove::Other, props::kSorensonCodec), 4);
    EXPECT_EQ(props::SnapTiles(23, TileMove::Other, 0), 24);

    const std::set<int> allowed{1, 4, 8, 12, 16, 20, 24};
    for (int codec : {0, props::kSorensonCodec}) {
        for (TileMove move : {TileMove::StepRight, TileMove::StepLeft, TileMove::Other}) {
            for (int position = 0; position <= 24; ++position) {
                EXPECT_TRUE(allowed.count(props::SnapTiles(position, move, codec)))
                    << position << " codec " << codec;
            }
        }
    }
}

TEST(MoviePropsRules, ABareMovieNameTakesTheReferenceFolderAndExtension) {
    EXPECT_EQ(props::CompleteMoviePath("pano2", "/shots/ring.mov"), "/shots/pano2.mov");
    EXPECT_EQ(props::CompleteMoviePath("other/pano2", "/shots/ring.mov"), "other/pano2.mov");
    EXPECT_EQ(props::CompleteMoviePath("/tmp/x.qt", "/shots/ring.mov"), "/tmp/x.qt");
    EXPECT_EQ(props::CompleteMoviePath("/tmp/", "/shots/ring.mov"), "/tmp/ring.mov");
    EXPECT_EQ(props::CompleteMoviePath("", "/shots/ring.mov"), "/shots/ring.mov");
    // A dot in a folder name is not an extension.
    EXPECT_EQ(props::CompleteMoviePath("/a.b/c", "/shots/ring.mov"), "/a.b/c.mov");

    EXPECT_EQ(props::ProposedHtmlName("/shots/ring.mov"), "ring.html");
    EXPECT_EQ(props::ProposedHtmlName("pano2"), "pano2.html");
    EXPECT_EQ(props::ProposedTitle("/web/pano2.html"), "pano2");
}

TEST(MoviePropsRules, BatchCodecNamesFollowTheListOrder) {
    EXPECT_EQ(props::CodecFromCliName("jpeg"), 0);
    EXPECT_EQ(props::CodecFromCliName("Cinepak"), 2);
    EXPECT_EQ(props::CodecFromCliName("sorenson"), props::kSorensonCodec);
    EXPECT_EQ(props::CodecFromCliName("none"), 5);
    EXPECT_EQ(props::CodecFromCliName("png"), -1);
    EXPECT_EQ(props::CodecFromCliName(""), -1);
}

}  // namespace
}  // namespace orbelune
