#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "export/movie_settings.h"
#include "export/panorama_movie.h"
#include "export/share360.h"
#include "image/adjustments.h"
#include "image/image_error.h"
#include "image/image_format.h"
#include "image/rgb_image.h"
#include "session/crop_lines.h"
#include "session/pano_images.h"
#include "unwarp/mirror_types.h"
#include "unwarp/ring_params.h"
#include "unwarp/unwarp.h"

namespace orbelune {

class SettingsStore;

// What an operation tells the user: nothing, or one message with its box.
struct Outcome {
    enum class Tell { Nothing, Information, Stop, Plain };

    int code = 0;  // 0: done
    std::string message;
    Tell tell = Tell::Nothing;

    bool ok() const { return code == 0; }
    static Outcome Done() { return {}; }
    static Outcome Failed(int code, std::string message = {}, Tell tell = Tell::Stop) {
        return {code, std::move(message), tell};
    }
};

// One edit of the panorama, as Undo puts it back and Redo does it again.
struct EditStep {
    enum class Kind { Crop, Adjust };
    Kind kind = Kind::Adjust;
    // Before the edit. A crop's base is held only while the step waits to be
    // undone; redoing the crop cuts the same rows again.
    RgbImage base;
    PanoAdjustments adjustments;
    SliderPositions sliders;
    std::optional<KnownElevations> known;
    // The edit itself.
    int top = 0;
    int bottom = 0;
    PanoAdjustments newAdjustments;
    SliderPositions newSliders;

    std::size_t bytes() const { return base.byteCount(); }
};

// The newest edits, up to `levels` of them and, beyond the newest one, up to
// `maxBytes` of pictures: the oldest go first.
class UndoHistory {
public:
    explicit UndoHistory(std::size_t levels, std::size_t maxBytes = SIZE_MAX)
        : levels_(levels), maxBytes_(maxBytes) {}

    void Push(EditStep step);
    // The newest step, taken out; false when there is none.
    bool Pop(EditStep& step);
    void Clear() { steps_.clear(); }
    bool empty() const { return steps_.empty(); }
    std::size_t size() const { return steps_.size(); }
    std::size_t levels() const { return levels_; }
    std::size_t bytes() const;

private:
    std::size_t levels_;
    std::size_t maxBytes_;
    std::deque<EditStep> steps_;
};

enum class FileKind { NotAnImage = -1, Panorama = 0, RingPhoto = 1 };
struct Classification {
    FileKind kind = FileKind::NotAnImage;
    std::string failure;  // why it is not an image, for the user
};

// How the ring was set at the last load: from the store, or (the stored one
// not fitting the photograph) found in it or reset to its defaults.
enum class RingSource { Stored, Found, Reset };

// What an unwarp needs, copied out so that it can run away from the session.
struct UnwarpJob {
    const RgbImage* raw = nullptr;
    RingParams ring;
    int mirror = 1;
    CustomMirror custom;
    int seam = 0;
};
struct UnwarpResult {
    int code = -1;
    RgbImage panorama;
    // The custom mirror's rows, even in elevation; empty for the other mirrors.
    std::optional<KnownElevations> known;
};

struct AdjustJob {
    const RgbImage* base = nullptr;
    PanoAdjustments adjustments;
};
struct AdjustResult {
    ImageError error = err::kBadParam;
    RgbImage adjusted;
};

// One photograph's way to its panorama: what the user opened, placed, cut and
// adjusted, and the operations on it. Nothing here shows anything; each
// operation says in its outcome what the user is to be told.
//
// The static and const operations touch no state but their arguments, so a
// caller can run them on another thread while the session stays unchanged;
// the Take operations then bring the result in.
class Session {
public:
    // Edits Undo walks back, and the pictures kept for them beyond the newest.
    static constexpr std::size_t kUndoLevels = 20;
    static constexpr std::size_t kUndoBytes = std::size_t{512} << 20;

    explicit Session(SettingsStore& store);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    SettingsStore& store() const { return store_; }

    // The movie settings and the mirror from the store; upgrades an old store.
    void LoadSettings();
    int mirror() const { return mirror_; }
    void ReadMirror();
    void SetMirror(int mirror) { mirror_ = mirror; }

    // The file being worked on: its full path and its name alone.
    void SetFile(const std::string& pathName, const std::string& fileName);
    const std::string& pathName() const { return pathName_; }
    const std::string& fileName() const { return fileName_; }

    // Open.
    static Classification Classify(const std::string& path);
    static ImageError Decode(const std::string& path, RgbImage& picture);
    static std::string LoadFailureText(const std::string& path, ImageError error);

