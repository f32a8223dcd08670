#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/quicktime/qt_types.h"

// In-memory movies, tracks and media, movie files and the flattening exporter.
// Every operation returns its result and also records it for GetMoviesError().
// Movie, track, media, file and export operations need the media layer and the
// movie toolbox (kMediaLayerNotInitialized / kParamErr otherwise).
namespace orbelune::qt {

// A memory block ("handle"). Allocation failure is kMemFullErr.
using Handle = std::vector<std::uint8_t>;
[[nodiscard]] OSErr NewHandle(std::size_t size, Handle& out);
[[nodiscard]] OSErr CopyToHandle(std::span<const std::uint8_t> data, Handle& out);

// A sample description of `type`: the 16-byte header (size, type, 6 reserved
// bytes, data-reference index 1) followed by `body`.
std::vector<std::uint8_t> MakeSampleDescription(FourCC type,
                                                std::span<const std::uint8_t> body = {});

class Movie;
class Track;
class MovieFile;
struct SampleBytes;  // one sample's bytes, held in memory or in a movie file

// The media of a track: a list of samples with durations and descriptions.
class Media {
public:
    FourCC type() const { return type_; }
    TimeScale timeScale() const { return timeScale_; }
    TimeValue duration() const { return duration_; }
    int sampleCount() const { return static_cast<int>(samples_.size()); }
    Track& track() const { return *track_; }

    [[nodiscard]] OSErr BeginEdits();
    [[nodiscard]] OSErr EndEdits();
    // Appends `count` (1) sample of `duration` media units between BeginEdits
    // and EndEdits. The description is stored with its size field set to its
    // length and its data-reference index set to 1; identical descriptions are
    // shared. For video media the description's data size is not kept (it
    // differs per sample). `sampleTime` receives the media time of the sample.
    [[nodiscard]] OSErr AddSample(std::span<const std::uint8_t> data, TimeValue duration,
                                  std::span<const std::uint8_t> description, int count = 1,
                                  TimeValue* sampleTime = nullptr);

    // Read access for the writer and for tests.
    struct Sample {
        std::shared_ptr<const SampleBytes> bytes;
        TimeValue duration = 0;
        int descriptionIndex = 1;  // 1-based
    };
    const std::vector<Sample>& samples() const { return samples_; }
    const std::vector<std::vector<std::uint8_t>>& descriptions() const { return descriptions_; }
    // A sample's bytes (read from its file when it lives in one).
    [[nodiscard]] OSErr ReadSample(int index, std::vector<std::uint8_t>& out) const;

private:
    friend class Track;
    friend class MovieFileReader;
    friend OSErr InsertTrackSegment(const Track&, Track&, TimeValue, TimeValue, TimeValue);
    Media(Track* track, FourCC type, TimeScale scale)
        : track_(track), type_(type), timeScale_(scale) {}
    int AddDescription(std::span<const std::uint8_t> description);

    Track* track_;
    FourCC type_;
    TimeScale timeScale_;
    TimeValue duration_ = 0;
    bool editing_ = false;
    std::vector<Sample> samples_;
    std::vector<std::vector<std::uint8_t>> descriptions_;
};

// One edit: `trackDuration` movie units showing media from `mediaTime` at `rate`.
struct Edit {
    TimeValue trackDuration = 0;
    TimeValue mediaTime = 0;
    TimeValue mediaDuration = 0;  // media units shown
    Fixed rate = kFixed1;
};

class Track {
public:
    Movie& movie() const { return *movie_; }
    std::uint32_t id() const { return id_; }  // 1-based, in order of creation
    Fixed width() const { return width_; }
    Fixed height() const { return height_; }
    std::int16_t volume() const { return volume_; }  // 8.8
    void SetVolume(std::int16_t volume) { volume_ = volume; }
    std::int16_t layer() const { return layer_; }
    void SetLayer(std::int16_t layer) { layer_ = layer; }
    bool enabled() const { return enabled_; }
    // A disabled track stays in the file but is not shown.
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    Media* media() const { return media_.get(); }
    const std::vector<Edit>& edits() const { return edits_; }
    // In the movie's time scale.
    TimeValue duration() const;

