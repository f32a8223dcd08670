// share: a panorama picture to a folder with a web page that turns it around.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>

#include "cli/commands.h"
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

int RunShare(ParsedCommand& command) {
    const std::optional<std::string> output = command.Path("o");
    const std::optional<std::string> title = command.Text("title");
    const GivenView view = ReadViewOptions(command);
    if (command.failed()) return kExitUsage;
    if (command.operands().size() > 1) return command.Refuse("more than one panorama");
    if (command.operands().empty()) return command.Refuse("no panorama");
    if (!output) return command.Refuse("need -o DIR");
    const std::string panoramaPath = command.operands()[0];

    // The default view is the movie's, as the program stored it; never written.
    QtSettingsStore store;
    MovieSettings wanted = LoadMovieSettings(store);
    ApplyView(view, wanted);
    const int mirrorType = Read(store, settings::kMirror);
    const MovieSettings settings =
        props::CorrectedSettings(wanted, mirrorType, LoadCustomMirror(store));
    NoteCorrectedView(view, settings, mirrorType, LoadCustomMirror(store));

    RgbImage panorama;
    if (const ImageError e = panorama.LoadImageFile(panoramaPath))
        return Failure(panoramaPath + ": " + ImageErrorText(e));

    SharePageOptions page;
    page.title = title ? *title : props::SplitPath(panoramaPath).base;
    page.view = ShareViewForPanorama(settings, panorama.width(), panorama.height());
    page.metadata = ReadPhotoMetadata(panoramaPath);
    const ShareResult result = WriteSharePage(panorama, page, *output);
    if (!result.ok()) return Failure(ShareResultText(result));
    std::printf("%s/%s\n", result.path.c_str(), std::string(kSharePageFile).c_str());
    return kExitOk;
}

}  // namespace

const CommandDef& ShareCommand() {
    static const CommandDef def{
        "share",
        "PANORAMA -o DIR",
        "Writes a web page folder that shows a panorama as a 360° view.",
        [] {
            std::vector<OptionDef> options{
                {{"o"}, "DIR", "the folder to write", "a folder name"},
                {{"title"}, "T", "the page's title (default: the panorama's name)", "a text"},
            };
            for (OptionDef& view : ViewOptions())
                options.push_back(std::move(view));
            return options;
        }(),
        "Writes DIR with index.html, the 360° JPEG panorama.jpg and the viewer's files;\n"
        "open index.html in a browser or put the folder on a web server. DIR must not\n"
        "exist, be empty or hold an earlier share. The view opens at the stored movie\n"
        "settings' pan, tilt and zoom (corrected as the movie properties dialog\n"
        "corrects them) unless given.",
        RunShare};
    return def;
}

}  // namespace orbelune::cli
