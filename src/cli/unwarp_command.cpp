// unwarp and synth: ring photographs to panoramas and back.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/numbers.h"
#include "cli/progress_bar.h"
#include "export/movie_settings.h"
#include "export/share360.h"
#include "image/file_names.h"
#include "image/file_types.h"
#include "image/image_error.h"
#include "image/image_format.h"
#include "image/image_io.h"
#include "image/image_layer.h"
#include "image/panorama_shape.h"
#include "image/parallel.h"
#include "image/rgb_image.h"
#include "platform/qt_settings_store.h"
#include "platform/settings_keys.h"
#include "unwarp/mirror_types.h"
#include "unwarp/ring_detect.h"
#include "unwarp/ring_params.h"
#include "unwarp/ring_synth.h"
#include "unwarp/test_scene.h"
#include "unwarp/unwarp.h"

namespace orbelune::cli {

namespace {

constexpr const char* kElevationsNeed = "OUTER,INNER in whole degrees from -89 to 89, not equal";

constexpr int kMaxJobs = 64;

bool ParseElevations(const std::string& text, CustomMirror& custom) {
    // Elevations above the horizon may be written with their sign: "+15,-45".
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] != '+' || (i > 0 && text[i - 1] != ',')) plain += text[i];
    CustomMirror parsed = custom;
    if (!ParsePair(plain, ',', parsed.outerElevation, parsed.innerElevation) ||
        !IsValidCustomMirror(parsed))
        return false;
    custom = parsed;
    return true;
}

bool ParseMirror(const std::string& text, int& type) {
    if (const MirrorInfo* mirror = FindMirrorByCliName(text)) {
        type = mirror->value;
        return true;
    }
    return ParseInt(text, type) && FindMirror(type) != nullptr;
}

// Why a radius cannot be unwarped, or empty when it can.
std::string RadiusProblem(int outerRadius, int mirrorType, const CustomMirror& custom) {
    const PanoramaSize size = UnwarpOutputSize(outerRadius, mirrorType, custom);
    if (size.width <= 0 || size.height <= 0)
        return "outer radius " + std::to_string(outerRadius) + " gives no panorama";
    if (CheckImageSize(size.width, size.height) != err::kNone)
        return "outer radius " + std::to_string(outerRadius) + " gives a " +
               std::to_string(size.width) + " x " + std::to_string(size.height) +
               " panorama, over the size limit";
    return {};
}

bool IsPanorama(const RgbImage& image) {
    return IsPanoramaShape(image.width(), image.height());
}

std::string Comparable(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::weakly_canonical(path, ec);
    return ec ? std::filesystem::path(path).lexically_normal().string() : absolute.string();
}

struct UnwarpJob {
    std::string input;
    std::string output;
    std::string refusal;  // set when the job must not run
};

// What `--format 360` adds to the name instead of "_pano".
constexpr const char* kShareSuffix = "_360.jpg";

struct UnwarpOptions {
    bool share360 = false;  // the 360° JPEG instead of a flat panorama
    std::optional<int> mirror;
    std::optional<std::pair<int, int>> centre;
    std::optional<int> outer;
    std::optional<int> inner;
    bool detect = false;
    std::optional<int> seam;
    std::optional<std::pair<int, int>> elevations;  // outer, inner
    std::optional<bool> flip;
};

class UnwarpRun {
public:
    UnwarpRun(SettingsStore& store, int mirrorType, const CustomMirror& custom,
              const UnwarpOptions& options, int jobCount)
        : store_(store),
          mirrorType_(mirrorType),
          custom_(custom),
          options_(options),
          jobCount_(jobCount) {
        if (options_.share360) movieSettings_ = LoadMovieSettings(store_);
        seam_ = options.seam ? *options.seam : Read(store, settings::kSeam);
        if (!IsValidSeam(seam_)) seam_ = settings::kSeam.defaultValue;
    }

