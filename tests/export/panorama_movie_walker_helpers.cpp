#include <bit>
#include <fstream>
#include <iterator>
#include <set>

#include "export/panorama_movie_walker.h"

namespace orbelune::testing {

std::uint16_t BeU16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) << 8 | b.at(at + 1));
}
std::uint32_t BeU32(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(BeU16(b, at)) << 16 | BeU16(b, at + 2);
}
std::int32_t BeI32(const Bytes& b, std::size_t at) {
    return static_cast<std::int32_t>(BeU32(b, at));
}
float BeF32(const Bytes& b, std::size_t at) {
    return std::bit_cast<float>(BeU32(b, at));
}
std::uint32_t Code(const char (&text)[5]) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8 |
           static_cast<unsigned char>(text[3]);
}
std::string CodeText(std::uint32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text += static_cast<char>(code >> shift & 0xFF);
    return text;
}

const QtAtom* QtAtom::Child(std::uint32_t childType, int index) const {
    for (const QtAtom& child : children) {
        if (child.type == childType && index-- == 0) return &child;
    }
    return nullptr;
}
int QtAtom::Count(std::uint32_t childType) const {
    int count = 0;
    for (const QtAtom& child : children)
        count += child.type == childType;
    return count;
}

namespace {

bool ParseQtAtom(const Bytes& b, std::size_t at, std::size_t end, QtAtom& atom, std::size_t& size,
                 std::string& error) {
    if (end - at < 20) return error = "QT atom header cut off", false;
    size = BeU32(b, at);
    if (size < 20 || size > end - at) return error = "bad QT atom size", false;
    atom.type = BeU32(b, at + 4);
    atom.id = BeI32(b, at + 8);
    const std::uint16_t childCount = BeU16(b, at + 14);
    if (BeU16(b, at + 12) != 0 || BeU32(b, at + 16) != 0) {
        return error = "QT atom reserved fields not zero", false;
    }
    if (childCount == 0) {
        atom.data.assign(b.begin() + static_cast<std::ptrdiff_t>(at + 20),
                         b.begin() + static_cast<std::ptrdiff_t>(at + size));
        return true;
    }
    std::size_t offset = at + 20;
    for (int i = 0; i < childCount; ++i) {
        QtAtom child;
        std::size_t childSize = 0;
        if (!ParseQtAtom(b, offset, at + size, child, childSize, error)) return false;
        atom.children.push_back(std::move(child));
        offset += childSize;
    }
    if (offset != at + size) return error = "QT atom children do not fill it", false;
    return true;
}

struct Box {
    std::uint32_t type = 0;
    std::size_t body = 0;  // offset of the body
    std::size_t end = 0;
    std::vector<Box> children;
    const Box* Child(std::uint32_t childType, int index = 0) const {
        for (const Box& child : children) {
            if (child.type == childType && index-- == 0) return &child;
        }
        return nullptr;
    }
};

bool IsContainer(std::uint32_t type) {
    static const std::set<std::uint32_t> containers = {
        Code("moov"), Code("trak"), Code("mdia"), Code("minf"), Code("stbl"),
        Code("dinf"), Code("edts"), Code("udta"), Code("tref"), Code("gmhd")};
    return containers.count(type) != 0;
}

bool ParseBoxes(const Bytes& b, std::size_t at, std::size_t end, std::vector<Box>& out,
                std::string& error) {
    while (at < end) {
        // A 32-bit zero ends a user-data list in older files.
        if (end - at == 4 && BeU32(b, at) == 0) return true;
        if (end - at < 8) return error = "box header cut off", false;
        const std::size_t size = BeU32(b, at);
        if (size < 8 || size > end - at) return error = "bad box size", false;
        Box box;
        box.type = BeU32(b, at + 4);
        box.body = at + 8;
        box.end = at + size;
        if (IsContainer(box.type) && !ParseBoxes(b, box.body, box.end, box.children, error)) {
            return false;
        }
        out.push_back(std::move(box));
        at += size;
    }
    return true;
}

Bytes Slice(const Bytes& b, std::size_t from, std::size_t to) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(to));
}

