#pragma once

#include <cstdint>
#include <string_view>

// Basic types of our movie layer: result codes, four-character codes, fixed
// point, rectangles, the presence of the layers and the test fault hook.
namespace orbelune::qt {

// Signed 16-bit result: 0 success, negative platform error numbers.
using OSErr = std::int16_t;
using FourCC = std::uint32_t;
using Fixed = std::int32_t;  // 16.16
using TimeValue = std::int32_t;
using TimeScale = std::int32_t;
using CodecQ = std::int32_t;  // compressor quality, 0..1024

namespace oserr {
inline constexpr OSErr kNoErr = 0;
inline constexpr OSErr kIoErr = -36;        // a file could not be written or read
inline constexpr OSErr kFnfErr = -43;       // file not found
inline constexpr OSErr kParamErr = -50;     // bad argument or call out of order
inline constexpr OSErr kPermErr = -54;      // no permission to open the file
inline constexpr OSErr kMemFullErr = -108;  // out of memory
inline constexpr OSErr kCouldNotResolveDataRef = -2000;
inline constexpr OSErr kBadComponentType = -2005;
inline constexpr OSErr kInvalidMedia = -2008;
inline constexpr OSErr kInvalidTrack = -2009;
inline constexpr OSErr kInvalidMovie = -2010;
inline constexpr OSErr kFileAlreadyExists = -2022;
inline constexpr OSErr kInternalErr = -2034;
inline constexpr OSErr kInvalidRect = -2036;
inline constexpr OSErr kMediaLayerNotInitialized = -2093;
inline constexpr OSErr kCannotFindAtom = -2101;
inline constexpr OSErr kInvalidAtomIndex = -2104;
inline constexpr OSErr kDuplicateAtomTypeAndId = -2105;
inline constexpr OSErr kInvalidAtom = -2106;
inline constexpr OSErr kCodecErr = -8960;
inline constexpr OSErr kNoCodecErr = -8961;
inline constexpr OSErr kVRNotInitialized = -30555;
}  // namespace oserr

// 'abcd' from a four-character literal.
constexpr FourCC MakeFourCC(std::string_view text) {
    FourCC code = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        code = (code << 8) | (i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0x20u);
    }
    return code;
}

constexpr Fixed IntToFixed(int value) {
    return static_cast<Fixed>(value * 65536);
}
constexpr int FixedToInt(Fixed value) {
    return value / 65536;
}
inline constexpr Fixed kFixed1 = 0x00010000;

inline constexpr FourCC kVideoMediaType = MakeFourCC("vide");
inline constexpr FourCC kQTVRMediaType = MakeFourCC("qtvr");
inline constexpr FourCC kPanoMediaType = MakeFourCC("pano");

// A rectangle in pixels, right and bottom exclusive.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    bool operator==(const Rect&) const = default;
};

// ---- Presence of the layers -------------------------------------------------

// Media layer: initialising it again while it is initialised is accepted.
OSErr InitializeMediaLayer();
OSErr TerminateMediaLayer();
// Movie toolbox: needs the media layer (kMediaLayerNotInitialized otherwise).
OSErr EnterMovies();
OSErr ExitMovies();
// VR layer: needs the media layer.
OSErr InitializeVR();
OSErr TerminateVR();

bool IsMediaLayerInitialized();
bool AreMoviesEntered();
bool IsVRInitialized();

// Feature query: "qtvv" answers the VR version 0x0210 (2.1), "qtim" the
// movie-layer version; other selectors give kParamErr and response 0.
OSErr QueryFeature(FourCC selector, std::int32_t& response);
inline constexpr FourCC kVRVersionSelector = MakeFourCC("qtvv");
inline constexpr std::int32_t kVRVersion = 0x0210;

// The result of the last movie-toolbox operation on this thread.
OSErr GetMoviesError();
void SetMoviesError(OSErr code);

// ---- Fault injection for tests -----------------------------------------------

// Steps that a test can make fail.
enum class FaultStep {
    kNone,
    kNewMovie,
    kNewTrack,
    kNewMedia,
    kAddSample,
    kInsertMedia,
    kInsertTrackSegment,
    kAddTrackReference,
    kAddUserData,
    kNewHandle,
    kAtomInsert,
    kImporterOpen,
    kImporterDraw,
    kNewOffscreen,
    kCompress,
    kCreateMovieFile,
    kOpenMovieFile,
    kNewMovieFromFile,
    kStoreMovie,
    kDeleteMovieFile,
    kConvertMovieToFile,
};

struct PlatformFaults {
    OSErr mediaLayerInit = 0;  // nonzero: returned by InitializeMediaLayer
    OSErr mediaLayerTerm = 0;
    OSErr enterMovies = 0;
    OSErr exitMovies = 0;
    OSErr vrInit = 0;
    OSErr vrTerm = 0;
    bool vrVersionQueryFails = false;
    std::int32_t vrVersion = kVRVersion;
    bool flattenerMissing = false;  // the "spit"/"MooV"/"vrwe" exporter is absent
    // The failCall-th call (1-based, counted from SetPlatformFaults) of
    // failStep returns failCode.
    FaultStep failStep = FaultStep::kNone;
    int failCall = 1;
    OSErr failCode = oserr::kMemFullErr;
};

// Installs faults process-wide and resets the step counter; ClearPlatformFaults
// restores normal behaviour.
void SetPlatformFaults(const PlatformFaults& faults);
void ClearPlatformFaults();
const PlatformFaults& CurrentPlatformFaults();

// Used by the layer itself: the injected code for this call of `step`, or 0.
OSErr InjectedFault(FaultStep step);

}  // namespace orbelune::qt
