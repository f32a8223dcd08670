#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/quicktime/movie_test_helpers.h"
#include "platform/quicktime/movie_toolbox.h"

namespace orbelune::qt {
namespace {

using test::Atom;
using test::Be16;
using test::Be32;

class MovieLayer : public ::testing::Test {
protected:
    void SetUp() override {
        ClearPlatformFaults();
        ASSERT_EQ(InitializeMediaLayer(), 0);
        ASSERT_EQ(EnterMovies(), 0);
    }
    void TearDown() override {
        ClearPlatformFaults();
        EXPECT_EQ(ExitMovies(), 0);
        EXPECT_EQ(TerminateMediaLayer(), 0);
    }
};

std::vector<std::uint8_t> Filled(std::size_t n, std::uint8_t v) {
    return std::vector<std::uint8_t>(n, v);
}

// A movie shaped like a one-node panorama: VR track, panorama track and a
// disabled image track of tiles with different sizes.
std::unique_ptr<Movie> PanoramaLikeMovie(int tiles = 3) {
    std::unique_ptr<Movie> movie;
    EXPECT_EQ(NewMovie(movie), 0);
    EXPECT_EQ(movie->SetTimeScale(600), 0);
    Track *vr = nullptr, *pano = nullptr, *image = nullptr;
    Media *vrMedia = nullptr, *panoMedia = nullptr, *imageMedia = nullptr;
    EXPECT_EQ(movie->NewTrack(IntToFixed(320), IntToFixed(240), 0x100, &vr), 0);
    EXPECT_EQ(vr->NewMedia(kQTVRMediaType, 600, &vrMedia), 0);
    EXPECT_EQ(vrMedia->BeginEdits(), 0);
    EXPECT_EQ(vrMedia->AddSample(Filled(80, 0x11), 7200,
                                 MakeSampleDescription(kQTVRMediaType, Filled(332, 0x22))),
              0);
    EXPECT_EQ(vrMedia->EndEdits(), 0);
    EXPECT_EQ(vr->InsertMedia(0, 0, vrMedia->duration()), 0);

    EXPECT_EQ(movie->NewTrack(IntToFixed(320), IntToFixed(240), 0, &pano), 0);
    EXPECT_EQ(pano->NewMedia(kPanoMediaType, 600, &panoMedia), 0);

    EXPECT_EQ(movie->NewTrack(IntToFixed(64), IntToFixed(40), 0, &image), 0);
    EXPECT_EQ(image->NewMedia(kVideoMediaType, 600, &imageMedia), 0);
    EXPECT_EQ(imageMedia->BeginEdits(), 0);
    ImageDescription description;
    description.codecType = MakeFourCC("raw ");
    description.width = 64;
    description.height = 40;
    for (int t = 0; t < tiles; ++t) {
        description.dataSize = 100 + t;
        EXPECT_EQ(imageMedia->AddSample(Filled(100 + t, static_cast<std::uint8_t>(0x30 + t)),
                                        7200 / tiles, description.Bytes()),
                  0);
    }
    EXPECT_EQ(imageMedia->EndEdits(), 0);
    EXPECT_EQ(image->InsertMedia(0, 0, imageMedia->duration()), 0);
    image->SetEnabled(false);

    long index = 0;
    EXPECT_EQ(vr->AddReference(*pano, kPanoMediaType, &index), 0);
    EXPECT_EQ(pano->AddReference(*image, MakeFourCC("imgt"), &index), 0);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(panoMedia->BeginEdits(), 0);
    EXPECT_EQ(panoMedia->AddSample(Filled(136, 0x44), 7200, Filled(16, 0)), 0);
    EXPECT_EQ(panoMedia->EndEdits(), 0);
    EXPECT_EQ(pano->InsertMedia(0, 0, 7200), 0);

    EXPECT_EQ(movie->SetBox({0, 0, 320, 240}), 0);
    const std::uint8_t qtvr[] = {'q', 't', 'v', 'r'};
    EXPECT_EQ(movie->AddUserData(MakeFourCC("ctyp"), qtvr), 0);
    return movie;
}

TEST_F(MovieLayer, FlattenedFileIsFastStartWithConsistentTracks) {
    auto movie = PanoramaLikeMovie(3);
    std::vector<std::uint8_t> file;
    ASSERT_EQ(FlattenMovieToBytes(*movie, file), 0);
    const std::vector<Atom> top = test::WalkAtoms(file, 0, file.size());
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0].type, "moov");
    EXPECT_EQ(top[1].type, "mdat");
    const Atom& moov = top[0];
    const Atom& mdat = top[1];

