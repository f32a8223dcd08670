// Unwarp speed on a 6000 x 4000 photograph with outer radius 1900, in output
// megapixels per second, single-threaded and on all cores; with OpenCV, its
// polar warp and a remap with prebuilt maps producing as many pixels.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "image/parallel.h"
#include "image/rgb_image.h"
#include "unwarp/elevation_table.h"
#include "unwarp/mirror_types.h"
#include "unwarp/unwarp.h"
#include "unwarp/unwarp_kernels.h"
#include "unwarp/unwarp_reference.h"

#ifdef ORBELUNE_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace orbelune;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
const RingParams kRing{3000, 2000, 400, 1900};

// Smooth content with some detail; the values do not change the speed much,
// but a real photograph is not all zeros.
const RgbImage& Photo() {
    static const RgbImage photo = [] {
        RgbImage image;
        (void)image.AllocatePixels(kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* p = image.row(y);
            for (int x = 0; x < kWidth; ++x, p += 3) {
                p[0] = static_cast<std::uint8_t>(x * 7 + y);
                p[1] = static_cast<std::uint8_t>((x ^ y) & 0xFF);
                p[2] = static_cast<std::uint8_t>(128 + 100 * std::sin(x * 0.01 + y * 0.02));
            }
        }
        return image;
    }();
    return photo;
}

void SetRate(benchmark::State& state, const PanoramaSize& size) {
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(size.width * size.height) *
                                                    static_cast<double>(state.iterations()) / 1e6,
                                                benchmark::Counter::kIsRate);
    state.counters["W"] = static_cast<double>(size.width);
    state.counters["H"] = static_cast<double>(size.height);
}

// Each benchmark runs on one thread (arg 1) and on all cores (arg 0), timed
// on the wall clock.
// Unused when the OpenCV comparisons are not built.
[[maybe_unused]] void OneThreadAndAllCores(benchmark::internal::Benchmark* b) {
    b->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
}

// Ours also with the vector set capped at AVX2 (second arg).
void OursOnBothPaths(benchmark::internal::Benchmark* b) {
    b->Args({1, 2})->Args({0, 2})->Args({1, 1})->Args({0, 1});
    b->UseRealTime()->Unit(benchmark::kMillisecond);
}

// Args: threads (1, or 0 for all cores) and the widest vector set allowed
// (2 AVX-512, 1 AVX2; the processor may have less). Includes the output
// allocation on the first iteration; later ones refill the same panorama.
void BM_Unwarp(benchmark::State& state, int mirrorType) {
    const RgbImage& photo = Photo();
    SetWorkerThreads(static_cast<int>(state.range(0)));
    SetUnwarpVectorLimit(static_cast<UnwarpVectors>(state.range(1)));
    RgbImage panorama;
    for (auto _ : state) {
        if (Unwarp(photo, kRing, mirrorType, panorama) != 0) state.SkipWithError("unwarp failed");
        benchmark::DoNotOptimize(panorama.data());
    }
    SetWorkerThreads(0);
    SetUnwarpVectorLimit(UnwarpVectors::kAvx512);
    SetRate(state, UnwarpOutputSize(kRing.OuterRadius, mirrorType));
}
BENCHMARK_CAPTURE(BM_Unwarp, concave, 1)->Apply(OursOnBothPaths);
BENCHMARK_CAPTURE(BM_Unwarp, convex, 2)->Apply(OursOnBothPaths);

#ifdef ORBELUNE_HAVE_OPENCV

void SetOpenCvThreads(benchmark::State& state) {
    cv::setNumThreads(state.range(0) == 1 ? 1 : -1);
}

// warpPolar lays angles out as rows and radii as columns: dsize (H, W) gives
// the same number of pixels as our W x H panorama.
void BM_OpenCvWarpPolar(benchmark::State& state, int mirrorType) {
    const RgbImage& photo = Photo();
    const cv::Mat source(kHeight, kWidth, CV_8UC3, const_cast<std::uint8_t*>(photo.data()));
    const PanoramaSize size = UnwarpOutputSize(kRing.OuterRadius, mirrorType);
    SetOpenCvThreads(state);
    cv::Mat polar;
    for (auto _ : state) {
        cv::warpPolar(source, polar,
                      cv::Size(static_cast<int>(size.height), static_cast<int>(size.width)),
                      cv::Point2f(kRing.XCenter, kRing.YCenter), kRing.OuterRadius,
                      static_cast<int>(cv::INTER_LINEAR) | static_cast<int>(cv::WARP_POLAR_LINEAR));
        benchmark::DoNotOptimize(polar.data);
    }
    cv::setNumThreads(-1);
    SetRate(state, size);
}
BENCHMARK_CAPTURE(BM_OpenCvWarpPolar, concave_size, 1)->Apply(OneThreadAndAllCores);
BENCHMARK_CAPTURE(BM_OpenCvWarpPolar, convex_size, 2)->Apply(OneThreadAndAllCores);

// remap with fixed-point maps of the same geometry, built outside the timing.
void BM_OpenCvRemapPrebuilt(benchmark::State& state, int mirrorType) {
    const RgbImage& photo = Photo();
    const cv::Mat source(kHeight, kWidth, CV_8UC3, const_cast<std::uint8_t*>(photo.data()));
    const PanoramaSize size = UnwarpOutputSize(kRing.OuterRadius, mirrorType);
    const int w = static_cast<int>(size.width), h = static_cast<int>(size.height);
    cv::Mat mapX(h, w, CV_32FC1), mapY(h, w, CV_32FC1);
    const RingGeometry ring{static_cast<double>(kRing.XCenter), static_cast<double>(kRing.YCenter),
                            static_cast<double>(kRing.OuterRadius)};
    const ElevationTable table = BuildElevationTable();
    for (int q = 0; q < h; ++q) {
        const double v = RowImageRadius(table, q, h);
        for (int j = 0; j < w; ++j) {
            const SamplePosition p = UsesConvexModel(mirrorType)
                                         ? ConvexSamplePosition(ring, w, h, j, q)
                                         : ConcaveSamplePosition(ring, w, v, j);
            mapX.at<float>(q, j) = static_cast<float>(p.x);
            mapY.at<float>(q, j) = static_cast<float>(p.y);
        }
    }
    cv::Mat fixedXY, fixedFraction;
    cv::convertMaps(mapX, mapY, fixedXY, fixedFraction, CV_16SC2);
    SetOpenCvThreads(state);
    cv::Mat out;
    for (auto _ : state) {
        cv::remap(source, out, fixedXY, fixedFraction, cv::INTER_LINEAR, cv::BORDER_CONSTANT);
        benchmark::DoNotOptimize(out.data);
    }
    cv::setNumThreads(-1);
    SetRate(state, size);
}
BENCHMARK_CAPTURE(BM_OpenCvRemapPrebuilt, concave_size, 1)->Apply(OneThreadAndAllCores);
BENCHMARK_CAPTURE(BM_OpenCvRemapPrebuilt, convex_size, 2)->Apply(OneThreadAndAllCores);

#endif

}  // namespace

BENCHMARK_MAIN();
