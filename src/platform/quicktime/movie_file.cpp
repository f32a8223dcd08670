#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <map>
#include <new>
#include <optional>

#include "platform/quicktime/byte_writer.h"
#include "platform/quicktime/movie.h"
#include "platform/quicktime/movie_internal.h"

namespace orbelune::qt {

using detail::ReadU16;
using detail::ReadU32;
using detail::Result;

namespace {

constexpr std::uint32_t kMaxMovieAtomSize = 64u << 20;
constexpr std::uint32_t kMaxSamples = 1u << 22;

OSErr OpenErrno(int error) {
    if (error == ENOENT || error == ENOTDIR) return oserr::kFnfErr;
    if (error == EACCES || error == EPERM || error == EROFS) return oserr::kPermErr;
    return oserr::kIoErr;
}

// A bounds-checked view of one atom's body.
struct Span {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    bool Has(std::size_t offset, std::size_t count) const {
        return offset <= size && count <= size - offset;
    }
};

// Children of a container atom: type -> bodies, in order. False when the
// sizes do not tile the parent exactly.
bool Children(Span parent, std::vector<std::pair<FourCC, Span>>& out) {
    out.clear();
    std::size_t at = 0;
    while (at < parent.size) {
        if (!parent.Has(at, 8)) return false;
        const std::uint32_t size = ReadU32(parent.data + at);
        if (size < 8 || !parent.Has(at, size)) return false;
        out.push_back({ReadU32(parent.data + at + 4), Span{parent.data + at + 8, size - 8u}});
        at += size;
    }
    return true;
}

std::optional<Span> Child(Span parent, FourCC type) {
    std::vector<std::pair<FourCC, Span>> children;
    if (!Children(parent, children)) return std::nullopt;
    for (const auto& [childType, body] : children) {
        if (childType == type) return body;
    }
    return std::nullopt;
}

}  // namespace

// Rebuilds a Movie from the atoms this layer writes; refuses anything else.
class MovieFileReader {
public:
    MovieFileReader(std::shared_ptr<detail::FileSource> file, std::uint64_t fileSize)
        : file_(std::move(file)), fileSize_(fileSize) {}

