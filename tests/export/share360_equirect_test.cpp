#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "export/movie_settings.h"
#include "export/share360.h"
#include "image/parallel.h"

namespace orbelune {
namespace {

constexpr double kPi = std::numbers::pi;

double Radians(double degrees) {
    return degrees * kPi / 180.0;
}

// A black cylinder with one white row at each latitude, placed where a
// cylinder of this width shows it: r·tan φ above the horizon (the middle).
RgbImage CylinderWithLatitudeLines(int width, int height, std::initializer_list<double> latitudes) {
    RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), err::kNone);
    const double radius = width / (2 * kPi);
    for (double latitude : latitudes) {
        const double centre = height / 2.0 - radius * std::tan(Radians(latitude));
        const int row = static_cast<int>(std::floor(centre));
        std::memset(image.row(row), 255, image.stride());
    }
    return image;
}

// The output row (fractional, of row centres) where a latitude lies.
double RowOf(const ShareGeometry& g, double latitude) {
    const double degreesPerRow = 180.0 / g.fullHeight;
    return (g.latitudeTopDegrees - latitude) / degreesPerRow - 0.5;
}

int BrightestRowNear(const RgbImage& image, double around) {
    int best = -1, bestValue = -1;
    for (int y = std::max(0, int(around) - 4); y <= std::min(image.height() - 1, int(around) + 4);
         ++y) {
        const int value = image.row(y)[image.width() / 2 * 3];
        if (value > bestValue) {
            bestValue = value;
            best = y;
        }
    }
    return best;
}

TEST(ShareGeometry, StripOfSquarePixelsCentredOnTheHorizon) {
    ShareGeometry g;
    // 720 wide: half a degree per column; radius 114.6, so ±120 rows is ±46.3°.
    ASSERT_EQ(ComputeShareGeometry(720, 240, g), err::kNone);
    EXPECT_EQ(g.fullWidth, 720);
    EXPECT_EQ(g.fullHeight, 360);
    const double halfExtent = std::atan(120.0 / (720 / (2 * kPi))) * 180 / kPi;
    EXPECT_NEAR(g.stripHeight * 0.5, 2 * halfExtent, 0.5);  // one row per half degree
    EXPECT_EQ(g.croppedTop + g.stripHeight + g.croppedTop + (g.stripHeight % 2), 360);
    EXPECT_NEAR(g.latitudeTopDegrees, halfExtent, 0.5);
    EXPECT_NEAR(g.latitudeBottomDegrees, -halfExtent, 0.5);
    EXPECT_DOUBLE_EQ(g.latitudeTopDegrees - g.latitudeBottomDegrees, g.stripHeight * 0.5);
    EXPECT_DOUBLE_EQ(90.0 - g.latitudeTopDegrees, g.croppedTop * 0.5);

    // The concave mirrors' proportions (height = width / 2π): ±26.57°.
    ASSERT_EQ(ComputeShareGeometry(11938, 1900, g), err::kNone);
    EXPECT_EQ(g.stripHeight, std::lround(2 * std::atan(0.5) * 11938 / (2 * kPi)));
    EXPECT_EQ(g.fullHeight, 5969);
    EXPECT_NEAR(g.croppedTop + g.stripHeight / 2.0, 5969 / 2.0, 0.5);
}

TEST(ShareGeometry, RefusesStripsTooSmallAndClampsTallOnes) {
    ShareGeometry g;
    EXPECT_EQ(ComputeShareGeometry(2, 10, g), err::kBadParam);
    EXPECT_EQ(ComputeShareGeometry(0, 10, g), err::kBadParam);
    EXPECT_EQ(ComputeShareGeometry(-5, 10, g), err::kBadParam);
    EXPECT_EQ(ComputeShareGeometry(100, 0, g), err::kBadParam);
    EXPECT_EQ(g.stripHeight, 0);
    ASSERT_EQ(ComputeShareGeometry(3, 1, g), err::kNone);
    EXPECT_EQ(g.stripHeight, 1);
    EXPECT_EQ(g.fullHeight, 1);
    // A cylinder far taller than wide still fits the sphere.
    ASSERT_EQ(ComputeShareGeometry(40, 100000, g), err::kNone);
    EXPECT_LE(g.stripHeight, g.fullHeight);
    EXPECT_GE(g.croppedTop, 0);
    EXPECT_LE(g.latitudeTopDegrees, 90.0);
}

