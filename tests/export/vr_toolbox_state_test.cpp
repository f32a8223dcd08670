#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <utility>
#include <vector>

#include "export/movie_layout.h"
#include "export/vr_toolbox.h"
#include "export/vr_toolbox_test_support.h"
#include "platform/quicktime/movie_toolbox.h"

namespace orbelune {
namespace {

const qt::FourCC kPano = qt::MakeFourCC("pano");
const qt::FourCC kObje = qt::MakeFourCC("obje");

class VrToolbox : public ::testing::Test {
protected:
    void TearDown() override { qt::ClearPlatformFaults(); }

    // A BMP of the given size outside the temporary folder.
    std::string Image(int width, int height, const std::string& name = "pano.bmp") {
        const std::string path = scratch_.Path(name);
        EXPECT_EQ(testing::PatternImage(width, height).SaveImageFile(path, ImageFormat::Bmp), 0u);
        return path;
    }

    // Init, one panorama node and its stream: what a save does before BuildMovie.
    void Prepare(CVRPanoMovie& toolbox, const std::string& image, int tiles = 2,
                 int compressor = 5) {
        ASSERT_EQ(toolbox.Init(scratch_.Path("out.mov"), 0, 0, 400, 180, 600), 0);
        int node = 0;
        ASSERT_EQ(toolbox.CreateNode(kPano, &node), 0);
        ASSERT_EQ(toolbox.DefinePanoStream(node, compressor, 2, 2, 1.0f, 0.0f, 0.0f, tiles, image),
                  0);
    }