    // NewTrackMedia: one media per track (kParamErr for a second one).
    [[nodiscard]] OSErr NewMedia(FourCC type, TimeScale scale, Media** out);
    // Appends an edit showing `mediaDuration` media units from `mediaTime` at
    // track time `trackStart` (which must be the current track end). Rate 1.0 only.
    [[nodiscard]] OSErr InsertMedia(TimeValue trackStart, TimeValue mediaTime,
                                    TimeValue mediaDuration, Fixed rate = kFixed1);
    // Stretches the track segment [start, start + oldDuration), which must be
    // the whole track, to newDuration movie units (the edits' rates follow).
    [[nodiscard]] OSErr ScaleSegment(TimeValue start, TimeValue oldDuration, TimeValue newDuration);
    // References from this track to `target` (same movie) of `type`; `index`
    // gets the 1-based position of the target in this track's list of that type.
    [[nodiscard]] OSErr AddReference(const Track& target, FourCC type, long* index);

    struct Reference {
        FourCC type = 0;
        std::vector<std::uint32_t> trackIds;
    };
    const std::vector<Reference>& references() const { return references_; }

private:
    friend class Movie;
    friend class MovieFileReader;
    friend OSErr InsertTrackSegment(const Track&, Track&, TimeValue, TimeValue, TimeValue);
    friend OSErr CopyTrackSettings(const Track&, Track&);
    Track(Movie* movie, std::uint32_t id, Fixed width, Fixed height, std::int16_t volume)
        : movie_(movie), id_(id), width_(width), height_(height), volume_(volume) {}

    Movie* movie_;
    std::uint32_t id_;
    Fixed width_;
    Fixed height_;
    std::int16_t volume_;
    std::int16_t layer_ = 0;
    bool enabled_ = true;
    std::unique_ptr<Media> media_;
    std::vector<Edit> edits_;
    std::vector<Reference> references_;
};

struct UserDataItem {
    FourCC type = 0;
    std::vector<std::uint8_t> data;
};

class Movie {
public:
    TimeScale timeScale() const { return timeScale_; }
    [[nodiscard]] OSErr SetTimeScale(TimeScale scale);
    // The display box; empty until set (then the union of the track sizes).
    Rect box() const;
    [[nodiscard]] OSErr SetBox(const Rect& box);
    // Longest track, in the movie's time scale.
    TimeValue duration() const;

    // NewMovieTrack: width and height in 16.16, volume 8.8 (0 for silent tracks).
    [[nodiscard]] OSErr NewTrack(Fixed width, Fixed height, std::int16_t volume, Track** out);
    int trackCount() const { return static_cast<int>(tracks_.size()); }
    Track* track(int index) const;  // 1-based, null when out of range
    // The index-th (1-based) track whose media is of `mediaType`, or null.
    Track* IndexedTrackOfType(int index, FourCC mediaType) const;

    // Adds a user-data item (e.g. "ctyp" holding "qtvr").
    [[nodiscard]] OSErr AddUserData(FourCC type, std::span<const std::uint8_t> data);
    const std::vector<UserDataItem>& userData() const { return userData_; }

    // Creation and modification time of the movie and its tracks and media, in
    // seconds since 1904 (UTC). 0 until set, so that a movie built twice gives
    // the same bytes unless its caller passes a time.
    std::uint32_t creationTime() const { return creationTime_; }
    void SetCreationTime(std::uint32_t secondsSince1904) { creationTime_ = secondsSince1904; }

private:
    friend OSErr NewMovie(std::unique_ptr<Movie>& out);
    friend class MovieFileReader;
    Movie() = default;

