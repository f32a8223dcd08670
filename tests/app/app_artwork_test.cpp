#include <gtest/gtest.h>

#include <QTest>
#include <vector>

#include "app/artwork.h"

namespace {

using artwork::ButtonId;

TEST(ArtworkTest, EveryButtonHasTwoDistinctFacesOfOneSizeAndTheButtonTakesIt) {
    for (ButtonId id :
         {ButtonId::Open, ButtonId::Manual, ButtonId::Mirror, ButtonId::Unwarp, ButtonId::Back,
          ButtonId::Reset, ButtonId::Undo, ButtonId::Crop, ButtonId::SavePanorama,
          ButtonId::SaveMovie, ButtonId::StartOver, ButtonId::PanoBack}) {
        SCOPED_TRACE(static_cast<int>(id));
        const QImage normal = artwork::ButtonFace(id, false).toImage();
        const QImage pressed = artwork::ButtonFace(id, true).toImage();
        ASSERT_FALSE(normal.isNull());
        EXPECT_EQ(normal.size(), pressed.size());
        EXPECT_NE(normal, pressed);
        ImageButton button(id);
        EXPECT_EQ(button.size(), normal.size());
    }
    EXPECT_EQ(artwork::ButtonFace(ButtonId::Unwarp, false).size(), QSize(139, 62));
    EXPECT_EQ(artwork::ButtonFace(ButtonId::Back, false).size(), QSize(87, 40));
    EXPECT_EQ(artwork::StartBackground().size(), QSize(760, 540));
}

// Share of the pixels in which two pictures of one size differ.
double DifferingShare(const QImage& a, const QImage& b) {
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            differing += a.pixel(x, y) != b.pixel(x, y);
    }
    return static_cast<double>(differing) / (a.width() * a.height());
}

TEST(ArtworkTest, EachMirrorKindHasAPictureOfItsOwn) {
    // Concave standard, concave threaded, convex standard, convex threaded, custom.
    std::vector<QImage> pictures;
    for (int type = 0; type <= 4; ++type) {
        pictures.push_back(artwork::MirrorPictureFor(type).toImage());
        ASSERT_EQ(pictures.back().size(), QSize(116, 99)) << type;
    }
    EXPECT_EQ(pictures[1], artwork::MirrorPicture(true, false).toImage());
    EXPECT_EQ(pictures[2], artwork::MirrorPicture(false, true).toImage());
    EXPECT_EQ(pictures[4], artwork::CustomMirrorPicture().toImage());
    // Every pair differs in more than a few pixels: a bowl is not a dome, a
    // thread not a clamp.
    for (int a = 0; a < 5; ++a) {
        for (int b = a + 1; b < 5; ++b) {
            EXPECT_GT(DifferingShare(pictures[a], pictures[b]), 0.04) << a << " vs " << b;
        }
    }
    // The mirror itself (top of the card) differs between the two kinds; the
    // mount (lower part) between the two fittings.
    const QRect mirrorPart(10, 2, 90, 30), mountPart(10, 56, 100, 20);
    EXPECT_NE(pictures[0].copy(mirrorPart), pictures[2].copy(mirrorPart));
    EXPECT_EQ(pictures[0].copy(mountPart), pictures[2].copy(mountPart));
    EXPECT_NE(pictures[0].copy(mountPart), pictures[1].copy(mountPart));
    EXPECT_TRUE(artwork::MirrorPictureFor(5).isNull());
    EXPECT_TRUE(artwork::MirrorPictureFor(-1).isNull());
}

TEST(ArtworkTest, ImageButtonShowsThePressedFaceWhileHeldAndClicksOnRelease) {
    ImageButton button(ButtonId::Crop);
    int clicks = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++clicks; });
    QTest::mousePress(&button, Qt::LeftButton);
    // A point on the face's plain fill, left of the glyph.
    const QPoint probe(6, button.height() / 2);
    const QImage pressed = artwork::ButtonFace(ButtonId::Crop, true).toImage();
    const QImage normal = artwork::ButtonFace(ButtonId::Crop, false).toImage();
    ASSERT_NE(pressed.pixel(probe), normal.pixel(probe));
    EXPECT_EQ(button.grab().toImage().pixel(probe), pressed.pixel(probe));
    EXPECT_EQ(clicks, 0);
    QTest::mouseRelease(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST(ArtworkTest, EnterPressesAFocusedImageButton) {
    ImageButton button(ButtonId::Crop);
    int clicks = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++clicks; });
    QTest::keyClick(&button, Qt::Key_Return);
    QTest::keyClick(&button, Qt::Key_Enter);
    EXPECT_EQ(clicks, 2);
    button.setEnabled(false);
    QTest::keyClick(&button, Qt::Key_Return);
    EXPECT_EQ(clicks, 2);
}

}  // namespace
