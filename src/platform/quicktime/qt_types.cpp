#include "platform/quicktime/qt_types.h"

#include <atomic>

namespace orbelune::qt {
namespace {

struct LayerState {
    bool mediaLayer = false;
    bool movies = false;
    bool vr = false;
};

LayerState& Layers() {
    static LayerState state;
    return state;
}

struct FaultState {
    PlatformFaults faults;
    std::atomic<int> calls{0};  // tiles are compressed on several threads
};

FaultState& Faults() {
    static FaultState state;
    return state;
}

thread_local OSErr lastMoviesError = oserr::kNoErr;

}  // namespace

OSErr InitializeMediaLayer() {
    if (const OSErr code = Faults().faults.mediaLayerInit) return code;
    Layers().mediaLayer = true;
    return oserr::kNoErr;
}

OSErr TerminateMediaLayer() {
    if (const OSErr code = Faults().faults.mediaLayerTerm) return code;
    Layers() = LayerState{};
    return oserr::kNoErr;
}

OSErr EnterMovies() {
    if (const OSErr code = Faults().faults.enterMovies) return code;
    if (!Layers().mediaLayer) return oserr::kMediaLayerNotInitialized;
    Layers().movies = true;
    SetMoviesError(oserr::kNoErr);
    return oserr::kNoErr;
}

OSErr ExitMovies() {
    if (const OSErr code = Faults().faults.exitMovies) return code;
    Layers().movies = false;
    return oserr::kNoErr;
}

OSErr InitializeVR() {
    if (const OSErr code = Faults().faults.vrInit) return code;
    if (!Layers().mediaLayer) return oserr::kMediaLayerNotInitialized;
    Layers().vr = true;
    return oserr::kNoErr;
}

OSErr TerminateVR() {
    if (const OSErr code = Faults().faults.vrTerm) return code;
    Layers().vr = false;
    return oserr::kNoErr;
}

bool IsMediaLayerInitialized() {
    return Layers().mediaLayer;
}
bool AreMoviesEntered() {
    return Layers().mediaLayer && Layers().movies;
}
bool IsVRInitialized() {
    return Layers().mediaLayer && Layers().vr;
}

OSErr QueryFeature(FourCC selector, std::int32_t& response) {
    response = 0;
    if (selector == kVRVersionSelector) {
        if (Faults().faults.vrVersionQueryFails) return oserr::kParamErr;
        response = Faults().faults.vrVersion;
        return oserr::kNoErr;
    }
    if (selector == MakeFourCC("qtim")) {
        response = 0x05000000;
        return oserr::kNoErr;
    }
    return oserr::kParamErr;
}

OSErr GetMoviesError() {
    return lastMoviesError;
}
void SetMoviesError(OSErr code) {
    lastMoviesError = code;
}

void SetPlatformFaults(const PlatformFaults& faults) {
    Faults().faults = faults;
    Faults().calls = 0;
}

void ClearPlatformFaults() {
    SetPlatformFaults(PlatformFaults{});
}

const PlatformFaults& CurrentPlatformFaults() {
    return Faults().faults;
}

OSErr InjectedFault(FaultStep step) {
    FaultState& state = Faults();
    if (step == FaultStep::kNone || state.faults.failStep != step) return oserr::kNoErr;
    return ++state.calls == state.faults.failCall ? state.faults.failCode : oserr::kNoErr;
}

}  // namespace orbelune::qt
