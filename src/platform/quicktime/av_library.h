#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace orbelune::qt::detail {

// The libavcodec and libavutil functions the Cinepak and Sorenson tiles use.
// The libraries are opened on first use, not linked: they bring in about a
// hundred other libraries, which would cost every start of the program and
// the batch tool some 10 MB and tens of milliseconds for two rarely used codecs.
struct AvLibrary {
    decltype(&av_log_set_level) logSetLevel;
    decltype(&avcodec_find_encoder) findEncoder;
    decltype(&avcodec_alloc_context3) allocContext;
    decltype(&avcodec_free_context) freeContext;
    decltype(&avcodec_open2) open;
    decltype(&avcodec_send_frame) sendFrame;
    decltype(&avcodec_receive_packet) receivePacket;
    decltype(&av_frame_alloc) frameAlloc;
    decltype(&av_frame_free) frameFree;
    decltype(&av_frame_get_buffer) frameGetBuffer;
    decltype(&av_packet_alloc) packetAlloc;
    decltype(&av_packet_free) packetFree;
    decltype(&av_opt_set) optSet;
};

// The functions, with the library's log silenced; null when the libraries of
// the version we were built against cannot be opened.
const AvLibrary* LoadAvLibrary();

}  // namespace orbelune::qt::detail
