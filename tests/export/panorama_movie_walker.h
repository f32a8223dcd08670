#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A reader of movie files written for these tests alone, from the published
// layout of the format (not the writer's own reader).
namespace orbelune::testing {

using Bytes = std::vector<std::uint8_t>;

std::uint16_t BeU16(const Bytes& b, std::size_t at);
std::uint32_t BeU32(const Bytes& b, std::size_t at);
std::int32_t BeI32(const Bytes& b, std::size_t at);
float BeF32(const Bytes& b, std::size_t at);
std::uint32_t Code(const char (&text)[5]);
std::string CodeText(std::uint32_t code);

// One QT atom of an atom container; the child count is checked while parsing.
struct QtAtom {
    std::uint32_t type = 0;
    std::int32_t id = 0;
    Bytes data;
    std::vector<QtAtom> children;
    // The index-th (0-based) child of a type, or null.
    const QtAtom* Child(std::uint32_t childType, int index = 0) const;
    int Count(std::uint32_t childType) const;
};
// Parses a whole container (12-byte header, then the root "sean"); false with
// a reason when sizes, child counts or the header do not add up.
bool ParseAtomContainer(const Bytes& bytes, QtAtom& root, std::string& error);

struct TrackInfo {
    std::uint32_t id = 0;
    std::uint32_t flags = 0;
    std::int32_t width = 0;  // 16.16
    std::int32_t height = 0;
    std::int32_t duration = 0;
    std::int16_t volume = 0;
    std::uint32_t handlerType = 0;  // media handler subtype
    std::uint32_t mediaTimeScale = 0;
    std::uint32_t mediaDuration = 0;
    std::vector<Bytes> descriptions;             // whole stsd entries
    std::vector<std::uint32_t> sampleDurations;  // expanded stts
    std::uint32_t constantSampleSize = 0;        // stsz's common size, 0 with a table
    std::vector<std::uint32_t> sampleSizes;
    std::vector<std::uint32_t> samplesPerChunk;  // per chunk, expanded stsc
    std::vector<Bytes> samples;
    std::map<std::uint32_t, std::vector<std::uint32_t>> references;
    std::vector<std::int32_t> editDurations;
};

struct MovieInfo {
    bool movieAtomFirst = false;
    std::uint32_t timeScale = 0;
    std::uint32_t duration = 0;
    std::vector<TrackInfo> tracks;
    std::map<std::uint32_t, Bytes> userData;
};

bool WalkMovie(const Bytes& file, MovieInfo& movie, std::string& error);
bool ReadFileBytes(const std::string& path, Bytes& bytes);

}  // namespace orbelune::testing
