#pragma once

#include <array>
#include <string>
#include <string_view>

#include "export/movie_layout.h"
#include "export/movie_settings.h"
#include "image/file_names.h"
#include "unwarp/mirror_types.h"

// The rules of the movie properties dialog, without a window, so that the
// dialog and the batch tool apply the same corrections.
namespace orbelune::movie_props {

// Codec, quality and correction lists, in index order (the index is the value kept).
inline constexpr std::array<const char*, 6> kCodecNames{"JPEG", "TIFF",     "Cinepak",
                                                        "BMP",  "Sorenson", "None"};
inline constexpr std::array<const char*, 6> kQualityNames{"Minimum", "Low",       "Normal",
                                                          "High",    "Very High", "Maximum"};
inline constexpr std::array<const char*, 3> kCorrectionNames{"No Correction", "Partial Correction",
                                                             "Full Correction"};
// The batch tool's spelling of the codecs, same order.
inline constexpr std::array<const char*, 6> kCodecCliNames{"jpeg", "tiff",     "cinepak",
                                                           "bmp",  "sorenson", "none"};
inline constexpr int kSorensonCodec = 4;

// Index of a batch-tool codec name (case-insensitive), or -1.
int CodecFromCliName(std::string_view name);

struct Range {
    int minimum;
    int maximum;
};

inline constexpr Range kZoomSlider{100, 200};  // zoom x 100
inline constexpr Range kPanRange{0, 360};

// Opening corrections: values outside their range fall back as the dialog does.
float CorrectZoom(float zoom);              // outside 1.0..2.0 -> 1.0
int CorrectPan(int pan);                    // outside 0..360 -> 0
int CorrectTilt(int tilt, int mirrorType);  // outside the mirror's limits -> 0
// 1 or a multiple of 4 from 4 to 24 is kept; anything else becomes 1 (a stored
// 0, a negative count or one above 24 would give the movie build no valid tiling).
int CorrectTiles(int tiles);
Range TiltLimits(int mirrorType);
// With the custom mirror's description: its limits are its elevations.
Range TiltLimits(int mirrorType, const CustomMirror& custom);
int CorrectTilt(int tilt, int mirrorType, const CustomMirror& custom);

int ZoomSliderPosition(float zoom);  // zoom x 100 rounded; also the stored form
float ZoomFromSlider(int position);  // position x 0.01

// The tiles slider as the codec wants it.
struct TilesSlider {
    Range range;
    int tickInterval;
    int position;
    int tiles;  // the count after the codec's rule
};

// UpdateTilesSlider's rule: Sorenson needs 4..24 tiles; leaving the Sorenson
// range (`inSorensonRange`: the slider started above 0) resets a count to 1.
TilesSlider UpdateTiles(int codec, int tiles, bool inSorensonRange);
// Where a count shows on a slider that runs from 0: 1 tile is shown at 0.
int TilesSliderPosition(int tiles);

enum class TileMove { StepRight, StepLeft, Other };
// SnapTiles' rule for the slider's position after a move; 0 tiles becomes 4
// when the dialog opened on Sorenson and 1 otherwise. Always 1 or 4, 8, ..., 24.
int SnapTiles(int position, TileMove move, int openingCodec);

using orbelune::PathParts;
using orbelune::SplitPath;

// "%s.html" with the movie's base name (no folder).
std::string ProposedHtmlName(const std::string& moviePath);
// The page's base name (no folder, no extension).
std::string ProposedTitle(const std::string& htmlPath);
// Every part missing from `typed` is taken from `reference`: a bare "pano2"
// lands in the reference's folder with its extension.
std::string CompleteMoviePath(const std::string& typed, const std::string& reference);

// A movie width or height as the dialog opens with it: kept when the movie
// can hold it, kMaxMovieSide above that, `fallback` below 1.
int CorrectMovieSide(int side, int fallback);

// The one validation of a settings record: every path that ends in a movie
// goes through it (the dialog's opening, the panorama view before a build, the
// batch tool's movie and share; the build itself takes BuildableSettings, which
// this ends with). The mirror type gives the tilt limits; the confirmed sizes,
// when set, are the movie's. Codec, quality and correction indexes outside
// their lists are left for the caller to refuse (see SettingsProblem).
MovieSettings CorrectedSettings(const MovieSettings& settings, int mirrorType);
MovieSettings CorrectedSettings(const MovieSettings& settings, int mirrorType,
                                const CustomMirror& custom);

// What the build makes of a record that did not pass the dialog: the tile
// count clamped to what the format can cut (1..kMaxTiles), zoom, pan and a
// tilt beyond +-90 put back as the dialog would, the confirmed sizes taken.
// A record from CorrectedSettings comes out unchanged.
MovieSettings BuildableSettings(const MovieSettings& settings);

// Why no movie can be built with these settings (a size the movie cannot
// hold), or empty. The build refuses with it; the dialog never stores such a
// record, since CorrectedSettings and its size check share the limit.
std::string SettingsProblem(const MovieSettings& settings);

}  // namespace orbelune::movie_props
