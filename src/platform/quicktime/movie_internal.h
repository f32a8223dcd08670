#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/quicktime/movie.h"

namespace orbelune::qt {

namespace detail {
// An open file that samples read from; closed with its last reference, so the
// bytes stay readable even after the file was closed or deleted.
struct FileSource {
    explicit FileSource(int descriptor) : fd(descriptor) {}
    ~FileSource();
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    int fd;
};

// Sets the last movie error and returns the code.
inline OSErr Result(OSErr code) {
    SetMoviesError(code);
    return code;
}
// kMediaLayerNotInitialized / kParamErr unless the movie toolbox is usable.
OSErr CheckMoviesReady();

// Receives the flattened file's bytes in order; false on a write failure.
using FlattenedBytesFn = std::function<bool(const std::uint8_t* data, std::size_t size)>;
OSErr WriteFlattenedMovie(const Movie& movie, const FlattenedBytesFn& sink);
// Writes through WriteFlattenedMovie into a temporary file beside `path` and
// renames it over `path` only on success.
OSErr WriteMovieFileAtomically(const Movie& movie, const std::string& path, bool replace);
}  // namespace detail

// One sample's bytes: in memory, or `size` bytes at `offset` of a file.
struct SampleBytes {
    std::vector<std::uint8_t> memory;
    std::shared_ptr<detail::FileSource> file;
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    OSErr Read(std::vector<std::uint8_t>& out) const;
};

}  // namespace orbelune::qt
