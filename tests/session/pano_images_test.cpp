#include <gtest/gtest.h>

#include "session/pano_images.h"

using orbelune::CropOutcome;
using orbelune::PanoImages;
using orbelune::RgbImage;

namespace {

// Every pixel's red byte is its row, so rows can be recognised after a crop.
RgbImage RowCoded(int width, int height) {
    RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), orbelune::err::kNone);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.row(y)[x * 3] = static_cast<std::uint8_t>(y);
            image.row(y)[x * 3 + 1] = static_cast<std::uint8_t>(x);
            image.row(y)[x * 3 + 2] = 77;
        }
    }
    return image;
}

bool SamePixels(const RgbImage& a, const RgbImage& b) {
    return a.width() == b.width() && a.height() == b.height() &&
           std::equal(a.data(), a.data() + a.byteCount(), b.data());
}

}  // namespace

TEST(PanoImages, CropKeepsTheRowsBetweenTheLinesAndUndoesOnce) {
    RgbImage shown = RowCoded(40, 100);
    PanoImages images(shown);
    ASSERT_EQ(orbelune::TakeBase(images), orbelune::err::kNone);
    const RgbImage original = images.base;

    ASSERT_EQ(orbelune::CropToLines(images, 10, 39), CropOutcome::Cropped);
    EXPECT_EQ(shown.width(), 40);
    EXPECT_EQ(shown.height(), 30);
    EXPECT_EQ(shown.row(0)[0], 10);
    EXPECT_EQ(shown.row(29)[0], 39);
    EXPECT_EQ(shown.row(29)[3 * 39 + 1], 39);
    EXPECT_TRUE(SamePixels(images.base, shown));
    EXPECT_TRUE(SamePixels(images.undo, original));

    ASSERT_TRUE(orbelune::UndoCrop(images));
    EXPECT_TRUE(SamePixels(shown, original));
    EXPECT_TRUE(SamePixels(images.base, original));
    EXPECT_TRUE(images.undo.empty());
    EXPECT_FALSE(orbelune::UndoCrop(images));  // one level only
    EXPECT_TRUE(SamePixels(shown, original));
}

TEST(PanoImages, CropEdgeCases) {
    RgbImage shown = RowCoded(8, 50);
    PanoImages images(shown);
    EXPECT_EQ(orbelune::CropToLines(images, 0, 49), CropOutcome::NotReady);  // no base yet
    ASSERT_EQ(orbelune::TakeBase(images), orbelune::err::kNone);

    ASSERT_EQ(orbelune::CropToLines(images, 0, 49), CropOutcome::Cropped);  // untouched lines
    EXPECT_EQ(shown.height(), 50);

    ASSERT_EQ(orbelune::CropToLines(images, 20, 20), CropOutcome::Cropped);
    EXPECT_EQ(shown.height(), 1);
    EXPECT_EQ(shown.row(0)[0], 20);

    // Nothing changes when the lines are wrong.
    RgbImage again = RowCoded(8, 50);
    PanoImages other(again);
    ASSERT_EQ(orbelune::TakeBase(other), orbelune::err::kNone);
    EXPECT_EQ(orbelune::CropToLines(other, 30, 29), CropOutcome::InvalidLines);
    EXPECT_EQ(orbelune::CropToLines(other, -1, 29), CropOutcome::InvalidLines);
    EXPECT_EQ(orbelune::CropToLines(other, 0, 50), CropOutcome::InvalidLines);
    EXPECT_EQ(again.height(), 50);
    EXPECT_EQ(other.base.height(), 50);
    EXPECT_TRUE(other.undo.empty());
}

TEST(PanoImages, AdjustmentsStartFromTheBaseEveryTime) {
    RgbImage shown = RowCoded(16, 12);
    PanoImages images(shown);
    EXPECT_EQ(orbelune::ApplyAdjustments(images, {}), orbelune::err::kBadParam);  // no base
    ASSERT_EQ(orbelune::TakeBase(images), orbelune::err::kNone);
    const RgbImage base = images.base;

    orbelune::PanoAdjustments brighter;
    brighter.brightness = 0.3;
    ASSERT_EQ(orbelune::ApplyAdjustments(images, brighter), orbelune::err::kNone);
    const RgbImage once = shown;
    EXPECT_FALSE(SamePixels(once, base));
    EXPECT_TRUE(SamePixels(images.base, base));
    // Applying the same values again gives the same picture, not a brighter one.
    ASSERT_EQ(orbelune::ApplyAdjustments(images, brighter), orbelune::err::kNone);
    EXPECT_TRUE(SamePixels(shown, once));
    // Going back to neutral gives what neutral gave first, whatever came between.
    ASSERT_EQ(orbelune::ApplyAdjustments(images, {}), orbelune::err::kNone);
    const RgbImage neutral = shown;
    orbelune::PanoAdjustments strong;
    strong.sharpness = 80;
    strong.contrast = -0.4;
    strong.saturation = 250;
    ASSERT_EQ(orbelune::ApplyAdjustments(images, strong), orbelune::err::kNone);
    ASSERT_EQ(orbelune::ApplyAdjustments(images, {}), orbelune::err::kNone);
    EXPECT_TRUE(SamePixels(shown, neutral));
}