    const Atom* mvhd = moov.Find("mvhd");
    ASSERT_NE(mvhd, nullptr);
    EXPECT_EQ(mvhd->size, 108u);
    EXPECT_EQ(Be32(file, mvhd->offset + 12), 0u);  // fixed creation time
    EXPECT_EQ(Be32(file, mvhd->offset + 20), 600u);
    EXPECT_EQ(Be32(file, mvhd->offset + 24), 7200u);
    EXPECT_EQ(Be32(file, mvhd->offset + 44), 0x10000u);  // box equals natural size
    EXPECT_EQ(Be32(file, mvhd->offset + 104), 4u);

    const auto traks = moov.All("trak");
    ASSERT_EQ(traks.size(), 3u);
    const char* handlers[] = {"qtvr", "pano", "vide"};
    const std::uint32_t flags[] = {0xF, 0xF, 0xE};
    // Expected samples per track, in mdat order.
    const std::vector<std::vector<std::uint8_t>> samples[] = {
        {Filled(80, 0x11)},
        {Filled(136, 0x44)},
        {Filled(100, 0x30), Filled(101, 0x31), Filled(102, 0x32)}};
    std::size_t expectedOffset = mdat.body();
    for (int t = 0; t < 3; ++t) {
        const Atom& trak = *traks[t];
        SCOPED_TRACE(handlers[t]);
        const Atom* tkhd = trak.Find("tkhd");
        ASSERT_NE(tkhd, nullptr);
        EXPECT_EQ(tkhd->size, 92u);
        EXPECT_EQ(Be32(file, tkhd->offset + 8), flags[t]);
        EXPECT_EQ(Be32(file, tkhd->offset + 20), static_cast<std::uint32_t>(t + 1));
        EXPECT_EQ(Be32(file, tkhd->offset + 28), 7200u);
        const Atom* mdhd = trak.Find("mdia/mdhd");
        ASSERT_NE(mdhd, nullptr);
        EXPECT_EQ(Be32(file, mdhd->offset + 20), 600u);
        EXPECT_EQ(Be32(file, mdhd->offset + 24), 7200u);
        const Atom* hdlr = trak.Find("mdia/hdlr");
        EXPECT_EQ(test::Type(Be32(file, hdlr->offset + 12)), "mhlr");
        EXPECT_EQ(test::Type(Be32(file, hdlr->offset + 16)), handlers[t]);
        const Atom* dhlr = trak.Find("mdia/minf/hdlr");
        EXPECT_EQ(test::Type(Be32(file, dhlr->offset + 12)), "dhlr");
        EXPECT_EQ(test::Type(Be32(file, dhlr->offset + 16)), "alis");
        EXPECT_NE(trak.Find(t == 2 ? "mdia/minf/vmhd" : "mdia/minf/gmhd"), nullptr);
        const Atom* dref = trak.Find("mdia/minf/dinf/dref");
        ASSERT_NE(dref, nullptr);
        EXPECT_EQ(Be32(file, dref->offset + 12), 1u);
        EXPECT_EQ(test::Type(Be32(file, dref->offset + 20)), "alis");
        EXPECT_EQ(Be32(file, dref->offset + 24), 1u);  // self reference

        const Atom* stbl = trak.Find("mdia/minf/stbl");
        ASSERT_NE(stbl, nullptr);
        std::vector<std::string> order;
        for (const Atom& a : stbl->children)
            order.push_back(a.type);
        EXPECT_EQ(order, (std::vector<std::string>{"stsd", "stts", "stsc", "stsz", "stco"}));
        const Atom* stsz = stbl->Find("stsz");
        const Atom* stco = stbl->Find("stco");
        const Atom* stsc = stbl->Find("stsc");
        const auto count = samples[t].size();
        EXPECT_EQ(Be32(file, stco->offset + 12), count);
        if (t < 2) {  // constant-size form
            EXPECT_EQ(Be32(file, stsz->offset + 12), samples[t][0].size());
            EXPECT_EQ(Be32(file, stsz->offset + 16), 1u);
            EXPECT_EQ(stsz->size, 20u);
        } else {  // table form, one tile per chunk
            EXPECT_EQ(Be32(file, stsz->offset + 12), 0u);
            EXPECT_EQ(Be32(file, stsz->offset + 16), 3u);
            EXPECT_EQ(Be32(file, stsc->offset + 12), 1u);
            EXPECT_EQ(Be32(file, stsc->offset + 16), 1u);
            EXPECT_EQ(Be32(file, stsc->offset + 20), 1u);
            EXPECT_EQ(Be32(file, stsc->offset + 24), 1u);
        }
        for (std::size_t s = 0; s < count; ++s) {
            const std::uint32_t offset = Be32(file, stco->offset + 16 + 4 * s);
            EXPECT_EQ(offset, expectedOffset);
            if (t == 2) {
                EXPECT_EQ(Be32(file, stsz->offset + 20 + 4 * s), samples[t][s].size());
            }
            ASSERT_LE(offset + samples[t][s].size(), mdat.offset + mdat.size);
            EXPECT_TRUE(
                std::equal(samples[t][s].begin(), samples[t][s].end(), file.begin() + offset));
            expectedOffset += samples[t][s].size();
        }
        const Atom* stsd = stbl->Find("stsd");
        EXPECT_EQ(Be32(file, stsd->offset + 12), 1u);
        const std::uint32_t entry = Be32(file, stsd->offset + 16);
        const std::uint32_t entrySizes[] = {348u, 16u, 86u};
        EXPECT_EQ(entry, entrySizes[t]);
        EXPECT_EQ(Be16(file, stsd->offset + 16 + 14), 1);  // data reference index
        if (t == 2) {
            EXPECT_EQ(Be32(file, stsd->offset + 16 + 44), 0u);  // per-tile size not kept
        }
    }
    EXPECT_EQ(expectedOffset, mdat.offset + mdat.size);

