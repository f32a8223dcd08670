#pragma once

#include <cstdint>
#include <mutex>

#include "image/image_error.h"

namespace orbelune {

// What shows where a metafile draws nothing: mid grey.
inline constexpr std::uint8_t kMetafileBackground = 0x80;

// Metafiles are measured in their own units; screen pixels are 96 per inch.
inline constexpr double kScreenDpi = 96.0;

// The libraries behind the metafile decoders keep state of their own
// (font caches, static record buffers); one picture is rendered at a time.
std::unique_lock<std::mutex> LockMetafileLibraries();

// Rounds a frame size in pixels to whole pixels (at least one) and checks it
// against the image layer's limits: kNoMemory when too large, kBadMetafile
// when the size is not a number.
ImageError MetafilePixelSize(double width, double height, int& outWidth, int& outHeight);

}  // namespace orbelune
