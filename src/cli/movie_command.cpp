// movie: a panorama picture to a VR panorama movie, with an optional web page.
#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <system_error>

#include "cli/commands.h"
#include "cli/numbers.h"
#include "cli/progress_bar.h"
#include "export/html_template.h"
#include "export/movie_props.h"
#include "export/movie_settings.h"
#include "export/panorama_movie.h"
#include "export/share360.h"
#include "image/file_types.h"
#include "image/image_error.h"
#include "image/image_io.h"
#include "image/image_layer.h"
#include "image/rgb_image.h"
#include "platform/qt_settings_store.h"
#include "platform/settings_keys.h"
#include "unwarp/mirror_types.h"

namespace orbelune::cli {

namespace {

namespace props = movie_props;

constexpr const char* kMovieUsage =
    "usage: orbelune-cli movie PANORAMA -o OUT.mov [--tiles N]\n"
    "                          [--codec jpeg|tiff|cinepak|bmp|sorenson|none] [--quality 0-5]\n"
    "                          [--correction 0-2] [--zoom Z] [--pan P] [--tilt T] [--size WxH]\n"
    "                          [--html PAGE.html [--title T]]\n"
    "  Values not given are the program's stored movie settings, which are never changed.\n"
    "  Values are corrected as the movie properties dialog corrects them: zoom outside 1..2\n"
    "  becomes 1, pan outside 0..360 and a tilt outside the mirror's limits become 0, tiles\n"
    "  other than 1, 4, 8, ..., 24 become 1 (Sorenson: at least 4). OUT without an extension\n"
    "  gets .mov. The page refers to the movie by OUT as given.";

void Note(const std::string& text) {
    std::fprintf(stderr, "orbelune-cli: %s\n", text.c_str());
}

struct MovieOptions {
    std::string panorama, output, html;
    std::optional<std::string> title;
    std::optional<int> tiles, codec, quality, correction, pan, tilt, width, height;
    std::optional<float> zoom;
};

// Parses the arguments; a usage error's exit code, or nothing when they are fine.
std::optional<int> ParseMovieArgs(const Args& args, MovieOptions& o) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        const std::string value = hasValue ? args[i + 1] : std::string();
        auto need = [&](const char* what) {
            return UsageError(arg + " needs " + what, kMovieUsage);
        };
        auto intIn = [&](std::optional<int>& target, int low, int high) {
            int v = 0;
            if (!hasValue || !ParseInt(value, v) || v < low || v > high) return false;
            target = v;
            return true;
        };
        if (arg == "-o") {
            if (!hasValue || value.empty()) return need("a file name");
            o.output = value;
        } else if (arg == "--tiles") {
            int v = 0;
            if (!hasValue || !ParseInt(value, v)) return need("a whole number");
            o.tiles = v;
        } else if (arg == "--codec") {
            const int codec = hasValue ? props::CodecFromCliName(value) : -1;
            if (codec < 0) return need("one of jpeg, tiff, cinepak, bmp, sorenson, none");
            o.codec = codec;
        } else if (arg == "--quality") {
            if (!intIn(o.quality, 0, 5)) return need("0 (minimum) to 5 (maximum)");
        } else if (arg == "--correction") {
            if (!intIn(o.correction, 0, 2)) return need("0 (none), 1 (partial) or 2 (full)");
        } else if (arg == "--zoom") {
            float z = 0;
            if (!hasValue || !ParseFloat(value, z)) return need("a number (1 to 2)");
            o.zoom = z;
        } else if (arg == "--pan") {
            int v = 0;
            if (!hasValue || !ParseInt(value, v)) return need("whole degrees (0 to 360)");
            o.pan = v;
        } else if (arg == "--tilt") {
            int v = 0;
            if (!hasValue || !ParseInt(value, v)) return need("whole degrees");
            o.tilt = v;
        } else if (arg == "--size") {
            const std::size_t x = value.find('x');
            int w = 0, h = 0;
            if (!hasValue || x == std::string::npos || !ParseInt(value.substr(0, x), w) ||
                !ParseInt(value.substr(x + 1), h) || !IsStorableMovieSide(w) ||
                !IsStorableMovieSide(h))
                return need(("WxH, each from 1 to " + std::to_string(kMaxMovieSide)).c_str());
            o.width = w;
            o.height = h;
        } else if (arg == "--html") {
            if (!hasValue || value.empty()) return need("a file name");
            o.html = value;
        } else if (arg == "--title") {
            if (!hasValue) return need("a text");
            o.title = value;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + arg, kMovieUsage);
        } else if (o.panorama.empty()) {
            o.panorama = arg;
            continue;
        } else {
            return UsageError("more than one panorama", kMovieUsage);
        }
        ++i;
    }
    if (o.panorama.empty()) return UsageError("no panorama", kMovieUsage);
    if (o.output.empty()) return UsageError("need -o OUT.mov", kMovieUsage);
    if (o.title && o.html.empty()) return UsageError("--title needs --html", kMovieUsage);
    return std::nullopt;
}

