#include <gtest/gtest.h>

#include <QTest>

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
    EXPECT_EQ(artwork::MirrorPicture(false).size(), QSize(116, 99));
    EXPECT_NE(artwork::MirrorPicture(false).toImage(), artwork::MirrorPicture(true).toImage());
    EXPECT_EQ(artwork::StartBackground().size(), QSize(760, 540));
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
