#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <new>
#include <string_view>

#include "image/file_io.h"
#include "platform/quicktime/byte_writer.h"
#include "platform/quicktime/movie.h"
#include "platform/quicktime/movie_internal.h"

namespace orbelune::qt::detail {
namespace {

constexpr std::uint16_t kEnabledFlag = 0x1;
constexpr std::uint16_t kInMovieFlags = 0xE;  // in movie, preview and poster

void WriteMatrix(ByteWriter& w, Fixed a, Fixed d, Fixed tx, Fixed ty) {
    w.I32(a);
    w.U32(0);
    w.U32(0);
    w.U32(0);
    w.I32(d);
    w.U32(0);
    w.I32(tx);
    w.I32(ty);
    w.U32(0x40000000);
}

std::string_view HandlerName(FourCC mediaType) {
    if (mediaType == kVideoMediaType) return "Video Media Handler";
    if (mediaType == kQTVRMediaType) return "QTVR Media Handler";
    if (mediaType == kPanoMediaType) return "Panorama Media Handler";
    return "Media Handler";
}

void WriteHandler(ByteWriter& w, FourCC componentType, FourCC subType, std::string_view name) {
    const std::size_t hdlr = w.BeginAtom(MakeFourCC("hdlr"));
    w.U32(0);  // version, flags
    w.U32(componentType);
    w.U32(subType);
    w.U32(0);  // manufacturer
    w.U32(0);  // component flags
    w.U32(0);  // flags mask
    w.PascalString(name);
    w.EndAtom(hdlr);
}

void WriteSampleTable(ByteWriter& w, const Media& media, std::uint64_t& dataOffset) {
    const auto& samples = media.samples();
    const std::size_t stbl = w.BeginAtom(MakeFourCC("stbl"));

    const std::size_t stsd = w.BeginAtom(MakeFourCC("stsd"));
    w.U32(0);
    w.U32(static_cast<std::uint32_t>(media.descriptions().size()));
    for (const auto& description : media.descriptions())
        w.Bytes(description);
    w.EndAtom(stsd);

    // Time to sample: runs of equal durations.
    const std::size_t stts = w.BeginAtom(MakeFourCC("stts"));
    w.U32(0);
    const std::size_t sttsCount = w.size();
    w.U32(0);
    std::uint32_t runs = 0;
    for (std::size_t i = 0; i < samples.size();) {
        std::size_t j = i;
        while (j < samples.size() && samples[j].duration == samples[i].duration)
            ++j;
        w.U32(static_cast<std::uint32_t>(j - i));
        w.I32(samples[i].duration);
        ++runs;
        i = j;
    }
    w.PatchU32(sttsCount, runs);
    w.EndAtom(stts);

    // One sample per chunk; a new entry only where the description changes.
    const std::size_t stsc = w.BeginAtom(MakeFourCC("stsc"));
    w.U32(0);
    const std::size_t stscCount = w.size();
    w.U32(0);
    std::uint32_t entries = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (i > 0 && samples[i].descriptionIndex == samples[i - 1].descriptionIndex) continue;
        w.U32(static_cast<std::uint32_t>(i + 1));
        w.U32(1);
        w.U32(static_cast<std::uint32_t>(samples[i].descriptionIndex));
        ++entries;
    }
    w.PatchU32(stscCount, entries);
    w.EndAtom(stsc);

    // Video tracks list every tile's size; other media use the constant form
    // when all samples are equal (readers of VR movies expect that).
    bool sameSize = !samples.empty();
    for (const auto& sample : samples)
        sameSize = sameSize && sample.bytes->size == samples[0].bytes->size;
    const std::size_t stsz = w.BeginAtom(MakeFourCC("stsz"));
    w.U32(0);
    if (sameSize && media.type() != kVideoMediaType) {
        w.U32(samples[0].bytes->size);
        w.U32(static_cast<std::uint32_t>(samples.size()));
    } else {
        w.U32(0);
        w.U32(static_cast<std::uint32_t>(samples.size()));
        for (const auto& sample : samples)
            w.U32(sample.bytes->size);
    }
    w.EndAtom(stsz);

    const std::size_t stco = w.BeginAtom(MakeFourCC("stco"));
    w.U32(0);
    w.U32(static_cast<std::uint32_t>(samples.size()));
    for (const auto& sample : samples) {
        w.U32(static_cast<std::uint32_t>(dataOffset));
        dataOffset += sample.bytes->size;
    }
    w.EndAtom(stco);