TEST(ReprojectToEquirect, LatitudeLinesLandOnTheirRows) {
    const int width = 720, height = 240;
    const RgbImage cylinder = CylinderWithLatitudeLines(width, height, {10, 20, -10, -20, 40});
    RgbImage strip;
    ASSERT_EQ(ReprojectToEquirect(cylinder, strip), err::kNone);
    ShareGeometry g;
    ASSERT_EQ(ComputeShareGeometry(width, height, g), err::kNone);
    ASSERT_EQ(strip.width(), width);
    ASSERT_EQ(strip.height(), g.stripHeight);
    for (double latitude : {10.0, 20.0, -10.0, -20.0, 40.0}) {
        const double expected = RowOf(g, latitude);
        const int found = BrightestRowNear(strip, expected);
        EXPECT_NEAR(found, expected, 1.0) << "latitude " << latitude;
        EXPECT_GT(strip.row(found)[0], 100) << "latitude " << latitude;
    }
    // Away from the lines the strip stays black: no row is taken from elsewhere.
    const int horizon = static_cast<int>(RowOf(g, 0));
    EXPECT_EQ(strip.row(horizon)[0], 0);
    EXPECT_EQ(strip.row(0)[0], 0);
    EXPECT_EQ(strip.row(strip.height() - 1)[0], 0);
}

TEST(ReprojectToEquirect, KeepsColumnsAndMatchesOneThread) {
    // Every column its own colour, every row its own level: columns must stay
    // put, and the threads must not change a byte.
    RgbImage cylinder;
    ASSERT_EQ(cylinder.AllocatePixels(1200, 300), err::kNone);
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 1200; ++x) {
            std::uint8_t* p = cylinder.row(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(x >> 8);
            p[2] = static_cast<std::uint8_t>(y * 255 / 299);
        }
    }
    SetWorkerThreads(1);
    RgbImage single;
    ASSERT_EQ(ReprojectToEquirect(cylinder, single), err::kNone);
    SetWorkerThreads(4);
    RgbImage parallel;
    ASSERT_EQ(ReprojectToEquirect(cylinder, parallel), err::kNone);
    SetWorkerThreads(0);
    ASSERT_EQ(single.byteCount(), parallel.byteCount());
    RgbImage inPlace = cylinder;
    ASSERT_EQ(ReprojectToEquirect(inPlace, inPlace), err::kNone);
    ASSERT_EQ(inPlace.byteCount(), single.byteCount());
    EXPECT_EQ(std::memcmp(single.data(), inPlace.data(), single.byteCount()), 0);
    EXPECT_EQ(std::memcmp(single.data(), parallel.data(), single.byteCount()), 0);
    for (int y = 0; y < single.height(); y += 7) {
        for (int x = 0; x < 1200; x += 13) {
            EXPECT_EQ(single.row(y)[3 * x], static_cast<std::uint8_t>(x));
            EXPECT_EQ(single.row(y)[3 * x + 1], static_cast<std::uint8_t>(x >> 8));
        }
    }
    // Rows go from the top of the cylinder to its bottom, the middle on the
    // middle.
    EXPECT_LT(single.row(0)[2], 10);
    EXPECT_GT(single.row(single.height() - 1)[2], 245);
    EXPECT_NEAR(single.row(single.height() / 2)[2], 128, 3);
}

TEST(ReprojectToEquirect, RefusesWhatIsNoPanorama) {
    RgbImage strip;
    EXPECT_EQ(ReprojectToEquirect(RgbImage(), strip), err::kBadParam);
    RgbImage narrow;
    ASSERT_EQ(narrow.AllocatePixels(2, 50), err::kNone);
    EXPECT_EQ(ReprojectToEquirect(narrow, strip), err::kBadParam);
    EXPECT_TRUE(strip.empty());
    RgbImage smallest;
    ASSERT_EQ(smallest.AllocatePixels(3, 1), err::kNone);
    EXPECT_EQ(ReprojectToEquirect(smallest, strip), err::kNone);
    EXPECT_EQ(strip.width(), 3);
    EXPECT_EQ(strip.height(), 1);
}