    const Atom* pano = traks[0]->Find("tref/pano");
    ASSERT_NE(pano, nullptr);
    EXPECT_EQ(pano->size, 12u);
    EXPECT_EQ(Be32(file, pano->offset + 8), 2u);
    const Atom* imgt = traks[1]->Find("tref/imgt");
    ASSERT_NE(imgt, nullptr);
    EXPECT_EQ(Be32(file, imgt->offset + 8), 3u);
    // Track references come before the media.
    EXPECT_LT(imgt->offset, traks[1]->Find("mdia")->offset);
    const Atom* ctyp = moov.Find("udta/ctyp");
    ASSERT_NE(ctyp, nullptr);
    EXPECT_EQ(ctyp->size, 12u);
    EXPECT_EQ(test::Type(Be32(file, ctyp->offset + 8)), "qtvr");
}

TEST_F(MovieLayer, SameMovieGivesSameBytes) {
    std::vector<std::uint8_t> a, b;
    ASSERT_EQ(FlattenMovieToBytes(*PanoramaLikeMovie(4), a), 0);
    ASSERT_EQ(FlattenMovieToBytes(*PanoramaLikeMovie(4), b), 0);
    EXPECT_EQ(a, b);
}

TEST_F(MovieLayer, TileMovieFileRoundTripsAndCopiesWithoutRecompression) {
    test::TempDir dir;
    const std::string tilePath = dir.File("tiles.TIL");
    std::unique_ptr<MovieFile> file;
    std::unique_ptr<Movie> tileMovie;
    ASSERT_EQ(CreateMovieFile(tilePath, kMovieCreator, -2,
                              kCreateMovieFileDeleteCurFile | kCreateMovieFileDontCreateResFile,
                              file, tileMovie),
              0);
    Track* track = nullptr;
    Media* media = nullptr;
    ASSERT_EQ(tileMovie->NewTrack(IntToFixed(64), IntToFixed(40), 0, &track), 0);
    ASSERT_EQ(track->NewMedia(kVideoMediaType, 600, &media), 0);
    ASSERT_EQ(media->BeginEdits(), 0);
    ImageDescription description;
    description.codecType = kRawCodecType;
    for (int t = 0; t < 7; ++t) {
        ASSERT_EQ(media->AddSample(Filled(50 + t, static_cast<std::uint8_t>(t)), 7200 / 7,
                                   description.Bytes()),
                  0);
    }
    ASSERT_EQ(media->EndEdits(), 0);
    ASSERT_EQ(track->InsertMedia(0, 0, media->duration()), 0);
    ASSERT_EQ(StoreMovie(*file, *tileMovie), 0);
    file.reset();
    tileMovie.reset();

    ASSERT_EQ(OpenMovieFile(tilePath, file), 0);
    ASSERT_EQ(NewMovieFromFile(*file, tileMovie), 0);
    file.reset();
    Track* source = tileMovie->IndexedTrackOfType(1, kVideoMediaType);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->width(), IntToFixed(64));
    EXPECT_EQ(source->duration(), 7196);
    EXPECT_EQ(source->media()->sampleCount(), 7);

    std::unique_ptr<Movie> main;
    ASSERT_EQ(NewMovie(main), 0);
    Track* copy = nullptr;
    Media* copyMedia = nullptr;
    ASSERT_EQ(main->NewTrack(source->width(), source->height(), source->volume(), &copy), 0);
    ASSERT_EQ(copy->NewMedia(source->media()->type(), source->media()->timeScale(), &copyMedia), 0);
    ASSERT_EQ(InsertTrackSegment(*source, *copy, 0, source->duration(), 0), 0);
    ASSERT_EQ(CopyTrackSettings(*source, *copy), 0);
    copy->SetEnabled(false);
    ASSERT_EQ(copy->ScaleSegment(0, copy->duration(), 7200), 0);
    EXPECT_EQ(copy->duration(), 7200);
    tileMovie.reset();
    // The tile file may go before the flattening: its samples stay readable.
    ASSERT_EQ(DeleteMovieFile(tilePath), 0);
    EXPECT_EQ(DeleteMovieFile(tilePath), oserr::kFnfErr);

    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(FlattenMovieToBytes(*main, bytes), 0);
    const auto top = test::WalkAtoms(bytes, 0, bytes.size());
    ASSERT_EQ(top.size(), 2u);
    const Atom* stco = top[0].Find("trak/mdia/minf/stbl/stco");
    ASSERT_NE(stco, nullptr);
    for (int t = 0; t < 7; ++t) {
        const std::uint32_t offset = Be32(bytes, stco->offset + 16 + 4 * t);
        const auto expected = Filled(50 + t, static_cast<std::uint8_t>(t));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + offset)) << t;
    }
    const Atom* stsd = top[0].Find("trak/mdia/minf/stbl/stsd");
    EXPECT_EQ(test::Type(Be32(bytes, stsd->offset + 20)), "raw ");
}

