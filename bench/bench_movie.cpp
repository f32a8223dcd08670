// A 9424 x 3845 panorama saved as a 24-tile VR movie, as the movie command
// does it: fitted, turned, written as BMP, cut into tiles, compressed, flattened.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <filesystem>
#include <string>

#include "export/panorama_movie.h"
#include "unwarp/test_scene.h"

namespace orbelune {
namespace {

void BM_SaveMovie(benchmark::State& state) {
    const RgbImage panorama = MakeSampleScene(9424, 3845);
    MovieSettings settings;
    settings.tiles = 24;
    settings.compressor = static_cast<int>(state.range(0));
    settings.quality = 3;
    settings.zoom = 1.0f;
    const std::string path =
        (std::filesystem::temp_directory_path() / "orbelune-bench-movie.mov").string();
    for (auto _ : state) {
        if (SaveMovie(panorama, settings, path) != 0) state.SkipWithError("movie build failed");
    }
    state.counters["file_mb"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    std::filesystem::remove(path);
}
// 0 JPEG, 2 Cinepak.
BENCHMARK(BM_SaveMovie)
    ->Arg(0)
    ->Arg(2)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace orbelune

BENCHMARK_MAIN();
