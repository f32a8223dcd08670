// info, convert and adjust: single pictures through the image layer.
#include <sys/stat.h>

#include <cstdio>
#include <optional>
#include <string>

#include "cli/commands.h"
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

int RunInfo(ParsedCommand& command);
int RunConvert(ParsedCommand& command);
int RunAdjust(ParsedCommand& command);

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

int Failure(const std::string& message) {
    std::fprintf(stderr, "orbelune-cli: %s\n", message.c_str());
    return kExitFailed;
}

const CommandDef& InfoCommand() {
    static const CommandDef def{
        "info",
        "FILE",
        "Prints the format, size and kind (ring or panorama) of a picture.",
        {},
        "Prints \"format=<code> width=<w> height=<h> kind=<ring|panorama>\"; a picture more\n"
        "than twice as wide as high is a panorama.",
        RunInfo};
    return def;
}

const CommandDef& ConvertCommand() {
    static const CommandDef def{
        "convert",
        "IN -o OUT",
        "Saves a picture in the format of OUT's extension.",
        {{{"o"}, "OUT", "the file to write (" + WritableExtensions() + ")", "a file name"}},
        "",
        RunConvert};
    return def;
}

namespace {

// The slider's own range and neutral position, as the panorama view has them.
OptionDef SliderOption(const char* key, SliderRange range, const char* neutral) {
    const std::string low = std::to_string(range.minimum), high = std::to_string(range.maximum);
    return {{key},
            "N",
            low + " to " + high + "; " + std::to_string(range.neutral) + " " + neutral,
            "a whole number in " + low + ".." + high};
}

}  // namespace

const CommandDef& AdjustCommand() {
    static const CommandDef def{
        "adjust",
        "IN -o OUT",
        "Applies the panorama view's adjustments, given as slider positions.",
        {
            {{"o"}, "OUT", "the file to write (" + WritableExtensions() + ")", "a file name"},
            SliderOption("sharpness", kSharpnessSlider, "is off"),
            SliderOption("brightness", kBrightnessSlider, "is neutral"),
            SliderOption("contrast", kContrastSlider, "is neutral"),
            SliderOption("saturation", kSaturationSlider, "is neutral"),
        },
        "What is not given stays neutral.",
        RunAdjust};
    return def;
}

namespace {

int RunInfo(ParsedCommand& command) {
    const Args& args = command.operands();
    if (args.size() != 1) return command.Refuse("takes one file");
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

int RunConvert(ParsedCommand& command) {
    const std::optional<std::string> output = command.Path("o");
    if (command.failed()) return kExitUsage;
    const Args& inputs = command.operands();
    if (inputs.size() > 1) return command.Refuse("more than one input");
    if (inputs.empty() || !output) return command.Refuse("need IN and -o OUT");
    RgbImage image;
    if (!Load(inputs[0], image)) return kExitFailed;
    return Save(image, *output);
}

int RunAdjust(ParsedCommand& command) {
    SliderPositions positions;
    struct Slider {
        const char* key;
        int* value;
        SliderRange range;
    };
    const Slider sliders[] = {
        // 0 (no sharpening) is allowed here although the view's slider starts at 1.
        {"sharpness", &positions.sharpness, {0, kSharpnessSlider.maximum, 0}},
        {"brightness", &positions.brightness, kBrightnessSlider},
        {"contrast", &positions.contrast, kContrastSlider},
        {"saturation", &positions.saturation, kSaturationSlider},
    };
    for (const Slider& slider : sliders)
        if (const std::optional<int> value =
                command.Int(slider.key, slider.range.minimum, slider.range.maximum))
            *slider.value = *value;
    const std::optional<std::string> output = command.Path("o");
    if (command.failed()) return kExitUsage;
    const Args& inputs = command.operands();
    if (inputs.size() > 1) return command.Refuse("more than one input");
    if (inputs.empty() || !output) return command.Refuse("need IN and -o OUT");
    RgbImage base;
    if (!Load(inputs[0], base)) return kExitFailed;
    RgbImage adjusted;
    if (const ImageError e = ApplyAdjustmentsTo(base, AdjustmentsFromSliders(positions), adjusted))
        return Failure(inputs[0] + ": " + ImageErrorText(e));
    return Save(adjusted, *output);
}

}  // namespace

}  // namespace orbelune::cli
