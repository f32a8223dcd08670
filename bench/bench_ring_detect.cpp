// Ring detection on synthetic ring photographs of 24 and 100 megapixels, on
// two worker threads (and all cores).
#include <benchmark/benchmark.h>

#include <cmath>

#include "image/parallel.h"
#include "image/rgb_image.h"
#include "unwarp/ring_detect.h"
#include "unwarp/ring_synth.h"
#include "unwarp/test_scene.h"
#include "unwarp/unwarp.h"

namespace {

using namespace orbelune;

SynthOptions Options(int width, int height, int radius) {
    SynthOptions options;
    options.width = width;
    options.height = height;
    options.xCenter = width / 2 + 37;
    options.yCenter = height / 2 - 21;
    options.outerRadius = radius;
    options.innerRadius = radius * 3 / 10;
    options.mirrorType = 2;
    options.supersample = 1;
    options.noise = 4;
    options.vignetting = 0.3;
    options.clutter = true;
    return options;
}

RgbImage Photo(const SynthOptions& options) {
    const int radius = options.outerRadius;
    const PanoramaSize size = UnwarpOutputSize(radius, options.mirrorType);
    const RgbImage scene =
        MakeTestScene(static_cast<int>(size.width), static_cast<int>(size.height));
    RgbImage photo;
    (void)SynthesizeRing(scene, options, photo);
    return photo;
}

// Also reports the errors against where the photograph's edges are: the
// centre in pixels, the radii in per cent of the outer one.
void Detect(benchmark::State& state, const RgbImage& photo, const SynthOptions& options) {
    SetWorkerThreads(static_cast<int>(state.range(0)));
    RingDetection found;
    for (auto _ : state) {
        (void)DetectRing(photo, found);
        benchmark::DoNotOptimize(found);
    }
    const SynthEdges truth = SynthesizedEdges(options);
    state.counters["confidence"] = found.confidence;
    state.counters["centre_px"] =
        std::hypot(found.xCenter - options.xCenter, found.yCenter - options.yCenter);
    state.counters["outer_pct"] = 100 * std::fabs(found.outerRadius - truth.outer) / truth.outer;
    state.counters["inner_pct"] = 100 * std::fabs(found.innerRadius - truth.inner) / truth.outer;
    SetWorkerThreads(0);
}

void DetectRing24MP(benchmark::State& state) {
    static const SynthOptions options = Options(6000, 4000, 1900);
    static const RgbImage photo = Photo(options);
    Detect(state, photo, options);
}

void DetectRing100MP(benchmark::State& state) {
    static const SynthOptions options = Options(12240, 8160, 3900);
    static const RgbImage photo = Photo(options);
    Detect(state, photo, options);
}

// Arg: worker threads (0 = all cores).
BENCHMARK(DetectRing24MP)->Arg(2)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(DetectRing100MP)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
