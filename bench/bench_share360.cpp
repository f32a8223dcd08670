// The 360° share beside the JPEG encoder, same run: reprojecting an 11938 x 1900
// panorama (a 1900-pixel concave ring) onto latitude rows must cost less than
// encoding it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "export/share360.h"
#include "image/image_io.h"
#include "image/rgb_image.h"

namespace orbelune {
namespace {

constexpr int kWidth = 11938;
constexpr int kHeight = 1900;

// Smooth gradients with a little noise, so the entropy coder has real work.
const RgbImage& Panorama() {
    static const RgbImage image = [] {
        RgbImage picture;
        if (picture.AllocatePixels(kWidth, kHeight) != err::kNone) return picture;
        std::mt19937 random(7);
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* row = picture.row(y);
            for (int x = 0; x < kWidth; ++x) {
                const int noise = static_cast<int>(random() % 9) - 4;
                row[x * 3] = static_cast<std::uint8_t>((x * 255 / kWidth + noise) & 0xFF);
                row[x * 3 + 1] = static_cast<std::uint8_t>((y * 255 / kHeight - noise) & 0xFF);
                row[x * 3 + 2] = static_cast<std::uint8_t>(((x ^ y) & 0x7F) + 60);
            }
        }
        return picture;
    }();
    return image;
}

void BM_ReprojectToEquirect(benchmark::State& state) {
    const RgbImage& panorama = Panorama();
    RgbImage strip;
    for (auto _ : state) {
        if (ReprojectToEquirect(panorama, strip) != err::kNone) state.SkipWithError("reproject");
        benchmark::DoNotOptimize(strip.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(panorama.byteCount()));
}

void BM_EncodeJpeg(benchmark::State& state) {
    const RgbImage& panorama = Panorama();
    std::vector<std::uint8_t> bytes;
    for (auto _ : state) {
        if (EncodeImageBytes(panorama, ImageFormat::Jpeg, bytes) != err::kNone)
            state.SkipWithError("encode");
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(panorama.byteCount()));
}

// The whole 360° JPEG: reprojection, encoding and the XMP.
void BM_EncodeShare360Jpeg(benchmark::State& state) {
    const RgbImage& panorama = Panorama();
    std::vector<std::uint8_t> bytes;
    for (auto _ : state) {
        if (EncodeShare360Jpeg(panorama, ShareView(), PhotoMetadata(), bytes) != err::kNone)
            state.SkipWithError("share");
        benchmark::DoNotOptimize(bytes.data());
    }
}

// A custom mirror's strip (rows of 360/width degrees from +15°): its rows are
// kept, so placing it must cost a small part of the reprojection.
void BM_PlaceKnownElevations(benchmark::State& state) {
    const RgbImage& panorama = Panorama();
    const KnownElevations known{15, 360.0 / kWidth};
    RgbImage strip;
    for (auto _ : state) {
        if (PlaceKnownElevations(panorama, known, strip) != err::kNone)
            state.SkipWithError("place");
        benchmark::DoNotOptimize(strip.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(panorama.byteCount()));
}

BENCHMARK(BM_PlaceKnownElevations)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ReprojectToEquirect)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_EncodeJpeg)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_EncodeShare360Jpeg)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace orbelune

BENCHMARK_MAIN();
