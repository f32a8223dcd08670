// The 360° export of a strip whose rows are already even in elevation (the
// custom mirror's panorama): placed by its known elevations, not reprojected.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "export/exiftool_support.h"
#include "export/movie_settings.h"
#include "export/share360.h"
#include "export/share_page.h"
#include "image/file_io.h"
#include "unwarp/mirror_types.h"
#include "unwarp/unwarp.h"

namespace orbelune {
namespace {

using testing::ReadTags;

// The custom mirror's strip as the unwarp sizes it, black with a white row
// wherever a row's centre lies within half a row of one of `elevations`.
RgbImage StripWithElevationLines(int width, const CustomMirror& mirror, int height,
                                 std::initializer_list<double> elevations) {
    RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), err::kNone);
    const double top = std::max(mirror.outerElevation, mirror.innerElevation);
    const double perRow = std::abs(mirror.outerElevation - mirror.innerElevation) / double(height);
    for (double e : elevations) {
        const int row = static_cast<int>(std::floor((top - e) / perRow));
        if (row >= 0 && row < height) std::memset(image.row(row), 255, image.stride());
    }
    return image;
}

int BrightestRow(const RgbImage& image) {
    int best = -1, value = -1;
    for (int y = 0; y < image.height(); ++y)
        if (image.row(y)[0] > value) {
            value = image.row(y)[0];
            best = y;
        }
    return best;
}

// The sphere's row (fractional, of row centres) at a latitude.
double SphereRow(const ShareGeometry& g, double latitude) {
    return (90.0 - latitude) / (180.0 / g.fullHeight) - 0.5;
}

TEST(KnownElevations, FromTheCustomMirrorAndItsCrop) {
    const CustomMirror mirror{15, -45, false};
    const PanoramaSize size = UnwarpOutputSize(159, CustomMirrorType, mirror);  // W 999
    const int height = static_cast<int>(size.height);
    KnownElevations known = KnownElevationsForCustomMirror(mirror, height, 0);
    EXPECT_DOUBLE_EQ(known.topDeg, 15);
    EXPECT_DOUBLE_EQ(known.degPerRow, 60.0 / height);
    known = KnownElevationsForCustomMirror(mirror, height, 40);
    EXPECT_DOUBLE_EQ(known.topDeg, 15 - 40 * 60.0 / height);
    // The elevations in the other order describe the same rows.
    const KnownElevations swapped = KnownElevationsForCustomMirror({-45, 15, true}, height, 40);
    EXPECT_DOUBLE_EQ(swapped.topDeg, known.topDeg);
    EXPECT_DOUBLE_EQ(swapped.degPerRow, known.degPerRow);
}

TEST(KnownElevations, GeometryKeepsTheRowsWherePitchesAgree) {
    ShareGeometry g;
    // 720 wide, +15 … -45: 120 rows of exactly half a degree.
    ASSERT_EQ(ComputeShareGeometry(720, 120, {15, 0.5}, g), err::kNone);
    EXPECT_TRUE(g.keepsRows);
    EXPECT_EQ(g.fullWidth, 720);
    EXPECT_EQ(g.fullHeight, 360);
    EXPECT_EQ(g.stripHeight, 120);
    EXPECT_EQ(g.croppedTop, 150);
    EXPECT_DOUBLE_EQ(g.latitudeTopDegrees, 15);
    EXPECT_DOUBLE_EQ(g.latitudeBottomDegrees, -45);

    // Every custom geometry, even and odd widths: rows kept, edges within a row.
    for (const CustomMirror& mirror :
         {CustomMirror{15, -45, false}, CustomMirror{-10, 60, false}, CustomMirror{89, -89, false},
          CustomMirror{-20, -21, false}}) {
        for (int radius : {40, 159, 160, 955}) {
            const PanoramaSize size = UnwarpOutputSize(radius, CustomMirrorType, mirror);
            const int w = static_cast<int>(size.width), h = static_cast<int>(size.height);
            const KnownElevations known = KnownElevationsForCustomMirror(mirror, h, 0);
            ASSERT_EQ(ComputeShareGeometry(w, h, known, g), err::kNone) << w << "x" << h;
            EXPECT_TRUE(g.keepsRows) << w << "x" << h;
            EXPECT_EQ(g.stripHeight, h);
            const double rowDegrees = 180.0 / g.fullHeight;
            EXPECT_LE(std::fabs(g.latitudeTopDegrees - known.topDeg), rowDegrees + 1e-9);
            EXPECT_LE(std::fabs(g.latitudeBottomDegrees - (known.topDeg - h * known.degPerRow)),
                      rowDegrees + 1e-9);
        }
    }
}