    // Empty on success, else the reason (without the file name).
    std::string Process(const UnwarpJob& job, long long index, long long count) {
        // Read before the pixels, so the file's bytes are gone when they come.
        PhotoMetadata metadata = ReadPhotoMetadata(job.input);
        RgbImage raw;
        if (const ImageError e = raw.LoadImageFile(job.input)) return ImageErrorReason(e);
        if (IsPanorama(raw))
            return "already a panorama (" + std::to_string(raw.width()) + " x " +
                   std::to_string(raw.height()) +
                   ", wider than twice its height); nothing to unwarp";

        RingParams ring;
        {
            // One settings object serves all jobs.
            std::lock_guard lock(storeMutex_);
            ring = LoadRingParams(store_, raw.width(), raw.height());
        }
        if (const std::string note = PlaceRing(raw, ring); !note.empty())
            std::fprintf(stderr, "orbelune-cli: %s: %s\n", job.input.c_str(), note.c_str());
        const bool storedRadius = !options_.outer.has_value() && !options_.detect;
        if (options_.centre) {
            ring.XCenter = options_.centre->first;
            ring.YCenter = options_.centre->second;
            if (ring.XCenter < 0 || ring.XCenter >= raw.width() || ring.YCenter < 0 ||
                ring.YCenter >= raw.height())
                return "centre " + std::to_string(ring.XCenter) + "," +
                       std::to_string(ring.YCenter) + " lies outside the picture (" +
                       std::to_string(raw.width()) + " x " + std::to_string(raw.height()) + ")";
        }
        if (options_.outer) ring.OuterRadius = *options_.outer;
        if (options_.inner) ring.InnerRadius = *options_.inner;
        if (const std::string problem = RadiusProblem(ring.OuterRadius, mirrorType_, custom_);
            !problem.empty())
            return problem + (storedRadius ? " (stored setting; give --outer R)" : "");
        // The custom mirror's rows run between the two circles.
        if (mirrorType_ == CustomMirrorType &&
            (ring.InnerRadius < 1 || ring.InnerRadius >= ring.OuterRadius))
            return "the custom mirror needs an inner radius from 1 to the outer radius less one "
                   "(it is " +
                   std::to_string(ring.InnerRadius) + "; give --inner R)";

        const ImageFormat format = FormatFromExtension(job.output);
        if (options_.share360 && format != ImageFormat::Jpeg)
            return "cannot write " + job.output + " (a 360° JPEG needs .jpg)";
        if (!CanEncode(format))
            return "cannot write " + job.output + " (use " + WritableExtensions() +
                   ", or --format)";

        // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on "[" + string.
        std::string label;
        if (count > 1) {
            label += '[';
            label += std::to_string(index + 1);
            label += '/';
            label += std::to_string(count);
            label += "] ";
        }
        label += job.input;
        RgbImage panorama;
        UnwarpProgress progress;
        if (jobCount_ == 1 && bar_.enabled())
            progress = [&](int row, int rows) {
                bar_.Update(label, row + 1, rows);
                return true;
            };
        if (Unwarp(raw, ring, mirrorType_, custom_, panorama, progress) != 0)
            return ImageErrorText(LastImageError());
        TurnColumns(panorama, SeamShift(seam_, panorama.width()));
        // The photograph is not needed any more, nor the panorama once saved:
        // the peak stays at the photograph plus the panorama.
        raw.FreePixels();
        const bool linked = HasOtherHardLinks(job.output);
        if (options_.share360 && mirrorType_ == CustomMirrorType) {
            // Already equirectangular: placed on the sphere by its known elevations.
            const KnownElevations known =
                KnownElevationsForCustomMirror(custom_, panorama.height(), 0);
            const ShareView view =
                ShareViewForPanorama(movieSettings_, panorama.width(), panorama.height(), known);
            if (const ImageError e =
                    SaveShare360JpegAndFree(panorama, known, view, metadata, job.output))
                return FileErrorMessage(job.output, e);
        } else if (options_.share360) {
            const ShareView view =
                ShareViewForPanorama(movieSettings_, panorama.width(), panorama.height());
            if (const ImageError e = SaveShare360JpegAndFree(panorama, view, metadata, job.output))
                return FileErrorMessage(job.output, e);
        } else if (const ImageError e = panorama.SaveImageFileAndFree(
                       job.output, format, PhotoMetadataFinisher(std::move(metadata)))) {
            return FileErrorMessage(job.output, e);
        }
        if (linked) NoteHardLink(job.output);
        return {};
    }

    ProgressBar& bar() { return bar_; }

private:
    // --detect, or a stored ring that cannot belong to this photograph (and
    // none given): the ring found in it, else the photograph's defaults.
    // Returns what to tell the user, if anything.
    std::string PlaceRing(const RgbImage& raw, RingParams& ring) const {
        const bool given = options_.centre || options_.outer;
        const bool fits = RingFitsPhoto(ring, raw.width(), raw.height());
        if (!options_.detect && (given || fits)) return {};
        RingDetection found;
        const bool confident =
            DetectRing(raw, found) == err::kNone && found.confidence >= kConfidentRing;
        char confidence[32];
        std::snprintf(confidence, sizeof confidence, "%.2f", found.confidence);
        if (confident) {
            ring = RingFromDetection(found);
            return fits ? std::string()
                        : "the stored ring does not fit the photo; using the ring found in it";
        }
        if (!fits) {
            ring = DefaultRingFor(raw.width(), raw.height());
            return std::string(
                       "the stored ring does not fit the photo and no ring was found in it "
                       "(confidence ") +
                   confidence + "); using the photo's defaults";
        }
        return std::string("no ring found (confidence ") + confidence + "); using the stored ring";
    }

private:
    SettingsStore& store_;
    std::mutex storeMutex_;
    int mirrorType_;
    CustomMirror custom_;
    int seam_ = 0;
    UnwarpOptions options_;
    int jobCount_;
    MovieSettings movieSettings_;
    ProgressBar bar_;
};

