// share: a panorama picture to a folder with a web page that turns it around.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>

#include "cli/commands.h"
#include "cli/numbers.h"
#include "export/movie_props.h"
#include "export/movie_settings.h"
#include "export/share360.h"
#include "export/share_page.h"
#include "image/image_error.h"
#include "image/rgb_image.h"
#include "platform/qt_settings_store.h"
#include "platform/settings_keys.h"
#include "unwarp/mirror_types.h"

namespace orbelune::cli {

namespace {

namespace props = movie_props;

constexpr const char* kShareUsage =
    "usage: orbelune-cli share PANORAMA -o DIR [--title T] [--pan P] [--tilt T] [--zoom Z]\n"
    "  Writes DIR with index.html, the 360° JPEG panorama.jpg and the viewer's files; open\n"
    "  index.html in a browser or put the folder on a web server. DIR must not exist, be\n"
    "  empty or hold an earlier share. The view opens at the stored movie settings' pan,\n"
    "  tilt and zoom (corrected as the movie properties dialog corrects them) unless given.\n"
    "  The title defaults to the panorama's name.";

struct ShareOptions {
    std::string panorama, output;
    std::optional<std::string> title;
    std::optional<int> pan, tilt;
    std::optional<float> zoom;
};

std::optional<int> ParseShareArgs(const Args& args, ShareOptions& o) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        const std::string value = hasValue ? args[i + 1] : std::string();
        auto need = [&](const char* what) {
            return UsageError(arg + " needs " + what, kShareUsage);
        };
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (!o.panorama.empty()) return UsageError("more than one panorama", kShareUsage);
            o.panorama = arg;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-o") {
            if (!hasValue || value.empty()) return need("a folder name");
            o.output = value;
        } else if (arg == "--title") {
            if (!hasValue) return need("a text");
            o.title = value;
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
        } else {
            return UsageError("unknown option " + arg, kShareUsage);
        }
        ++i;
    }
    if (o.panorama.empty()) return UsageError("no panorama", kShareUsage);
    if (o.output.empty()) return UsageError("need -o DIR", kShareUsage);
    return std::nullopt;
}

}  // namespace

int RunShare(const Args& args) {
    ShareOptions o;
    if (const std::optional<int> usage = ParseShareArgs(args, o)) return *usage;

    // The default view is the movie's, as the program stored it; never written.
    QtSettingsStore store;
    MovieSettings wanted = LoadMovieSettings(store);
    if (o.zoom) wanted.zoom = *o.zoom;
    if (o.pan) wanted.pan = *o.pan;
    if (o.tilt) wanted.tilt = *o.tilt;
    const int mirrorType = Read(store, settings::kMirror);
    const MovieSettings settings =
        props::CorrectedSettings(wanted, mirrorType, LoadCustomMirror(store));
    NoteCorrectedView(o.zoom ? &*o.zoom : nullptr, o.pan ? &*o.pan : nullptr,
                      o.tilt ? &*o.tilt : nullptr, settings, mirrorType, LoadCustomMirror(store));

    RgbImage panorama;
    if (const ImageError e = panorama.LoadImageFile(o.panorama))
        return Failure(o.panorama + ": " + ImageErrorText(e));

    SharePageOptions page;
    page.title = o.title ? *o.title : props::SplitPath(o.panorama).base;
    page.view = ShareViewForPanorama(settings, panorama.width(), panorama.height());
    page.metadata = ReadPhotoMetadata(o.panorama);
    const ShareResult result = WriteSharePage(panorama, page, o.output);
    if (!result.ok()) return Failure(ShareResultText(result));
    std::printf("%s/%s\n", result.path.c_str(), std::string(kSharePageFile).c_str());
    return kExitOk;
}

}  // namespace orbelune::cli
