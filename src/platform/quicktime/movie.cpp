#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <new>

#include "platform/quicktime/byte_writer.h"
#include "platform/quicktime/movie.h"
#include "platform/quicktime/movie_internal.h"

namespace orbelune::qt {

using detail::Result;

namespace detail {

FileSource::~FileSource() {
    if (fd >= 0) ::close(fd);
}

OSErr CheckMoviesReady() {
    if (!IsMediaLayerInitialized()) return oserr::kMediaLayerNotInitialized;
    if (!AreMoviesEntered()) return oserr::kParamErr;
    return oserr::kNoErr;
}

}  // namespace detail

namespace {

// a * b / c rounded to nearest, in 64 bits; false when it does not fit 32 bits.
bool ScaleTime(std::int64_t value, std::int64_t to, std::int64_t from, TimeValue& out) {
    if (from <= 0) return false;
    const std::int64_t scaled = (value * to + from / 2) / from;
    if (scaled < 0 || scaled > std::numeric_limits<TimeValue>::max()) return false;
    out = static_cast<TimeValue>(scaled);
    return true;
}

constexpr std::size_t kDescriptionHeaderSize = 16;
constexpr std::size_t kVideoDataSizeOffset = 44;

}  // namespace

OSErr SampleBytes::Read(std::vector<std::uint8_t>& out) const {
    try {
        if (!file) {
            out = memory;
            return oserr::kNoErr;
        }
        out.resize(size);
    } catch (const std::bad_alloc&) {
        return oserr::kMemFullErr;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got =
            ::pread(file->fd, out.data() + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return oserr::kCouldNotResolveDataRef;
        done += static_cast<std::size_t>(got);
    }
    return oserr::kNoErr;
}

OSErr NewHandle(std::size_t size, Handle& out) {
    if (const OSErr fault = InjectedFault(FaultStep::kNewHandle)) return fault;
    try {
        out.assign(size, 0);
    } catch (const std::bad_alloc&) {
        return oserr::kMemFullErr;
    } catch (const std::length_error&) {
        return oserr::kMemFullErr;
    }
    return oserr::kNoErr;
}

OSErr CopyToHandle(std::span<const std::uint8_t> data, Handle& out) {
    if (const OSErr code = NewHandle(data.size(), out)) return code;
    std::copy(data.begin(), data.end(), out.begin());
    return oserr::kNoErr;
}

std::vector<std::uint8_t> MakeSampleDescription(FourCC type, std::span<const std::uint8_t> body) {
    detail::ByteWriter w;
    w.U32(static_cast<std::uint32_t>(kDescriptionHeaderSize + body.size()));
    w.U32(type);
    w.Zeros(6);
    w.U16(1);
    w.Bytes(body);
    return std::move(w.bytes());
}

// ---- Media ---------------------------------------------------------------------

OSErr Media::BeginEdits() {
    editing_ = true;
    return Result(oserr::kNoErr);
}

OSErr Media::EndEdits() {
    if (!editing_) return Result(oserr::kParamErr);
    editing_ = false;
    return Result(oserr::kNoErr);
}

int Media::AddDescription(std::span<const std::uint8_t> description) {
    std::vector<std::uint8_t> stored(description.begin(), description.end());
    detail::PutU32(stored.data(), static_cast<std::uint32_t>(stored.size()));
    detail::PutU16(stored.data() + 14, 1);  // our one data reference
    if (type_ == kVideoMediaType && stored.size() >= kVideoDataSizeOffset + 4) {
        detail::PutU32(stored.data() + kVideoDataSizeOffset, 0);
    }
    for (std::size_t i = 0; i < descriptions_.size(); ++i) {
        if (descriptions_[i] == stored) return static_cast<int>(i) + 1;
    }
    descriptions_.push_back(std::move(stored));
    return static_cast<int>(descriptions_.size());
}

OSErr Media::AddSample(std::span<const std::uint8_t> data, TimeValue duration,
                       std::span<const std::uint8_t> description, int count,
                       TimeValue* sampleTime) {
    if (sampleTime) *sampleTime = -1;
    if (const OSErr fault = InjectedFault(FaultStep::kAddSample)) return Result(fault);
    if (!editing_ || data.empty() || duration <= 0 || count != 1 ||
        description.size() < kDescriptionHeaderSize ||
        data.size() > std::numeric_limits<std::uint32_t>::max() ||
        duration > std::numeric_limits<TimeValue>::max() - duration_) {
        return Result(oserr::kParamErr);
    }
    try {
        auto bytes = std::make_shared<SampleBytes>();
        bytes->memory.assign(data.begin(), data.end());
        bytes->size = static_cast<std::uint32_t>(data.size());
        const int index = AddDescription(description);
        samples_.push_back({std::move(bytes), duration, index});
    } catch (const std::bad_alloc&) {
        return Result(oserr::kMemFullErr);
    }
    if (sampleTime) *sampleTime = duration_;
    duration_ += duration;
    return Result(oserr::kNoErr);
}

OSErr Media::ReadSample(int index, std::vector<std::uint8_t>& out) const {
    if (index < 0 || index >= sampleCount()) return oserr::kParamErr;
    return samples_[static_cast<std::size_t>(index)].bytes->Read(out);
}

// ---- Track -----------------------------------------------------------------------

TimeValue Track::duration() const {
    std::int64_t total = 0;
    for (const Edit& edit : edits_)
        total += edit.trackDuration;
    return static_cast<TimeValue>(
        std::min<std::int64_t>(total, std::numeric_limits<TimeValue>::max()));
}

OSErr Track::NewMedia(FourCC type, TimeScale scale, Media** out) {
    if (out) *out = nullptr;
    if (const OSErr fault = InjectedFault(FaultStep::kNewMedia)) return Result(fault);
    if (media_ || type == 0 || scale <= 0) return Result(oserr::kParamErr);
    try {
        media_.reset(new Media(this, type, scale));
    } catch (const std::bad_alloc&) {
        return Result(oserr::kMemFullErr);
    }
    if (out) *out = media_.get();
    return Result(oserr::kNoErr);
}

OSErr Track::InsertMedia(TimeValue trackStart, TimeValue mediaTime, TimeValue mediaDuration,
                         Fixed rate) {
    if (const OSErr fault = InjectedFault(FaultStep::kInsertMedia)) return Result(fault);
    if (!media_) return Result(oserr::kInvalidMedia);
    if (trackStart != duration() || mediaTime < 0 || mediaDuration <= 0 ||
        std::int64_t{mediaTime} + mediaDuration > media_->duration() || rate != kFixed1) {
        return Result(oserr::kParamErr);
    }
    Edit edit;
    if (!ScaleTime(mediaDuration, movie_->timeScale(), media_->timeScale(), edit.trackDuration) ||
        edit.trackDuration == 0 ||
        std::int64_t{duration()} + edit.trackDuration > std::numeric_limits<TimeValue>::max()) {
        return Result(oserr::kParamErr);
    }
    edit.mediaTime = mediaTime;
    edit.mediaDuration = mediaDuration;
    edits_.push_back(edit);
    return Result(oserr::kNoErr);
}

OSErr Track::ScaleSegment(TimeValue start, TimeValue oldDuration, TimeValue newDuration) {
    if (start != 0 || oldDuration != duration() || oldDuration <= 0 || newDuration <= 0) {
        return Result(oserr::kParamErr);
    }
    if (oldDuration == newDuration) return Result(oserr::kNoErr);
    std::int64_t before = 0;
    TimeValue placed = 0;
    for (Edit& edit : edits_) {
        // Scale the edit boundaries so the durations add up exactly.
        before += edit.trackDuration;
        TimeValue end = 0;
        if (!ScaleTime(before, newDuration, oldDuration, end)) return Result(oserr::kParamErr);
        edit.trackDuration = end - placed;
        placed = end;
    }
    const TimeScale movieScale = movie_->timeScale();
    const TimeScale mediaScale = media_ ? media_->timeScale() : movieScale;
    for (Edit& edit : edits_) {
        const double shown = static_cast<double>(edit.mediaDuration) * movieScale / mediaScale;
        edit.rate = edit.trackDuration > 0
                        ? static_cast<Fixed>(shown / edit.trackDuration * 65536.0 + 0.5)
                        : kFixed1;
    }
    return Result(oserr::kNoErr);
}

OSErr Track::AddReference(const Track& target, FourCC type, long* index) {
    if (index) *index = 0;
    if (const OSErr fault = InjectedFault(FaultStep::kAddTrackReference)) return Result(fault);
    if (&target.movie() != movie_ || &target == this) return Result(oserr::kInvalidTrack);
    if (type == 0) return Result(oserr::kParamErr);
    auto ref = std::find_if(references_.begin(), references_.end(),
                            [&](const Reference& r) { return r.type == type; });
    if (ref == references_.end()) {
        references_.push_back({type, {}});
        ref = references_.end() - 1;
    }
    auto found = std::find(ref->trackIds.begin(), ref->trackIds.end(), target.id());
    if (found == ref->trackIds.end()) {
        ref->trackIds.push_back(target.id());
        found = ref->trackIds.end() - 1;
    }
    if (index) *index = static_cast<long>(found - ref->trackIds.begin()) + 1;
    return Result(oserr::kNoErr);
}

// ---- Movie -----------------------------------------------------------------------

OSErr NewMovie(std::unique_ptr<Movie>& out) {
    out.reset();
    if (const OSErr code = detail::CheckMoviesReady()) return Result(code);
    if (const OSErr fault = InjectedFault(FaultStep::kNewMovie)) return Result(fault);
    try {
        out.reset(new Movie());
    } catch (const std::bad_alloc&) {
        return Result(oserr::kMemFullErr);
    }
    return Result(oserr::kNoErr);
}

OSErr Movie::SetTimeScale(TimeScale scale) {
    if (scale <= 0) return Result(oserr::kParamErr);
    timeScale_ = scale;
    return Result(oserr::kNoErr);
}

Rect Movie::box() const {
    if (boxSet_) return box_;
    Rect natural{};
    for (const auto& track : tracks_) {
        if (!track->enabled()) continue;
        natural.right = std::max(natural.right, FixedToInt(track->width()));
        natural.bottom = std::max(natural.bottom, FixedToInt(track->height()));
    }
    return natural;
}

OSErr Movie::SetBox(const Rect& box) {
    if (box.right < box.left || box.bottom < box.top) return Result(oserr::kInvalidRect);
    box_ = box;
    boxSet_ = true;
    return Result(oserr::kNoErr);
}

TimeValue Movie::duration() const {
    TimeValue longest = 0;
    for (const auto& track : tracks_)
        longest = std::max(longest, track->duration());
    return longest;
}

OSErr Movie::NewTrack(Fixed width, Fixed height, std::int16_t volume, Track** out) {
    if (out) *out = nullptr;
    if (const OSErr fault = InjectedFault(FaultStep::kNewTrack)) return Result(fault);
    if (width < 0 || height < 0) return Result(oserr::kParamErr);
    try {
        const auto id = static_cast<std::uint32_t>(tracks_.size() + 1);
        tracks_.push_back(std::unique_ptr<Track>(new Track(this, id, width, height, volume)));
    } catch (const std::bad_alloc&) {
        return Result(oserr::kMemFullErr);
    }
    if (out) *out = tracks_.back().get();
    return Result(oserr::kNoErr);
}

Track* Movie::track(int index) const {
    if (index < 1 || index > trackCount()) return nullptr;
    return tracks_[static_cast<std::size_t>(index - 1)].get();
}

Track* Movie::IndexedTrackOfType(int index, FourCC mediaType) const {
    for (const auto& track : tracks_) {
        if (track->media() && track->media()->type() == mediaType && --index == 0) {
            return track.get();
        }
    }
    return nullptr;
}

OSErr Movie::AddUserData(FourCC type, std::span<const std::uint8_t> data) {
    if (const OSErr fault = InjectedFault(FaultStep::kAddUserData)) return Result(fault);
    if (type == 0) return Result(oserr::kParamErr);
    try {
        userData_.push_back({type, std::vector<std::uint8_t>(data.begin(), data.end())});
    } catch (const std::bad_alloc&) {
        return Result(oserr::kMemFullErr);
    }
    return Result(oserr::kNoErr);
}

std::uint32_t MovieTimeFromUnix(std::int64_t secondsSince1970) {
    // 66 years and 17 leap days from 1904 to 1970.
    constexpr std::int64_t kFrom1904 = 2082844800;
    const std::int64_t stamp = secondsSince1970 + kFrom1904;
    if (stamp <= 0 || stamp > std::numeric_limits<std::uint32_t>::max()) return 0;
    return static_cast<std::uint32_t>(stamp);
}

OSErr InsertTrackSegment(const Track& src, Track& dst, TimeValue srcIn, TimeValue srcDuration,
                         TimeValue dstIn) {
    if (const OSErr fault = InjectedFault(FaultStep::kInsertTrackSegment)) return Result(fault);
    const Media* from = src.media();
    Media* to = dst.media();
    if (!from || !to || from->type() != to->type() || from->timeScale() != to->timeScale()) {
        return Result(oserr::kInvalidMedia);
    }
    if (&src == &dst || srcIn != 0 || srcDuration != src.duration() || srcDuration <= 0 ||
        dstIn != dst.duration()) {
        return Result(oserr::kParamErr);
    }
    const TimeValue mediaBase = to->duration();
    if (std::int64_t{mediaBase} + from->duration() > std::numeric_limits<TimeValue>::max()) {
        return Result(oserr::kParamErr);
    }
    std::vector<Edit> edits;
    std::int64_t trackEnd = dst.duration();
    for (const Edit& edit : src.edits()) {
        Edit copy = edit;
        if (!ScaleTime(edit.trackDuration, dst.movie().timeScale(), src.movie().timeScale(),
                       copy.trackDuration)) {
            return Result(oserr::kParamErr);
        }
        copy.mediaTime += mediaBase;
        trackEnd += copy.trackDuration;
        edits.push_back(copy);
    }
    if (trackEnd > std::numeric_limits<TimeValue>::max()) return Result(oserr::kParamErr);
    try {
        // Samples keep sharing their bytes: nothing is recompressed or copied.
        for (const Media::Sample& sample : from->samples()) {
            const auto& description =
                from->descriptions()[static_cast<std::size_t>(sample.descriptionIndex - 1)];
            to->samples_.push_back(
                {sample.bytes, sample.duration, to->AddDescription(description)});
        }
        to->duration_ += from->duration();
        dst.edits_.insert(dst.edits_.end(), edits.begin(), edits.end());
    } catch (const std::bad_alloc&) {
        return Result(oserr::kMemFullErr);
    }
    return Result(oserr::kNoErr);
}

OSErr CopyTrackSettings(const Track& src, Track& dst) {
    dst.layer_ = src.layer_;
    dst.volume_ = src.volume_;
    return Result(oserr::kNoErr);
}

}  // namespace orbelune::qt
