#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

#include "export/panorama_movie.h"
#include "export/panorama_movie_walker.h"
#include "export/vr_toolbox_test_support.h"

namespace orbelune {
namespace {

using testing::BeF32;
using testing::BeI32;
using testing::BeU16;
using testing::BeU32;
using testing::Bytes;
using testing::Code;
using testing::CodeText;
using testing::MovieInfo;
using testing::QtAtom;
using testing::TrackInfo;

struct LayoutCase {
    const char* name;
    int width;
    int height;
    MovieSettings settings;
    // Expected from the fitting rules.
    int tileWidth;
    int tileHeight;
    const char* codec;
    std::int32_t correction;
    std::int32_t quality;
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.name;
}

MovieSettings Settings(int tiles, int compressor, int quality, int correction, float zoom, int pan,
                       int tilt) {
    MovieSettings s;
    s.tiles = tiles;
    s.compressor = compressor;
    s.quality = quality;
    s.correction = correction;
    s.zoom = zoom;
    s.pan = pan;
    s.tilt = tilt;
    s.movieWidth = 400;
    s.movieHeight = 180;
    return s;
}

float HalfView(int tileWidth, int tileHeight, int tiles) {
    return static_cast<float>(std::atan(tileWidth * 3.14159 / (tileHeight * tiles)) *
                              57.29582790879778);
}

class PanoramaMovieLayout : public ::testing::TestWithParam<LayoutCase> {
protected:
    void Build(const LayoutCase& c) {
        panorama_ = testing::PatternImage(c.width, c.height);
        const std::string path = scratch_.Path("pano.mov");
        ASSERT_EQ(SaveMovie(panorama_, c.settings, path), 0);
        Bytes file;
        ASSERT_TRUE(testing::ReadFileBytes(path, file));
        std::string error;
        ASSERT_TRUE(testing::WalkMovie(file, movie_, error)) << error;
        ASSERT_EQ(movie_.tracks.size(), 3u);
    }

    testing::Scratch scratch_;
    RgbImage panorama_;
    MovieInfo movie_;
};

void ExpectVrWorld(const Bytes& description, std::int32_t correction) {
    ASSERT_GE(description.size(), 16u);
    EXPECT_EQ(BeU32(description, 0), description.size());
    EXPECT_EQ(BeU32(description, 4), Code("qtvr"));
    EXPECT_EQ(BeU32(description, 8), 0u);
    EXPECT_EQ(BeU16(description, 12), 0u);
    QtAtom world;
    std::string error;
    ASSERT_TRUE(testing::ParseAtomContainer(Bytes(description.begin() + 16, description.end()),
                                            world, error))
        << error;
    ASSERT_EQ(world.children.size(), 3u);

    const QtAtom* header = world.Child(Code("vrsc"));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->id, 1);
    ASSERT_EQ(header->data.size(), 24u);
    EXPECT_EQ(BeU16(header->data, 0), 2);
    EXPECT_EQ(BeU16(header->data, 2), 0);
    EXPECT_EQ(BeU32(header->data, 4), 0u);  // name atom
    EXPECT_EQ(BeU32(header->data, 8), 1u);  // default node
    for (int at = 12; at < 24; at += 4)
        EXPECT_EQ(BeU32(header->data, at), 0u);

    const QtAtom* imaging = world.Child(Code("imgp"));
    ASSERT_TRUE(imaging);
    EXPECT_EQ(imaging->id, 1);
    ASSERT_EQ(imaging->Count(Code("impn")), 2);
    struct Expected {
        std::uint32_t mode, quality, directDraw;
    };
    const Expected expected[2] = {{2, 256, 1}, {1, 768, 0}};
    for (int i = 0; i < 2; ++i) {
        const Bytes& d = imaging->Child(Code("impn"), i)->data;
        ASSERT_EQ(d.size(), 56u);
        EXPECT_EQ(BeU16(d, 0), 2);
        EXPECT_EQ(BeU16(d, 2), 0);
        EXPECT_EQ(BeU32(d, 4), expected[i].mode);
        EXPECT_EQ(BeU32(d, 8), 7u);
        EXPECT_EQ(BeI32(d, 12), correction);
        EXPECT_EQ(BeU32(d, 16), expected[i].quality);
        EXPECT_EQ(BeU32(d, 20), expected[i].directDraw);
        for (int at = 24; at < 56; at += 4)
            EXPECT_EQ(BeU32(d, at), 0u) << at;
    }
    EXPECT_NE(imaging->Child(Code("impn"), 0)->id, imaging->Child(Code("impn"), 1)->id);

