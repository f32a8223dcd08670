#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli_run.h"
#include "image/file_io.h"
#include "image/image_format.h"
#include "image/image_io.h"
#include "image/rgb_image.h"

namespace orbelune {
namespace {

using testing::CliResult;
using testing::ReadFile;
using testing::RunCli;

class UnwarpCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(temp_.path().empty());
        config_ = temp_.path() + "/config";
        std::filesystem::create_directories(config_ + "/Halvarn");
        // A small ring photograph: 200 x 160, centre in the middle, R 60, mirror 1.
        ASSERT_EQ(
            Run({"synth", "--size", "200x160", "--outer", "60", "-o", Path("ring.png")}).exitCode,
            0);
    }

    void WriteSettings(const std::string& ini) {
        std::ofstream(config_ + "/Halvarn/Orbelune.ini") << ini;
    }
    std::string Settings() const { return ReadFile(config_ + "/Halvarn/Orbelune.ini"); }

    CliResult Run(const std::vector<std::string>& args) { return RunCli(args, config_); }
    std::string Path(const std::string& name) const { return temp_.path() + "/" + name; }

    static RgbImage Load(const std::string& path) {
        RgbImage image;
        EXPECT_EQ(image.LoadImageFile(path), 0u) << path;
        return image;
    }

    TempFolder temp_;
    std::string config_;
};

