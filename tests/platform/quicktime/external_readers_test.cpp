#include <gtest/gtest.h>

#include <algorithm>

#include "platform/quicktime/movie_test_helpers.h"
#include "platform/quicktime/movie_toolbox.h"

namespace orbelune::qt {
namespace {

constexpr int kTileWidth = 64;
constexpr int kTileHeight = 48;
constexpr int kTiles = 3;

class ExternalReaders : public ::testing::Test {
protected:
    void SetUp() override {
        ClearPlatformFaults();
        ASSERT_EQ(InitializeMediaLayer(), 0);
        ASSERT_EQ(EnterMovies(), 0);
    }
    void TearDown() override {
        EXPECT_EQ(ExitMovies(), 0);
        EXPECT_EQ(TerminateMediaLayer(), 0);
    }

    // Cuts the picture into tiles through importer, off-screen buffer and
    // compressor, and exports a movie with one (disabled) video track.
    void WriteTileMovie(const RgbImage& picture, FourCC codec, CodecQ quality,
                        const std::string& imagePath, const std::string& moviePath) {
        ASSERT_EQ(picture.SaveImageFile(imagePath, ImageFormat::Bmp), err::kNone);
        std::unique_ptr<GraphicsImporter> importer;
        ASSERT_EQ(GraphicsImporter::Open(imagePath, importer), 0);
        std::unique_ptr<Movie> movie;
        ASSERT_EQ(NewMovie(movie), 0);
        Track* track = nullptr;
        Media* media = nullptr;
        ASSERT_EQ(movie->NewTrack(IntToFixed(kTileWidth), IntToFixed(kTileHeight), 0, &track), 0);
        ASSERT_EQ(track->NewMedia(kVideoMediaType, 600, &media), 0);
        ASSERT_EQ(media->BeginEdits(), 0);
        for (int t = 0; t < kTiles; ++t) {
            std::unique_ptr<OffscreenBuffer> buffer;
            ASSERT_EQ(OffscreenBuffer::Create(kTileWidth, kTileHeight, buffer), 0);
            const Rect natural = importer->naturalBounds();
            ASSERT_EQ(importer->SetBoundsRect(
                          {0, -t * kTileHeight, natural.right, natural.bottom - t * kTileHeight}),
                      0);
            ASSERT_EQ(importer->Draw(*buffer), 0);
            std::vector<std::uint8_t> data;
            ImageDescription description;
            ASSERT_EQ(CompressImage(*buffer, codec, quality, data, description), 0);
            ASSERT_EQ(media->AddSample(data, 7200 / kTiles, description.Bytes()), 0);
        }
        ASSERT_EQ(media->EndEdits(), 0);
        ASSERT_EQ(track->InsertMedia(0, 0, media->duration()), 0);
        track->SetEnabled(false);
        std::unique_ptr<MovieExporter> exporter;
        ASSERT_EQ(OpenMovieExporter(kMovieExportType, kFlattenerSubType, kFlattenerManufacturer,
                                    exporter),
                  0);
        ASSERT_EQ(ConvertMovieToFile(*movie, moviePath, kMovieFileType, kMovieCreator, -1,
                                     kCreateMovieFileDeleteCurFile, exporter.get()),
                  0);
    }

    // Decodes every tile with ffmpeg and returns the lowest PSNR of a tile.
    double DecodedTilesPsnr(FourCC codec, CodecQ quality) {
        test::TempDir dir;
        const RgbImage picture = test::TestPicture(kTileWidth, kTileHeight * kTiles);
        WriteTileMovie(picture, codec, quality, dir.File("p.bmp"), dir.File("t.mov"));
        int status = 0;
        const std::string raw =
            test::Run("ffmpeg -nostdin -v error -i " + dir.File("t.mov") +
                          " -map 0:v:0 -f rawvideo -pix_fmt rgb24 - 2>/dev/null",
                      status);
        EXPECT_EQ(status, 0);
        const std::size_t tileBytes = std::size_t{kTileWidth} * kTileHeight * 3;
        EXPECT_EQ(raw.size(), tileBytes * kTiles);
        if (raw.size() != tileBytes * kTiles) return 0;
        double worst = 99;
        for (int t = 0; t < kTiles; ++t) {
            const auto* decoded = reinterpret_cast<const std::uint8_t*>(raw.data()) + tileBytes * t;
            worst = std::min(worst, test::Psnr(decoded, picture.row(t * kTileHeight), tileBytes));
        }
        return worst;
    }
};

#define SKIP_WITHOUT(tool) \
    if (!test::HaveTool(tool)) GTEST_SKIP() << tool " is not installed"

TEST_F(ExternalReaders, FfmpegDecodesLosslessTilesExactly) {
    SKIP_WITHOUT("ffmpeg");
    for (FourCC codec : {kRawCodecType, kBmpCodecType, kTiffCodecType}) {
        SCOPED_TRACE(test::Type(codec));
        EXPECT_EQ(DecodedTilesPsnr(codec, kCodecNormalQuality), 99.0);
    }
}

TEST_F(ExternalReaders, FfmpegDecodesLossyTilesCloseToTheSource) {
    SKIP_WITHOUT("ffmpeg");
    const double jpeg = DecodedTilesPsnr(kJpegCodecType, kCodecHighQuality);
    const double cinepak = DecodedTilesPsnr(kCinepakCodecType, kCodecHighQuality);
    const double sorenson = DecodedTilesPsnr(kSorensonCodecType, kCodecHighQuality);
    RecordProperty("psnr", std::to_string(jpeg) + " " + std::to_string(cinepak) + " " +
                               std::to_string(sorenson));
    EXPECT_GE(jpeg, 35.0);
    EXPECT_GE(cinepak, 35.0);
    // Sorenson 1 is vector quantisation with chroma at a quarter of each side:
    // on this picture's fine blue pattern even quantiser 1 stays near 33 dB
    // (ffmpeg's own encoder alike), so 30 dB is what high quality can promise.
    EXPECT_GE(sorenson, 30.0);
}

TEST_F(ExternalReaders, QtdumpParsesWrittenMovie) {
    SKIP_WITHOUT("qtdump");
    test::TempDir dir;
    WriteTileMovie(test::TestPicture(kTileWidth, kTileHeight * kTiles), kJpegCodecType,
                   kCodecNormalQuality, dir.File("p.bmp"), dir.File("t.mov"));
    int status = 0;
    const std::string out = test::Run("qtdump " + dir.File("t.mov") + " 2>&1", status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("jpeg"), std::string::npos) << out;
    EXPECT_EQ(out.find("rror"), std::string::npos) << out;
}

}  // namespace
}  // namespace orbelune::qt