    testing::Scratch scratch_;
};

TEST_F(VrToolbox, BaseClassOperationsAreNotImplemented) {
    CVRToolbox base;
    EXPECT_EQ(base.Terminate(), 1);
    EXPECT_EQ(base.CreateMovie(10, 10), 1);
    EXPECT_EQ(base.CloseMovie(), 1);
    EXPECT_EQ(base.BuildMovie(), 1);
    EXPECT_EQ(base.OnProgress(0, 1), 0);
}

TEST_F(VrToolbox, OperationsCheckTheCallingOrder) {
    CVRPanoMovie toolbox;
    EXPECT_EQ(toolbox.CreateMovie(10, 10), 32) << "no destination before Init";
    int node = 0;
    EXPECT_EQ(toolbox.CreateNode(kPano, &node), 2);
    EXPECT_EQ(toolbox.DefinePanoStream(1, 0, 0, 0, 1.0f, 0, 0, 1, "x.bmp"), 2);
    EXPECT_EQ(toolbox.AddStream(0, 1, "x.bmp"), 2);
    EXPECT_EQ(toolbox.BuildMovie(), 2);

    ASSERT_EQ(toolbox.Init(scratch_.Path("a.mov"), 0, 0, 400, 180, 600), 0);
    EXPECT_TRUE(toolbox.movie());
    EXPECT_EQ(toolbox.Init(scratch_.Path("a.mov"), 0, 0, 400, 180, 600), 3);

    // An illegal type still uses up a node number.
    EXPECT_EQ(toolbox.CreateNode(qt::MakeFourCC("xxxx"), &node), 10);
    EXPECT_EQ(node, 1);
    EXPECT_EQ(toolbox.node(1), nullptr);
    EXPECT_EQ(toolbox.CreateNode(kPano, &node), 0);
    EXPECT_EQ(node, 2);
    EXPECT_EQ(toolbox.DefinePanoStream(5, 0, 0, 0, 1.0f, 0, 0, 1, "x.bmp"), 11);
    EXPECT_EQ(toolbox.DefinePanoStream(1, 0, 0, 0, 1.0f, 0, 0, 1, "x.bmp"), 11);

    EXPECT_EQ(toolbox.CloseMovie(), 0);
    EXPECT_FALSE(toolbox.movie());
    EXPECT_EQ(toolbox.BuildMovie(), 37);
    EXPECT_EQ(toolbox.Terminate(), 0);
    EXPECT_FALSE(toolbox.initialised());
}

TEST_F(VrToolbox, NodesEndAtNine) {
    CVRPanoMovie toolbox;
    ASSERT_EQ(toolbox.Init(scratch_.Path("a.mov"), 0, 0, 400, 180, 600), 0);
    int node = 0;
    for (int i = 1; i <= 9; ++i)
        ASSERT_EQ(toolbox.CreateNode(kPano, &node), 0);
    EXPECT_EQ(node, 9);
    EXPECT_NE(toolbox.CreateNode(kPano, &node), 0);
    EXPECT_EQ(toolbox.nodeCount(), 9);
    EXPECT_EQ(toolbox.Terminate(), 0);
}

TEST_F(VrToolbox, StreamsAndTheirChecks) {
    CVRPanoMovie toolbox;
    ASSERT_EQ(toolbox.Init(scratch_.Path("a.mov"), 0, 0, 400, 180, 600), 0);
    int pano = 0, object = 0, narrow = 0, missing = 0;
    ASSERT_EQ(toolbox.CreateNode(kPano, &pano), 0);
    ASSERT_EQ(toolbox.CreateNode(kObje, &object), 0);
    ASSERT_EQ(toolbox.CreateNode(kPano, &narrow), 0);
    ASSERT_EQ(toolbox.CreateNode(kPano, &missing), 0);

    EXPECT_EQ(toolbox.AddStream(2, pano, Image(1000, 8)), 14);
    EXPECT_EQ(toolbox.DefinePanoStream(pano, 3, 4, 5, 0.5f, 10.0f, -3.0f, 4, Image(1000, 8)), 0);
    EXPECT_EQ(toolbox.AddStream(0, pano, Image(1000, 8)), 15);
    const CVRPanoMovie::Node* record = toolbox.node(pano);
    ASSERT_TRUE(record && record->image);
    EXPECT_EQ(record->image->width, 1000);
    EXPECT_EQ(record->image->height, 8);
    EXPECT_EQ(record->compressorType, qt::MakeFourCC("WRLE"));
    EXPECT_EQ(record->quality, 1023);
    EXPECT_EQ(record->fieldOfViewFactor, 0.5f);
    EXPECT_EQ(record->pan, 10.0f);
    EXPECT_EQ(record->tilt, -3.0f);
    EXPECT_EQ(record->tiles, 4);
    EXPECT_EQ(toolbox.correction(), 2);

    EXPECT_EQ(toolbox.AddStream(0, narrow, Image(1002, 8, "narrow.bmp")), 62);
    // Unreadable images are only reported by the build.
    EXPECT_EQ(toolbox.AddStream(0, missing, scratch_.Path("none.bmp")), 0);
    EXPECT_EQ(toolbox.node(missing)->image->width, 0);

    EXPECT_EQ(toolbox.SetCompression(object, 0, 0), 19);
    EXPECT_EQ(toolbox.SetDefaultView(object, 1.0f, 0, 0), 89);
    EXPECT_EQ(toolbox.Terminate(), 0);
}

TEST_F(VrToolbox, InitFailuresGiveTheirCodesAndTerminateStillShutsEverythingDown) {
    const std::pair<qt::PlatformFaults, int> cases[] = {
        {{.mediaLayerInit = -2093}, 4}, {{.enterMovies = -2093}, 5}, {{.vrInit = -30554}, 6}};
    for (const auto& [faults, code] : cases) {
        qt::SetPlatformFaults(faults);
        CVRPanoMovie toolbox;
        EXPECT_EQ(toolbox.Init(scratch_.Path("a.mov"), 0, 0, 400, 180, 600), code);
        EXPECT_FALSE(toolbox.initialised());
        qt::ClearPlatformFaults();
        EXPECT_EQ(toolbox.Terminate(), 0);
        EXPECT_FALSE(qt::IsVRInitialized());
    }

    // A failing step does not stop the later ones; the first failure is the result.
    static_cast<void>(qt::ExitMovies());
    static_cast<void>(qt::TerminateMediaLayer());
    CVRPanoMovie toolbox;
    ASSERT_EQ(toolbox.Init(scratch_.Path("a.mov"), 0, 0, 400, 180, 600), 0);
    qt::SetPlatformFaults({.exitMovies = -1, .vrTerm = -30555});
    EXPECT_EQ(toolbox.Terminate(), 9);
    EXPECT_FALSE(toolbox.initialised());
    EXPECT_FALSE(qt::IsMediaLayerInitialized()) << "the media layer step did not run";
}

TEST_F(VrToolbox, TerminateLeavesTheMediaLayerAsInitFoundIt) {
    ASSERT_EQ(qt::InitializeMediaLayer(), 0);
    ASSERT_EQ(qt::EnterMovies(), 0);
    {
        CVRPanoMovie toolbox;
        ASSERT_EQ(toolbox.Init(scratch_.Path("a.mov"), 0, 0, 400, 180, 600), 0);
        EXPECT_EQ(toolbox.Terminate(), 0);
    }
    EXPECT_TRUE(qt::IsMediaLayerInitialized());
    EXPECT_TRUE(qt::AreMoviesEntered());

    ASSERT_EQ(qt::ExitMovies(), 0);
    ASSERT_EQ(qt::TerminateMediaLayer(), 0);
    {
        CVRPanoMovie toolbox;
        ASSERT_EQ(toolbox.Init(scratch_.Path("a.mov"), 0, 0, 400, 180, 600), 0);
        EXPECT_EQ(toolbox.Terminate(), 0);
    }
    EXPECT_FALSE(qt::IsMediaLayerInitialized());
}

class CountingToolbox : public CVRPanoMovie {
public:
    ToolboxError OnProgress(int step, int lastStep) override {
        calls.emplace_back(step, lastStep);
        return 0;
    }
    std::vector<std::pair<int, int>> calls;
};

TEST_F(VrToolbox, BuildReportsTilesAndTerminateDeletesTheTileMovie) {
    CountingToolbox toolbox;
    Prepare(toolbox, Image(64, 32), 4);
    ASSERT_EQ(toolbox.BuildMovie(), 0);
    EXPECT_TRUE(std::filesystem::exists(scratch_.Path("out.mov")));
    // 0 before the tiles, then one per finished tile, on one core and on several.
    const std::vector<std::pair<int, int>> expected{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}};
    EXPECT_EQ(toolbox.calls, expected);
    EXPECT_EQ(toolbox.tileWidth(), 64);
    EXPECT_EQ(toolbox.tileHeight(), 8);
    const std::string tileMovie = toolbox.node(1)->tileMoviePath;
    EXPECT_TRUE(std::filesystem::exists(tileMovie));
    EXPECT_EQ(toolbox.Terminate(), 0);
    EXPECT_FALSE(std::filesystem::exists(tileMovie));
    EXPECT_TRUE(scratch_.Entries().empty()) << "temporary folder left behind";
}

TEST_F(VrToolbox, MissingFlattenerShowsItsMessageAndWritesNothing) {
    CVRPanoMovie toolbox;
    std::vector<std::string> shown;
    toolbox.SetMessageSink([&](const std::string& text) { shown.push_back(text); });
    Prepare(toolbox, Image(64, 32));
    qt::SetPlatformFaults({.flattenerMissing = true});
    EXPECT_EQ(toolbox.BuildMovie(), -2005);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0],
              "You need the QTVR Flattener extension to create Orbelune movies.  You can download "
              "the extension from Apple's website.  For more information, contact Halvarn "
              "Technical Support.");
    EXPECT_FALSE(std::filesystem::exists(scratch_.Path("out.mov")));
    EXPECT_EQ(toolbox.Terminate(), 0);
    EXPECT_TRUE(scratch_.Entries().empty());
}