TEST(KnownElevations, RefusesWhatLeavesTheSphere) {
    ShareGeometry g;
    EXPECT_EQ(ComputeShareGeometry(2, 10, {10, 1}, g), err::kBadParam);
    EXPECT_EQ(ComputeShareGeometry(720, 0, {10, 1}, g), err::kBadParam);
    EXPECT_EQ(ComputeShareGeometry(720, 10, {10, 0}, g), err::kBadParam);
    EXPECT_EQ(ComputeShareGeometry(720, 10, {10, -1}, g), err::kBadParam);
    EXPECT_EQ(ComputeShareGeometry(720, 10, {NAN, 1}, g), err::kBadParam);
    EXPECT_EQ(ComputeShareGeometry(720, 10, {10, INFINITY}, g), err::kBadParam);
    EXPECT_EQ(ComputeShareGeometry(720, 10, {91, 1}, g), err::kBadParam);
    EXPECT_EQ(ComputeShareGeometry(720, 100, {10, 1.01}, g), err::kBadParam);  // below -90
    EXPECT_EQ(g.stripHeight, 0);
    ASSERT_EQ(ComputeShareGeometry(720, 360, {90, 0.5}, g), err::kNone);  // the whole sphere
    EXPECT_EQ(g.croppedTop, 0);
    EXPECT_EQ(g.stripHeight, 360);
    RgbImage out;
    EXPECT_EQ(PlaceKnownElevations(RgbImage(), {10, 1}, out), err::kBadParam);
}

TEST(KnownElevations, HorizonAndCroppedStripLandOnTheirSphereRows) {
    const CustomMirror mirror{15, -45, false};
    const PanoramaSize size = UnwarpOutputSize(159, CustomMirrorType, mirror);
    const int width = static_cast<int>(size.width), height = static_cast<int>(size.height);
    const RgbImage strip = StripWithElevationLines(width, mirror, height, {0});
    for (int crop : {0, 13, 40}) {
        RgbImage cropped;
        ASSERT_EQ(cropped.AllocatePixels(width, height - crop), err::kNone);
        std::memcpy(cropped.data(), strip.row(crop), cropped.byteCount());
        const KnownElevations known = KnownElevationsForCustomMirror(mirror, height, crop);
        ShareGeometry g;
        ASSERT_EQ(ComputeShareGeometry(width, cropped.height(), known, g), err::kNone);
        RgbImage placed;
        ASSERT_EQ(PlaceKnownElevations(cropped, known, placed), err::kNone);
        ASSERT_EQ(placed.height(), g.stripHeight);
        // Kept rows: the same bytes, the horizon within a row of the sphere's.
        EXPECT_EQ(std::memcmp(placed.data(), cropped.data(), cropped.byteCount()), 0);
        EXPECT_NEAR(g.croppedTop + BrightestRow(placed), SphereRow(g, 0), 1.0) << "crop " << crop;
    }
}

TEST(KnownElevations, OtherRowPitchesAreResampledToTheSphere) {
    // 60 rows of one degree from +15 (a strip halved in height): 120 sphere rows.
    const CustomMirror mirror{15, -45, false};
    const RgbImage strip = StripWithElevationLines(720, mirror, 60, {-0.5, -20.5});
    ShareGeometry g;
    ASSERT_EQ(ComputeShareGeometry(720, 60, {15, 1}, g), err::kNone);
    EXPECT_FALSE(g.keepsRows);
    EXPECT_EQ(g.stripHeight, 120);
    EXPECT_EQ(g.croppedTop, 150);
    RgbImage placed;
    ASSERT_EQ(PlaceKnownElevations(strip, {15, 1}, placed), err::kNone);
    ASSERT_EQ(placed.height(), 120);
    // Strip row 15 (0 … -1°) covers sphere rows 180 and 181 (-0.25° and
    // -0.75°), each a quarter row from its centre: 3/4 white.
    EXPECT_EQ(placed.row(180 - 150)[0], 191);
    EXPECT_EQ(placed.row(181 - 150)[0], 191);
    EXPECT_EQ(placed.row(179 - 150)[0], 64);
    EXPECT_EQ(placed.row(182 - 150)[0], 64);
    EXPECT_EQ(placed.row(220 - 150)[0], 191);  // -20.25°
    EXPECT_EQ(placed.row(175 - 150)[0], 0);
    EXPECT_EQ(placed.row(0)[0], 0);
}

