#pragma once

#include <cstdint>
#include <string>

namespace orbelune {

// Status of every image-layer operation: 0 is success. Codes are stable and
// shown to the user through ImageErrorText.
using ImageError = std::uint32_t;

namespace err {
inline constexpr ImageError kNone = 0;
inline constexpr ImageError kNoMemory = 1;
inline constexpr ImageError kFileOpen = 2;
inline constexpr ImageError kFileRead = 3;
inline constexpr ImageError kFileWrite = 4;
inline constexpr ImageError kBadParam = 5;
inline constexpr ImageError kBadBmp = 6;
inline constexpr ImageError kRleVariation = 7;
inline constexpr ImageError kBadJpeg = 9;
inline constexpr ImageError kAborted = 14;
inline constexpr ImageError kBadPng = 15;
inline constexpr ImageError kPngInternal = 16;
inline constexpr ImageError kMisc = 17;
inline constexpr ImageError kTiffInternal = 19;
inline constexpr ImageError kBadTiff = 20;
inline constexpr ImageError kBadPcx = 22;
inline constexpr ImageError kBadMetafile = 27;
inline constexpr ImageError kBadTga = 32;
inline constexpr ImageError kBadHeif = 37;
inline constexpr ImageError kHeifUnsupported = 38;
inline constexpr ImageError kBadWebp = 39;
inline constexpr ImageError kBadRaw = 40;
inline constexpr ImageError kRawUnsupported = 41;
inline constexpr ImageError kBadPnm = 42;
// The loader's "no decoder for this format" result (-1 seen as unsigned).
inline constexpr ImageError kNoDecoder = 0xFFFFFFFFu;
}  // namespace err

// The text shown to the user for a code ("Error #N!" for codes without one).
std::string ImageErrorText(ImageError code);

}  // namespace orbelune
