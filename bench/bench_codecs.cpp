// JPEG speed on a 24-megapixel photograph (6000 x 4000), ours against
// libjpeg-turbo's own djpeg and cjpeg at the same settings, timed as whole
// runs: file bytes to pixels, pixels to file bytes, and whole processes.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "image/file_io.h"
#include "image/image_io.h"
#include "image/rgb_image.h"

extern char** environ;

namespace orbelune {
namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Smooth gradients with a little noise, so the entropy coder has real work.
RgbImage PhotoLike(int width, int height) {
    RgbImage image;
    if (image.AllocatePixels(width, height) != err::kNone) return image;
    std::mt19937 random(42);
    auto clampByte = [](int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.row(y);
        for (int x = 0; x < width; ++x) {
            const int noise = static_cast<int>(random() % 9) - 4;
            row[x * 3] = clampByte(x * 255 / width + noise);
            row[x * 3 + 1] = clampByte(y * 255 / height - noise);
            row[x * 3 + 2] = clampByte((x + y) * 97 / (width + height) + 80 + noise);
        }
    }
    return image;
}

// The picture, its PPM and our JPEG of it, in a scratch folder for the run.
struct Fixture {
    std::filesystem::path dir;
    std::string ppmPath;
    std::string jpegPath;
    RgbImage image;
    bool ok = false;

    Fixture() {
        std::string name =
            (std::filesystem::temp_directory_path() / "orbelune-bench-XXXXXX").string();
        if (mkdtemp(name.data()) == nullptr) return;
        dir = name;
        ppmPath = (dir / "photo.ppm").string();
        jpegPath = (dir / "photo.jpg").string();
        image = PhotoLike(kWidth, kHeight);
        const std::string header =
            "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
        std::vector<std::uint8_t> ppm(header.begin(), header.end());
        ppm.insert(ppm.end(), image.data(), image.data() + image.byteCount());
        ok = !image.empty() && WriteFileAtomically(ppmPath, ppm.data(), ppm.size()) == err::kNone &&
             image.SaveImageFile(jpegPath, ImageFormat::Jpeg) == err::kNone;
    }
    ~Fixture() {
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }
};

Fixture& Files() {
    static Fixture fixture;
    return fixture;
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// Runs a program to completion and adds its CPU time (user + system) to
// `cpuSeconds`; false when it cannot start or fails.
bool Run(std::vector<std::string> args, double& cpuSeconds) {
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    cpuSeconds += Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Wall time depends on what else the machine runs; CPU time per run
// ("cpu_ms") compares the two sides fairly on a busy machine.
void ReportCpu(benchmark::State& state, double cpuSeconds) {
    if (state.iterations() > 0)
        state.counters["cpu_ms"] = 1000.0 * cpuSeconds / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void TimeProcess(benchmark::State& state, const std::vector<std::string>& args) {
    if (!Files().ok) return state.SkipWithError("fixture could not be written");
    double cpu = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const bool ok = Run(args, cpu);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (!ok) return state.SkipWithError((args[0] + " failed or is not installed").c_str());
        state.SetIterationTime(elapsed.count());
    }
    ReportCpu(state, cpu);
}

void BM_DecodeJpeg_Ours(benchmark::State& state) {
    if (!Files().ok) return state.SkipWithError("fixture could not be written");
    const double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) {
        std::vector<std::uint8_t> bytes;
        RgbImage image;
        if (ReadWholeFile(Files().jpegPath, bytes) != err::kNone ||
            DecodeImageBytes(bytes, ImageFormat::Jpeg, image) != err::kNone)
            return state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.data());
    }
    ReportCpu(state, ProcessCpuSeconds() - cpuStart);
}

void BM_DecodeJpeg_Djpeg(benchmark::State& state) {
    TimeProcess(state, {"djpeg", "-ppm", "-outfile", "/dev/null", Files().jpegPath});
}

void BM_EncodeJpeg_Ours(benchmark::State& state) {
    if (!Files().ok) return state.SkipWithError("fixture could not be written");
    const double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) {
        std::vector<std::uint8_t> bytes;
        if (EncodeImageBytes(Files().image, ImageFormat::Jpeg, bytes) != err::kNone)
            return state.SkipWithError("encode failed");
        benchmark::DoNotOptimize(bytes.data());
    }
    ReportCpu(state, ProcessCpuSeconds() - cpuStart);
}

void BM_EncodeJpeg_Cjpeg(benchmark::State& state) {
    TimeProcess(state, {"cjpeg", "-quality", "100", "-baseline", "-progressive", "-outfile",
                        "/dev/null", Files().ppmPath});
}

BENCHMARK(BM_DecodeJpeg_Ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_DecodeJpeg_Djpeg)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);
BENCHMARK(BM_EncodeJpeg_Ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_EncodeJpeg_Cjpeg)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);

}  // namespace
}  // namespace orbelune

BENCHMARK_MAIN();