bool ReadTrack(const Bytes& b, const Box& trak, TrackInfo& t, std::string& error) {
    const Box* tkhd = trak.Child(Code("tkhd"));
    const Box* mdia = trak.Child(Code("mdia"));
    if (!tkhd || !mdia) return error = "trak without tkhd or mdia", false;
    t.flags = BeU32(b, tkhd->body) & 0xFFFFFF;
    t.id = BeU32(b, tkhd->body + 12);
    t.duration = BeI32(b, tkhd->body + 20);
    t.volume = static_cast<std::int16_t>(BeU16(b, tkhd->body + 36));
    t.width = BeI32(b, tkhd->body + 76);
    t.height = BeI32(b, tkhd->body + 80);
    if (const Box* edts = trak.Child(Code("edts")); edts && edts->Child(Code("elst"))) {
        const Box& elst = *edts->Child(Code("elst"));
        for (std::uint32_t i = 0, n = BeU32(b, elst.body + 4); i < n; ++i) {
            t.editDurations.push_back(BeI32(b, elst.body + 8 + i * 12));
        }
    }
    if (const Box* tref = trak.Child(Code("tref"))) {
        for (const Box& entry : tref->children) {
            for (std::size_t at = entry.body; at < entry.end; at += 4) {
                t.references[entry.type].push_back(BeU32(b, at));
            }
        }
    }
    const Box* mdhd = mdia->Child(Code("mdhd"));
    const Box* hdlr = mdia->Child(Code("hdlr"));
    const Box* minf = mdia->Child(Code("minf"));
    const Box* stbl = minf ? minf->Child(Code("stbl")) : nullptr;
    if (!mdhd || !hdlr || !stbl) return error = "mdia incomplete", false;
    t.mediaTimeScale = BeU32(b, mdhd->body + 12);
    t.mediaDuration = BeU32(b, mdhd->body + 16);
    t.handlerType = BeU32(b, hdlr->body + 8);

    const Box* stsd = stbl->Child(Code("stsd"));
    const Box* stts = stbl->Child(Code("stts"));
    const Box* stsc = stbl->Child(Code("stsc"));
    const Box* stsz = stbl->Child(Code("stsz"));
    const Box* stco = stbl->Child(Code("stco"));
    if (!stsd || !stts || !stsc || !stsz || !stco) return error = "sample table incomplete", false;
    std::size_t at = stsd->body + 8;
    for (std::uint32_t i = 0, n = BeU32(b, stsd->body + 4); i < n; ++i) {
        const std::uint32_t size = BeU32(b, at);
        if (size < 16 || at + size > stsd->end) return error = "bad sample description", false;
        t.descriptions.push_back(Slice(b, at, at + size));
        at += size;
    }
    for (std::uint32_t i = 0, n = BeU32(b, stts->body + 4); i < n; ++i) {
        const std::uint32_t count = BeU32(b, stts->body + 8 + i * 8);
        t.sampleDurations.insert(t.sampleDurations.end(), count, BeU32(b, stts->body + 12 + i * 8));
    }
    t.constantSampleSize = BeU32(b, stsz->body + 4);
    const std::uint32_t sampleCount = BeU32(b, stsz->body + 8);
    for (std::uint32_t i = 0; i < sampleCount; ++i) {
        t.sampleSizes.push_back(t.constantSampleSize ? t.constantSampleSize
                                                     : BeU32(b, stsz->body + 12 + i * 4));
    }
    const std::uint32_t chunkCount = BeU32(b, stco->body + 4);
    const std::uint32_t stscCount = BeU32(b, stsc->body + 4);
    for (std::uint32_t i = 0; i < stscCount; ++i) {
        const std::uint32_t first = BeU32(b, stsc->body + 8 + i * 12);
        const std::uint32_t perChunk = BeU32(b, stsc->body + 12 + i * 12);
        const std::uint32_t next =
            i + 1 < stscCount ? BeU32(b, stsc->body + 8 + (i + 1) * 12) : chunkCount + 1;
        if (first < 1 || next < first) return error = "bad stsc", false;
        for (std::uint32_t c = first; c < next; ++c)
            t.samplesPerChunk.push_back(perChunk);
    }
    if (t.samplesPerChunk.size() != chunkCount) return error = "stsc and stco disagree", false;
    std::size_t sample = 0;
    for (std::uint32_t c = 0; c < chunkCount; ++c) {
        std::size_t offset = BeU32(b, stco->body + 8 + c * 4);
        for (std::uint32_t s = 0; s < t.samplesPerChunk[c]; ++s, ++sample) {
            if (sample >= t.sampleSizes.size()) return error = "more samples than sizes", false;
            const std::size_t size = t.sampleSizes[sample];
            if (offset + size > b.size()) return error = "sample outside the file", false;
            t.samples.push_back(Slice(b, offset, offset + size));
            offset += size;
        }
    }
    if (sample != t.sampleSizes.size()) return error = "samples not all in chunks", false;
    if (t.sampleDurations.size() != sample) return error = "stts and stsz disagree", false;
    return true;
}

}  // namespace

bool ParseAtomContainer(const Bytes& bytes, QtAtom& root, std::string& error) {
    if (bytes.size() < 12 + 20) return error = "container too short", false;
    for (int i = 0; i < 12; ++i) {
        if (bytes[i] != 0) return error = "container header not zero", false;
    }
    std::size_t size = 0;
    if (!ParseQtAtom(bytes, 12, bytes.size(), root, size, error)) return false;
    if (12 + size != bytes.size()) return error = "bytes after the root atom", false;
    if (root.type != Code("sean") || root.id != 1) return error = "root is not sean 1", false;
    return true;
}

bool WalkMovie(const Bytes& file, MovieInfo& movie, std::string& error) {
    std::vector<Box> top;
    if (!ParseBoxes(file, 0, file.size(), top, error)) return false;
    const Box* moov = nullptr;
    for (const Box& box : top) {
        if (box.type == Code("moov")) moov = &box;
    }
    if (!moov) return error = "no moov", false;
    for (const Box& box : top) {
        if (box.type == Code("mdat")) {
            movie.movieAtomFirst = moov->body < box.body;
            break;
        }
    }
    const Box* mvhd = moov->Child(Code("mvhd"));
    if (!mvhd) return error = "no mvhd", false;
    movie.timeScale = BeU32(file, mvhd->body + 12);
    movie.duration = BeU32(file, mvhd->body + 16);
    for (const Box& box : moov->children) {
        if (box.type != Code("trak")) continue;
        TrackInfo track;
        if (!ReadTrack(file, box, track, error)) return false;
        movie.tracks.push_back(std::move(track));
    }
    if (const Box* udta = moov->Child(Code("udta"))) {
        for (const Box& item : udta->children)
            movie.userData[item.type] = Slice(file, item.body, item.end);
    }
    return true;
}

bool ReadFileBytes(const std::string& path, Bytes& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace orbelune::testing