    const QtAtom* nodes = world.Child(Code("vrnp"));
    ASSERT_TRUE(nodes);
    EXPECT_EQ(nodes->id, 1);
    ASSERT_EQ(nodes->children.size(), 1u);
    const QtAtom* node = nodes->Child(Code("vrni"));
    ASSERT_TRUE(node);
    EXPECT_EQ(node->id, 1);
    ASSERT_EQ(node->children.size(), 1u);
    const QtAtom* location = node->Child(Code("nloc"));
    ASSERT_TRUE(location);
    EXPECT_EQ(location->id, 1);
    ASSERT_EQ(location->data.size(), 24u);
    EXPECT_EQ(BeU16(location->data, 0), 2);
    EXPECT_EQ(BeU32(location->data, 4), Code("pano"));
    for (int at = 8; at < 24; at += 4)
        EXPECT_EQ(BeU32(location->data, at), 0u);
}

void ExpectNodeInformation(const Bytes& sample) {
    QtAtom info;
    std::string error;
    ASSERT_TRUE(testing::ParseAtomContainer(sample, info, error)) << error;
    ASSERT_EQ(info.children.size(), 1u);
    const QtAtom* header = info.Child(Code("ndhd"));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->id, 1);
    ASSERT_EQ(header->data.size(), 28u);
    EXPECT_EQ(BeU16(header->data, 0), 2);
    EXPECT_EQ(BeU16(header->data, 2), 0);
    EXPECT_EQ(BeU32(header->data, 4), Code("pano"));
    EXPECT_EQ(BeU32(header->data, 8), 1u);
    for (int at = 12; at < 28; at += 4)
        EXPECT_EQ(BeU32(header->data, at), 0u);
}

void ExpectPanoramaSample(const Bytes& sample, const LayoutCase& c) {
    QtAtom container;
    std::string error;
    ASSERT_TRUE(testing::ParseAtomContainer(sample, container, error)) << error;
    ASSERT_EQ(container.children.size(), 1u);
    const QtAtom* atom = container.Child(Code("pdat"));
    ASSERT_TRUE(atom);
    EXPECT_EQ(atom->id, 1);
    const Bytes& d = atom->data;
    ASSERT_EQ(d.size(), 84u);
    const int tiles = c.settings.tiles;
    const float t = HalfView(c.tileWidth, c.tileHeight, tiles);
    const float zoom = c.settings.zoom;
    EXPECT_EQ(BeU16(d, 0), 2);
    EXPECT_EQ(BeU16(d, 2), 0);
    EXPECT_EQ(BeU32(d, 4), 1u);  // first "imgt" reference
    EXPECT_EQ(BeU32(d, 8), 0u);
    EXPECT_EQ(BeF32(d, 12), 0.0f);
    EXPECT_EQ(BeF32(d, 16), 360.0f);
    EXPECT_EQ(BeF32(d, 20), -t);
    EXPECT_EQ(BeF32(d, 24), t);
    EXPECT_EQ(BeF32(d, 28), 0.0f);
    EXPECT_EQ(BeF32(d, 32), 2.0f * t);
    EXPECT_EQ(BeF32(d, 36), static_cast<float>(c.settings.pan));
    EXPECT_EQ(BeF32(d, 40), static_cast<float>(c.settings.tilt));
    EXPECT_EQ(BeF32(d, 44), zoom == 2.0f ? t : 2.0f * t * (1.0f / zoom));
    EXPECT_EQ(BeU32(d, 48), static_cast<std::uint32_t>(c.tileWidth));
    EXPECT_EQ(BeU32(d, 52), static_cast<std::uint32_t>(tiles * c.tileHeight));
    EXPECT_EQ(BeU16(d, 56), 1);
    EXPECT_EQ(BeU16(d, 58), tiles);
    for (int at = 60; at < 76; at += 4)
        EXPECT_EQ(BeU32(d, at), 0u) << at;
    EXPECT_EQ(BeU32(d, 76), Code("vcyl"));
    EXPECT_EQ(BeU32(d, 80), 0u);
}

