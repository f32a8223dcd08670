#pragma once

#include "platform/settings_store.h"

namespace orbelune {

// Where the ring lies in the raw photograph, in raw-image pixels.
struct RingParams {
    int XCenter = 0;
    int YCenter = 0;
    int InnerRadius = 0;
    int OuterRadius = 0;

    // Radius edits keep the inner radius >= 40 and the gap >= 80 (the gap wins).
    void SetInnerRadius(int d);
    void SetOuterRadius(int d);

    friend bool operator==(const RingParams&, const RingParams&) = default;
};

// True when the centre lies in the central region (a fifth of each side kept
// clear, bounds inclusive).
bool IsCentreValid(int xCenter, int yCenter, int imageWidth, int imageHeight);

// The ring for a freshly loaded raw image: stored values with their defaults;
// a centre outside the central region is replaced by the image centre.
RingParams LoadRingParams(SettingsStore& store, int imageWidth, int imageHeight);

// False when the ring cannot belong to this photograph, as when it was
// stored from a larger one: its outer circle encloses the whole picture, so
// no part of it could be shown or grabbed. (Radii that give no panorama are
// the unwarp's to refuse.)
bool RingFitsPhoto(const RingParams& ring, int imageWidth, int imageHeight);

// The photograph's own defaults: its centre, and the default radii made
// small enough for the picture when it is small.
RingParams DefaultRingFor(int imageWidth, int imageHeight);

// Writes XCENTER, YCENTER, OuterRadius, InnerRadius, in this order, unvalidated.
void StoreRingParams(SettingsStore& store, const RingParams& ring);

}  // namespace orbelune
