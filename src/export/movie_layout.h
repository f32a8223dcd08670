#pragma once

#include <cstdint>

namespace orbelune {

// Fixed timing of every panorama movie.
inline constexpr int kMovieTimeScale = 600;
inline constexpr int kMovieDuration = 7200;
// Tiles a movie may be cut into: the properties dialog offers 1 and 4..24, and
// a tile sample must last at least one time unit.
inline constexpr int kMinTiles = 1;
inline constexpr int kMaxTiles = 24;
// The prepared image's width and height are unsigned 16-bit values.
inline constexpr int kMaxPreparedSide = 65535;

constexpr std::uint32_t FourCC(const char (&code)[5]) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(code[3]));
}

// The panorama's size once fitted to whole tiles: width a multiple of
// tiles x 4, height a multiple of 4 (before the quarter turn).
struct FittedSize {
    int width = 0;
    int height = 0;
    bool resample = false;  // false: the copy is used unchanged
    // Both sides from 4 up to kMaxPreparedSide.
    bool Storable() const;
};
FittedSize FitMovieImage(int width, int height, int tiles);

// Codec index (JPEG, TIFF, Cinepak, BMP, Sorenson, None) to compressor type.
std::uint32_t CompressorTypeForIndex(int index);
// Quality index (Minimum .. Maximum) to the compressor's 0..1024 scale.
std::int32_t QualityForIndex(int index);
// Correction index to the value written: 0 none, 1 partial, 2 full.
std::int32_t CorrectionForIndex(int index);

// Half the vertical field of view in degrees, from the image track's tile size,
// with the constants the format's readers were tuned to (not full-precision pi).
float HalfVerticalFieldOfView(int tileWidth, int tileHeight, int tiles);

}  // namespace orbelune