TEST_P(PanoramaMovieLayout, WritesEveryValueOfTheLayout) {
    const LayoutCase& c = GetParam();
    Build(c);
    if (HasFatalFailure()) return;
    EXPECT_TRUE(movie_.movieAtomFirst);
    EXPECT_EQ(movie_.timeScale, 600u);
    EXPECT_EQ(movie_.duration, 7200u);
    ASSERT_EQ(movie_.userData.count(Code("ctyp")), 1u);
    EXPECT_EQ(movie_.userData[Code("ctyp")], (Bytes{'q', 't', 'v', 'r'}));

    const TrackInfo& vr = movie_.tracks[0];
    const TrackInfo& pano = movie_.tracks[1];
    const TrackInfo& image = movie_.tracks[2];
    EXPECT_EQ(CodeText(vr.handlerType), "qtvr");
    EXPECT_EQ(CodeText(pano.handlerType), "pano");
    EXPECT_EQ(CodeText(image.handlerType), "vide");
    EXPECT_EQ(vr.id, 1u);
    EXPECT_EQ(pano.id, 2u);
    EXPECT_EQ(image.id, 3u);
    EXPECT_EQ(vr.flags & 1, 1u);
    EXPECT_EQ(pano.flags & 1, 1u);
    EXPECT_EQ(image.flags & 1, 0u) << "the tiles are shown only through the panorama track";

    const int movieWidth = c.settings.confirmedWidth ? c.settings.confirmedWidth : 400;
    const int movieHeight = c.settings.confirmedHeight ? c.settings.confirmedHeight : 180;
    for (const TrackInfo* t : {&vr, &pano}) {
        EXPECT_EQ(t->width, movieWidth << 16);
        EXPECT_EQ(t->height, movieHeight << 16);
        EXPECT_EQ(t->mediaTimeScale, 600u);
        EXPECT_EQ(t->duration, 7200);
        EXPECT_EQ(t->sampleDurations, std::vector<std::uint32_t>{7200});
        EXPECT_NE(t->constantSampleSize, 0u) << "one sample in the constant-size form";
    }
    EXPECT_EQ(vr.references.at(Code("pano")), std::vector<std::uint32_t>{2});
    EXPECT_EQ(pano.references.at(Code("imgt")), std::vector<std::uint32_t>{3});
    EXPECT_EQ(image.references.size(), 0u);

    ASSERT_EQ(vr.descriptions.size(), 1u);
    ExpectVrWorld(vr.descriptions[0], c.correction);
    ASSERT_EQ(vr.samples.size(), 1u);
    ExpectNodeInformation(vr.samples[0]);

    ASSERT_EQ(pano.descriptions.size(), 1u);
    EXPECT_EQ(pano.descriptions[0].size(), 16u);
    ASSERT_EQ(pano.samples.size(), 1u);
    ExpectPanoramaSample(pano.samples[0], c);

    const int tiles = c.settings.tiles;
    EXPECT_EQ(image.width, c.tileWidth << 16);
    EXPECT_EQ(image.height, c.tileHeight << 16);
    EXPECT_EQ(image.mediaTimeScale, 600u);
    EXPECT_EQ(image.sampleDurations,
              std::vector<std::uint32_t>(static_cast<std::size_t>(tiles), 7200u / tiles));
    EXPECT_EQ(image.constantSampleSize, 0u) << "a per-sample size table";
    EXPECT_EQ(image.samplesPerChunk,
              std::vector<std::uint32_t>(static_cast<std::size_t>(tiles), 1u));
    ASSERT_EQ(image.descriptions.size(), 1u);
    const Bytes& video = image.descriptions[0];
    ASSERT_GE(video.size(), 36u);
    EXPECT_EQ(CodeText(BeU32(video, 4)), c.codec);
    EXPECT_EQ(BeU16(video, 32), c.tileWidth);
    EXPECT_EQ(BeU16(video, 34), c.tileHeight);
    EXPECT_EQ(BeI32(video, 28), c.quality);  // spatial quality
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, PanoramaMovieLayout,
    ::testing::Values(
        // Width rounded down, proportional height 299 cut to 296.
        LayoutCase{"W1010x300Jpeg", 1010, 300, Settings(4, 0, 3, 2, 1.0f, 30, 5), 296, 252, "jpeg",
                   2, 768},
        // Height not a multiple of 4: cut, not proportional; zoom 2 halves the view.
        LayoutCase{"W1100x303Zoom2", 1100, 303, Settings(4, 1, 1, 0, 2.0f, 350, -10), 300, 276,
                   "tiff", 0, 256},
        // r = c / 2 rounds up.
        LayoutCase{"W1000x250Bmp", 1000, 250, Settings(4, 3, 2, 1, 1.5f, 0, 0), 248, 252, "WRLE", 1,
                   512},
        // Width already whole tiles; correction index 5 is full correction.
        LayoutCase{"W960x251Raw24Tiles", 960, 251, Settings(24, 5, 5, 5, 1.0f, 180, 2), 248, 40,
                   "raw ", 2, 1024}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

TEST(PanoramaMovieLayoutValues, HalfViewMatchesTheFormatsReferenceValue) {
    // 1010 x 300 with 4 tiles gives tiles of 296 x 252.
    EXPECT_EQ(HalfView(296, 252, 4), 42.69251251220703f);
    EXPECT_EQ(2.0f * HalfView(296, 252, 4), 85.38502502441406f);
}

TEST(PanoramaMovieLayoutValues, ConfirmedSizeIsTheMovieBox) {
    testing::Scratch scratch;
    MovieSettings s = Settings(1, 5, 0, 2, 1.0f, 0, 0);
    s.confirmedWidth = 640;
    s.confirmedHeight = 320;
    const std::string path = scratch.Path("box.mov");
    ASSERT_EQ(SaveMovie(testing::PatternImage(64, 16), s, path), 0);
    Bytes file;
    ASSERT_TRUE(testing::ReadFileBytes(path, file));
    MovieInfo movie;
    std::string error;
    ASSERT_TRUE(testing::WalkMovie(file, movie, error)) << error;
    ASSERT_EQ(movie.tracks.size(), 3u);
    EXPECT_EQ(movie.tracks[0].width, 640 << 16);
    EXPECT_EQ(movie.tracks[1].height, 320 << 16);
}

// Uncompressed and DIB tiles can be compared byte for byte with the prepared
// panorama: tile t holds rows t x tile height .. of the turned image.
class TileContent : public ::testing::TestWithParam<int> {};

TEST_P(TileContent, TilesAreTheTurnedPanoramaFromTheTopDown) {
    const int compressor = GetParam();
    testing::Scratch scratch;
    const RgbImage panorama = testing::PatternImage(960, 251);
    MovieSettings s = Settings(24, compressor, 2, 2, 1.0f, 0, 0);
    const std::string path = scratch.Path("tiles.mov");
    ASSERT_EQ(SaveMovie(panorama, s, path), 0);

    std::filesystem::create_directory(scratch.Path("prep"));
    const std::string prepared = PrepareMovieImage(panorama, 24, scratch.Path("prep"));
    ASSERT_FALSE(prepared.empty());
    RgbImage turned;
    ASSERT_EQ(turned.LoadImageFile(prepared), 0u);
    ASSERT_EQ(turned.width(), 248);
    ASSERT_EQ(turned.height(), 960);

    Bytes file;
    ASSERT_TRUE(testing::ReadFileBytes(path, file));
    MovieInfo movie;
    std::string error;
    ASSERT_TRUE(testing::WalkMovie(file, movie, error)) << error;
    const TrackInfo& image = movie.tracks.at(2);
    ASSERT_EQ(image.samples.size(), 24u);
    const int tileWidth = 248;
    const int tileHeight = 40;
    for (int t = 0; t < 24; ++t) {
        Bytes expected;
        for (int r = 0; r < tileHeight; ++r) {
            // "raw " is top row first RGB; "WRLE" bottom row first BGR.
            const int row =
                compressor == 5 ? t * tileHeight + r : t * tileHeight + tileHeight - 1 - r;
            const std::uint8_t* p = turned.row(row);
            for (int x = 0; x < tileWidth; ++x) {
                if (compressor == 5) {
                    expected.insert(expected.end(), {p[x * 3], p[x * 3 + 1], p[x * 3 + 2]});
                } else {
                    expected.insert(expected.end(), {p[x * 3 + 2], p[x * 3 + 1], p[x * 3]});
                }
            }
        }
        ASSERT_EQ(image.samples[t], expected) << "tile " << t;
    }
}

INSTANTIATE_TEST_SUITE_P(Lossless, TileContent, ::testing::Values(5, 3));

}  // namespace
}  // namespace orbelune
