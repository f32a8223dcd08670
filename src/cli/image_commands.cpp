// info, convert and adjust: single pictures through the image layer.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/numbers.h"
#include "image/adjustments.h"
#include "image/file_types.h"
#include "image/image_error.h"
#include "image/image_format.h"
#include "image/image_io.h"
#include "image/image_layer.h"
#include "image/panorama_shape.h"
#include "image/rgb_image.h"

namespace orbelune::cli {

namespace {

constexpr const char* kInfoUsage = "usage: orbelune-cli info FILE";
constexpr const char* kConvertUsage = "usage: orbelune-cli convert IN -o OUT";
constexpr const char* kAdjustUsage =
    "usage: orbelune-cli adjust IN -o OUT [--sharpness 0..100] [--brightness 0..100] "
    "[--contrast 0..100] [--saturation 0..300]";

// Loads a picture, printing the image layer's text on failure.
bool Load(const std::string& path, RgbImage& image) {
    const ImageError e = image.LoadImageFile(path);
    if (e == err::kNone) return true;
    Failure(DescribeLoadFailure(path, DetectFileFormat(path), e));
    return false;
}

int Save(const RgbImage& image, const std::string& path) {
    const ImageFormat format = FormatFromExtension(path);
    if (!CanEncode(format))
        return Failure(path + ": cannot write this format (use " + WritableExtensions() + ")");
    const bool linked = HasOtherHardLinks(path);
    if (const ImageError e = image.SaveImageFile(path, format))
        return Failure(FileErrorMessage(path, e));
    if (linked) NoteHardLink(path);
    return kExitOk;
}

}  // namespace

Args EndOfOptions(const Args& args) {
    Args out;
    out.reserve(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            // Operands only from here; "./" keeps one starting with '-' from
            // reading as an option.
            for (++i; i < args.size(); ++i)
                out.push_back(args[i].size() > 1 && args[i][0] == '-' ? "./" + args[i] : args[i]);
            break;
        }
        out.push_back(arg);
        // Every option takes a value, which may itself be "--" or start with '-'.
        if (arg.size() > 1 && arg[0] == '-' && i + 1 < args.size()) out.push_back(args[++i]);
    }
    return out;
}

bool HasOtherHardLinks(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink > 1;
}

void NoteHardLink(const std::string& path) {
    std::fprintf(stderr,
                 "orbelune-cli: note: %s was replaced by a new file; its other hard links keep "
                 "the old contents\n",
                 path.c_str());
}

int UsageError(const std::string& message, const char* usage) {
    std::fprintf(stderr, "orbelune-cli: %s\n%s\n", message.c_str(), usage);
    return kExitUsage;
}

int Failure(const std::string& message) {
    std::fprintf(stderr, "orbelune-cli: %s\n", message.c_str());
    return kExitFailed;
}

int RunInfo(const Args& args) {
    if (args.size() != 1) return UsageError("info takes one file", kInfoUsage);
    // The header is enough where the format has a probe; the decoder decides
    // when it refuses the header (and says why the file cannot be read).
    ImageSize size;
    ImageFormat format = ImageFormat::Unknown;
    const ImageError probed = ProbeImageFile(args[0], size, format);
    if (probed == err::kNoDecoder) return Failure(DescribeLoadFailure(args[0], format, probed));
    if (probed != err::kNone) {
        RgbImage image;
        if (!Load(args[0], image)) return kExitFailed;
        size = {image.width(), image.height()};
    }
    const bool panorama = IsPanoramaShape(size.width, size.height);
    std::printf("format=%d width=%d height=%d kind=%s\n", static_cast<int>(format), size.width,
                size.height, panorama ? "panorama" : "ring");
    return kExitOk;
}

int RunConvert(const Args& args) {
    std::string input, output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size()) {
            output = args[++i];
        } else if (!args[i].empty() && args[i][0] == '-') {
            return UsageError("unknown option " + args[i], kConvertUsage);
        } else if (input.empty()) {
            input = args[i];
        } else {
            return UsageError("more than one input", kConvertUsage);
        }
    }
    if (input.empty() || output.empty()) return UsageError("need IN and -o OUT", kConvertUsage);
    RgbImage image;
    if (!Load(input, image)) return kExitFailed;
    return Save(image, output);
}

int RunAdjust(const Args& args) {
    std::string input, output;
    SliderPositions positions;
    struct Option {
        const char* name;
        int* value;
        SliderRange range;
    };
    const Option options[] = {
        // 0 (no sharpening) is allowed here although the view's slider starts at 1.
        {"--sharpness", &positions.sharpness, {0, kSharpnessSlider.maximum, 0}},
        {"--brightness", &positions.brightness, kBrightnessSlider},
        {"--contrast", &positions.contrast, kContrastSlider},
        {"--saturation", &positions.saturation, kSaturationSlider},
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-o" && i + 1 < args.size()) {
            output = args[++i];
            continue;
        }
        bool matched = false;
        for (const Option& option : options) {
            if (arg != option.name) continue;
            matched = true;
            if (i + 1 >= args.size() || !ParseInt(args[i + 1], *option.value) ||
                *option.value < option.range.minimum || *option.value > option.range.maximum)
                return UsageError(arg + " needs a whole number in " +
                                      std::to_string(option.range.minimum) + ".." +
                                      std::to_string(option.range.maximum),
                                  kAdjustUsage);
            ++i;
        }
        if (matched) continue;
        if (!arg.empty() && arg[0] == '-') return UsageError("unknown option " + arg, kAdjustUsage);
        if (!input.empty()) return UsageError("more than one input", kAdjustUsage);
        input = arg;
    }
    if (input.empty() || output.empty()) return UsageError("need IN and -o OUT", kAdjustUsage);
    RgbImage base;
    if (!Load(input, base)) return kExitFailed;
    RgbImage adjusted;
    if (const ImageError e = ApplyAdjustmentsTo(base, AdjustmentsFromSliders(positions), adjusted))
        return Failure(input + ": " + ImageErrorText(e));
    return Save(adjusted, output);
}

}  // namespace orbelune::cli
