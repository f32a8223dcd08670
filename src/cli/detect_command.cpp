// detect: where the ring of each photograph lies.
#include <cmath>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "image/image_error.h"
#include "image/rgb_image.h"
#include "unwarp/ring_detect.h"

namespace orbelune::cli {

namespace {

int RunDetect(ParsedCommand& command) {
    const Args& args = command.operands();
    if (args.empty()) return command.Refuse("no input");
    int status = kExitOk;
    for (const std::string& path : args) {
        RgbImage photo;
        RingDetection found;
        if (const ImageError e = photo.LoadImageFile(path)) {
            status = Failure(path + ": " + ImageErrorText(e));
            continue;
        }
        if (const ImageError e = DetectRing(photo, found)) {
            status = Failure(path + ": " + ImageErrorText(e));
            continue;
        }
        // One line per file; the name goes first when there are several.
        const std::string line = DetectionLine(found);
        if (args.size() > 1) {
            std::printf("%s: %s\n", path.c_str(), line.c_str());
        } else {
            std::printf("%s\n", line.c_str());
        }
    }
    return status;
}

}  // namespace

const CommandDef& DetectCommand() {
    char confident[16];
    std::snprintf(confident, sizeof confident, "%.2f", kConfidentRing);
    static const CommandDef def{
        "detect",
        "IMAGE...",
        "Finds the ring of each photograph: centre, outer and inner radius.",
        {},
        "Prints \"center=X,Y outer=R inner=r confidence=C\" per file, after the file's name\n"
        "when there are several; a confidence below " +
            std::string(confident) + " means no ring was found.",
        RunDetect};
    return def;
}

std::string DetectionLine(const RingDetection& found) {
    const RingParams ring = RingFromDetection(found);
    char line[160];
    std::snprintf(line, sizeof line, "center=%d,%d outer=%d inner=%d confidence=%.2f", ring.XCenter,
                  ring.YCenter, ring.OuterRadius, ring.InnerRadius, found.confidence);
    return line;
}

}  // namespace orbelune::cli
