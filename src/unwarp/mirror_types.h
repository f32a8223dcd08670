#pragma once

#include <span>
#include <string_view>

namespace orbelune {

class SettingsStore;

// The four catalogue attachments and the custom mirror; any other stored
// value unwarps as concave.
enum MirrorType : int {
    ConcaveStandard = 0,
    ConcaveThreaded = 1,
    ConvexStandard = 2,
    ConvexThreaded = 3,
    CustomMirrorType = 4,
};

enum class MirrorPicture { Standard, Threaded, Custom };

// The unwarp model of a row: the concave mirror profile, the convex linear
// ramp, or the custom mirror's equal steps of elevation.
enum class MirrorModel { Concave, Convex, Equiangular };

struct TiltRange {
    int minimum;
    int maximum;
};

// A mirror outside the catalogue, described by the elevations (degrees above
// the horizon) seen at the ring's two circles. Its panorama is equirectangular.
struct CustomMirror {
    int outerElevation = 15;
    int innerElevation = -45;
    bool mirrored = false;  // the picture is mirrored left to right

    friend bool operator==(const CustomMirror&, const CustomMirror&) = default;
};

// Each elevation -89..89, and the two unequal.
bool IsValidElevation(int degrees);
bool IsValidCustomMirror(const CustomMirror& custom);
// The stored custom mirror; an invalid stored pair falls back to the defaults
// (both elevations together).
CustomMirror LoadCustomMirror(SettingsStore& store);
void StoreCustomMirror(SettingsStore& store, const CustomMirror& custom);

struct MirrorInfo {
    int value;
    const char* name;      // ConcaveStandard, ...
    const char* cliName;   // concave-standard, ...
    const char* listText;  // stored in the selection list, never shown
    const char* caption;   // shown in the selection list (with its blanks)
    MirrorPicture picture;
    MirrorModel model;
    bool mirrorRows;  // rows mirrored after the unwarp (the custom mirror: its own setting)
    TiltRange tilt;   // degrees allowed for a movie's default view (custom: its elevations)
};

// The five rows, in value order.
std::span<const MirrorInfo> MirrorTable();
// The row for a value, or null when the value is not in the table.
const MirrorInfo* FindMirror(int type);
// The row whose cliName is `name` ("concave-threaded", "custom", ...), or null.
const MirrorInfo* FindMirrorByCliName(std::string_view name);

MirrorModel ModelFor(int type);  // concave for values outside the table
bool UsesConvexModel(int type);
bool MirrorsRows(int type);
// Whether the panorama's columns run with the angle (column j at j * 2pi / W)
// rather than against it.
bool ColumnsRunWithAngle(int type, const CustomMirror& custom);
TiltRange TiltRangeFor(int type);  // -40..60 for values outside the table
// The custom mirror's range is that of its elevations.
TiltRange TiltRangeFor(int type, const CustomMirror& custom);

}  // namespace orbelune