    TimeScale timeScale_ = 600;
    Rect box_{};
    bool boxSet_ = false;
    std::vector<std::unique_ptr<Track>> tracks_;
    std::vector<UserDataItem> userData_;
    std::uint32_t creationTime_ = 0;
};

// Seconds since 1970 as a movie's time stamp (seconds since 1904); 0 for times
// a 32-bit stamp cannot hold.
std::uint32_t MovieTimeFromUnix(std::int64_t secondsSince1970);

// NewMovie with a memory data reference; DisposeMovie is dropping the pointer.
[[nodiscard]] OSErr NewMovie(std::unique_ptr<Movie>& out);

// Copies the whole source track (srcIn 0, srcDuration its duration) to the end
// of `dst` (dstIn = its current duration): every sample and description of the
// source media, in order, without recompression. The destination needs media of
// the same type and time scale (kInvalidMedia otherwise).
[[nodiscard]] OSErr InsertTrackSegment(const Track& src, Track& dst, TimeValue srcIn,
                                       TimeValue srcDuration, TimeValue dstIn);
// Copies layer and volume (the display settings the track owns); not the
// enabled flag.
[[nodiscard]] OSErr CopyTrackSettings(const Track& src, Track& dst);

// ---- Movie files ---------------------------------------------------------------

enum MovieFileFlags : unsigned {
    kCreateMovieFileDeleteCurFile = 1u << 0,  // replace an existing file
    kCreateMovieFileDontCreateResFile = 1u << 1,
};
inline constexpr FourCC kMovieCreator = MakeFourCC("TVOD");
inline constexpr FourCC kMovieFileType = MakeFourCC("MooV");

// An open movie file. Closing is dropping the pointer.
class MovieFile {
public:
    ~MovieFile();
    const std::string& path() const { return path_; }
    bool readOnly() const { return readOnly_; }

private:
    friend OSErr CreateMovieFile(const std::string&, FourCC, int, unsigned,
                                 std::unique_ptr<MovieFile>&, std::unique_ptr<Movie>&);
    friend OSErr OpenMovieFile(const std::string&, std::unique_ptr<MovieFile>&);
    friend OSErr NewMovieFromFile(const MovieFile&, std::unique_ptr<Movie>&);
    friend OSErr StoreMovie(MovieFile&, const Movie&);
    MovieFile() = default;
    std::string path_;
    bool readOnly_ = true;
    int fd_ = -1;  // read-only files stay open so that their samples stay readable
};

// Creates (or with kCreateMovieFileDeleteCurFile replaces) an empty movie file
// and a new movie to be stored in it. Existing file without the flag:
// kFileAlreadyExists; folder missing or not writable: kFnfErr / kPermErr.
[[nodiscard]] OSErr CreateMovieFile(const std::string& path, FourCC creator, int scriptTag,
                                    unsigned flags, std::unique_ptr<MovieFile>& file,
                                    std::unique_ptr<Movie>& movie);
// Opens a movie file for reading.
[[nodiscard]] OSErr OpenMovieFile(const std::string& path, std::unique_ptr<MovieFile>& file);
// Reads the movie of a file written by this layer. Samples are read from the
// file when needed (the file stays readable while any sample refers to it).
// kInvalidMovie for anything else.
[[nodiscard]] OSErr NewMovieFromFile(const MovieFile& file, std::unique_ptr<Movie>& movie);
// Stores the movie in the file as a self-contained, fast-start movie.
[[nodiscard]] OSErr StoreMovie(MovieFile& file, const Movie& movie);
[[nodiscard]] OSErr DeleteMovieFile(const std::string& path);

// ---- Export ----------------------------------------------------------------------

inline constexpr FourCC kMovieExportType = MakeFourCC("spit");
inline constexpr FourCC kFlattenerSubType = MakeFourCC("MooV");
inline constexpr FourCC kFlattenerManufacturer = MakeFourCC("vrwe");

class MovieExporter {
public:
    FourCC type() const { return type_; }
    FourCC subType() const { return subType_; }
    FourCC manufacturer() const { return manufacturer_; }

private:
    friend OSErr OpenMovieExporter(FourCC, FourCC, FourCC, std::unique_ptr<MovieExporter>&);
    MovieExporter(FourCC t, FourCC s, FourCC m) : type_(t), subType_(s), manufacturer_(m) {}
    FourCC type_, subType_, manufacturer_;
};

// Finds and opens an exporter component; only the flattener exists.
// kBadComponentType when it is missing. Releasing is dropping the pointer.
[[nodiscard]] OSErr OpenMovieExporter(FourCC type, FourCC subType, FourCC manufacturer,
                                      std::unique_ptr<MovieExporter>& out);

// Writes the whole movie (all tracks) to `path` as one self-contained,
// fast-start file: "moov" first, then "mdat" with every sample. The file is
// written beside the destination and renamed over it only on success, so a
// failure leaves no partial file and keeps an existing one. Without
// kCreateMovieFileDeleteCurFile an existing file is kFileAlreadyExists.
[[nodiscard]] OSErr ConvertMovieToFile(const Movie& movie, const std::string& path, FourCC fileType,
                                       FourCC creator, int scriptTag, unsigned flags,
                                       const MovieExporter* exporter);

// The bytes ConvertMovieToFile writes (for tests and benchmarks).
[[nodiscard]] OSErr FlattenMovieToBytes(const Movie& movie, std::vector<std::uint8_t>& out);

}  // namespace orbelune::qt
