// The desktop program's long paths on a 24-megapixel ring photograph, driven
// without a window: open (decode + display copy), unwarp (R = 1900, panorama
// taken as base and adjusted once) and one slider release.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "image/adjustments.h"
#include "image/image_ops.h"
#include "image/rgb_image.h"
#include "session/pano_images.h"
#include "unwarp/ring_synth.h"
#include "unwarp/test_scene.h"
#include "unwarp/unwarp.h"

namespace orbelune {
namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kOuterRadius = 1900;
// The round view's image window.
constexpr int kBoxWidth = 476;
constexpr int kBoxHeight = 356;

const std::string& PhotoPath() {
    static const std::string path = [] {
        const std::string file =
            (std::filesystem::temp_directory_path() / "orbelune-bench-24mp.jpg").string();
        if (!std::filesystem::exists(file)) {
            RgbImage photo;
            SynthOptions options;
            options.width = kWidth;
            options.height = kHeight;
            options.xCenter = kWidth / 2;
            options.yCenter = kHeight / 2;
            options.outerRadius = kOuterRadius;
            options.supersample = 1;
            if (SynthesizeRing(MakeSampleScene(4000, 1900), options, photo) != err::kNone ||
                photo.SaveImageFile(file, ImageFormat::Jpeg) != err::kNone)
                std::fprintf(stderr, "cannot make %s\n", file.c_str());
        }
        return file;
    }();
    return path;
}

void DisplayCopy(const RgbImage& source) {
    const DisplaySize size =
        FitDisplaySize(source.width(), source.height(), kBoxWidth, kBoxHeight, false);
    RgbImage scaled;
    (void)scaled.AllocatePixels(size.width, size.height);
    const bool resampled = ResampleBilinear(source.data(), source.width(), source.height(),
                                            scaled.data(), size.width, size.height);
    benchmark::DoNotOptimize(resampled);
    benchmark::DoNotOptimize(scaled.data());
}

void BM_OpenRingPhoto(benchmark::State& state) {
    const std::string& path = PhotoPath();
    for (auto _ : state) {
        RgbImage raw;
        if (raw.LoadImageFile(path) != err::kNone) state.SkipWithError("load failed");
        DisplayCopy(raw);
    }
}
BENCHMARK(BM_OpenRingPhoto)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UnwarpAndShowPanorama(benchmark::State& state) {
    RgbImage raw;
    if (raw.LoadImageFile(PhotoPath()) != err::kNone) state.SkipWithError("load failed");
    RingParams ring{kWidth / 2, kHeight / 2, 60, kOuterRadius};
    for (auto _ : state) {
        RgbImage shown;
        if (Unwarp(raw, ring, 1, shown) != 0) state.SkipWithError("unwarp failed");
        PanoImages images(shown);
        (void)TakeBase(images);
        (void)ApplyAdjustments(images, AdjustmentsFromSliders({}));
        DisplayCopy(shown);
    }
}
BENCHMARK(BM_UnwarpAndShowPanorama)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SliderRelease(benchmark::State& state) {
    RgbImage raw;
    if (raw.LoadImageFile(PhotoPath()) != err::kNone) state.SkipWithError("load failed");
    RgbImage shown;
    if (Unwarp(raw, RingParams{kWidth / 2, kHeight / 2, 60, kOuterRadius}, 1, shown) != 0)
        state.SkipWithError("unwarp failed");
    raw.FreePixels();
    PanoImages images(shown);
    (void)TakeBase(images);
    SliderPositions positions;
    positions.sharpness = 40;
    positions.brightness = 60;
    positions.contrast = 55;
    positions.saturation = 130;
    for (auto _ : state) {
        (void)ApplyAdjustments(images, AdjustmentsFromSliders(positions));
        DisplayCopy(shown);
    }
    state.counters["panorama_mp"] = shown.width() * static_cast<double>(shown.height()) / 1e6;
}
BENCHMARK(BM_SliderRelease)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace orbelune

BENCHMARK_MAIN();
