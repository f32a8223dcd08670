#include "export/panorama_movie.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "export/movie_layout.h"
#include "export/movie_props.h"
#include "export/temp_files.h"
#include "export/toolbox_messages.h"
#include "export/vr_toolbox.h"
#include "image/file_io.h"
#include "image/image_layer.h"

namespace orbelune {
namespace {

// The tiles' image descriptions hold their sides as signed 16-bit values.
constexpr int kMaxTileSide = 32767;

// The image layer reports to the caller's progress only while the panorama is
// prepared.
class ProgressScope {
public:
    explicit ProgressScope(const std::function<bool(int, int)>& progress) {
        SetImageProgress(progress);
    }
    ~ProgressScope() { SetImageProgress({}); }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;
};

// Why the panorama cannot be cut into the tiles of a movie, or empty.
std::string TileProblem(const RgbImage& panorama, const MovieSettings& s) {
    const FittedSize fitted = FitMovieImage(panorama.width(), panorama.height(), s.tiles);
    const int tileHeight = fitted.width / s.tiles;
    if (!fitted.Storable() || fitted.height > kMaxTileSide || tileHeight > kMaxTileSide) {
        return "The panorama (" + std::to_string(panorama.width()) + " x " +
               std::to_string(panorama.height()) + ") cannot be cut into " +
               std::to_string(s.tiles) +
               " tiles of a movie.  It must be at least 4 pixels high, at least " +
               std::to_string(s.tiles * 2) + " pixels wide, at most " +
               std::to_string(kMaxTileSide) + " pixels high and at most " +
               std::to_string(kMaxTileSide) + " pixels wide per tile.";
    }
    return {};
}

// Runs the toolbox for one panorama node; 0 or the first failure's code.
// Terminate runs on every path.
// The toolbox's per-tile step, passed on so that a long compression shows
// how far it got.
class ReportingPanoMovie : public CVRPanoMovie {
public:
    explicit ReportingPanoMovie(const MovieBuildHooks& hooks) : hooks_(hooks) {}
    ToolboxError OnProgress(int step, int lastStep) override {
        if (hooks_.tileProgress) hooks_.tileProgress(step, lastStep);
        if (hooks_.cancelled && hooks_.cancelled()) return movie_err::kCancelled;
        return tbx::kOk;
    }

private:
    const MovieBuildHooks& hooks_;
};

int BuildPanoramaMovie(const MovieSettings& s, const std::string& destination,
                       const std::string& imageFile, const MovieBuildHooks& hooks) {
    ReportingPanoMovie toolbox(hooks);
    toolbox.SetMessageSink(hooks.showMessage);
    if (hooks.creationTime != 0) toolbox.SetCreationTime(qt::MovieTimeFromUnix(hooks.creationTime));
    ToolboxError result =
        toolbox.Init(destination, 0, 0, s.movieWidth, s.movieHeight, kMovieTimeScale);
    int node = 0;
    if (result == tbx::kOk) result = toolbox.CreateNode(FourCC("pano"), &node);
    if (result == tbx::kOk) {
        result = toolbox.DefinePanoStream(node, s.compressor, s.quality, s.correction,
                                          1.0f / s.zoom, static_cast<float>(s.pan),
                                          static_cast<float>(s.tilt), s.tiles, imageFile);
    }
    if (result == tbx::kOk) result = toolbox.BuildMovie();
    const ToolboxError terminated = toolbox.Terminate();
    return result != tbx::kOk ? result : terminated;
}

}  // namespace

int SaveMovie(const RgbImage& panorama, const MovieSettings& settings,
              const std::string& destination, const MovieBuildHooks& hooks) {
    if (panorama.empty()) return movie_err::kNoPanorama;
    if (destination.empty()) return movie_err::kNoDestination;
    const MovieSettings s = movie_props::BuildableSettings(settings);
    if (!movie_props::SettingsProblem(s).empty()) return movie_err::kUnstorableSize;
    if (!TileProblem(panorama, s).empty()) return movie_err::kUntileable;

    // Written beside the destination and renamed over it only when everything
    // worked, so a failure neither leaves a partial movie nor loses an old one.
    // As an image save does: a replaced movie keeps its permissions, one the
    // user could not write is refused before the work, and through a symbolic
    // link the file it points to is replaced. The partial file's name is the
    // one later runs clear away after a crash.
    auto tell = [&hooks](const std::string& text) {
        if (hooks.showMessage) hooks.showMessage(text);
    };
    AtomicFile movie(destination);
    if (const ImageError e = movie.Open()) {
        tell(FileErrorMessage(destination, e));
        return tbx::kMovieFileNotCreated;
    }

    TempFolder folder;
    if (!folder.valid()) return movie_err::kNoTempFolder;
    std::string imageFile;
    {
        ProgressScope progress(hooks.progress);
        imageFile = PrepareMovieImage(panorama, s.tiles, folder.path());
    }
    if (imageFile.empty()) return movie_err::kPrepareFailed;

    int result = BuildPanoramaMovie(s, movie.tempPath(), imageFile, hooks);
    if (result == tbx::kOk) {
        if (const ImageError e = movie.Commit()) {
            tell(FileErrorMessage(destination, e));
            result = tbx::kMovieFileNotCreated;
        }
    }
    return result;
}

bool IsSaveMovieError(int code) {
    return code >= movie_err::kNoPanorama && code <= movie_err::kCancelled;
}

std::string SaveMovieErrorText(int code, const RgbImage& panorama, const MovieSettings& settings) {
    const MovieSettings s = movie_props::BuildableSettings(settings);
    switch (code) {
        case movie_err::kNoPanorama:
            return "There is no panorama to make a movie of.";
        case movie_err::kNoDestination:
            return "No movie file name was given.";
        case movie_err::kUnstorableSize:
            return movie_props::SettingsProblem(s);
        case movie_err::kUntileable:
            return TileProblem(panorama, s);
        case movie_err::kNoTempFolder:
            return "No temporary folder could be made for the movie's working files.";
        case movie_err::kPrepareFailed:
            return "The panorama could not be fitted to the movie's tiles, turned and written "
                   "as the movie's working picture.";
        case movie_err::kCancelled:
            return "The movie was not saved: its making was cancelled.";
        default:
            return ToolboxErrorText(code);
    }
}

std::string ToolboxErrorText(int code) {
    if (const char* text = FindToolboxMessage(code)) return text;
    return "Error #" + std::to_string(code);
}

}  // namespace orbelune
