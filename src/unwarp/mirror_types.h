#pragma once

#include <span>
#include <string_view>

namespace orbelune {

// The four known mirror attachments; any other stored value unwarps as concave.
enum MirrorType : int {
    ConcaveStandard = 0,
    ConcaveThreaded = 1,
    ConvexStandard = 2,
    ConvexThreaded = 3,
};

enum class MirrorPicture { Standard, Threaded };

struct TiltRange {
    int minimum;
    int maximum;
};

struct MirrorInfo {
    int value;
    const char* name;      // ConcaveStandard, ...
    const char* cliName;   // concave-standard, ...
    const char* listText;  // stored in the selection list, never shown
    const char* caption;   // shown in the selection list (with its blanks)
    MirrorPicture picture;
    bool convex;      // convex model (else concave)
    bool mirrorRows;  // rows mirrored after the unwarp
    TiltRange tilt;   // degrees allowed for a movie's default view
};

// The four rows, in value order.
std::span<const MirrorInfo> MirrorTable();
// The row for a value, or null when the value is not one of the four.
const MirrorInfo* FindMirror(int type);
// The row whose cliName is `name` ("concave-threaded", ...), or null.
const MirrorInfo* FindMirrorByCliName(std::string_view name);

bool UsesConvexModel(int type);
bool MirrorsRows(int type);
TiltRange TiltRangeFor(int type);  // -40..60 for values outside the table

}  // namespace orbelune
