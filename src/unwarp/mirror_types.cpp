#include "unwarp/mirror_types.h"

#include <algorithm>
#include <array>

#include "platform/settings_keys.h"

namespace orbelune {

namespace {

constexpr TiltRange kConcaveTilt{-35, 17};
// Also the range for stored values outside the table.
constexpr TiltRange kWideTilt{-40, 60};
// The default custom mirror's elevations.
constexpr TiltRange kCustomTilt{-45, 15};

constexpr std::array<MirrorInfo, 5> kMirrors{{
    {ConcaveStandard, "ConcaveStandard", "concave-standard", "Standard", " Concave Standard ",
     MirrorPicture::Standard, MirrorModel::Concave, false, kConcaveTilt},
    {ConcaveThreaded, "ConcaveThreaded", "concave-threaded", "Thread", " Concave Threaded ",
     MirrorPicture::Threaded, MirrorModel::Concave, true, kConcaveTilt},
    {ConvexStandard, "ConvexStandard", "convex-standard", "NewStandard", " Convex Standard ",
     MirrorPicture::Standard, MirrorModel::Convex, false, kWideTilt},
    {ConvexThreaded, "ConvexThreaded", "convex-threaded", "NewThread", " Convex Threaded ",
     MirrorPicture::Threaded, MirrorModel::Convex, false, kWideTilt},
    {CustomMirrorType, "Custom", "custom", "Custom", " Custom\u2026 ", MirrorPicture::Custom,
     MirrorModel::Equiangular, false, kCustomTilt},
}};

}  // namespace

bool IsValidElevation(int degrees) {
    return degrees >= settings::kMinElevation && degrees <= settings::kMaxElevation;
}

bool IsValidCustomMirror(const CustomMirror& custom) {
    return IsValidElevation(custom.outerElevation) && IsValidElevation(custom.innerElevation) &&
           custom.outerElevation != custom.innerElevation;
}

CustomMirror LoadCustomMirror(SettingsStore& store) {
    CustomMirror custom;
    custom.outerElevation = Read(store, settings::kCustomOuterElevation);
    custom.innerElevation = Read(store, settings::kCustomInnerElevation);
    custom.mirrored = Read(store, settings::kCustomMirrored) != 0;
    if (!IsValidCustomMirror(custom)) {
        custom.outerElevation = settings::kCustomOuterElevation.defaultValue;
        custom.innerElevation = settings::kCustomInnerElevation.defaultValue;
    }
    return custom;
}

void StoreCustomMirror(SettingsStore& store, const CustomMirror& custom) {
    Write(store, settings::kCustomOuterElevation, custom.outerElevation);
    Write(store, settings::kCustomInnerElevation, custom.innerElevation);
    Write(store, settings::kCustomMirrored, custom.mirrored ? 1 : 0);
}

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

MirrorModel ModelFor(int type) {
    const MirrorInfo* mirror = FindMirror(type);
    return mirror != nullptr ? mirror->model : MirrorModel::Concave;
}

bool UsesConvexModel(int type) {
    return ModelFor(type) == MirrorModel::Convex;
}

bool MirrorsRows(int type) {
    const MirrorInfo* mirror = FindMirror(type);
    return mirror != nullptr && mirror->mirrorRows;
}

bool ColumnsRunWithAngle(int type, const CustomMirror& custom) {
    switch (ModelFor(type)) {
        case MirrorModel::Concave:
            return !MirrorsRows(type);
        case MirrorModel::Convex:
            return false;
        case MirrorModel::Equiangular:
            return custom.mirrored;
    }
    return true;
}

TiltRange TiltRangeFor(int type) {
    const MirrorInfo* mirror = FindMirror(type);
    return mirror != nullptr ? mirror->tilt : kWideTilt;
}

TiltRange TiltRangeFor(int type, const CustomMirror& custom) {
    if (type != CustomMirrorType || !IsValidCustomMirror(custom)) return TiltRangeFor(type);
    return {std::min(custom.outerElevation, custom.innerElevation),
            std::max(custom.outerElevation, custom.innerElevation)};
}

}  // namespace orbelune