    w.EndAtom(stbl);
}

void WriteTrack(ByteWriter& w, const Movie& movie, const Track& track, std::uint64_t& dataOffset) {
    const Media& media = *track.media();
    const std::size_t trak = w.BeginAtom(MakeFourCC("trak"));

    const std::size_t tkhd = w.BeginAtom(MakeFourCC("tkhd"));
    w.U32(kInMovieFlags | (track.enabled() ? kEnabledFlag : 0));
    w.U32(movie.creationTime());
    w.U32(movie.creationTime());
    w.U32(track.id());
    w.U32(0);
    w.I32(track.duration());
    w.Zeros(8);
    w.I16(track.layer());
    w.U16(0);  // alternate group
    w.I16(track.volume());
    w.U16(0);
    WriteMatrix(w, kFixed1, kFixed1, 0, 0);
    w.I32(track.width());
    w.I32(track.height());
    w.EndAtom(tkhd);

    if (!track.edits().empty()) {
        const std::size_t edts = w.BeginAtom(MakeFourCC("edts"));
        const std::size_t elst = w.BeginAtom(MakeFourCC("elst"));
        w.U32(0);
        w.U32(static_cast<std::uint32_t>(track.edits().size()));
        for (const Edit& edit : track.edits()) {
            w.I32(edit.trackDuration);
            w.I32(edit.mediaTime);
            w.I32(edit.rate);
        }
        w.EndAtom(elst);
        w.EndAtom(edts);
    }

    if (!track.references().empty()) {
        const std::size_t tref = w.BeginAtom(MakeFourCC("tref"));
        for (const Track::Reference& reference : track.references()) {
            const std::size_t entry = w.BeginAtom(reference.type);
            for (std::uint32_t id : reference.trackIds)
                w.U32(id);
            w.EndAtom(entry);
        }
        w.EndAtom(tref);
    }

    const std::size_t mdia = w.BeginAtom(MakeFourCC("mdia"));
    const std::size_t mdhd = w.BeginAtom(MakeFourCC("mdhd"));
    w.U32(0);
    w.U32(movie.creationTime());
    w.U32(movie.creationTime());
    w.I32(media.timeScale());
    w.I32(media.duration());
    w.U16(0);  // language
    w.U16(0);  // quality
    w.EndAtom(mdhd);
    WriteHandler(w, MakeFourCC("mhlr"), media.type(), HandlerName(media.type()));

    const std::size_t minf = w.BeginAtom(MakeFourCC("minf"));
    if (media.type() == kVideoMediaType) {
        const std::size_t vmhd = w.BeginAtom(MakeFourCC("vmhd"));
        w.U32(1);       // flags: no lean ahead
        w.U16(0x0040);  // dither copy
        w.U16(0x8000);
        w.U16(0x8000);
        w.U16(0x8000);
        w.EndAtom(vmhd);
    } else {
        const std::size_t gmhd = w.BeginAtom(MakeFourCC("gmhd"));
        const std::size_t gmin = w.BeginAtom(MakeFourCC("gmin"));
        w.U32(0);
        w.U16(0x0040);
        w.U16(0x8000);
        w.U16(0x8000);
        w.U16(0x8000);
        w.U16(0);  // balance
        w.U16(0);
        w.EndAtom(gmin);
        w.EndAtom(gmhd);
    }
    WriteHandler(w, MakeFourCC("dhlr"), MakeFourCC("alis"), "Alias Data Handler");
    const std::size_t dinf = w.BeginAtom(MakeFourCC("dinf"));
    const std::size_t dref = w.BeginAtom(MakeFourCC("dref"));
    w.U32(0);
    w.U32(1);
    const std::size_t alis = w.BeginAtom(MakeFourCC("alis"));
    w.U32(1);  // flag: the data is in this file
    w.EndAtom(alis);
    w.EndAtom(dref);
    w.EndAtom(dinf);
    WriteSampleTable(w, media, dataOffset);
    w.EndAtom(minf);
    w.EndAtom(mdia);

    w.EndAtom(trak);
}

std::vector<std::uint8_t> BuildMovieAtom(const Movie& movie, std::uint64_t dataStart) {
    ByteWriter w;
    const std::size_t moov = w.BeginAtom(MakeFourCC("moov"));

    // The display box becomes the movie matrix relative to the tracks' natural size.
    Rect natural{};
    for (int i = 1; i <= movie.trackCount(); ++i) {
        const Track& track = *movie.track(i);
        if (!track.enabled()) continue;
        natural.right = std::max(natural.right, FixedToInt(track.width()));
        natural.bottom = std::max(natural.bottom, FixedToInt(track.height()));
    }
    const Rect box = movie.box();
    Fixed scaleX = kFixed1;
    Fixed scaleY = kFixed1;
    if (!box.empty() && !natural.empty()) {
        scaleX = static_cast<Fixed>(std::int64_t{box.width()} * kFixed1 / natural.width());
        scaleY = static_cast<Fixed>(std::int64_t{box.height()} * kFixed1 / natural.height());
    }

    const std::size_t mvhd = w.BeginAtom(MakeFourCC("mvhd"));
    w.U32(0);
    w.U32(movie.creationTime());
    w.U32(movie.creationTime());
    w.I32(movie.timeScale());
    w.I32(movie.duration());
    w.U32(kFixed1);  // rate
    w.U16(0x0100);   // volume
    w.Zeros(10);
    WriteMatrix(w, scaleX, scaleY, IntToFixed(box.left), IntToFixed(box.top));
    w.Zeros(6 * 4);  // preview, poster, selection and current times
    w.U32(static_cast<std::uint32_t>(movie.trackCount() + 1));
    w.EndAtom(mvhd);

    std::uint64_t offset = dataStart;
    for (int i = 1; i <= movie.trackCount(); ++i)
        WriteTrack(w, movie, *movie.track(i), offset);

    if (!movie.userData().empty()) {
        const std::size_t udta = w.BeginAtom(MakeFourCC("udta"));
        for (const UserDataItem& item : movie.userData()) {
            const std::size_t atom = w.BeginAtom(item.type);
            w.Bytes(item.data);
            w.EndAtom(atom);
        }
        w.EndAtom(udta);
    }
    w.EndAtom(moov);
    return std::move(w.bytes());
}

OSErr ErrnoToOSErr(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return oserr::kFnfErr;
        case EACCES:
        case EPERM:
        case EROFS:
            return oserr::kPermErr;
        case ENOMEM:
            return oserr::kMemFullErr;
        default:
            return oserr::kIoErr;
    }
}

}  // namespace

