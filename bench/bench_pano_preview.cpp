// What one step of a slider drag costs in the panorama view: the adjustment of
// the copy reduced to the display (638 x 160 for the 6000 x 1500 panorama of a
// 24-megapixel photo) against the full-resolution one the release runs.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "image/adjustments.h"
#include "image/image_ops.h"
#include "image/rgb_image.h"

namespace orbelune {
namespace {

RgbImage Gradient(int width, int height) {
    RgbImage image;
    if (image.AllocatePixels(width, height) != err::kNone) return image;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.row(y);
        for (int x = 0; x < width * 3; ++x)
            row[x] = static_cast<std::uint8_t>((x * 7 + y * 13) % 251);
    }
    return image;
}

void Adjust(benchmark::State& state, int width, int height) {
    const RgbImage base = Gradient(width, height);
    const PanoAdjustments adjustments = AdjustmentsFromSliders({40, 65, 60, 130});
    RgbImage adjusted;
    for (auto _ : state) {
        if (ApplyAdjustmentsTo(base, adjustments, adjusted) != err::kNone)
            state.SkipWithError("adjustment failed");
        benchmark::DoNotOptimize(adjusted.data());
    }
}

void BM_DragStepOnDisplayCopy(benchmark::State& state) {
    Adjust(state, 638, 160);
}
void BM_ReleaseAtFullResolution(benchmark::State& state) {
    Adjust(state, 6000, 1500);
}
BENCHMARK(BM_DragStepOnDisplayCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReleaseAtFullResolution)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace orbelune

BENCHMARK_MAIN();