    OSErr Read(Span moov, std::unique_ptr<Movie>& out) {
        std::unique_ptr<Movie> movie(new Movie());
        std::vector<std::pair<FourCC, Span>> children;
        if (!Children(moov, children)) return oserr::kInvalidMovie;
        bool haveHeader = false;
        std::vector<std::pair<Track*, Span>> trefs;
        for (const auto& [type, body] : children) {
            if (type == MakeFourCC("mvhd")) {
                if (!body.Has(0, 100)) return oserr::kInvalidMovie;
                const auto scale = static_cast<TimeScale>(ReadU32(body.data + 12));
                if (scale <= 0) return oserr::kInvalidMovie;
                movie->timeScale_ = scale;
                movie->creationTime_ = ReadU32(body.data + 4);
                haveHeader = true;
            } else if (type == MakeFourCC("trak")) {
                if (!haveHeader) return oserr::kInvalidMovie;
                Track* track = nullptr;
                std::optional<Span> tref;
                if (const OSErr code = ReadTrack(*movie, body, &track, tref)) return code;
                if (tref) trefs.push_back({track, *tref});
            } else if (type == MakeFourCC("udta")) {
                std::vector<std::pair<FourCC, Span>> items;
                if (!Children(body, items)) return oserr::kInvalidMovie;
                for (const auto& [itemType, item] : items) {
                    movie->userData_.push_back(
                        {itemType, std::vector<std::uint8_t>(item.data, item.data + item.size)});
                }
            }
        }
        if (!haveHeader) return oserr::kInvalidMovie;
        for (const auto& [track, tref] : trefs) {
            std::vector<std::pair<FourCC, Span>> refs;
            if (!Children(tref, refs)) return oserr::kInvalidMovie;
            for (const auto& [refType, ids] : refs) {
                if (ids.size % 4 != 0) return oserr::kInvalidMovie;
                Track::Reference reference{refType, {}};
                for (std::size_t i = 0; i < ids.size; i += 4) {
                    const std::uint32_t id = ReadU32(ids.data + i);
                    if (id < 1 || id > static_cast<std::uint32_t>(movie->trackCount())) {
                        return oserr::kInvalidMovie;
                    }
                    reference.trackIds.push_back(id);
                }
                track->references_.push_back(std::move(reference));
            }
        }
        out = std::move(movie);
        return oserr::kNoErr;
    }

private:
    OSErr ReadTrack(Movie& movie, Span trak, Track** made, std::optional<Span>& tref) {
        const auto tkhd = Child(trak, MakeFourCC("tkhd"));
        const auto mdia = Child(trak, MakeFourCC("mdia"));
        if (!tkhd || !mdia || !tkhd->Has(0, 84)) return oserr::kInvalidMovie;
        tref = Child(trak, MakeFourCC("tref"));
        const auto mdhd = Child(*mdia, MakeFourCC("mdhd"));
        const auto hdlr = Child(*mdia, MakeFourCC("hdlr"));
        const auto minf = Child(*mdia, MakeFourCC("minf"));
        if (!mdhd || !hdlr || !minf || !mdhd->Has(0, 24) || !hdlr->Has(0, 12)) {
            return oserr::kInvalidMovie;
        }
        const auto stbl = Child(*minf, MakeFourCC("stbl"));
        if (!stbl) return oserr::kInvalidMovie;

        Track* track = nullptr;
        if (movie.NewTrack(static_cast<Fixed>(ReadU32(tkhd->data + 76)),
                           static_cast<Fixed>(ReadU32(tkhd->data + 80)),
                           static_cast<std::int16_t>(ReadU16(tkhd->data + 36)), &track)) {
            return oserr::kInvalidMovie;
        }
        track->enabled_ = (ReadU32(tkhd->data) & 1u) != 0;
        track->layer_ = static_cast<std::int16_t>(ReadU16(tkhd->data + 32));
        const auto scale = static_cast<TimeScale>(ReadU32(mdhd->data + 12));
        if (scale <= 0) return oserr::kInvalidMovie;
        track->media_.reset(new Media(track, ReadU32(hdlr->data + 8), scale));
        if (const OSErr code = ReadSamples(*stbl, *track->media_)) return code;

        if (const auto edts = Child(trak, MakeFourCC("edts"))) {
            const auto elst = Child(*edts, MakeFourCC("elst"));
            if (!elst || !elst->Has(0, 8)) return oserr::kInvalidMovie;
            const std::uint32_t count = ReadU32(elst->data + 4);
            if (count > 1024 || !elst->Has(8, std::size_t{count} * 12)) return oserr::kInvalidMovie;
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::uint8_t* e = elst->data + 8 + i * 12;
                Edit edit;
                edit.trackDuration = static_cast<TimeValue>(ReadU32(e));
                edit.mediaTime = static_cast<TimeValue>(ReadU32(e + 4));
                edit.rate = static_cast<Fixed>(ReadU32(e + 8));
                if (edit.trackDuration < 0 || edit.mediaTime < 0 || edit.rate <= 0) {
                    return oserr::kInvalidMovie;
                }
                const double shown = static_cast<double>(edit.trackDuration) * scale /
                                     movie.timeScale() * edit.rate / kFixed1;
                edit.mediaDuration = static_cast<TimeValue>(shown + 0.5);
                track->edits_.push_back(edit);
            }
        }
        *made = track;
        return oserr::kNoErr;
    }

