#include "platform/quicktime/av_library.h"

#include <dlfcn.h>

#include <string>

namespace orbelune::qt::detail {

namespace {

// The major version is the ABI: exactly the one our headers describe.
void* OpenLibrary(const char* name, int major) {
    const std::string file = std::string(name) + ".so." + std::to_string(major);
    return ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

template <typename Function>
bool Find(void* library, const char* symbol, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, symbol));
    return function != nullptr;
}

bool Load(AvLibrary& av) {
    // Opened for good: encoders may be used until the program ends.
    void* const codec = OpenLibrary("libavcodec", LIBAVCODEC_VERSION_MAJOR);
    void* const util = OpenLibrary("libavutil", LIBAVUTIL_VERSION_MAJOR);
    if (codec == nullptr || util == nullptr) return false;
    const bool found =
        Find(util, "av_log_set_level", av.logSetLevel) &&
        Find(codec, "avcodec_find_encoder", av.findEncoder) &&
        Find(codec, "avcodec_alloc_context3", av.allocContext) &&
        Find(codec, "avcodec_free_context", av.freeContext) &&
        Find(codec, "avcodec_open2", av.open) && Find(codec, "avcodec_send_frame", av.sendFrame) &&
        Find(codec, "avcodec_receive_packet", av.receivePacket) &&
        Find(util, "av_frame_alloc", av.frameAlloc) && Find(util, "av_frame_free", av.frameFree) &&
        Find(util, "av_frame_get_buffer", av.frameGetBuffer) &&
        Find(codec, "av_packet_alloc", av.packetAlloc) &&
        Find(codec, "av_packet_free", av.packetFree) && Find(util, "av_opt_set", av.optSet);
    if (found) av.logSetLevel(AV_LOG_QUIET);
    return found;
}

}  // namespace

const AvLibrary* LoadAvLibrary() {
    static AvLibrary av{};
    static const bool loaded = Load(av);
    return loaded ? &av : nullptr;
}

}  // namespace orbelune::qt::detail