// "TYPE: concave-standard, ..., custom, or their numbers 0 to 4 in this order."
std::string MirrorTypes() {
    std::string text = "TYPE: ";
    int low = 0, high = 0;
    for (const MirrorInfo& mirror : MirrorTable()) {
        text += std::string(mirror.cliName) + ", ";
        low = std::min(low, mirror.value);
        high = std::max(high, mirror.value);
    }
    return text + "or their numbers " + std::to_string(low) + " to " + std::to_string(high) +
           " in this order.";
}

// The options unwarp and synth share, with what they need.
OptionDef MirrorOption() {
    return {{"mirror"}, "TYPE", "the mirror: its number or name (below)", "a mirror type"};
}
OptionDef CenterOption() {
    return {{"center"}, "X,Y", "the ring's centre, in pixels", "X,Y in whole pixels"};
}
OptionDef RadiusOption(const char* key, const char* description) {
    return {{key}, "R", description, "a radius of at least 1 pixel"};
}
OptionDef ElevationsOption() {
    return {{"elevations"},
            "OUTER,INNER",
            "custom mirror: degrees seen at each circle",
            kElevationsNeed};
}

int RunUnwarp(ParsedCommand& command);
int RunSynth(ParsedCommand& command);

}  // namespace

const CommandDef& UnwarpCommand() {
    static const CommandDef def{
        "unwarp",
        "INPUT... [-o OUT | -d DIR]",
        "Unwarps ring photographs into panoramas.",
        {
            {{"o"}, "OUT", "the panorama's file (a single input only)", "a file name"},
            {{"d"}, "DIR", "the folder for the panoramas (made if missing)", "a folder"},
            MirrorOption(),
            CenterOption(),
            RadiusOption("outer", "the outer radius, in pixels"),
            RadiusOption("inner", "the inner radius, in pixels"),
            {{"detect"}, "", "use the ring found in each photo", ""},
            {{"seam"},
             "DEG",
             "start the panorama DEG degrees further round",
             "whole degrees from 0 to 359"},
            ElevationsOption(),
            {{"flip"}, "", "custom mirror: mirror the picture", ""},
            {{"no-flip"}, "", "custom mirror: do not mirror the picture", ""},
            {{"format"},
             "EXT",
             "jpg, bmp, tif, png, or 360 for the 360° JPEG",
             "one of jpg, bmp, tif, png, 360"},
            {{"jobs"},
             "N",
             "unwarp N files at once (1 to " + std::to_string(kMaxJobs) + ")",
             "a number from 1 to " + std::to_string(kMaxJobs)},
        },
        "Each panorama is NAME_pano.EXT beside its input or in DIR (EXT: the input's, or\n"
        "--format). Values not given are taken from the program's settings, which are\n"
        "never changed.\n" +
            MirrorTypes() +
            "\n"
            "The custom mirror's elevations are the degrees above the horizon seen at the\n"
            "outer and at the inner circle, each -89..89, not equal.\n"
            "--format 360 writes a 360° JPEG (NAME_360.jpg) for photo-sphere viewers,\n"
            "opening at the stored movie view; with -o, OUT must end in .jpg.",
        RunUnwarp};
    return def;
}

const CommandDef& SynthCommand() {
    static const CommandDef def{
        "synth",
        "[PANORAMA] -o OUT",
        "Renders a panorama into a ring photograph as a mirror would show it.",
        {
            {{"o"}, "OUT", "the photograph to write", "a file name"},
            MirrorOption(),
            {{"size"},
             "WxH",
             "the photograph's size (default 1000x800)",
             "WxH within the image size limits"},
            CenterOption(),
            RadiusOption("outer", "the outer radius, in pixels (default 300)"),
            RadiusOption("inner", "the inner radius, in pixels"),
            ElevationsOption(),
            {{"flip"}, "", "custom mirror: mirror the picture", ""},
            {{"scene"}, "NAME", "without PANORAMA: test (default) or sample", "test or sample"},
        },
        "Without PANORAMA a built-in scene is rendered (test: angle marks and texture;\n"
        "sample: a landscape). The centre defaults to the middle of the photograph.\n" +
            MirrorTypes() +
            "\n"
            "The custom mirror takes its elevations (default 15,-45), its inner circle\n"
            "(default 60) and --flip as unwarp does.",
        RunSynth};
    return def;
}

