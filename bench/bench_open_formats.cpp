// Opening photographs from today's cameras, each timed against the library's
// own command-line tool on the same file in the same run:
// - a 24-megapixel JPEG opened as the start view opens it (size probe, one
//   decode, display copy) against one bare decode;
// - a 12-megapixel HEIC (a phone's size) against heif-convert;
// - a 24-megapixel Bayer DNG against LibRaw's dcraw_emu with the same settings.
// Tool runs report wall time per run (they include starting the process and
// writing their output; the note beside each says what they write).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "image/codecs/codec.h"
#include "image/file_io.h"
#include "image/image_io.h"
#include "image/image_ops.h"
#include "image/rgb_image.h"

extern char** environ;

namespace orbelune {
namespace {

constexpr int kBoxWidth = 476;  // the round view's image window
constexpr int kBoxHeight = 356;

RgbImage PhotoLike(int width, int height) {
    RgbImage image;
    if (image.AllocatePixels(width, height) != err::kNone) return image;
    std::mt19937 random(7);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.row(y);
        for (int x = 0; x < width; ++x) {
            const int noise = static_cast<int>(random() % 9);
            row[x * 3] = static_cast<std::uint8_t>(x * 240 / width + noise);
            row[x * 3 + 1] = static_cast<std::uint8_t>(y * 240 / height + noise);
            row[x * 3 + 2] = static_cast<std::uint8_t>((x + y) * 97 / (width + height) + 80);
        }
    }
    return image;
}

bool Run(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool WriteBayerDng(const std::string& path, int width, int height) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (tif == nullptr) return false;
    const std::uint8_t version[4] = {1, 4, 0, 0};
    const std::uint16_t repeat[2] = {2, 2};
    const std::uint8_t pattern[4] = {0, 1, 1, 2};
    const float colorMatrix[9] = {0.8f, -0.2f, -0.1f, -0.3f, 1.2f, 0.1f, -0.05f, 0.2f, 0.7f};
    const float neutral[3] = {0.5f, 1.0f, 0.7f};
    const std::uint32_t white[1] = {4095};
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
    TIFFSetField(tif, TIFFTAG_MAKE, "Test");
    TIFFSetField(tif, TIFFTAG_MODEL, "Bayer 12");
    TIFFSetField(tif, TIFFTAG_DNGVERSION, version);
    TIFFSetField(tif, TIFFTAG_UNIQUECAMERAMODEL, "Test Bayer 12");
    TIFFSetField(tif, TIFFTAG_CFAREPEATPATTERNDIM, repeat);
    TIFFSetField(tif, TIFFTAG_CFAPATTERN, 4, pattern);
    TIFFSetField(tif, TIFFTAG_COLORMATRIX1, 9, colorMatrix);
    TIFFSetField(tif, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
    TIFFSetField(tif, TIFFTAG_CALIBRATIONILLUMINANT1, 21);
    TIFFSetField(tif, TIFFTAG_WHITELEVEL, 1, white);
    std::vector<std::uint16_t> row(static_cast<std::size_t>(width));
    std::mt19937 random(3);
    bool ok = true;
    for (int y = 0; y < height && ok; ++y) {
        for (int x = 0; x < width; ++x)
            row[static_cast<std::size_t>(x)] =
                static_cast<std::uint16_t>(200 + (x + y) % 3000 + random() % 64);
        ok = TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0) == 1;
    }
    TIFFClose(tif);
    return ok;
}

struct Files {
    TempFolder folder;
    std::string jpeg, heic, dng;
    Files() {
        if (!folder.valid()) return;
        jpeg = folder.path() + "/photo24.jpg";
        if (PhotoLike(6000, 4000).SaveImageFile(jpeg, ImageFormat::Jpeg) != err::kNone)
            jpeg.clear();
        const std::string png = folder.path() + "/phone12.png";
        heic = folder.path() + "/phone12.heic";
        if (PhotoLike(4032, 3024).SaveImageFile(png, ImageFormat::Png) != err::kNone ||
            !Run({"heif-enc", "-q", "85", png, "-o", heic}))
            heic.clear();
        dng = folder.path() + "/bayer24.dng";
        if (!WriteBayerDng(dng, 6000, 4000)) dng.clear();
    }
};

const Files& Fixture() {
    static Files files;
    return files;
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

void BM_Jpeg24_BareDecode(benchmark::State& state) {
    const std::string& path = Fixture().jpeg;
    if (path.empty()) return state.SkipWithError("no JPEG fixture");
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        RgbImage image;
        ImageOperation op;
        const ImageError e = DecodeJpegFile(file, image, op);
        std::fclose(file);
        if (e != err::kNone) return state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.data());
    }
}

void BM_Jpeg24_Open(benchmark::State& state) {
    const std::string& path = Fixture().jpeg;
    if (path.empty()) return state.SkipWithError("no JPEG fixture");
    for (auto _ : state) {
        ImageSize size;
        ImageFormat format{};
        RgbImage image;
        if (ProbeImageFile(path, size, format) != err::kNone ||
            image.LoadImageFile(path) != err::kNone)
            return state.SkipWithError("open failed");
        DisplayCopy(image);
    }
}