    OSErr ReadSamples(Span stbl, Media& media) {
        const auto stsd = Child(stbl, MakeFourCC("stsd"));
        const auto stts = Child(stbl, MakeFourCC("stts"));
        const auto stsc = Child(stbl, MakeFourCC("stsc"));
        const auto stsz = Child(stbl, MakeFourCC("stsz"));
        const auto stco = Child(stbl, MakeFourCC("stco"));
        if (!stsd || !stts || !stsc || !stsz || !stco) return oserr::kInvalidMovie;
        if (!stsd->Has(0, 8) || !stts->Has(0, 8) || !stsc->Has(0, 8) || !stsz->Has(0, 12) ||
            !stco->Has(0, 8)) {
            return oserr::kInvalidMovie;
        }
        // Descriptions.
        const std::uint32_t descCount = ReadU32(stsd->data + 4);
        std::size_t at = 8;
        for (std::uint32_t i = 0; i < descCount; ++i) {
            if (!stsd->Has(at, 16)) return oserr::kInvalidMovie;
            const std::uint32_t size = ReadU32(stsd->data + at);
            if (size < 16 || !stsd->Has(at, size)) return oserr::kInvalidMovie;
            media.descriptions_.emplace_back(stsd->data + at, stsd->data + at + size);
            at += size;
        }
        // Sizes.
        const std::uint32_t constant = ReadU32(stsz->data + 4);
        const std::uint32_t count = ReadU32(stsz->data + 8);
        if (count > kMaxSamples || (constant == 0 && !stsz->Has(12, std::size_t{count} * 4))) {
            return oserr::kInvalidMovie;
        }
        // Durations.
        std::vector<TimeValue> durations;
        const std::uint32_t runs = ReadU32(stts->data + 4);
        if (!stts->Has(8, std::size_t{runs} * 8)) return oserr::kInvalidMovie;
        for (std::uint32_t i = 0; i < runs; ++i) {
            const std::uint32_t n = ReadU32(stts->data + 8 + i * 8);
            const auto d = static_cast<TimeValue>(ReadU32(stts->data + 12 + i * 8));
            if (d <= 0 || n > count - durations.size()) return oserr::kInvalidMovie;
            durations.insert(durations.end(), n, d);
        }
        if (durations.size() != count) return oserr::kInvalidMovie;
        // Chunks.
        const std::uint32_t chunks = ReadU32(stco->data + 4);
        if (chunks > kMaxSamples || !stco->Has(8, std::size_t{chunks} * 4)) {
            return oserr::kInvalidMovie;
        }
        const std::uint32_t entries = ReadU32(stsc->data + 4);
        if (entries > kMaxSamples || !stsc->Has(8, std::size_t{entries} * 12)) {
            return oserr::kInvalidMovie;
        }
        std::uint32_t sample = 0;
        std::int64_t mediaDuration = 0;
        for (std::uint32_t chunk = 1; chunk <= chunks; ++chunk) {
            // The last entry whose first chunk is at or before this chunk.
            std::uint32_t perChunk = 0;
            std::uint32_t descId = 0;
            for (std::uint32_t e = 0; e < entries; ++e) {
                const std::uint8_t* p = stsc->data + 8 + e * 12;
                if (ReadU32(p) <= chunk) {
                    perChunk = ReadU32(p + 4);
                    descId = ReadU32(p + 8);
                }
            }
            if (descId < 1 || descId > media.descriptions_.size() || perChunk > count - sample) {
                return oserr::kInvalidMovie;
            }
            std::uint64_t offset = ReadU32(stco->data + 8 + (chunk - 1) * 4);
            for (std::uint32_t k = 0; k < perChunk; ++k, ++sample) {
                const std::uint32_t size =
                    constant != 0 ? constant : ReadU32(stsz->data + 12 + std::size_t{sample} * 4);
                if (size == 0 || offset + size > fileSize_) return oserr::kInvalidMovie;
                auto bytes = std::make_shared<SampleBytes>();
                bytes->file = file_;
                bytes->offset = offset;
                bytes->size = size;
                media.samples_.push_back(
                    {std::move(bytes), durations[sample], static_cast<int>(descId)});
                mediaDuration += durations[sample];
                offset += size;
            }
        }
        if (sample != count || mediaDuration > std::numeric_limits<TimeValue>::max()) {
            return oserr::kInvalidMovie;
        }
        media.duration_ = static_cast<TimeValue>(mediaDuration);
        return oserr::kNoErr;
    }

    std::shared_ptr<detail::FileSource> file_;
    std::uint64_t fileSize_;
};

MovieFile::~MovieFile() {
    if (fd_ >= 0) ::close(fd_);
}

OSErr CreateMovieFile(const std::string& path, FourCC /*creator*/, int /*scriptTag*/,
                      unsigned flags, std::unique_ptr<MovieFile>& file,
                      std::unique_ptr<Movie>& movie) {
    file.reset();
    movie.reset();
    if (const OSErr code = detail::CheckMoviesReady()) return Result(code);
    if (const OSErr fault = InjectedFault(FaultStep::kCreateMovieFile)) return Result(fault);
    if (path.empty()) return Result(oserr::kParamErr);
    const int mode = (flags & kCreateMovieFileDeleteCurFile) ? O_TRUNC : O_EXCL;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | mode, 0666);
    if (fd < 0) {
        return Result(errno == EEXIST ? oserr::kFileAlreadyExists : OpenErrno(errno));
    }
    ::close(fd);
    try {
        file.reset(new MovieFile());
        file->path_ = path;
        file->readOnly_ = false;
    } catch (const std::bad_alloc&) {
        return Result(oserr::kMemFullErr);
    }
    if (const OSErr code = NewMovie(movie)) {
        file.reset();
        return Result(code);
    }
    return Result(oserr::kNoErr);
}

OSErr OpenMovieFile(const std::string& path, std::unique_ptr<MovieFile>& file) {
    file.reset();
    if (const OSErr code = detail::CheckMoviesReady()) return Result(code);
    if (const OSErr fault = InjectedFault(FaultStep::kOpenMovieFile)) return Result(fault);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Result(OpenErrno(errno));
    try {
        file.reset(new MovieFile());
    } catch (const std::bad_alloc&) {
        ::close(fd);
        return Result(oserr::kMemFullErr);
    }
    file->path_ = path;
    file->fd_ = fd;
    return Result(oserr::kNoErr);
}