std::string Text(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

void NoteCorrectedView(const float* zoom, const int* pan, const int* tilt,
                       const MovieSettings& corrected, int mirrorType, const CustomMirror& custom) {
    if (zoom && corrected.zoom != *zoom)
        Note("zoom " + Text(*zoom) + " is outside 1..2; using " + Text(corrected.zoom));
    if (pan && corrected.pan != *pan)
        Note("pan " + std::to_string(*pan) + " is outside 0..360; using 0");
    if (tilt && corrected.tilt != *tilt) {
        const props::Range limits = props::TiltLimits(mirrorType, custom);
        Note("tilt " + std::to_string(*tilt) + " is outside this mirror's " +
             std::to_string(limits.minimum) + ".." + std::to_string(limits.maximum) + "; using 0");
    }
}

int RunMovie(const Args& args) {
    MovieOptions o;
    if (const std::optional<int> usage = ParseMovieArgs(args, o)) return *usage;

    // The user's own settings, read as the dialog opens with them; never written.
    QtSettingsStore store;
    MovieSettings wanted = LoadMovieSettings(store);
    if (o.tiles) wanted.tiles = *o.tiles;
    if (o.codec) wanted.compressor = *o.codec;
    if (o.quality) wanted.quality = *o.quality;
    if (o.correction) wanted.correction = *o.correction;
    if (o.zoom) wanted.zoom = *o.zoom;
    if (o.pan) wanted.pan = *o.pan;
    if (o.tilt) wanted.tilt = *o.tilt;
    if (o.width) wanted.movieWidth = *o.width;
    if (o.height) wanted.movieHeight = *o.height;

    // What the dialog would refuse at Save Movie.
    if (wanted.compressor < 0 || wanted.compressor >= static_cast<int>(props::kCodecNames.size()))
        return UsageError("stored codec " + std::to_string(wanted.compressor) +
                              " is not a valid compressor; give --codec",
                          kMovieUsage);
    if (wanted.quality < 0 || wanted.quality >= static_cast<int>(props::kQualityNames.size()))
        return UsageError("stored quality " + std::to_string(wanted.quality) +
                              " is not a valid compression quality; give --quality",
                          kMovieUsage);
    if (wanted.correction < 0 ||
        wanted.correction >= static_cast<int>(props::kCorrectionNames.size()))
        return UsageError("stored correction " + std::to_string(wanted.correction) +
                              " is not a valid correction mode; give --correction",
                          kMovieUsage);

    const int mirrorType = Read(store, settings::kMirror);
    MovieSettings settings = props::CorrectedSettings(wanted, mirrorType, LoadCustomMirror(store));
    // Say so when a value given on the command line was not taken as given.
    NoteCorrectedView(o.zoom ? &*o.zoom : nullptr, o.pan ? &*o.pan : nullptr,
                      o.tilt ? &*o.tilt : nullptr, settings, mirrorType, LoadCustomMirror(store));
    if (settings.movieWidth != wanted.movieWidth || settings.movieHeight != wanted.movieHeight)
        Note("stored movie size " + std::to_string(wanted.movieWidth) + "x" +
             std::to_string(wanted.movieHeight) + " cannot be stored in a movie; using " +
             std::to_string(settings.movieWidth) + "x" + std::to_string(settings.movieHeight));
    if (o.tiles && settings.tiles != *o.tiles)
        Note("tiles " + std::to_string(*o.tiles) + " is not 1, 4, 8, ..., 24" +
             (settings.compressor == props::kSorensonCodec ? " (Sorenson needs at least 4)" : "") +
             "; using " + std::to_string(settings.tiles));

    RgbImage panorama;
    if (const ImageError e = panorama.LoadImageFile(o.panorama))
        return Failure(DescribeLoadFailure(o.panorama, DetectFileFormat(o.panorama), e));

    // A name without an extension gets the proposal's ".mov".
    const props::PathParts proposal = props::SplitPath(o.panorama);
    settings.moviePath = props::CompleteMoviePath(o.output, proposal.base + ".mov");

    ProgressBar bar;
    MovieBuildHooks hooks;
    hooks.showMessage = [&bar](const std::string& text) { bar.Message("orbelune-cli: " + text); };
    hooks.progress = [&bar](int row, int rows) {
        bar.Update("preparing", row + 1, rows);
        return true;
    };
    hooks.tileProgress = [&bar](int done, int tiles) { bar.Update("compressing", done, tiles); };
    // Dated as the photo was taken (a panorama keeps its photo's EXIF), else now.
    hooks.creationTime = PhotoTimeSeconds(ReadPhotoMetadata(o.panorama));
    if (hooks.creationTime == 0) hooks.creationTime = std::time(nullptr);
    const int result = SaveMovie(panorama, settings, settings.moviePath, hooks);
    bar.Clear();
    if (result != 0)
        return Failure(settings.moviePath + ": " + SaveMovieErrorText(result, panorama, settings));

    // Only a movie that was built gets its page; a failed build leaves an old page alone.
    if (o.html.empty()) return kExitOk;
    const std::string title = o.title ? *o.title : props::ProposedTitle(o.html);
    int error = 0;
    const HtmlWriteResult page = WriteHtmlTemplate(o.html, title, o.output, settings.movieWidth,
                                                   settings.movieHeight, &error);
    if (page == HtmlWriteResult::kWritten) return kExitOk;
    return Failure(o.html + ": " +
                   (page == HtmlWriteResult::kInvalidPath
                        ? std::string("Generation of HTML Template failed. Path or file name is "
                                      "not valid.  Please try again with a different filename.")
                        : "the page could not be written") +
                   (error != 0 ? " (" + std::system_category().message(error) + ")" : ""));
}

}  // namespace orbelune::cli