void DecodeFile(benchmark::State& state, const std::string& path, ImageFormat format) {
    if (path.empty()) return state.SkipWithError("no fixture (is the tool installed?)");
    // File bytes to upright pixels (no display palette), as the tools do.
    for (auto _ : state) {
        std::vector<std::uint8_t> bytes;
        RgbImage image;
        if (ReadWholeFile(path, bytes) != err::kNone ||
            DecodeImageBytes(bytes, format, image) != err::kNone)
            return state.SkipWithError("failed");
        benchmark::DoNotOptimize(image.data());
    }
}

void RunTool(benchmark::State& state, const std::string& path, std::vector<std::string> args) {
    if (path.empty()) return state.SkipWithError("no fixture");
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!Run(args)) return state.SkipWithError((args[0] + " failed").c_str());
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}

void BM_Heic12_Ours(benchmark::State& state) {
    DecodeFile(state, Fixture().heic, ImageFormat::Heif);
}
// Writes Y4M: decoding only, not even the conversion to RGB.
void BM_Heic12_HeifConvertY4m(benchmark::State& state) {
    const std::string& heic = Fixture().heic;
    RunTool(state, heic, {"heif-convert", heic, heic + ".y4m"});
}
void BM_Dng24_Ours(benchmark::State& state) {
    DecodeFile(state, Fixture().dng, ImageFormat::Raw);
}
// Writes an 8-bit PPM to its standard output (/dev/null here).
void BM_Dng24_DcrawEmu(benchmark::State& state) {
    const std::string& dng = Fixture().dng;
    RunTool(state, dng, {"dcraw_emu", "-w", "-Z", "-", dng});
}

// Paired runs: each iteration times our side and the reference one after the
// other, so both see the same load on a shared machine; the counters are the
// medians of each side and their ratio.
double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

template <typename Ours, typename Reference>
void Paired(benchmark::State& state, Ours ours, Reference reference) {
    std::vector<double> oursMs, referenceMs;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (!ours()) return state.SkipWithError("our side failed");
        oursMs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        start = std::chrono::steady_clock::now();
        if (!reference()) return state.SkipWithError("the reference failed");
        referenceMs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    state.counters["ours_ms"] = Median(oursMs);
    state.counters["ref_ms"] = Median(referenceMs);
    state.counters["ratio"] = Median(oursMs) / Median(referenceMs);
}

bool DecodeOnce(const std::string& path, ImageFormat format) {
    std::vector<std::uint8_t> bytes;
    RgbImage image;
    return ReadWholeFile(path, bytes) == err::kNone &&
           DecodeImageBytes(bytes, format, image) == err::kNone;
}

void BM_Paired_Jpeg24_OpenVsBareDecode(benchmark::State& state) {
    const std::string& path = Fixture().jpeg;
    if (path.empty()) return state.SkipWithError("no JPEG fixture");
    Paired(
        state,
        [&] {
            ImageSize size;
            ImageFormat format{};
            RgbImage image;
            if (ProbeImageFile(path, size, format) != err::kNone ||
                image.LoadImageFile(path) != err::kNone)
                return false;
            DisplayCopy(image);
            return true;
        },
        [&] {
            std::FILE* file = std::fopen(path.c_str(), "rb");
            RgbImage image;
            ImageOperation op;
            const ImageError e = DecodeJpegFile(file, image, op);
            std::fclose(file);
            return e == err::kNone;
        });
}

void BM_Paired_Heic12_OursVsHeifConvertY4m(benchmark::State& state) {
    const std::string& heic = Fixture().heic;
    if (heic.empty()) return state.SkipWithError("no HEIC fixture (is heif-enc installed?)");
    Paired(
        state, [&] { return DecodeOnce(heic, ImageFormat::Heif); },
        [&] {
            return Run({"heif-convert", heic, heic + ".y4m"});
        });
}

void BM_Paired_Dng24_OursVsDcrawEmu(benchmark::State& state) {
    const std::string& dng = Fixture().dng;
    if (dng.empty()) return state.SkipWithError("no DNG fixture");
    Paired(
        state, [&] { return DecodeOnce(dng, ImageFormat::Raw); },
        [&] {
            return Run({"dcraw_emu", "-w", "-Z", "-", dng});
        });
}

BENCHMARK(BM_Paired_Jpeg24_OpenVsBareDecode)->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK(BM_Paired_Heic12_OursVsHeifConvertY4m)->Unit(benchmark::kMillisecond)->Iterations(7);
BENCHMARK(BM_Paired_Dng24_OursVsDcrawEmu)->Unit(benchmark::kMillisecond)->Iterations(7);

BENCHMARK(BM_Jpeg24_BareDecode)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_Jpeg24_Open)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_Heic12_Ours)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_Heic12_HeifConvertY4m)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_Dng24_Ours)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_Dng24_DcrawEmu)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly();

}  // namespace
}  // namespace orbelune

BENCHMARK_MAIN();