TEST(KnownElevations, ViewStaysOnAStripOffTheHorizon) {
    MovieSettings settings;
    settings.zoom = 1;
    settings.tilt = 0;
    settings.pan = 90;
    // +15 … -45: the whole 60° strip in view, so the pitch is its middle.
    ShareView view = ShareViewForPanorama(settings, 720, 120, {15, 0.5});
    EXPECT_DOUBLE_EQ(view.headingDegrees, 90);
    EXPECT_NEAR(view.pitchDegrees, -15, 1e-9);
    // Zoomed in, the movie's tilt is kept where the view stays on the strip.
    settings.zoom = 2;
    settings.tilt = -20;
    view = ShareViewForPanorama(settings, 720, 120, {15, 0.5});
    EXPECT_NEAR(view.pitchDegrees, -20, 1e-9);
    // Past the strip's edges the pitch stops where the view still is on it.
    for (int tilt : {-44, 14}) {
        settings.tilt = tilt;
        view = ShareViewForPanorama(settings, 720, 120, {15, 0.5});
        EXPECT_GT(std::fabs(view.pitchDegrees - tilt), 5) << tilt;
        EXPECT_GT(view.pitchDegrees, -45 + 15);
        EXPECT_LT(view.pitchDegrees, 15 - 15);
    }
}

class KnownElevationsJpegTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORBELUNE_REQUIRE_EXIFTOOL();
        ASSERT_TRUE(folder_.valid());
    }
    std::string Path(const std::string& name) const { return folder_.path() + "/" + name; }
    TempFolder folder_;
};

TEST_F(KnownElevationsJpegTest, PhotoSphereTagsOfACustomMirrorsStrip) {
    // W = trunc(2π·159) = 999, H = round(999·60/360) = 167; the sphere has
    // 499 rows of 180/499°, +15° lies 207.96 rows down; the strip drifts by
    // -0.5 rows, so it starts at row 208.
    const CustomMirror mirror{15, -45, false};
    const PanoramaSize size = UnwarpOutputSize(159, CustomMirrorType, mirror);
    ASSERT_EQ(size.width, 999u);
    ASSERT_EQ(size.height, 167u);
    const KnownElevations known = KnownElevationsForCustomMirror(mirror, 167, 0);
    const ShareView view{30, -12.5, 75.25};
    RgbImage strip = StripWithElevationLines(999, mirror, 167, {0});

    auto expectTags = [](const std::string& path, int top, int rows) {
        auto tags = ReadTags(path, "-XMP-GPano:all -ImageWidth -ImageHeight");
        EXPECT_EQ(tags["ProjectionType"], "equirectangular");
        EXPECT_EQ(tags["FullPanoWidthPixels"], "999");
        EXPECT_EQ(tags["FullPanoHeightPixels"], "499");
        EXPECT_EQ(tags["CroppedAreaImageWidthPixels"], "999");
        EXPECT_EQ(tags["CroppedAreaImageHeightPixels"], std::to_string(rows));
        EXPECT_EQ(tags["CroppedAreaLeftPixels"], "0");
        EXPECT_EQ(tags["CroppedAreaTopPixels"], std::to_string(top));
        EXPECT_EQ(tags["InitialViewHeadingDegrees"], "30");
        EXPECT_EQ(tags["InitialViewPitchDegrees"], "-12.5");
        EXPECT_EQ(tags["InitialHorizontalFOVDegrees"], "75.25");
        EXPECT_EQ(tags["ImageWidth"], "999");
        EXPECT_EQ(tags["ImageHeight"], std::to_string(rows));
    };
    std::vector<std::uint8_t> jpeg;
    ASSERT_EQ(EncodeShare360Jpeg(strip, known, view, PhotoMetadata(), jpeg), err::kNone);
    ASSERT_EQ(WriteFileAtomically(Path("memory.jpg"), jpeg.data(), jpeg.size()), err::kNone);
    expectTags(Path("memory.jpg"), 208, 167);
    ASSERT_EQ(SaveShare360Jpeg(strip, known, view, PhotoMetadata(), Path("file.jpg")), err::kNone);
    expectTags(Path("file.jpg"), 208, 167);

    // The horizon row is still there in the written picture.
    RgbImage back;
    ASSERT_EQ(back.LoadImageFile(Path("file.jpg")), err::kNone);
    EXPECT_NEAR(208 + BrightestRow(back), (90.0 / (180.0 / 499)) - 0.5, 1.0);

    // Cropped by 40 rows, freed once written.
    RgbImage cropped;
    ASSERT_EQ(cropped.AllocatePixels(999, 127), err::kNone);
    std::memcpy(cropped.data(), strip.row(40), cropped.byteCount());
    ASSERT_EQ(SaveShare360JpegAndFree(cropped, KnownElevationsForCustomMirror(mirror, 167, 40),
                                      view, PhotoMetadata(), Path("cropped.jpg")),
              err::kNone);
    EXPECT_TRUE(cropped.empty());
    expectTags(Path("cropped.jpg"), 248, 127);

    // The page folder uses the same placement.
    SharePageOptions options;
    options.view = view;
    options.knownElevations = known;
    ASSERT_TRUE(WriteSharePage(strip, options, Path("page")).ok());
    expectTags(Path("page/panorama.jpg"), 208, 167);
}

}  // namespace
}  // namespace orbelune
