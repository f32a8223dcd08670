#include "unwarp/mirror_types.h"

#include <array>

namespace orbelune {

namespace {

constexpr TiltRange kConcaveTilt{-35, 17};
// Also the range for stored values outside the table.
constexpr TiltRange kWideTilt{-40, 60};

constexpr std::array<MirrorInfo, 4> kMirrors{{
    {ConcaveStandard, "ConcaveStandard", "concave-standard", "Standard", " Concave Standard ",
     MirrorPicture::Standard, false, false, kConcaveTilt},
    {ConcaveThreaded, "ConcaveThreaded", "concave-threaded", "Thread", " Concave Threaded ",
     MirrorPicture::Threaded, false, true, kConcaveTilt},
    {ConvexStandard, "ConvexStandard", "convex-standard", "NewStandard", " Convex Standard ",
     MirrorPicture::Standard, true, false, kWideTilt},
    {ConvexThreaded, "ConvexThreaded", "convex-threaded", "NewThread", " Convex Threaded ",
     MirrorPicture::Threaded, true, false, kWideTilt},
}};

}  // namespace

std::span<const MirrorInfo> MirrorTable() {
    return kMirrors;
}

const MirrorInfo* FindMirror(int type) {
    if (type < 0 || type >= static_cast<int>(kMirrors.size())) return nullptr;
    return &kMirrors[static_cast<std::size_t>(type)];
}

const MirrorInfo* FindMirrorByCliName(std::string_view name) {
    for (const MirrorInfo& mirror : kMirrors)
        if (name == mirror.cliName) return &mirror;
    return nullptr;
}

bool UsesConvexModel(int type) {
    const MirrorInfo* mirror = FindMirror(type);
    return mirror != nullptr && mirror->convex;
}

bool MirrorsRows(int type) {
    const MirrorInfo* mirror = FindMirror(type);
    return mirror != nullptr && mirror->mirrorRows;
}

TiltRange TiltRangeFor(int type) {
    const MirrorInfo* mirror = FindMirror(type);
    return mirror != nullptr ? mirror->tilt : kWideTilt;
}

}  // namespace orbelune