OSErr WriteFlattenedMovie(const Movie& movie, const FlattenedBytesFn& sink) {
    std::uint64_t payload = 0;
    for (int i = 1; i <= movie.trackCount(); ++i) {
        const Media* media = movie.track(i)->media();
        if (!media || media->samples().empty()) return oserr::kInvalidTrack;
        for (const auto& sample : media->samples())
            payload += sample.bytes->size;
    }
    try {
        // The movie atom's size does not depend on the offsets it holds: build
        // it once to learn where the media data starts, then with the offsets.
        const std::size_t moovSize = BuildMovieAtom(movie, 0).size();
        const std::uint64_t dataStart = moovSize + 8;
        // 32-bit sizes and chunk offsets only (older readers take no others).
        if (dataStart + payload > std::numeric_limits<std::uint32_t>::max()) {
            return oserr::kParamErr;
        }
        const std::vector<std::uint8_t> moov = BuildMovieAtom(movie, dataStart);
        if (!sink(moov.data(), moov.size())) return oserr::kIoErr;
        std::uint8_t header[8];
        PutU32(header, static_cast<std::uint32_t>(payload + 8));
        PutU32(header + 4, MakeFourCC("mdat"));
        if (!sink(header, sizeof header)) return oserr::kIoErr;
        std::vector<std::uint8_t> bytes;
        for (int i = 1; i <= movie.trackCount(); ++i) {
            for (const auto& sample : movie.track(i)->media()->samples()) {
                const std::vector<std::uint8_t>* data = &sample.bytes->memory;
                if (sample.bytes->file) {
                    if (const OSErr code = sample.bytes->Read(bytes)) return code;
                    data = &bytes;
                }
                if (data->size() != sample.bytes->size) return oserr::kInternalErr;
                if (!sink(data->data(), data->size())) return oserr::kIoErr;
            }
        }
    } catch (const std::bad_alloc&) {
        return oserr::kMemFullErr;
    }
    return oserr::kNoErr;
}

OSErr WriteMovieFileAtomically(const Movie& movie, const std::string& path, bool replace) {
    if (path.empty()) return oserr::kParamErr;
    struct stat existing {};
    if (!replace && ::stat(path.c_str(), &existing) == 0) return oserr::kFileAlreadyExists;
    AtomicFile file(path);
    if (file.Open() != err::kNone) return ErrnoToOSErr(errno);
    int writeErrno = 0;
    const FlattenedBytesFn sink = [&](const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const ssize_t done = ::write(file.fd(), data, size);
            if (done < 0 && errno == EINTR) continue;
            if (done <= 0) {
                writeErrno = done < 0 ? errno : EIO;
                return false;
            }
            data += done;
            size -= static_cast<std::size_t>(done);
        }
        return true;
    };
    OSErr result = WriteFlattenedMovie(movie, sink);
    if (result == oserr::kIoErr && writeErrno != 0) result = ErrnoToOSErr(writeErrno);
    if (result == oserr::kNoErr && file.Commit() != err::kNone) {
        result = ErrnoToOSErr(errno);
    }
    return result;
}

}  // namespace orbelune::qt::detail
