#include "session/session.h"

#include <utility>

#include "export/movie_props.h"
#include "export/share360.h"
#include "export/share_page.h"
#include "image/file_types.h"
#include "image/image_io.h"
#include "image/image_layer.h"
#include "image/panorama_shape.h"
#include "platform/settings_keys.h"
#include "platform/settings_store.h"
#include "unwarp/ring_detect.h"

namespace orbelune {

namespace {

const char kOutOfMemory[] = "Out of memory!";

// What the photo (or the panorama file) the session was made from carries.
PhotoMetadata SourceMetadata(const std::string& path) {
    if (path.empty()) return {};
    return ReadPhotoMetadata(path);
}

int StoredSeam(SettingsStore& store) {
    int seam = Read(store, settings::kSeam);
    if (!IsValidSeam(seam)) seam = settings::kSeam.defaultValue;
    return seam;
}

bool SameAdjustments(const PanoAdjustments& a, const PanoAdjustments& b) {
    return a.sharpness == b.sharpness && a.brightness == b.brightness && a.contrast == b.contrast &&
           a.saturation == b.saturation;
}

}  // namespace

std::size_t UndoHistory::bytes() const {
    std::size_t total = 0;
    for (const EditStep& step : steps_)
        total += step.bytes();
    return total;
}

void UndoHistory::Push(EditStep step) {
    if (levels_ == 0) return;
    steps_.push_back(std::move(step));
    while (steps_.size() > levels_)
        steps_.pop_front();
    // The newest step always stays, whatever its picture weighs.
    std::size_t total = bytes();
    while (steps_.size() > 1 && total > maxBytes_) {
        total -= steps_.front().bytes();
        steps_.pop_front();
    }
}

bool UndoHistory::Pop(EditStep& step) {
    if (steps_.empty()) return false;
    step = std::move(steps_.back());
    steps_.pop_back();
    return true;
}

Session::Session(SettingsStore& store) : store_(store) {}

void Session::LoadSettings() {
    movie_ = LoadMovieSettings(store_);
    ReadMirror();
    UpgradeSettingsVersion(store_);
}

void Session::ReadMirror() {
    mirror_ = Read(store_, settings::kMirror);
}

void Session::SetFile(const std::string& pathName, const std::string& fileName) {
    pathName_ = pathName;
    fileName_ = fileName;
}

Classification Session::Classify(const std::string& path) {
    Classification result;
    ImageSize size;
    ImageFormat format = ImageFormat::Unknown;
    ImageError error = ProbeImageFile(path, size, format);
    if (error != err::kNone && error != err::kNoDecoder) {
        // The decoder has the last word on a header the probe refused.
        RgbImage scratch;
        error = scratch.LoadImageFile(path);
        size = {scratch.width(), scratch.height()};
    }
    if (error != err::kNone || size.height <= 0) {
        result.failure = DescribeLoadFailure(path, format, error);
        return result;
    }
    result.kind =
        IsPanoramaShape(size.width, size.height) ? FileKind::Panorama : FileKind::RingPhoto;
    return result;
}

ImageError Session::Decode(const std::string& path, RgbImage& picture) {
    return picture.LoadImageFile(path);
}

std::string Session::LoadFailureText(const std::string& path, ImageError error) {
    // Names the file and says whether it is damaged or in a format not read.
    return DescribeLoadFailure(path, DetectFileFormat(path), error);
}

void Session::TakeRawPhoto(RgbImage photo, const RingDetector& detect) {
    raw_ = std::move(photo);
    LoadRingParams();
    ringSource_ = RingSource::Stored;
    LoadSeam();
    // A ring stored from another (larger) photograph could neither be seen
    // nor grabbed here.
    if (!RingFitsPhoto(ring_, raw_.width(), raw_.height())) {
        RingParams found = ring_;
        if (detect ? detect(raw_, found) : DetectRing(raw_, found)) {
            ring_ = found;
            ringSource_ = RingSource::Found;
        } else {
            ring_ = DefaultRingFor(raw_.width(), raw_.height());
            ringSource_ = RingSource::Reset;
        }
    }
}

void Session::LoadRingParams() {
    ring_ = orbelune::LoadRingParams(store_, raw_.width(), raw_.height());
}

void Session::StoreRingParams() const {
    orbelune::StoreRingParams(store_, ring_);
}

bool Session::DetectRing(const RgbImage& photo, RingParams& ring) {
    if (photo.empty()) return false;
    RingDetection found;
    if (orbelune::DetectRing(photo, found) != err::kNone || found.confidence < kConfidentRing)
        return false;
    ring = RingFromDetection(found);
    return true;
}

bool Session::FindRing() {
    return DetectRing(raw_, ring_);
}

void Session::LoadSeam() {
    seamAngle_ = SeamAngle(StoredSeam(store_), mirror_, LoadCustomMirror(store_));
}

void Session::StoreSeam() {
    Write(store_, settings::kSeam, SeamForAngle(seamAngle_, mirror_, LoadCustomMirror(store_)));
    LoadSeam();
}

bool Session::CurrentMirrorIsCustom() const {
    const MirrorInfo* info = FindMirror(mirror_);
    return info != nullptr && info->model == MirrorModel::Equiangular;
}

Outcome Session::Unwarp(const UnwarpProgress& progress) {
    const bool custom = CurrentMirrorIsCustom();
    const UnwarpJob job = PrepareUnwarp();
    return TakeUnwarped(ComputeUnwarp(job, progress), custom);
}

UnwarpJob Session::PrepareUnwarp() {
    StoreRingParams();
    UnwarpJob job;
    job.raw = &raw_;
    job.ring = ring_;
    job.mirror = mirror_;
    job.custom = LoadCustomMirror(store_);
    job.seam = StoredSeam(store_);
    return job;
}

UnwarpResult Session::ComputeUnwarp(const UnwarpJob& job, const UnwarpProgress& progress) {
    UnwarpResult result;
    if (job.raw == nullptr || job.raw->empty()) return result;
    result.code =
        orbelune::Unwarp(*job.raw, job.ring, job.mirror, job.custom, result.panorama, progress);
    if (result.code == 0) {
        TurnColumns(result.panorama, SeamShift(job.seam, result.panorama.width()));
        const MirrorInfo* info = FindMirror(job.mirror);
        if (info != nullptr && info->model == MirrorModel::Equiangular) {
            result.known = KnownElevationsForCustomMirror(job.custom, result.panorama.height(), 0);
        }
    } else {
        result.panorama.FreePixels();
    }
    return result;
}

Outcome Session::TakeUnwarped(UnwarpResult result, bool fromCustomMirror) {
    if (result.code != 0) return Outcome::Failed(-1, "Error unwarping image.");
    ClearPanorama();
    current_ = std::move(result.panorama);
    SetFromCustomMirror(fromCustomMirror);
    if (fromCustomMirror && result.known) known_ = result.known;
    unsaved_ = true;
    static_cast<void>(lines_.Init(current_.height()));  // the picture has rows: it was just made
    return Outcome::Done();
}

void Session::SetFromCustomMirror(bool custom) {
    fromCustomMirror_ = custom;
    known_.reset();
    if (custom && current_.height() > 0)
        known_ = KnownElevationsForCustomMirror(LoadCustomMirror(store_), current_.height(), 0);
}

void Session::TakePanoramaFile(RgbImage picture) {
    ClearPanorama();
    current_ = std::move(picture);
    SetFromCustomMirror(false);
    static_cast<void>(lines_.Init(current_.height()));
}

Outcome Session::NewPanorama() {
    lines_.Reset(current_.height());
    undo_.Clear();
    redo_.Clear();
    startingLook_ = true;
    // Without a base no adjustment can start from it: the panorama stays as it came.
    if (TakeBase(images_) != err::kNone) return Outcome::Failed(-1, kOutOfMemory);
    return Outcome::Done();
}

void Session::ClearPanorama() {
    images_.FreeAll();
    undo_.Clear();
    redo_.Clear();
    known_.reset();
    fromCustomMirror_ = false;
    unsaved_ = false;
}

bool Session::CutRows(int top, int bottom, Outcome& outcome) {
    const CropOutcome cropped = CropToLines(images_, top, bottom);
    if (cropped != CropOutcome::Cropped) {
        if (cropped == CropOutcome::InvalidLines) {
            outcome = Outcome::Failed(-1, "Crop lines values are invalid.");
        } else if (cropped == CropOutcome::OutOfMemory) {
            outcome = Outcome::Failed(-1, kOutOfMemory);
        } else {
            outcome = Outcome::Failed(-1);
        }
        return false;
    }
    // The new top row is the old row `top`.
    if (known_) known_->topDeg -= top * known_->degPerRow;
    static_cast<void>(lines_.Init(current_.height()));
    return true;
}

Outcome Session::Crop() {
    if (!lines_.shown()) return Outcome::Failed(-1);
    EditStep step;
    step.kind = EditStep::Kind::Crop;
    step.adjustments = step.newAdjustments = adjustments_;
    step.sliders = step.newSliders = sliders_;
    step.known = known_;
    step.top = lines_.top();
    step.bottom = lines_.bottom();
    startingLook_ = false;
    Outcome outcome;
    if (!CutRows(step.top, step.bottom, outcome)) return outcome;
    step.base = std::move(images_.undo);
    images_.undo.FreePixels();
    undo_.Push(std::move(step));
    redo_.Clear();
    unsaved_ = true;
    return Outcome::Done();
}

Outcome Session::Undo() {
    EditStep step;
    if (!undo_.Pop(step)) return Outcome::Failed(kNothingToUndo);
    if (step.kind == EditStep::Kind::Crop) {
        // The picture before the crop comes back unadjusted, as after a crop.
        RgbImage shown;
        if (shown.CopyImage(step.base) != err::kNone) {
            undo_.Push(std::move(step));
            return Outcome::Failed(-1, kOutOfMemory);
        }
        images_.base = std::move(step.base);
        step.base.FreePixels();
        current_ = std::move(shown);
        known_ = step.known;
        static_cast<void>(lines_.Init(current_.height()));
        redo_.Push(std::move(step));
        unsaved_ = true;
        return RestoreAdjusted(adjustments_, sliders_);
    } else {
        const Outcome adjusted = RestoreAdjusted(step.adjustments, step.sliders);
        if (!adjusted.ok()) {
            undo_.Push(std::move(step));
            return adjusted;
        }
    }
    redo_.Push(std::move(step));
    unsaved_ = true;
    return Outcome::Done();
}

Outcome Session::Redo() {
    EditStep step;
    if (!redo_.Pop(step)) return Outcome::Failed(kNothingToUndo);
    if (step.kind == EditStep::Kind::Crop) {
        Outcome outcome;
        if (!CutRows(step.top, step.bottom, outcome)) {
            redo_.Push(std::move(step));
            return outcome;
        }
        step.base = std::move(images_.undo);
        images_.undo.FreePixels();
        undo_.Push(std::move(step));
        unsaved_ = true;
        return RestoreAdjusted(adjustments_, sliders_);
    } else {
        const Outcome adjusted = RestoreAdjusted(step.newAdjustments, step.newSliders);
        if (!adjusted.ok()) {
            redo_.Push(std::move(step));
            return adjusted;
        }
    }
    undo_.Push(std::move(step));
    unsaved_ = true;
    return Outcome::Done();
}

Outcome Session::RestoreAdjusted(const PanoAdjustments& adjustments,
                                 const SliderPositions& sliders) {
    sliders_ = sliders;
    adjustments_ = adjustingFrom_ = adjustments;
    slidingFrom_ = sliders;
    AdjustResult result = ComputeAdjusted({&images_.base, adjustments});
    return TakeAdjusted(std::move(result));
}

Outcome Session::Adjust(const PanoAdjustments& adjustments) {
    return TakeAdjusted(ComputeAdjusted(PrepareAdjust(adjustments)));
}

AdjustJob Session::PrepareAdjust(const PanoAdjustments& adjustments) {
    adjustingFrom_ = adjustments_;
    slidingFrom_ = sliders_;
    adjustments_ = adjustments;
    return {&images_.base, adjustments};
}

AdjustJob Session::PrepareAdjust(const SliderPositions& sliders) {
    AdjustJob job = PrepareAdjust(AdjustmentsFromSliders(sliders));
    sliders_ = sliders;
    return job;
}

AdjustResult Session::ComputeAdjusted(const AdjustJob& job) {
    AdjustResult result;
    if (job.base == nullptr || job.base->empty()) return result;
    result.error = ApplyAdjustmentsTo(*job.base, job.adjustments, result.adjusted);
    return result;
}

Outcome Session::TakeAdjusted(AdjustResult result) {
    if (images_.base.empty()) return Outcome::Failed(-1);
    if (result.error == err::kNone) {
        current_ = std::move(result.adjusted);
        const bool startingLook = std::exchange(startingLook_, false);
        if (!startingLook && !SameAdjustments(adjustingFrom_, adjustments_)) {
            EditStep step;
            step.kind = EditStep::Kind::Adjust;
            step.adjustments = adjustingFrom_;
            step.sliders = slidingFrom_;
            step.newAdjustments = adjustments_;
            step.newSliders = sliders_;
            step.known = known_;
            undo_.Push(std::move(step));
            redo_.Clear();
            unsaved_ = true;
        }
        adjustingFrom_ = adjustments_;
        slidingFrom_ = sliders_;
        return Outcome::Done();
    }
    // The picture shown must never be a half-adjusted one: fall back to the base.
    // Should that copy fail too, memory is short whatever the adjustment said.
    const bool restored = current_.CopyImage(images_.base) == err::kNone;
    if (result.error == err::kNoMemory || !restored) return Outcome::Failed(-1, kOutOfMemory);
    return Outcome::Failed(-1);
}

MovieSettings Session::CorrectedMovieSettings() const {
    return movie_props::CorrectedSettings(movie_, Read(store_, settings::kMirror),
                                          LoadCustomMirror(store_));
}

void Session::StoreMovieSettings() const {
    namespace keys = settings;
    Write(store_, keys::kMovieWidth, movie_.movieWidth);
    Write(store_, keys::kMovieHeight, movie_.movieHeight);
    Write(store_, keys::kCompressor, movie_.compressor);
    Write(store_, keys::kQuality, movie_.quality);
    Write(store_, keys::kCorrection, movie_.correction);
    Write(store_, keys::kZoom, movie_props::ZoomSliderPosition(movie_.zoom));
    Write(store_, keys::kPan, movie_.pan);
    Write(store_, keys::kTilt, movie_.tilt);
    Write(store_, keys::kTiles, movie_.tiles);
}

Outcome Session::SaveImage(const std::string& path, ImageFormat format, bool share360) const {
    PhotoMetadata metadata = SourceMetadata(pathName_);
    ImageError error;
    if (share360) {
        // Opens where the movie would: the movie settings' default view.
        if (known_) {
            const ShareView view =
                ShareViewForPanorama(movie_, current_.width(), current_.height(), *known_);
            error = SaveShare360Jpeg(current_, *known_, view, metadata, path);
        } else {
            const ShareView view =
                ShareViewForPanorama(movie_, current_.width(), current_.height());
            error = SaveShare360Jpeg(current_, view, metadata, path);
        }
    } else {
        error = current_.SaveImageFile(path, format, PhotoMetadataFinisher(std::move(metadata)));
    }
    if (error == err::kNone) return Outcome::Done();
    return Outcome::Failed(static_cast<int>(error), ImageErrorTextFor(path, error));
}

Outcome Session::SaveMovie(const MovieSettings& settings, MovieBuildHooks hooks,
                           const MovieBuilder& builder, std::int64_t now) const {
    // Dated as the photo was taken, else as the movie is made.
    hooks.creationTime = PhotoTimeSeconds(SourceMetadata(pathName_));
    if (hooks.creationTime == 0) hooks.creationTime = now;
    const int result = builder ? builder(current_, settings, settings.moviePath, hooks)
                               : orbelune::SaveMovie(current_, settings, settings.moviePath, hooks);
    if (result == 0) return Outcome::Done();
    // The build's own reasons are told as they are, never as a number.
    if (IsSaveMovieError(result))
        return Outcome::Failed(result, SaveMovieErrorText(result, current_, settings));
    return Outcome::Failed(result,
                           "QuickTime save failed with error code " + std::to_string(result) +
                               ".\n\nMake sure that your movie isn't open in another "
                               "application, or try saving it under a different name.",
                           Outcome::Tell::Information);
}

Outcome Session::Share360(const std::string& folder) const {
    SharePageOptions options;
    options.title = SplitPath(fileName_).base;
    // The movie's default view, corrected as the movie dialog would.
    const MovieSettings corrected = CorrectedMovieSettings();
    options.view =
        known_ ? ShareViewForPanorama(corrected, current_.width(), current_.height(), *known_)
               : ShareViewForPanorama(corrected, current_.width(), current_.height());
    options.knownElevations = known_;
    options.metadata = ReadPhotoMetadata(pathName_);
    const ShareResult result = WriteSharePage(current_, options, folder);
    if (result.ok()) return Outcome::Done();
    return Outcome::Failed(-1, "The web page could not be written.\n\n" + ShareResultText(result));
}

}  // namespace orbelune