TEST_F(MovieLayer, ReaderRefusesForeignOrDamagedFiles) {
    test::TempDir dir;
    std::vector<std::uint8_t> good;
    ASSERT_EQ(FlattenMovieToBytes(*PanoramaLikeMovie(2), good), 0);
    auto tryRead = [&](std::vector<std::uint8_t> bytes) {
        const std::string path = dir.File("x.mov");
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        std::unique_ptr<MovieFile> file;
        std::unique_ptr<Movie> movie;
        EXPECT_EQ(OpenMovieFile(path, file), 0);
        return NewMovieFromFile(*file, movie);
    };
    EXPECT_EQ(tryRead(good), 0);
    EXPECT_EQ(tryRead({'h', 'e', 'l', 'l', 'o'}), oserr::kInvalidMovie);
    auto truncated = good;
    truncated.resize(good.size() - 50);  // sample bytes beyond the end
    EXPECT_EQ(tryRead(truncated), oserr::kInvalidMovie);
    auto badSize = good;
    badSize[8 + 3] = 0xFF;  // mvhd size no longer fits moov
    EXPECT_EQ(tryRead(badSize), oserr::kInvalidMovie);
    std::unique_ptr<MovieFile> file;
    EXPECT_EQ(OpenMovieFile(dir.File("none.mov"), file), oserr::kFnfErr);
}