TEST_F(UnwarpCli, StoredRingAndMirrorAreUsedAndTheStoreIsNeverWritten) {
    const std::string ini =
        "[DEFAULTS]\nOuterRadius=60\nXCENTER=100\nYCENTER=80\n[EQUIPMENT]\nMIRROR=2\n";
    WriteSettings(ini);
    const CliResult r = Run({"unwarp", Path("ring.png")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const RgbImage pano = Load(Path("ring_pano.png"));  // next to the input, "%s_pano%s"
    EXPECT_EQ(pano.width(), 376);
    EXPECT_EQ(pano.height(), 153);  // the stored convex mirror
    EXPECT_EQ(Settings(), ini);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(config_ + "/Halvarn"),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(UnwarpCli, FolderOutputWithFormatAndOptionsOverridingTheStore) {
    WriteSettings("[DEFAULTS]\nOuterRadius=200\n[EQUIPMENT]\nMIRROR=2\n");
    const CliResult r =
        Run({"unwarp", Path("ring.png"), "-d", Path("out"), "--format", "bmp", "--mirror",
             "concave-threaded", "--outer", "60", "--center", "100,80"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const RgbImage pano = Load(Path("out/ring_pano.bmp"));
    EXPECT_EQ(pano.width(), 376);
    EXPECT_EQ(pano.height(), 60);
    EXPECT_EQ(DetectFileFormat(Path("out/ring_pano.bmp")), ImageFormat::Bmp);
    EXPECT_TRUE(r.out.empty());
}

TEST_F(UnwarpCli, ParallelJobsGiveTheSameFilesAsOneJob) {
    std::filesystem::copy_file(Path("ring.png"), Path("b.png"));
    std::filesystem::copy_file(Path("ring.png"), Path("c.png"));
    const std::vector<std::string> inputs{Path("ring.png"), Path("b.png"), Path("c.png")};
    std::vector<std::string> one{"unwarp", "--outer", "60", "-d", Path("one")};
    std::vector<std::string> three{"unwarp", "--outer", "60", "-d", Path("three"), "--jobs", "3"};
    one.insert(one.end(), inputs.begin(), inputs.end());
    three.insert(three.end(), inputs.begin(), inputs.end());
    ASSERT_EQ(Run(one).exitCode, 0);
    ASSERT_EQ(Run(three).exitCode, 0);
    for (const char* name : {"ring_pano.png", "b_pano.png", "c_pano.png"}) {
        const std::string a = ReadFile(Path("one/") + name);
        EXPECT_FALSE(a.empty());
        EXPECT_EQ(a, ReadFile(Path("three/") + name)) << name;
    }
}

TEST_F(UnwarpCli, EachFailureIsNamedAndTheOthersStillRun) {
    RgbImage wide;
    ASSERT_EQ(wide.AllocatePixels(201, 100), 0u);
    ASSERT_EQ(wide.SaveImageFile(Path("wide.bmp"), ImageFormat::Bmp), 0u);
    std::ofstream(Path("broken.jpg")) << "not a picture";
    const CliResult r =
        Run({"unwarp", "--outer", "60", "-d", Path("out"), Path("wide.bmp"), Path("ring.png"),
             Path("broken.jpg"), Path("missing.png"), Path("ring.png")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("wide.bmp: already a panorama"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("broken.jpg: "), std::string::npos);
    EXPECT_NE(r.err.find("missing.png: "), std::string::npos);
    EXPECT_NE(r.err.find("is already the output of"), std::string::npos);  // ring.png twice
    EXPECT_TRUE(std::filesystem::exists(Path("out/ring_pano.png")));
    EXPECT_FALSE(std::filesystem::exists(Path("out/wide_pano.bmp")));
}

TEST_F(UnwarpCli, BadStoredValuesFailPerFileWithAReason) {
    WriteSettings("[DEFAULTS]\nOuterRadius=0\n");
    CliResult r = Run({"unwarp", Path("ring.png")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("outer radius 0 gives no panorama (stored setting"), std::string::npos)
        << r.err;

    // A radius whose circle encloses the whole picture is not used: the ring
    // is found in the photo instead.
    WriteSettings("[DEFAULTS]\nOuterRadius=2000000000\n");
    r = Run({"unwarp", Path("ring.png")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("does not fit the photo; using the ring found in it"), std::string::npos)
        << r.err;

    // An unreadable file gives the defaults; R 300 encloses this small picture,
    // so the ring is found instead.
    WriteSettings("\x01\x02[[[garbage\nOuterRadius=abc\n");
    r = Run({"unwarp", Path("ring.png"), "-o", Path("x.png")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NEAR(Load(Path("x.png")).width(), 377, 20);
}

TEST_F(UnwarpCli, CommandLineMistakesAreUsageErrors) {
    const std::string in = Path("ring.png");
    const std::vector<std::vector<std::string>> mistakes{
        {"unwarp"},
        {"unwarp", in, "--outer", "0"},
        {"unwarp", in, "--outer", "-5"},
        {"unwarp", in, "--outer", "999999999"},
        {"unwarp", in, "--inner", "0"},
        {"unwarp", in, "--mirror", "5"},
        {"unwarp", in, "--mirror", "convex"},
        {"unwarp", in, "--center", "10"},
        {"unwarp", in, "--format", "gif"},
        {"unwarp", in, "--jobs", "0"},
        {"unwarp", in, "--bogus"},
        {"unwarp", in, "-o"},
        {"unwarp", in, in, "-o", Path("x.png")},
        {"unwarp", in, "-o", Path("x.png"), "-d", Path("out")},
        {"unwarp", in, "-o", Path("x.png"), "--format", "jpg"},
        {"synth"},
        {"synth", "-o", Path("s.png"), "--size", "0x10"},
        {"synth", "-o", Path("s.png"), "--center", "5000,1"},
        // The custom mirror's elevations: out of range, equal, malformed, or
        // given for another mirror.
        {"unwarp", in, "--mirror", "custom", "--elevations", "90,0"},
        {"unwarp", in, "--mirror", "custom", "--elevations", "10,-90"},
        {"unwarp", in, "--mirror", "custom", "--elevations", "20,20"},
        {"unwarp", in, "--mirror", "custom", "--elevations", "20"},
        {"unwarp", in, "--mirror", "custom", "--elevations", "1.5,-3"},
        {"unwarp", in, "--mirror", "custom", "--elevations", "++5,-3"},
        {"unwarp", in, "--mirror", "2", "--elevations", "15,-45"},
        {"unwarp", in, "--mirror", "2", "--flip"},
        {"synth", "-o", Path("s.png"), "--mirror", "custom", "--elevations", "0,0"},
        {"synth", "-o", Path("s.png"), "--mirror", "custom", "--inner", "300"},
        {"synth", "-o", Path("s.png"), "--elevations", "15,-45"},
    };
    for (const auto& args : mistakes) {
        const CliResult r = Run(args);
        std::string line;
        for (const std::string& a : args)
            line += a + " ";
        EXPECT_EQ(r.exitCode, 2) << line << r.err;
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << line;
    }
    EXPECT_FALSE(std::filesystem::exists(Path("x.png")));
}

TEST_F(UnwarpCli, CustomMirrorRoundTripAndItsStoredDescription) {
    ASSERT_EQ(Run({"synth", "--size", "300x240", "--outer", "100", "--inner", "30", "--mirror",
                   "custom", "--elevations", "+20,-40", "--flip", "-o", Path("custom.png")})
                  .exitCode,
              0);
    const RgbImage photo = Load(Path("custom.png"));
    EXPECT_EQ(photo.width(), 300);
    // Given on the command line...
    CliResult r = Run({"unwarp", Path("custom.png"), "-o", Path("given.png"), "--mirror", "custom",
                       "--center", "150,120", "--outer", "100", "--inner", "30", "--elevations",
                       "20,-40", "--flip"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const RgbImage given = Load(Path("given.png"));
    EXPECT_EQ(given.width(), 628);
    EXPECT_EQ(given.height(), 105);  // 628 * 60 / 360 = 104.7
    // ... or stored, the same bytes.
    WriteSettings(
        "[DEFAULTS]\nOuterRadius=100\nInnerRadius=30\nXCENTER=150\nYCENTER=120\n"
        "[EQUIPMENT]\nMIRROR=4\nCUSTOM_OUTER_ELEVATION=20\nCUSTOM_INNER_ELEVATION=-40\n"
        "CUSTOM_MIRRORED=1\n");
    r = Run({"unwarp", Path("custom.png"), "-o", Path("stored.png")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const RgbImage stored = Load(Path("stored.png"));
    ASSERT_EQ(stored.byteCount(), given.byteCount());
    EXPECT_TRUE(std::equal(given.data(), given.data() + given.byteCount(), stored.data()));
    // --no-flip overrides the stored mirroring: another picture.
    r = Run({"unwarp", Path("custom.png"), "-o", Path("plain.png"), "--no-flip"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const RgbImage plain = Load(Path("plain.png"));
    EXPECT_FALSE(std::equal(given.data(), given.data() + given.byteCount(), plain.data()));
    // An inner circle the custom mirror cannot use fails that file.
    r = Run({"unwarp", Path("custom.png"), "-o", Path("bad.png"), "--inner", "100"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("inner radius"), std::string::npos) << r.err;
}

TEST_F(UnwarpCli, CentreOutsideThePictureIsRefusedForThatFile) {
    const CliResult r = Run({"unwarp", Path("ring.png"), "--center", "-400,80", "--outer", "60"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("lies outside the picture"), std::string::npos) << r.err;
}

TEST_F(UnwarpCli, FileErrorsCarryTheSystemsReasonAndDoubleDashEndsTheOptions) {
    const CliResult missing = Run({"info", Path("missing.png")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("\"missing.png\" cannot be opened (No such file or directory)"),
              std::string::npos)
        << missing.err;
    std::filesystem::create_directory(Path("folder.png"));
    const CliResult folder = Run({"convert", Path("folder.png"), "-o", Path("x.png")});
    EXPECT_NE(folder.err.find("\"folder.png\" cannot be opened (Is a directory)"),
              std::string::npos)
        << folder.err;
    const CliResult nowhere = Run({"convert", Path("ring.png"), "-o", Path("no/dir/x.png")});
    EXPECT_EQ(nowhere.exitCode, 1);
    EXPECT_NE(nowhere.err.find(Path("no/dir/x.png") + ": No such file or directory"),
              std::string::npos)
        << nowhere.err;

    // Names that start with '-' after "--".
    std::filesystem::copy_file(Path("ring.png"), Path("-ring.png"));
    const CliResult converted =
        RunCli({"convert", "-o", "copy.bmp", "--", "-ring.png"}, config_, temp_.path());
    EXPECT_EQ(converted.exitCode, 0) << converted.err;
    EXPECT_TRUE(std::filesystem::exists(Path("copy.bmp")));
    const CliResult unwarped =
        RunCli({"unwarp", "--outer", "60", "-d", "out", "--", "-ring.png"}, config_, temp_.path());
    EXPECT_EQ(unwarped.exitCode, 0) << unwarped.err;
    EXPECT_TRUE(std::filesystem::exists(Path("out/-ring_pano.png")));
    EXPECT_EQ(RunCli({"info", "--"}, config_, temp_.path()).exitCode, 2);

    // A hard-linked output gets a new file; the other name keeps the old one.
    ASSERT_EQ(::link(Path("copy.bmp").c_str(), Path("other.bmp").c_str()), 0);
    const CliResult relinked = Run({"convert", Path("ring.png"), "-o", Path("copy.bmp")});
    EXPECT_EQ(relinked.exitCode, 0);
    EXPECT_NE(relinked.err.find("note: " + Path("copy.bmp") + " was replaced by a new file"),
              std::string::npos)
        << relinked.err;
}

TEST_F(UnwarpCli, TheDecodingMemoryBudgetComesFromTheEnvironment) {
    // 200 x 160 pixels need 96000 bytes.
    ::setenv("ORBELUNE_MAX_MEMORY", "90K", 1);
    const CliResult small = Run({"info", Path("ring.png")});
    ::setenv("ORBELUNE_MAX_MEMORY", "100K", 1);
    const CliResult enough = Run({"info", Path("ring.png")});
    ::unsetenv("ORBELUNE_MAX_MEMORY");
    EXPECT_EQ(small.exitCode, 1);
    EXPECT_NE(small.err.find("\"ring.png\" is too large to open (out of memory)"),
              std::string::npos)
        << small.err;
    EXPECT_EQ(enough.exitCode, 0) << enough.err;
}

TEST_F(UnwarpCli, DetectPrintsTheRingAndAStoredRingThatDoesNotFitIsReplaced) {
    const CliResult found = Run({"detect", Path("ring.png")});
    ASSERT_EQ(found.exitCode, 0) << found.err;
    int x = 0, y = 0, outer = 0, inner = 0;
    double confidence = 0;
    ASSERT_EQ(std::sscanf(found.out.c_str(), "center=%d,%d outer=%d inner=%d confidence=%lf", &x,
                          &y, &outer, &inner, &confidence),
              5)
        << found.out;
    EXPECT_NEAR(x, 100, 2);
    EXPECT_NEAR(y, 80, 2);
    EXPECT_NEAR(outer, 60, 3);
    EXPECT_GE(confidence, 0.5);

    // A ring stored from a far larger photograph: detected instead, and said so.
    WriteSettings("[DEFAULTS]\nOuterRadius=1500\nInnerRadius=300\nXCENTER=100\nYCENTER=80\n");
    const CliResult r = Run({"unwarp", Path("ring.png")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("does not fit"), std::string::npos) << r.err;
    const RgbImage pano = Load(Path("ring_pano.png"));
    EXPECT_NEAR(pano.width(), 377, 20);

    EXPECT_EQ(Run({"detect"}).exitCode, 2);
    EXPECT_EQ(Run({"detect", Path("missing.png")}).exitCode, 1);
}

TEST_F(UnwarpCli, SeamTurnsTheColumnsAndIsChecked) {
    WriteSettings("[DEFAULTS]\nOuterRadius=60\nXCENTER=100\nYCENTER=80\n[EQUIPMENT]\nMIRROR=2\n");
    ASSERT_EQ(Run({"unwarp", Path("ring.png"), "-o", Path("plain.png")}).exitCode, 0);
    ASSERT_EQ(Run({"unwarp", Path("ring.png"), "-o", Path("zero.png"), "--seam", "0"}).exitCode, 0);
    ASSERT_EQ(Run({"unwarp", Path("ring.png"), "-o", Path("turned.png"), "--seam", "90"}).exitCode,
              0);
    const RgbImage plain = Load(Path("plain.png")), zero = Load(Path("zero.png")),
                   turned = Load(Path("turned.png"));
    ASSERT_EQ(plain.byteCount(), zero.byteCount());
    EXPECT_TRUE(std::equal(plain.data(), plain.data() + plain.byteCount(), zero.data()));
    const int w = plain.width(), shift = 94;  // round(90 * 376 / 360)
    for (int j = 0; j < w; ++j)
        ASSERT_EQ(turned.row(10)[3 * j], plain.row(10)[3 * ((j + shift) % w)]) << j;
    // The stored seam is used when none is given.
    WriteSettings(
        "[DEFAULTS]\nOuterRadius=60\nXCENTER=100\nYCENTER=80\n[EQUIPMENT]\nMIRROR=2\nSEAM=90\n");
    ASSERT_EQ(Run({"unwarp", Path("ring.png"), "-o", Path("stored.png")}).exitCode, 0);
    const RgbImage stored = Load(Path("stored.png"));
    EXPECT_TRUE(std::equal(stored.data(), stored.data() + stored.byteCount(), turned.data()));
    for (const char* bad : {"360", "-1", "x"}) {
        const CliResult r = Run({"unwarp", Path("ring.png"), "--seam", bad});
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_NE(r.err.find("0 to 359"), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace orbelune
