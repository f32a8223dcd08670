// One update of the round view's live strip: a 24 MP photograph's display
// copy (fitted into the 476 x 356 view, and into a large 1400 x 1000 one)
// unwarped into the strip under the photo. Updates per second = 1 / time.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "session/round_geometry.h"
#include "unwarp/mirror_types.h"
#include "unwarp/unwarp.h"

namespace {

using namespace orbelune;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
const RingParams kRing{3000, 2000, 400, 1900};

// The display copy as the view holds it: the photo reduced to the fitted size.
std::vector<std::uint8_t> DisplayCopy(const RoundDisplay& fit) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(fit.width) * fit.height * 3);
    for (int y = 0; y < fit.height; ++y)
        for (int x = 0; x < fit.width; ++x) {
            const double ix = x / fit.scale;
            const double iy = y / fit.scale;
            std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * fit.width + x) * 3];
            p[0] = static_cast<std::uint8_t>(static_cast<int>(ix * 7 + iy) & 0xFF);
            p[1] = static_cast<std::uint8_t>((static_cast<int>(ix) ^ static_cast<int>(iy)) & 0xFF);
            p[2] = static_cast<std::uint8_t>(128 + 100 * std::sin(ix * 0.01 + iy * 0.02));
        }
    return pixels;
}

void StripUpdate(benchmark::State& state) {
    const int clientWidth = static_cast<int>(state.range(0));
    const int clientHeight = clientWidth * 356 / 476;
    const int stripHeight = clientWidth / 8;
    const RoundDisplay fit = FitRoundDisplay(kWidth, kHeight, clientWidth, clientHeight);
    const std::vector<std::uint8_t> display = DisplayCopy(fit);
    const SourcePixels source{display.data(), fit.width, fit.height,
                              static_cast<std::size_t>(fit.width) * 3};
    std::vector<std::uint8_t> strip(static_cast<std::size_t>(clientWidth) * stripHeight * 3);
    const PanoramaPixels out{strip.data(), clientWidth, stripHeight};
    RingParams ring = kRing;
    for (auto _ : state) {
        ring.XCenter = kRing.XCenter + static_cast<int>(state.iterations() % 7);
        benchmark::DoNotOptimize(UnwarpStrip(source, ring, fit.scale, 1, CustomMirror{}, out));
        benchmark::ClobberMemory();
    }
    state.counters["display_w"] = fit.width;
    state.counters["updates/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(StripUpdate)->Arg(476)->Arg(1400)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