TEST_F(MovieLayer, ExportWritesAtomicallyAndFailsWithoutDamage) {
    test::TempDir dir;
    const std::string path = dir.File("pano.mov");
    auto movie = PanoramaLikeMovie(2);
    std::unique_ptr<MovieExporter> exporter;
    ASSERT_EQ(
        OpenMovieExporter(kMovieExportType, kFlattenerSubType, kFlattenerManufacturer, exporter),
        0);
    const unsigned replace = kCreateMovieFileDeleteCurFile;
    ASSERT_EQ(ConvertMovieToFile(*movie, path, kMovieFileType, kMovieCreator, -1, replace,
                                 exporter.get()),
              0);
    std::vector<std::uint8_t> expected;
    ASSERT_EQ(FlattenMovieToBytes(*movie, expected), 0);
    EXPECT_EQ(test::ReadFile(path), expected);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_NE(info.st_mode & 0044, 0u);  // an ordinary file mode, not mkstemp's 0600

    // Without the replace flag an existing file is refused and kept.
    EXPECT_EQ(
        ConvertMovieToFile(*movie, path, kMovieFileType, kMovieCreator, -1, 0, exporter.get()),
        oserr::kFileAlreadyExists);

    // A failing write keeps the old file and leaves no temporary file.
    auto other = PanoramaLikeMovie(3);
    PlatformFaults faults;
    faults.failStep = FaultStep::kConvertMovieToFile;
    faults.failCode = oserr::kIoErr;
    SetPlatformFaults(faults);
    EXPECT_EQ(ConvertMovieToFile(*other, path, kMovieFileType, kMovieCreator, -1, replace,
                                 exporter.get()),
              oserr::kIoErr);
    EXPECT_EQ(GetMoviesError(), oserr::kIoErr);
    EXPECT_EQ(test::ReadFile(path), expected);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"pano.mov"});

    // A track without samples cannot be flattened: refused before any file exists.
    ClearPlatformFaults();
    Track* empty = nullptr;
    ASSERT_EQ(other->NewTrack(0, 0, 0, &empty), 0);
    const std::string fresh = dir.File("fresh.mov");
    EXPECT_NE(ConvertMovieToFile(*other, fresh, kMovieFileType, kMovieCreator, -1, replace,
                                 exporter.get()),
              0);
    EXPECT_FALSE(std::filesystem::exists(fresh));
    EXPECT_EQ(dir.List().size(), 1u);

    // A folder that does not exist.
    EXPECT_EQ(ConvertMovieToFile(*movie, dir.File("no/such.mov"), kMovieFileType, kMovieCreator, -1,
                                 replace, exporter.get()),
              oserr::kFnfErr);
}