struct FaultCase {
    const char* name;
    qt::FaultStep step;
    int call;
    int code;   // BuildMovie's result
    int inner;  // InnerError() afterwards
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class VrToolboxBuildFault : public VrToolbox, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(VrToolboxBuildFault, StopsWithItsCodeAndCleansUp) {
    const FaultCase& c = GetParam();
    CVRPanoMovie toolbox;
    Prepare(toolbox, Image(64, 32));
    qt::PlatformFaults faults;
    faults.failStep = c.step;
    faults.failCall = c.call;
    faults.failCode = -108;
    qt::SetPlatformFaults(faults);
    EXPECT_EQ(toolbox.BuildMovie(), c.code);
    EXPECT_EQ(toolbox.InnerError(), c.inner);
    qt::ClearPlatformFaults();
    EXPECT_FALSE(std::filesystem::exists(scratch_.Path("out.mov")));
    EXPECT_EQ(toolbox.Terminate(), 0);
    EXPECT_TRUE(scratch_.Entries().empty()) << "temporary files left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, VrToolboxBuildFault,
    ::testing::Values(
        // The VR track is the first track and the node header the first atom.
        FaultCase{"VrTrack", qt::FaultStep::kNewTrack, 1, 23, -108},
        FaultCase{"NodeInfo", qt::FaultStep::kAtomInsert, 1, 23, 28},
        FaultCase{"World", qt::FaultStep::kAtomInsert, 2, 23, 27},
        FaultCase{"NodeSample", qt::FaultStep::kAddSample, 1, 64, -108},
        FaultCase{"PanoramaTrack", qt::FaultStep::kNewTrack, 2, 29, -108},
        FaultCase{"Importer", qt::FaultStep::kImporterOpen, 1, 29, 63},
        FaultCase{"TileFile", qt::FaultStep::kCreateMovieFile, 1, 29, 66},
        FaultCase{"TileBuffer", qt::FaultStep::kNewOffscreen, 1, 29, -108},
        FaultCase{"Compress", qt::FaultStep::kCompress, 2, 29, -108},
        FaultCase{"OpenTiles", qt::FaultStep::kOpenMovieFile, 1, 29, 78},
        FaultCase{"ReadTiles", qt::FaultStep::kNewMovieFromFile, 1, 29, 79},
        FaultCase{"CopyTiles", qt::FaultStep::kInsertTrackSegment, 1, 29, 80},
        FaultCase{"References", qt::FaultStep::kAddTrackReference, 1, 24, -108},
        FaultCase{"PanoramaAtom", qt::FaultStep::kAtomInsert, 9, 24, -108},
        FaultCase{"ControllerType", qt::FaultStep::kAddUserData, 1, 71, 0},
        FaultCase{"Flatten", qt::FaultStep::kConvertMovieToFile, 1, 85, -108}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST_F(VrToolbox, UnreadableImageFailsTheContentLayer) {
    CVRPanoMovie toolbox;
    Prepare(toolbox, scratch_.Path("gone.bmp"));
    EXPECT_EQ(toolbox.BuildMovie(), 29);
    EXPECT_EQ(toolbox.InnerError(), 63);
    EXPECT_EQ(toolbox.Terminate(), 0);
    EXPECT_TRUE(scratch_.Entries().empty());
}

TEST_F(VrToolbox, NodeWithoutImageStream) {
    CVRPanoMovie toolbox;
    ASSERT_EQ(toolbox.Init(scratch_.Path("out.mov"), 0, 0, 400, 180, 600), 0);
    int node = 0;
    ASSERT_EQ(toolbox.CreateNode(kPano, &node), 0);
    EXPECT_EQ(toolbox.BuildMovie(), 26);
    EXPECT_EQ(toolbox.Terminate(), 0);
}

TEST_F(VrToolbox, NewMovieFailureLeavesNoMovieToBuild) {
    qt::PlatformFaults faults;
    faults.failStep = qt::FaultStep::kNewMovie;
    qt::SetPlatformFaults(faults);
    CVRPanoMovie toolbox;
    EXPECT_EQ(toolbox.Init(scratch_.Path("out.mov"), 0, 0, 400, 180, 600), 0);
    qt::ClearPlatformFaults();
    EXPECT_FALSE(toolbox.movie());
    EXPECT_EQ(toolbox.BuildMovie(), 37);
    EXPECT_EQ(toolbox.Terminate(), 0);
}

}  // namespace
}  // namespace orbelune