OSErr NewMovieFromFile(const MovieFile& file, std::unique_ptr<Movie>& movie) {
    movie.reset();
    if (const OSErr code = detail::CheckMoviesReady()) return Result(code);
    if (const OSErr fault = InjectedFault(FaultStep::kNewMovieFromFile)) return Result(fault);
    if (file.fd_ < 0) return Result(oserr::kParamErr);
    struct stat info {};
    if (::fstat(file.fd_, &info) != 0) return Result(oserr::kIoErr);
    const auto fileSize = static_cast<std::uint64_t>(info.st_size);
    // Find the movie atom among the top-level atoms.
    std::uint64_t at = 0;
    std::vector<std::uint8_t> moov;
    while (at + 8 <= fileSize) {
        std::uint8_t header[8];
        if (::pread(file.fd_, header, 8, static_cast<off_t>(at)) != 8) return Result(oserr::kIoErr);
        const std::uint32_t size = ReadU32(header);
        if (size < 8 || at + size > fileSize) return Result(oserr::kInvalidMovie);
        if (ReadU32(header + 4) == MakeFourCC("moov")) {
            if (size > kMaxMovieAtomSize) return Result(oserr::kInvalidMovie);
            try {
                moov.resize(size - 8);
            } catch (const std::bad_alloc&) {
                return Result(oserr::kMemFullErr);
            }
            if (::pread(file.fd_, moov.data(), moov.size(), static_cast<off_t>(at + 8)) !=
                static_cast<ssize_t>(moov.size())) {
                return Result(oserr::kIoErr);
            }
            break;
        }
        at += size;
    }
    if (moov.empty()) return Result(oserr::kInvalidMovie);
    const int fd = ::fcntl(file.fd_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return Result(oserr::kIoErr);
    try {
        MovieFileReader reader(std::make_shared<detail::FileSource>(fd), fileSize);
        return Result(reader.Read(Span{moov.data(), moov.size()}, movie));
    } catch (const std::bad_alloc&) {
        movie.reset();
        return Result(oserr::kMemFullErr);
    }
}

OSErr StoreMovie(MovieFile& file, const Movie& movie) {
    if (const OSErr fault = InjectedFault(FaultStep::kStoreMovie)) return Result(fault);
    if (file.readOnly_) return Result(oserr::kPermErr);
    return Result(detail::WriteMovieFileAtomically(movie, file.path_, true));
}

OSErr DeleteMovieFile(const std::string& path) {
    if (const OSErr fault = InjectedFault(FaultStep::kDeleteMovieFile)) return Result(fault);
    if (::unlink(path.c_str()) != 0) return Result(OpenErrno(errno));
    return Result(oserr::kNoErr);
}

OSErr OpenMovieExporter(FourCC type, FourCC subType, FourCC manufacturer,
                        std::unique_ptr<MovieExporter>& out) {
    out.reset();
    const bool isFlattener = type == kMovieExportType && subType == kFlattenerSubType &&
                             manufacturer == kFlattenerManufacturer;
    if (!isFlattener || CurrentPlatformFaults().flattenerMissing) {
        return Result(oserr::kBadComponentType);
    }
    out.reset(new MovieExporter(type, subType, manufacturer));
    return Result(oserr::kNoErr);
}

OSErr ConvertMovieToFile(const Movie& movie, const std::string& path, FourCC fileType,
                         FourCC /*creator*/, int /*scriptTag*/, unsigned flags,
                         const MovieExporter* exporter) {
    if (const OSErr code = detail::CheckMoviesReady()) return Result(code);
    if (!exporter || fileType != kMovieFileType) return Result(oserr::kParamErr);
    if (const OSErr fault = InjectedFault(FaultStep::kConvertMovieToFile)) return Result(fault);
    return Result(detail::WriteMovieFileAtomically(movie, path,
                                                   (flags & kCreateMovieFileDeleteCurFile) != 0));
}

OSErr FlattenMovieToBytes(const Movie& movie, std::vector<std::uint8_t>& out) {
    out.clear();
    const OSErr code =
        detail::WriteFlattenedMovie(movie, [&](const std::uint8_t* data, std::size_t size) {
            out.insert(out.end(), data, data + size);
            return true;
        });
    if (code != oserr::kNoErr) out.clear();
    return Result(code);
}

}  // namespace orbelune::qt
