// orbelune-cli: the batch tool over the same core as the desktop program.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "image/temp_registry.h"

namespace {

constexpr const char* kUsage =
    "usage: orbelune-cli COMMAND [ARGS...]\n"
    "\n"
    "commands:\n"
    "  info FILE                       format, size and kind (ring or panorama) of a picture\n"
    "  convert IN -o OUT               save IN in the format of OUT's extension\n"
    "  adjust IN -o OUT [--sharpness 0..100] [--brightness 0..100]\n"
    "                   [--contrast 0..100] [--saturation 0..300]\n"
    "                                  the panorama view's adjustments (slider positions)\n"
    "  unwarp INPUT... [-o OUT | -d DIR] [--mirror TYPE] [--center X,Y] [--outer R]\n"
    "                  [--inner R] [--detect] [--seam DEG] [--format jpg|bmp|tif|png]\n"
    "                  [--jobs N]\n"
    "                                  unwarp ring photographs into panoramas\n"
    "  synth [PANORAMA] -o OUT [--mirror TYPE] [--size WxH] [--center X,Y] [--outer R]\n"
    "                                  render a synthetic ring photograph\n"
    "  detect IMAGE...                 find the ring: centre, outer and inner radius, confidence\n"
    "  movie PANORAMA -o OUT.mov [--tiles N] [--codec jpeg|tiff|cinepak|bmp|sorenson|none]\n"
    "        [--quality 0-5] [--correction 0-2] [--zoom Z] [--pan P] [--tilt T] [--size WxH]\n"
    "        [--html PAGE.html [--title T]]\n"
    "                                  save a panorama as a VR panorama movie\n"
    "  share PANORAMA -o DIR [--title T] [--pan P] [--tilt T] [--zoom Z]\n"
    "                                  write a web page folder that shows the panorama as an\n"
    "                                  interactive 360° view (with the 360° JPEG)\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace orbelune::cli;
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    orbelune::RemoveTempFilesOnSignals();
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    const Args args = EndOfOptions(Args(argv + 2, argv + argc));
    if (command == "info") return RunInfo(args);
    if (command == "convert") return RunConvert(args);
    if (command == "adjust") return RunAdjust(args);
    if (command == "unwarp") return RunUnwarp(args);
    if (command == "synth") return RunSynth(args);
    if (command == "movie") return RunMovie(args);
    if (command == "share") return RunShare(args);
    if (command == "detect") return RunDetect(args);
    std::fprintf(stderr, "orbelune-cli: unknown command '%s'\n\n", command.c_str());
    std::fputs(kUsage, stderr);
    return kExitUsage;
}