    // The ring photograph.
    // The decoded photograph becomes the raw image; the ring comes from the
    // store, or from detection (else the defaults) when the stored one does not fit.
    // `detect` finds the ring in the photo when that is needed (empty:
    // DetectRing here); a caller may run it elsewhere, on the photo as given.
    using RingDetector = std::function<bool(const RgbImage& photo, RingParams& ring)>;
    void TakeRawPhoto(RgbImage photo, const RingDetector& detect = {});
    void DropRawPhoto() { raw_.FreePixels(); }
    RgbImage& raw() { return raw_; }
    const RgbImage& raw() const { return raw_; }
    RingParams& ring() { return ring_; }
    const RingParams& ring() const { return ring_; }
    RingSource ringSource() const { return ringSource_; }
    void LoadRingParams();
    void StoreRingParams() const;
    // Places the ring where detection finds it; false (ring unchanged) when
    // no ring is found with confidence.
    bool FindRing();
    static bool DetectRing(const RgbImage& photo, RingParams& ring);
    // Where the seam marker sits on the outer circle (degrees).
    double seamAngle() const { return seamAngle_; }
    double& seamAngleRef() { return seamAngle_; }
    void LoadSeam();
    // Stores the seam at the marker's angle; the marker snaps to it.
    void StoreSeam();

    // Unwarp: the ring is stored, the panorama built, turned to the seam and
    // taken as the current picture with the crop lines on all of it.
    Outcome Unwarp(const UnwarpProgress& progress = {});
    UnwarpJob PrepareUnwarp();
    static UnwarpResult ComputeUnwarp(const UnwarpJob& job, const UnwarpProgress& progress);
    Outcome TakeUnwarped(UnwarpResult result, bool fromCustomMirror);
    bool fromCustomMirror() const { return fromCustomMirror_; }
    // Marks the panorama as the custom mirror's, its rows as the stored
    // custom mirror gives them for its present height.
    void SetFromCustomMirror(bool custom);
    // Where the rows of a custom mirror's panorama lie (crops move its top).
    const std::optional<KnownElevations>& knownElevations() const { return known_; }
    bool CurrentMirrorIsCustom() const;

    // The panorama.
    RgbImage& current() { return current_; }
    const RgbImage& current() const { return current_; }
    const PanoImages& images() const { return images_; }
    CropLines& cropLines() { return lines_; }
    const CropLines& cropLines() const { return lines_; }
    bool HasPanorama() const { return !current_.empty(); }
    // A panorama file opened as it is.
    void TakePanoramaFile(RgbImage picture);
    // The current picture becomes the base the adjustments start from; the
    // crop lines go back to the whole picture; the history starts afresh. The
    // adjustment that follows gives the panorama its starting look: no step,
    // and no unsaved work.
    Outcome NewPanorama();
    void ClearPanorama();
    Outcome Crop();
    // One edit back or forward (crops and adjustments, newest first);
    // kNothingToUndo when there is none. After an adjustment's undo or redo
    // adjustments() and sliders() say what to show; the picture is adjusted.
    static constexpr int kNothingToUndo = 1;
    Outcome Undo();
    Outcome Redo();
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    const UndoHistory& undoHistory() const { return undo_; }

    // Whether the panorama holds work no save has kept yet.
    bool unsaved() const { return unsaved_; }
    void SetSaved() { unsaved_ = false; }

    // Adjustments, each applied afresh to the base.
    const PanoAdjustments& adjustments() const { return adjustments_; }
    const SliderPositions& sliders() const { return sliders_; }
    Outcome Adjust(const PanoAdjustments& adjustments);
    AdjustJob PrepareAdjust(const PanoAdjustments& adjustments);
    AdjustJob PrepareAdjust(const SliderPositions& sliders);
    static AdjustResult ComputeAdjusted(const AdjustJob& job);
    Outcome TakeAdjusted(AdjustResult result);

    // Saving.
    MovieSettings& movieSettings() { return movie_; }
    const MovieSettings& movieSettings() const { return movie_; }
    // The movie settings as the movie dialog corrects them for this mirror.
    MovieSettings CorrectedMovieSettings() const;
    void StoreMovieSettings() const;
    Outcome SaveImage(const std::string& path, ImageFormat format, bool share360) const;
    using MovieBuilder = std::function<int(const RgbImage&, const MovieSettings&,
                                           const std::string&, const MovieBuildHooks&)>;
    // Builds the movie at settings.moviePath; empty builder means SaveMovie.
    Outcome SaveMovie(const MovieSettings& settings, MovieBuildHooks hooks,
                      const MovieBuilder& builder, std::int64_t now) const;
    // The 360° web page folder, opening at the movie settings' view; a custom
    // mirror's panorama is placed by its known elevations.
    Outcome Share360(const std::string& folder) const;

private:
    Outcome RestoreAdjusted(const PanoAdjustments& adjustments, const SliderPositions& sliders);
    bool CutRows(int top, int bottom, Outcome& outcome);

    SettingsStore& store_;
    int mirror_ = 1;
    std::string pathName_;
    std::string fileName_;

    RgbImage raw_;
    RingParams ring_;
    RingSource ringSource_ = RingSource::Stored;
    double seamAngle_ = 0;

    RgbImage current_;
    PanoImages images_{current_};
    UndoHistory undo_{kUndoLevels, kUndoBytes};
    UndoHistory redo_{kUndoLevels, kUndoBytes};
    CropLines lines_;
    bool fromCustomMirror_ = false;
    std::optional<KnownElevations> known_;
    bool unsaved_ = false;
    PanoAdjustments adjustments_;
    SliderPositions sliders_;
    // What the adjustment being computed replaces, for its undo step.
    PanoAdjustments adjustingFrom_;
    SliderPositions slidingFrom_;
    bool startingLook_ = false;
    MovieSettings movie_;
};

}  // namespace orbelune