TEST_F(MovieLayer, MissingFlattenerIsBadComponentType) {
    PlatformFaults faults;
    faults.flattenerMissing = true;
    SetPlatformFaults(faults);
    std::unique_ptr<MovieExporter> exporter;
    EXPECT_EQ(
        OpenMovieExporter(kMovieExportType, kFlattenerSubType, kFlattenerManufacturer, exporter),
        oserr::kBadComponentType);
    EXPECT_EQ(exporter, nullptr);
    EXPECT_EQ(GetMoviesError(), oserr::kBadComponentType);
    ClearPlatformFaults();
    EXPECT_EQ(
        OpenMovieExporter(kMovieExportType, MakeFourCC("WAVE"), kFlattenerManufacturer, exporter),
        oserr::kBadComponentType);
}

TEST_F(MovieLayer, CallsOutOfOrderAreRefused) {
    auto movie = PanoramaLikeMovie(1);
    Track* track = nullptr;
    Media* media = nullptr;
    ASSERT_EQ(movie->NewTrack(IntToFixed(8), IntToFixed(8), 0, &track), 0);
    EXPECT_EQ(track->InsertMedia(0, 0, 10), oserr::kInvalidMedia);
    ASSERT_EQ(track->NewMedia(kVideoMediaType, 600, &media), 0);
    Media* second = nullptr;
    EXPECT_EQ(track->NewMedia(kVideoMediaType, 600, &second), oserr::kParamErr);
    const auto description = MakeSampleDescription(kRawCodecType);
    EXPECT_EQ(media->AddSample(Filled(4, 1), 10, description), oserr::kParamErr);  // not editing
    ASSERT_EQ(media->BeginEdits(), 0);
    EXPECT_EQ(media->AddSample({}, 10, description), oserr::kParamErr);
    EXPECT_EQ(media->AddSample(Filled(4, 1), 10, Filled(8, 0)), oserr::kParamErr);
    ASSERT_EQ(media->AddSample(Filled(4, 1), 10, description), 0);
    EXPECT_EQ(track->InsertMedia(0, 0, 11), oserr::kParamErr);  // beyond the media
    // A reference to a track of another movie.
    auto other = PanoramaLikeMovie(1);
    long index = 0;
    EXPECT_EQ(track->AddReference(*other->track(1), MakeFourCC("imgt"), &index),
              oserr::kInvalidTrack);

    ASSERT_EQ(ExitMovies(), 0);
    std::unique_ptr<Movie> late;
    EXPECT_EQ(NewMovie(late), oserr::kParamErr);
    ASSERT_EQ(TerminateMediaLayer(), 0);
    EXPECT_EQ(NewMovie(late), oserr::kMediaLayerNotInitialized);
    // Initialising twice is accepted.
    ASSERT_EQ(InitializeMediaLayer(), 0);
    ASSERT_EQ(InitializeMediaLayer(), 0);
    ASSERT_EQ(EnterMovies(), 0);
}

TEST(PlatformPresence, VersionQueryAndInjectedLayerFailures) {
    ClearPlatformFaults();
    std::int32_t version = 0;
    ASSERT_EQ(QueryFeature(kVRVersionSelector, version), 0);
    EXPECT_EQ(version, 0x0210);
    PlatformFaults faults;
    faults.vrVersionQueryFails = true;
    faults.mediaLayerInit = -2093;
    faults.failStep = FaultStep::kNewTrack;
    faults.failCall = 2;
    SetPlatformFaults(faults);
    EXPECT_NE(QueryFeature(kVRVersionSelector, version), 0);
    EXPECT_EQ(version, 0);
    EXPECT_EQ(InitializeMediaLayer(), -2093);
    EXPECT_EQ(InjectedFault(FaultStep::kNewTrack), 0);
    EXPECT_EQ(InjectedFault(FaultStep::kNewTrack), oserr::kMemFullErr);
    EXPECT_EQ(InjectedFault(FaultStep::kNewTrack), 0);
    ClearPlatformFaults();
}

}  // namespace
}  // namespace orbelune::qt
