#include "export/movie_props.h"

#include <cctype>
#include <cmath>

#include "unwarp/mirror_types.h"

namespace orbelune::movie_props {

int CodecFromCliName(std::string_view name) {
    for (std::size_t i = 0; i < kCodecCliNames.size(); ++i) {
        const std::string_view candidate = kCodecCliNames[i];
        if (candidate.size() != name.size()) continue;
        bool same = true;
        for (std::size_t c = 0; c < name.size() && same; ++c) {
            same = std::tolower(static_cast<unsigned char>(name[c])) == candidate[c];
        }
        if (same) return static_cast<int>(i);
    }
    return -1;
}

Range TiltLimits(int mirrorType) {
    return TiltLimits(mirrorType, CustomMirror{});
}

Range TiltLimits(int mirrorType, const CustomMirror& custom) {
    const TiltRange range = TiltRangeFor(mirrorType, custom);
    return {range.minimum, range.maximum};
}

float CorrectZoom(float zoom) {
    // Written as a negated test so that a NaN falls back too.
    return (zoom >= 1.0f && zoom <= 2.0f) ? zoom : 1.0f;
}

int CorrectPan(int pan) {
    return (pan < kPanRange.minimum || pan > kPanRange.maximum) ? 0 : pan;
}

int CorrectTilt(int tilt, int mirrorType) {
    return CorrectTilt(tilt, mirrorType, CustomMirror{});
}

int CorrectTilt(int tilt, int mirrorType, const CustomMirror& custom) {
    const Range limits = TiltLimits(mirrorType, custom);
    return (tilt < limits.minimum || tilt > limits.maximum) ? 0 : tilt;
}

int CorrectTiles(int tiles) {
    if (tiles == 1) return 1;
    return (tiles >= 4 && tiles <= kMaxTiles && tiles % 4 == 0) ? tiles : 1;
}

int ZoomSliderPosition(float zoom) {
    // Rounded, not truncated: 1.18f x 100 is 117.99999, and truncating would
    // lose a hundredth at every save and reopen.
    return static_cast<int>(std::lround(zoom * 100.0f));
}

float ZoomFromSlider(int position) {
    return static_cast<float>(position * 0.01);
}

TilesSlider UpdateTiles(int codec, int tiles, bool inSorensonRange) {
    if (codec == kSorensonCodec) {
        const int count = tiles < 4 ? 4 : tiles;
        return {{4, kMaxTiles}, 4, count, count};
    }
    const int count = (inSorensonRange && tiles != 1) ? 1 : tiles;
    return {{0, kMaxTiles}, 4, TilesSliderPosition(count), count};
}

int TilesSliderPosition(int tiles) {
    return tiles < 2 ? 0 : tiles;
}

int SnapTiles(int position, TileMove move, int openingCodec) {
    const int r = position % 4;
    int count = position;
    switch (move) {
        case TileMove::StepRight:
            count = position >= kMaxTiles ? kMaxTiles : position - r + 4;
            break;
        case TileMove::StepLeft:
            count = position - r;
            break;
        case TileMove::Other:
            count = r == 3 ? position - r + 4 : position - r;
            break;
    }
    if (count > kMaxTiles) count = kMaxTiles;
    if (count <= 0) count = openingCodec == kSorensonCodec ? 4 : 1;
    return count;
}

std::string ProposedHtmlName(const std::string& moviePath) {
    return SplitPath(moviePath).base + ".html";
}

std::string ProposedTitle(const std::string& htmlPath) {
    return SplitPath(htmlPath).base;
}

std::string CompleteMoviePath(const std::string& typed, const std::string& reference) {
    PathParts parts = SplitPath(typed);
    const PathParts from = SplitPath(reference);
    if (parts.folder.empty()) parts.folder = from.folder;
    if (parts.base.empty()) parts.base = from.base;
    if (parts.extension.empty()) parts.extension = from.extension;
    return parts.folder + parts.base + parts.extension;
}

int CorrectMovieSide(int side, int fallback) {
    if (side > kMaxMovieSide) return kMaxMovieSide;
    return side < 1 ? fallback : side;
}

MovieSettings CorrectedSettings(const MovieSettings& settings, int mirrorType) {
    return CorrectedSettings(settings, mirrorType, CustomMirror{});
}

MovieSettings CorrectedSettings(const MovieSettings& settings, int mirrorType,
                                const CustomMirror& custom) {
    const MovieSettings defaults;
    MovieSettings corrected = settings;
    corrected.zoom = CorrectZoom(settings.zoom);
    corrected.pan = CorrectPan(settings.pan);
    corrected.tilt = CorrectTilt(settings.tilt, mirrorType, custom);
    corrected.tiles = UpdateTiles(settings.compressor, CorrectTiles(settings.tiles), false).tiles;
    corrected.movieWidth = CorrectMovieSide(settings.movieWidth, defaults.movieWidth);
    corrected.movieHeight = CorrectMovieSide(settings.movieHeight, defaults.movieHeight);
    // A confirmed size the movie cannot hold is forgotten, not passed on.
    if (!IsStorableMovieSide(corrected.confirmedWidth)) corrected.confirmedWidth = 0;
    if (!IsStorableMovieSide(corrected.confirmedHeight)) corrected.confirmedHeight = 0;
    return BuildableSettings(corrected);
}

MovieSettings BuildableSettings(const MovieSettings& settings) {
    MovieSettings s = settings;
    if (s.tiles < kMinTiles) s.tiles = kMinTiles;
    if (s.tiles > kMaxTiles) s.tiles = kMaxTiles;
    s.zoom = CorrectZoom(s.zoom);
    s.pan = CorrectPan(s.pan);
    if (s.tilt < -90 || s.tilt > 90) s.tilt = 0;
    if (s.confirmedWidth != 0) s.movieWidth = s.confirmedWidth;
    if (s.confirmedHeight != 0) s.movieHeight = s.confirmedHeight;
    return s;
}

std::string SettingsProblem(const MovieSettings& settings) {
    if (IsStorableMovieSide(settings.movieWidth) && IsStorableMovieSide(settings.movieHeight))
        return {};
    return "The movie size " + std::to_string(settings.movieWidth) + " x " +
           std::to_string(settings.movieHeight) +
           " cannot be stored in a movie.  Width and height must be between 1 and " +
           std::to_string(kMaxMovieSide) + ".";
}

}  // namespace orbelune::movie_props