MovieSettings Settings(float zoom, int pan, int tilt) {
    MovieSettings s;
    s.zoom = zoom;
    s.pan = pan;
    s.tilt = tilt;
    s.movieWidth = 400;
    s.movieHeight = 180;
    return s;
}

// Vertical field of view of a window of `aspect` at this horizontal one.
double VerticalFov(double horizontalFov, double aspect) {
    return 2 * std::atan(std::tan(Radians(horizontalFov) / 2) / aspect) * 180 / kPi;
}

TEST(ShareView, MovieViewWithoutEmptyBands) {
    ShareGeometry g;
    ASSERT_EQ(ComputeShareGeometry(1200, 191, g), err::kNone);  // ±26.6°
    // The nearer edge, when the strip sits half a row off the horizon.
    const double stripFov = 2 * std::min(g.latitudeTopDegrees, -g.latitudeBottomDegrees);

    // Zoom 1 shows the strip's whole height in the 400 x 180 movie, wider
    // than a 16:9 window may show: cut to what such a window can show.
    const ShareView whole = ShareViewForPanorama(Settings(1.0f, 90, 0), 1200, 191);
    EXPECT_DOUBLE_EQ(whole.headingDegrees, 90);
    EXPECT_NEAR(VerticalFov(whole.horizontalFovDegrees, 16.0 / 9), stripFov, 0.01);
    EXPECT_DOUBLE_EQ(whole.pitchDegrees, 0);  // no room to tilt

    // Zoom 2 halves the movie's vertical view: 2·atan(tan(T/2)·400/180).
    const ShareView close = ShareViewForPanorama(Settings(2.0f, 0, 5), 1200, 191);
    const double expected = 2 * std::atan(std::tan(Radians(stripFov / 4)) * 400 / 180) * 180 / kPi;
    EXPECT_NEAR(close.horizontalFovDegrees, expected, 0.01);
    EXPECT_DOUBLE_EQ(close.pitchDegrees, 5);
    // A tilt past the strip's edge stops where the view's edge meets it.
    const ShareView up = ShareViewForPanorama(Settings(2.0f, 0, 80), 1200, 191);
    EXPECT_NEAR(up.pitchDegrees + VerticalFov(up.horizontalFovDegrees, 16.0 / 9) / 2, stripFov / 2,
                0.01);
    const ShareView down = ShareViewForPanorama(Settings(2.0f, 0, -80), 1200, 191);
    EXPECT_DOUBLE_EQ(down.pitchDegrees, -up.pitchDegrees);
}

TEST(ShareView, CorrectsSettingsAsTheMovieBuildDoes) {
    // The stored defaults (zoom 0.02, pan 2, tilt 2) open as zoom 1.
    const ShareView stored = ShareViewFromMovieSettings(Settings(0.02f, 2, 2));
    EXPECT_EQ(stored.horizontalFovDegrees,
              ShareViewFromMovieSettings(Settings(1.0f, 2, 2)).horizontalFovDegrees);
    EXPECT_DOUBLE_EQ(stored.headingDegrees, 2);
    EXPECT_DOUBLE_EQ(ShareViewFromMovieSettings(Settings(1.5f, 360, 0)).headingDegrees, 0);
    EXPECT_DOUBLE_EQ(ShareViewFromMovieSettings(Settings(1.5f, 400, 0)).headingDegrees, 0);
    EXPECT_DOUBLE_EQ(ShareViewFromMovieSettings(Settings(1.5f, -3, 0)).headingDegrees, 0);
    // Without a size the concave mirrors' strip is assumed.
    const ShareView nominal = ShareViewFromMovieSettings(Settings(1.5f, 10, 3));
    const ShareView concave = ShareViewForPanorama(Settings(1.5f, 10, 3), 11938, 1900);
    EXPECT_NEAR(nominal.horizontalFovDegrees, concave.horizontalFovDegrees, 0.05);
    EXPECT_NEAR(nominal.pitchDegrees, concave.pitchDegrees, 0.05);
    // A zero-sized movie window and a panorama that is no panorama still give a view.
    MovieSettings empty = Settings(1.0f, 0, 0);
    empty.movieWidth = 0;
    const ShareView fallback = ShareViewForPanorama(empty, 2, 0);
    EXPECT_GT(fallback.horizontalFovDegrees, 0);
    EXPECT_LE(fallback.horizontalFovDegrees, 120);
}

}  // namespace
}  // namespace orbelune
