// Movies built from a panorama, read back by other programs: ffmpeg decodes
// the image track's tiles, which put together and turned back must give the
// panorama; qtdump must parse the VR atoms we wrote.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "export/panorama_movie.h"
#include "export/vr_toolbox_test_support.h"

namespace orbelune {
namespace {

bool HaveTool(const char* name) {
    const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

std::string RunAndCapture(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        ::pclose(pipe);
    }
    return output;
}

// Smooth colours with some structure, so lossy tiles are judged on content
// a photograph has, not on noise no codec keeps.
RgbImage SmoothPanorama(int width, int height) {
    RgbImage image;
    // An empty picture on failure, which every test using it then notices.
    if (image.AllocatePixels(width, height) != err::kNone) return image;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.row(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x * 255 / width);
            row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / height);
            row[3 * x + 2] = static_cast<std::uint8_t>(128 + 60 * std::sin(x / 9.0 + y / 13.0));
        }
    }
    return image;
}

double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    if (sum == 0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / sum);
}

struct CodecCase {
    int compressor;
    const char* name;
    double minimumPsnr;  // 99: exact
};

class MovieReadersTest : public ::testing::TestWithParam<CodecCase> {};

// 320 x 96 with 4 tiles needs no fitting, so the prepared panorama is the
// panorama itself and each tile is 96 x 80 after the quarter turn.
TEST_P(MovieReadersTest, FfmpegDecodesTilesThatRebuildThePanorama) {
    if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    const CodecCase codec = GetParam();
    testing::Scratch scratch;
    const RgbImage panorama = SmoothPanorama(320, 96);
    MovieSettings settings;
    settings.tiles = 4;
    settings.compressor = codec.compressor;
    settings.quality = 3;  // High
    settings.zoom = 1.0f;
    const std::string movie = scratch.Path("pano.mov");
    ASSERT_EQ(SaveMovie(panorama, settings, movie), 0);

    const std::string command = "ffmpeg -v error -i '" + movie +
                                "' -map 0:v:0 -vf tile=1x4,transpose=1 -frames:v 1 "
                                "-f rawvideo -pix_fmt rgb24 - 2>/dev/null";
    const std::string decoded = RunAndCapture(command);
    const std::vector<std::uint8_t> expected(panorama.data(),
                                             panorama.data() + panorama.byteCount());
    ASSERT_EQ(decoded.size(), expected.size()) << codec.name;
    const std::vector<std::uint8_t> got(decoded.begin(), decoded.end());
    if (codec.minimumPsnr >= 99) {
        EXPECT_EQ(got, expected) << codec.name;
    } else {
        EXPECT_GE(Psnr(got, expected), codec.minimumPsnr) << codec.name;
    }
}

// Sorenson keeps colour at a quarter of each side (YUV 4:1:0), which alone
// costs a few dB on coloured detail; 30 dB still means a clean picture.
INSTANTIATE_TEST_SUITE_P(EveryCodec, MovieReadersTest,
                         ::testing::Values(CodecCase{5, "none", 99}, CodecCase{3, "bmp", 99},
                                           CodecCase{1, "tiff", 99}, CodecCase{0, "jpeg", 35},
                                           CodecCase{2, "cinepak", 35},
                                           CodecCase{4, "sorenson", 30}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MovieReaders, QtdumpShowsTheWorldNodeHeaderAndPanoramaSample) {
    if (!HaveTool("qtdump")) GTEST_SKIP() << "qtdump is not installed";
    testing::Scratch scratch;
    MovieSettings settings;
    settings.tiles = 4;
    settings.compressor = 0;
    settings.zoom = 2.0f;
    settings.pan = 30;
    settings.tilt = 5;
    const std::string movie = scratch.Path("pano.mov");
    ASSERT_EQ(SaveMovie(SmoothPanorama(1010, 300), settings, movie), 0);
    const std::string dump = RunAndCapture("qtdump '" + movie + "' 2>&1");
    for (const char* atom : {"(vrsc)", "(impn)", "(nloc)", "(ndhd)", "(pdat)"})
        EXPECT_NE(dump.find(atom), std::string::npos) << atom;
    // 1010 x 300 with 4 tiles: T = 42.692513 degrees; zoom 2 halves the view.
    EXPECT_NE(dump.find("maximum tilt 42.6925"), std::string::npos);
    EXPECT_NE(dump.find("default fov 42.6925"), std::string::npos);
    EXPECT_NE(dump.find("default pan 30.0"), std::string::npos);
    EXPECT_NE(dump.find("ctyp:      qtvr"), std::string::npos);
}

}  // namespace
}  // namespace orbelune