namespace {

int RunUnwarp(ParsedCommand& command) {
    UnwarpOptions options;
    std::string formatExtension;
    const std::string output = command.Path("o").value_or("");
    std::string folder = command.Path("d").value_or("");
    if (const std::optional<std::string> type = command.Text("mirror")) {
        int value = 0;
        if (!ParseMirror(*type, value)) return command.Needs("mirror");
        options.mirror = value;
    }
    options.centre = command.Pair("center", ',');
    options.outer = command.Int("outer", 1, std::numeric_limits<int>::max());
    options.inner = command.Int("inner", 1, std::numeric_limits<int>::max());
    options.seam = command.Int("seam", 0, 359);
    if (const std::optional<std::string> text = command.Text("elevations")) {
        CustomMirror custom;
        if (!ParseElevations(*text, custom)) return command.Needs("elevations");
        options.elevations = {custom.outerElevation, custom.innerElevation};
    }
    if (command.Flag("flip") && command.Flag("no-flip"))
        return command.Refuse("give --flip or --no-flip, not both");
    if (command.Flag("flip") || command.Flag("no-flip")) options.flip = command.Flag("flip");
    options.detect = command.Flag("detect");
    if (const std::optional<std::string> value = command.Text("format")) {
        options.share360 = *value == "360";
        if (options.share360) {
            formatExtension = ".jpg";
        } else if (value->empty() || value->find_first_of("./") != std::string::npos ||
                   !CanEncode(FormatFromExtension("x." + *value))) {
            return command.Needs("format");
        } else {
            formatExtension = "." + *value;
        }
    }
    const int jobs = command.Int("jobs", 1, kMaxJobs).value_or(1);
    if (command.failed()) return kExitUsage;

    const std::vector<std::string>& inputs = command.operands();
    if (inputs.empty()) return command.Refuse("no input");
    if (!output.empty() && !folder.empty()) return command.Refuse("give -o or -d, not both");
    if (!output.empty() && inputs.size() > 1)
        return command.Refuse("-o takes a single input; use -d for several");
    if (!output.empty() && !formatExtension.empty() &&
        FormatFromExtension(output) != FormatFromExtension("x" + formatExtension))
        return command.Refuse("--format does not match the extension of " + output);

    // The user's own settings, read as the program reads them; never written.
    QtSettingsStore store;
    const int mirrorType = options.mirror ? *options.mirror : Read(store, settings::kMirror);
    CustomMirror custom = LoadCustomMirror(store);
    if (mirrorType != CustomMirrorType && (options.elevations || options.flip))
        return command.Refuse(
            "--elevations, --flip and --no-flip are for the custom mirror (--mirror custom)");
    if (options.elevations) {
        custom.outerElevation = options.elevations->first;
        custom.innerElevation = options.elevations->second;
    }
    if (options.flip) custom.mirrored = *options.flip;
    if (options.outer) {
        if (const std::string problem = RadiusProblem(*options.outer, mirrorType, custom);
            !problem.empty())
            return command.Refuse("--outer: " + problem);
    }
    if (!folder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (!std::filesystem::is_directory(folder, ec))
            return Failure(folder + ": cannot create this folder");
        if (folder.back() != '/') folder += '/';
    }

    // Plan every output first so that no file overwrites an input or another output.
    std::vector<UnwarpJob> jobsToRun;
    std::map<std::string, std::string> claimed;  // output -> input
    for (const std::string& input : inputs)
        claimed[Comparable(input)] = "";
    for (const std::string& input : inputs) {
        UnwarpJob job{input, output, {}};
        if (job.output.empty()) {
            job.output = (folder.empty() ? SplitPath(input).folder : folder) +
                         (options.share360 ? SplitPath(input).base + kShareSuffix
                                           : ProposedPanoramaName(input, formatExtension));
        }
        auto [at, fresh] = claimed.emplace(Comparable(job.output), input);
        if (!fresh) {
            job.refusal = at->second.empty()
                              ? job.output + " is one of the inputs; not overwritten"
                              : job.output + " is already the output of " + at->second;
        }
        jobsToRun.push_back(job);
    }

    const int workers = std::min<int>(jobs, static_cast<int>(jobsToRun.size()));
    if (workers > 1) {
        // Files run side by side; share the cores between them.
        SetWorkerThreads(
            std::max(1, static_cast<int>(std::thread::hardware_concurrency()) / workers));
    }
    UnwarpRun run(store, mirrorType, custom, options, workers);
    std::atomic<std::size_t> next{0};
    std::atomic<long long> finished{0};
    std::atomic<int> failed{0};
    const auto count = static_cast<long long>(jobsToRun.size());
    auto work = [&] {
        for (std::size_t i = next++; i < jobsToRun.size(); i = next++) {
            const UnwarpJob& job = jobsToRun[i];
            const std::string reason = job.refusal.empty()
                                           ? run.Process(job, static_cast<long long>(i), count)
                                           : job.refusal;
            if (!reason.empty()) {
                ++failed;
                run.bar().Message("orbelune-cli: " + job.input + ": " + reason);
            }
            const long long done = ++finished;
            if (workers > 1) run.bar().Update("unwarping", done, count);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < workers; ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // the calling thread still runs the rest
        }
    }
    work();
    for (std::thread& thread : threads)
        thread.join();
    run.bar().Clear();
    return failed > 0 ? kExitFailed : kExitOk;
}

int RunSynth(ParsedCommand& command) {
    SynthOptions options;
    const std::optional<std::string> output = command.Path("o");
    if (const std::optional<std::string> type = command.Text("mirror"))
        if (!ParseMirror(*type, options.mirrorType)) return command.Needs("mirror");
    if (const auto size = command.Pair("size", 'x')) {
        if (CheckImageSize(size->first, size->second) != err::kNone) return command.Needs("size");
        options.width = size->first;
        options.height = size->second;
    }
    const std::optional<std::pair<int, int>> centre = command.Pair("center", ',');
    options.outerRadius =
        command.Int("outer", 1, std::numeric_limits<int>::max()).value_or(options.outerRadius);
    const std::optional<int> inner = command.Int("inner", 1, std::numeric_limits<int>::max());
    bool customGiven = false;
    if (const std::optional<std::string> text = command.Text("elevations")) {
        if (!ParseElevations(*text, options.custom)) return command.Needs("elevations");
        customGiven = true;
    }
    if (command.Flag("flip")) {
        options.custom.mirrored = true;
        customGiven = true;
    }
    const std::string scene = command.Text("scene").value_or("test");
    if (scene != "test" && scene != "sample") return command.Needs("scene");
    if (command.failed()) return kExitUsage;
    if (command.operands().size() > 1) return command.Refuse("more than one panorama");
    const std::string input = command.operands().empty() ? "" : command.operands()[0];
    if (!output) return command.Refuse("need -o OUT");
    const bool custom = options.mirrorType == CustomMirrorType;
    if (customGiven && !custom)
        return command.Refuse(
            "--elevations and --flip are for the custom mirror (--mirror custom)");
    options.innerRadius = inner ? *inner : custom ? settings::kInnerRadius.defaultValue : 0;
    if (custom && options.innerRadius >= options.outerRadius)
        return command.Refuse(
            "--inner: the custom mirror's inner circle must lie inside the outer one");
    options.xCenter = centre ? centre->first : options.width / 2;
    options.yCenter = centre ? centre->second : options.height / 2;
    if (options.xCenter < 0 || options.xCenter >= options.width || options.yCenter < 0 ||
        options.yCenter >= options.height)
        return command.Refuse("--center must lie inside the picture");
    if (const std::string problem =
            RadiusProblem(options.outerRadius, options.mirrorType, options.custom);
        !problem.empty())
        return command.Refuse("--outer: " + problem);
    const ImageFormat format = FormatFromExtension(*output);
    if (!CanEncode(format))
        return Failure(*output + ": cannot write this format (use " + WritableExtensions() + ")");

    RgbImage panorama;
    if (!input.empty()) {
        if (const ImageError e = panorama.LoadImageFile(input))
            return Failure(DescribeLoadFailure(input, DetectFileFormat(input), e));
    } else {
        const PanoramaSize size =
            UnwarpOutputSize(options.outerRadius, options.mirrorType, options.custom);
        const int w = static_cast<int>(size.width), h = static_cast<int>(size.height);
        panorama = scene == "sample" ? MakeSampleScene(w, h) : MakeTestScene(w, h);
        if (panorama.empty()) return Failure("out of memory for the scene");
    }
    RgbImage photo;
    if (const ImageError e = SynthesizeRing(panorama, options, photo))
        return Failure(*output + ": " + ImageErrorText(e));
    panorama.FreePixels();
    if (const ImageError e = photo.SaveImageFile(*output, format))
        return Failure(FileErrorMessage(*output, e));
    return kExitOk;
}

}  // namespace

}  // namespace orbelune::cli
