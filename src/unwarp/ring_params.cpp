#include "unwarp/ring_params.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/settings_keys.h"

namespace orbelune {

namespace {
constexpr int kMinInnerRadius = 40;
constexpr int kMinRingGap = 80;

// Stored radii are unvalidated, so the gap arithmetic must not overflow.
int Saturate(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}
}  // namespace

void RingParams::SetInnerRadius(int d) {
    InnerRadius = d;
    if (InnerRadius < kMinInnerRadius) InnerRadius = kMinInnerRadius;
    // Applied last on purpose: the gap wins over the minimum.
    const int largest = Saturate(std::int64_t{OuterRadius} - kMinRingGap);
    if (InnerRadius > largest) InnerRadius = largest;
}

void RingParams::SetOuterRadius(int d) {
    OuterRadius = d;
    const int smallest = Saturate(std::int64_t{InnerRadius} + kMinRingGap);
    if (OuterRadius < smallest) OuterRadius = smallest;
}

bool IsCentreValid(int xCenter, int yCenter, int imageWidth, int imageHeight) {
    return xCenter <= imageWidth - imageWidth / 5 && yCenter <= imageHeight - imageHeight / 5 &&
           xCenter >= imageWidth / 5 && yCenter >= imageHeight / 5;
}

RingParams LoadRingParams(SettingsStore& store, int imageWidth, int imageHeight) {
    RingParams ring;
    ring.InnerRadius = Read(store, settings::kInnerRadius);
    ring.OuterRadius = Read(store, settings::kOuterRadius);
    ring.XCenter = store.GetInt(settings::kDefaults, settings::kXCenterKey, imageWidth / 2);
    ring.YCenter = store.GetInt(settings::kDefaults, settings::kYCenterKey, imageHeight / 2);
    if (!IsCentreValid(ring.XCenter, ring.YCenter, imageWidth, imageHeight)) {
        ring.XCenter = imageWidth / 2;
        ring.YCenter = imageHeight / 2;
    }
    return ring;
}

bool RingFitsPhoto(const RingParams& ring, int imageWidth, int imageHeight) {
    const double dx = std::max(ring.XCenter, imageWidth - ring.XCenter);
    const double dy = std::max(ring.YCenter, imageHeight - ring.YCenter);
    return ring.OuterRadius * static_cast<double>(ring.OuterRadius) <= dx * dx + dy * dy;
}

RingParams DefaultRingFor(int imageWidth, int imageHeight) {
    RingParams ring;
    ring.XCenter = imageWidth / 2;
    ring.YCenter = imageHeight / 2;
    ring.OuterRadius = std::max(
        2, std::min(settings::kOuterRadius.defaultValue, std::min(imageWidth, imageHeight) / 2));
    ring.InnerRadius = std::min(settings::kInnerRadius.defaultValue, ring.OuterRadius / 5);
    return ring;
}

void StoreRingParams(SettingsStore& store, const RingParams& ring) {
    store.SetInt(settings::kDefaults, settings::kXCenterKey, ring.XCenter);
    store.SetInt(settings::kDefaults, settings::kYCenterKey, ring.YCenter);
    Write(store, settings::kOuterRadius, ring.OuterRadius);
    Write(store, settings::kInnerRadius, ring.InnerRadius);
}

}  // namespace orbelune
