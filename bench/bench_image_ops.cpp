// Speed of the pixel operations and picture adjustments on a panorama-sized
// picture (1884 x 768) and on a 24-megapixel photograph (6000 x 4000). The CPU
// column is the whole process (all worker threads), which stays meaningful when
// other work shares the cores.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "image/adjustments.h"
#include "image/image_ops.h"
#include "image/rgb_image.h"

namespace orbelune {
namespace {

// Smooth colour gradients with a little noise: photograph-like, with many
// distinct colours, so that no table or cache gets an easy ride.
RgbImage PhotoLike(int width, int height) {
    RgbImage image;
    if (image.AllocatePixels(width, height) != err::kNone) return image;
    std::mt19937 random(42);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.row(y);
        for (int x = 0; x < width; ++x) {
            const int noise = static_cast<int>(random() % 17) - 8;
            auto clampByte = [](int v) {
                return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            };
            row[x * 3] = clampByte(x * 255 / width + noise);
            row[x * 3 + 1] = clampByte(y * 255 / height - noise);
            row[x * 3 + 2] = clampByte(((x + y) * 97 / (width + height)) + 80 + noise);
        }
    }
    return image;
}

const RgbImage& Panorama() {
    static const RgbImage image = PhotoLike(1884, 768);
    return image;
}

const RgbImage& Photo24() {
    static const RgbImage image = PhotoLike(6000, 4000);
    return image;
}

const RgbImage& Source(const benchmark::State& state) {
    return state.range(0) == 0 ? Panorama() : Photo24();
}

void SetPixels(benchmark::State& state, const RgbImage& image) {
    state.SetItemsProcessed(state.iterations() * image.width() * image.height());
}

void BM_ApplyAdjustments(benchmark::State& state) {
    const RgbImage& base = Source(state);
    const PanoAdjustments adjustments = AdjustmentsFromSliders({50, 60, 40, 150});
    RgbImage current;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ApplyAdjustmentsTo(base, adjustments, current));
    }
    SetPixels(state, base);
}
BENCHMARK(BM_ApplyAdjustments)
    ->Arg(0)
    ->Arg(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

void BM_Sharpen(benchmark::State& state) {
    const RgbImage& source = Source(state);
    RgbImage out(source);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            SharpenImage(source.data(), source.width(), source.height(), out.data(), 50));
    }
    SetPixels(state, source);
}
BENCHMARK(BM_Sharpen)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_BrightnessContrast(benchmark::State& state) {
    RgbImage image(Source(state));
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            BrightnessContrast(image.data(), image.width(), image.height(), 0.01, -0.01));
    }
    SetPixels(state, image);
}
BENCHMARK(BM_BrightnessContrast)
    ->Arg(0)
    ->Arg(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

void BM_Saturation(benchmark::State& state) {
    const RgbImage& source = Source(state);
    RgbImage image(source);
    for (auto _ : state) {
        state.PauseTiming();
        image = source;  // a fresh copy, as every slider release has
        state.ResumeTiming();
        AdjustSaturation(image, 150.0);
    }
    SetPixels(state, source);
}
BENCHMARK(BM_Saturation)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_ResizeImage(benchmark::State& state) {
    const RgbImage& source = Photo24();
    // Down to the display size of a panorama view and up by a quarter.
    const int width = state.range(0) == 0 ? 1500 : 7500;
    const int height = state.range(0) == 0 ? 1000 : 5000;
    for (auto _ : state) {
        state.PauseTiming();
        RgbImage image(source);
        state.ResumeTiming();
        benchmark::DoNotOptimize(image.ResizeImage(width, height));
    }
    SetPixels(state, source);
}
BENCHMARK(BM_ResizeImage)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_RotateImage(benchmark::State& state) {
    RgbImage image(Photo24());
    const int mode = static_cast<int>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(image.RotateImage(mode));
    SetPixels(state, image);
}
BENCHMARK(BM_RotateImage)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

void BM_MirrorRows(benchmark::State& state) {
    RgbImage image(Photo24());
    for (auto _ : state)
        benchmark::DoNotOptimize(image.MirrorRows());
    SetPixels(state, image);
}
BENCHMARK(BM_MirrorRows)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_BuildDisplayPalette(benchmark::State& state) {
    RgbImage image(Source(state));
    for (auto _ : state)
        image.BuildDisplayPalette();
    SetPixels(state, image);
}
BENCHMARK(BM_BuildDisplayPalette)
    ->Arg(0)
    ->Arg(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orbelune

BENCHMARK_MAIN();
