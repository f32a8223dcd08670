// movie: a panorama picture to a VR panorama movie, with an optional web page.
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

#include "cli/commands.h"
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

int RunMovie(ParsedCommand& command);

std::string CodecNames() {
    std::string text;
    for (const char* name : props::kCodecCliNames)
        text += (text.empty() ? "" : ", ") + std::string(name);
    return text;
}

void Note(const std::string& text) {
    std::fprintf(stderr, "orbelune-cli: %s\n", text.c_str());
}

std::string Text(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

std::vector<OptionDef> ViewOptions() {
    const std::string panLow = std::to_string(props::kPanRange.minimum),
                      panHigh = std::to_string(props::kPanRange.maximum);
    const std::string zoomRange = Text(props::ZoomFromSlider(props::kZoomSlider.minimum)) + " to " +
                                  Text(props::ZoomFromSlider(props::kZoomSlider.maximum));
    return {
        {{"pan"},
         "P",
         "the view's pan, " + panLow + " to " + panHigh + " degrees",
         "whole degrees (" + panLow + " to " + panHigh + ")"},
        {{"tilt"}, "T", "the view's tilt in degrees, within the mirror's limits", "whole degrees"},
        {{"zoom"}, "Z", "the view's zoom, " + zoomRange, "a number (" + zoomRange + ")"},
    };
}

GivenView ReadViewOptions(ParsedCommand& command) {
    GivenView given;
    given.pan =
        command.Int("pan", std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    given.tilt =
        command.Int("tilt", std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    given.zoom = command.Float("zoom");
    return given;
}

void ApplyView(const GivenView& given, MovieSettings& settings) {
    if (given.zoom) settings.zoom = *given.zoom;
    if (given.pan) settings.pan = *given.pan;
    if (given.tilt) settings.tilt = *given.tilt;
}

void NoteCorrectedView(const GivenView& given, const MovieSettings& corrected, int mirrorType,
                       const CustomMirror& custom) {
    if (given.zoom && corrected.zoom != *given.zoom)
        Note("zoom " + Text(*given.zoom) + " is outside 1..2; using " + Text(corrected.zoom));
    if (given.pan && corrected.pan != *given.pan)
        Note("pan " + std::to_string(*given.pan) + " is outside 0..360; using 0");
    if (given.tilt && corrected.tilt != *given.tilt) {
        const props::Range limits = props::TiltLimits(mirrorType, custom);
        Note("tilt " + std::to_string(*given.tilt) + " is outside this mirror's " +
             std::to_string(limits.minimum) + ".." + std::to_string(limits.maximum) + "; using 0");
    }
}

const CommandDef& MovieCommand() {
    static const CommandDef def{
        "movie",
        "PANORAMA -o OUT.mov",
        "Saves a panorama as a VR panorama movie, with an optional HTML page.",
        [] {
            std::vector<OptionDef> options{
                {{"o"}, "OUT.mov", "the movie to write", "a file name"},
                {{"tiles"}, "N", "the number of tiles: 1, 4, 8, ..., 24", "a whole number"},
                {{"codec"}, "NAME", CodecNames(), "one of " + CodecNames()},
                {{"quality"},
                 "Q",
                 "compression quality, 0 (minimum) to 5 (maximum)",
                 "0 (minimum) to 5 (maximum)"},
                {{"correction"},
                 "C",
                 "0 (none), 1 (partial) or 2 (full)",
                 "0 (none), 1 (partial) or 2 (full)"},
            };
            for (OptionDef& view : ViewOptions())
                options.push_back(std::move(view));
            options.push_back(
                {{"size"},
                 "WxH",
                 "the movie's window size, each side 1 to " + std::to_string(kMaxMovieSide),
                 "WxH, each from 1 to " + std::to_string(kMaxMovieSide)});
            options.push_back({{"html"},
                               "PAGE.html",
                               "also write a web page that shows the movie",
                               "a file name"});
            options.push_back({{"title"}, "T", "the page's title (with --html)", "a text"});
            return options;
        }(),
        "Values not given are the program's stored movie settings, which are never\n"
        "changed. Values are corrected as the movie properties dialog corrects them:\n"
        "zoom outside 1..2 becomes 1, pan outside 0..360 and a tilt outside the\n"
        "mirror's limits become 0, tiles other than 1, 4, 8, ..., 24 become 1\n"
        "(Sorenson: at least 4). OUT without an extension gets .mov. The page refers\n"
        "to the movie by OUT as given; its title defaults to the page's name.",
        RunMovie};
    return def;
}

namespace {

int RunMovie(ParsedCommand& command) {
    const std::optional<std::string> output = command.Path("o");
    const std::optional<int> tiles =
        command.Int("tiles", std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    std::optional<int> codec;
    if (const std::optional<std::string> name = command.Text("codec")) {
        codec = props::CodecFromCliName(*name);
        if (*codec < 0) return command.Needs("codec");
    }
    const std::optional<int> quality =
        command.Int("quality", 0, static_cast<int>(props::kQualityNames.size()) - 1);
    const std::optional<int> correction =
        command.Int("correction", 0, static_cast<int>(props::kCorrectionNames.size()) - 1);
    const GivenView view = ReadViewOptions(command);
    const std::optional<std::pair<int, int>> size = command.Pair("size", 'x');
    if (size && (!IsStorableMovieSide(size->first) || !IsStorableMovieSide(size->second)))
        return command.Needs("size");
    const std::string html = command.Path("html").value_or("");
    const std::optional<std::string> title = command.Text("title");
    if (command.failed()) return kExitUsage;
    if (command.operands().size() > 1) return command.Refuse("more than one panorama");
    if (command.operands().empty()) return command.Refuse("no panorama");
    if (!output) return command.Refuse("need -o OUT.mov");
    if (title && html.empty()) return command.Refuse("--title needs --html");
    const std::string panoramaPath = command.operands()[0];

    // The user's own settings, read as the dialog opens with them; never written.
    QtSettingsStore store;
    MovieSettings wanted = LoadMovieSettings(store);
    if (tiles) wanted.tiles = *tiles;
    if (codec) wanted.compressor = *codec;
    if (quality) wanted.quality = *quality;
    if (correction) wanted.correction = *correction;
    ApplyView(view, wanted);
    if (size) {
        wanted.movieWidth = size->first;
        wanted.movieHeight = size->second;
    }

    // What the dialog would refuse at Save Movie.
    if (wanted.compressor < 0 || wanted.compressor >= static_cast<int>(props::kCodecNames.size()))
        return command.Refuse("stored codec " + std::to_string(wanted.compressor) +
                              " is not a valid compressor; give --codec");
    if (wanted.quality < 0 || wanted.quality >= static_cast<int>(props::kQualityNames.size()))
        return command.Refuse("stored quality " + std::to_string(wanted.quality) +
                              " is not a valid compression quality; give --quality");
    if (wanted.correction < 0 ||
        wanted.correction >= static_cast<int>(props::kCorrectionNames.size()))
        return command.Refuse("stored correction " + std::to_string(wanted.correction) +
                              " is not a valid correction mode; give --correction");

    const int mirrorType = Read(store, settings::kMirror);
    MovieSettings settings = props::CorrectedSettings(wanted, mirrorType, LoadCustomMirror(store));
    // Say so when a value given on the command line was not taken as given.
    NoteCorrectedView(view, settings, mirrorType, LoadCustomMirror(store));
    if (settings.movieWidth != wanted.movieWidth || settings.movieHeight != wanted.movieHeight)
        Note("stored movie size " + std::to_string(wanted.movieWidth) + "x" +
             std::to_string(wanted.movieHeight) + " cannot be stored in a movie; using " +
             std::to_string(settings.movieWidth) + "x" + std::to_string(settings.movieHeight));
    if (tiles && settings.tiles != *tiles)
        Note("tiles " + std::to_string(*tiles) + " is not 1, 4, 8, ..., 24" +
             (settings.compressor == props::kSorensonCodec ? " (Sorenson needs at least 4)" : "") +
             "; using " + std::to_string(settings.tiles));

    RgbImage panorama;
    if (const ImageError e = panorama.LoadImageFile(panoramaPath))
        return Failure(DescribeLoadFailure(panoramaPath, DetectFileFormat(panoramaPath), e));

    // A name without an extension gets the proposal's ".mov".
    const props::PathParts proposal = props::SplitPath(panoramaPath);
    settings.moviePath = props::CompleteMoviePath(*output, proposal.base + ".mov");

    ProgressBar bar;
    MovieBuildHooks hooks;
    hooks.showMessage = [&bar](const std::string& text) { bar.Message("orbelune-cli: " + text); };
    hooks.progress = [&bar](int row, int rows) {
        bar.Update("preparing", row + 1, rows);
        return true;
    };
    hooks.tileProgress = [&bar](int done, int tiles) { bar.Update("compressing", done, tiles); };
    // Dated as the photo was taken (a panorama keeps its photo's EXIF), else now.
    hooks.creationTime = PhotoTimeSeconds(ReadPhotoMetadata(panoramaPath));
    if (hooks.creationTime == 0) hooks.creationTime = std::time(nullptr);
    const int result = SaveMovie(panorama, settings, settings.moviePath, hooks);
    bar.Clear();
    if (result != 0)
        return Failure(settings.moviePath + ": " + SaveMovieErrorText(result, panorama, settings));

    // Only a movie that was built gets its page; a failed build leaves an old page alone.
    if (html.empty()) return kExitOk;
    const std::string pageTitle = title ? *title : props::ProposedTitle(html);
    int error = 0;
    const HtmlWriteResult page = WriteHtmlTemplate(html, pageTitle, *output, settings.movieWidth,
                                                   settings.movieHeight, &error);
    if (page == HtmlWriteResult::kWritten) return kExitOk;
    return Failure(html + ": " +
                   (page == HtmlWriteResult::kInvalidPath
                        ? std::string("Generation of HTML Template failed. Path or file name is "
                                      "not valid.  Please try again with a different filename.")
                        : "the page could not be written") +
                   (error != 0 ? " (" + std::system_category().message(error) + ")" : ""));
}

}  // namespace

}  // namespace orbelune::cli
