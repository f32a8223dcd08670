#pragma once

#include <cstdint>
#include <span>

namespace orbelune {

// Result of every toolbox operation: 0 success, 1..90 the toolbox's own codes,
// negative values the movie layer's error numbers passed through unchanged.
using ToolboxError = std::int16_t;

namespace tbx {
inline constexpr ToolboxError kOk = 0;
inline constexpr ToolboxError kNotImplemented = 1;
inline constexpr ToolboxError kNotInitialized = 2;
inline constexpr ToolboxError kAlreadyInitialized = 3;
inline constexpr ToolboxError kMediaLayerInit = 4;
inline constexpr ToolboxError kMovieToolboxInit = 5;
inline constexpr ToolboxError kVrInit = 6;
inline constexpr ToolboxError kMediaLayerTerminate = 7;
inline constexpr ToolboxError kMovieToolboxExit = 8;
inline constexpr ToolboxError kVrTerminate = 9;
inline constexpr ToolboxError kIllegalNodeType = 10;
inline constexpr ToolboxError kNoSuchNode = 11;
inline constexpr ToolboxError kIllegalStreamKind = 14;
inline constexpr ToolboxError kStreamExists = 15;
inline constexpr ToolboxError kCompressionNotPano = 19;
inline constexpr ToolboxError kVrLayer = 23;
inline constexpr ToolboxError kNodeLayer = 24;
inline constexpr ToolboxError kHotSpotWithoutImage = 25;
inline constexpr ToolboxError kNoImageStream = 26;
inline constexpr ToolboxError kVrWorld = 27;
inline constexpr ToolboxError kNodeInfo = 28;
inline constexpr ToolboxError kContentLayer = 29;
inline constexpr ToolboxError kFileSpecUndefined = 32;
inline constexpr ToolboxError kNewMovie = 33;
inline constexpr ToolboxError kNoMovie = 37;
inline constexpr ToolboxError kImageSize = 62;
inline constexpr ToolboxError kImageImport = 63;
inline constexpr ToolboxError kAddSample = 64;
inline constexpr ToolboxError kTileMovie = 66;
inline constexpr ToolboxError kControllerType = 71;
inline constexpr ToolboxError kOpenTileMovie = 78;
inline constexpr ToolboxError kTileMovieRead = 79;
inline constexpr ToolboxError kTileTrackCopy = 80;
inline constexpr ToolboxError kMovieFileNotCreated = 85;
inline constexpr ToolboxError kDisposeMovie = 88;
inline constexpr ToolboxError kDefaultViewNotPano = 89;
// Platform numbers the toolbox produces itself.
inline constexpr ToolboxError kParamErr = -50;
inline constexpr ToolboxError kMemFullErr = -108;
inline constexpr ToolboxError kBadComponentType = -2005;
}  // namespace tbx

struct ToolboxMessage {
    int code;
    const char* text;
};

// The 147 rows of the message table (status texts, toolbox codes, platform
// numbers), sorted by code.
std::span<const ToolboxMessage> ToolboxMessageTable();

// The table's text for a code; null when the code has none.
const char* FindToolboxMessage(int code);

}  // namespace orbelune
