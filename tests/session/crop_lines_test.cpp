#include <gtest/gtest.h>

#include "session/crop_lines.h"

using orbelune::CropLines;

TEST(CropLines, TakesALineWithin79RowsTopFirst) {
    CropLines lines;
    ASSERT_TRUE(lines.Init(500));
    EXPECT_EQ(lines.top(), 0);
    EXPECT_EQ(lines.bottom(), 499);
    EXPECT_TRUE(lines.Press(79));
    EXPECT_EQ(lines.dragState(), CropLines::kTop);
    lines.Release(500);
    EXPECT_FALSE(lines.Press(80));
    EXPECT_EQ(lines.dragState(), CropLines::kNone);
    lines.Release(500);
    EXPECT_TRUE(lines.Press(420));
    EXPECT_EQ(lines.dragState(), CropLines::kBottom);
    lines.Release(500);
    // Both lines near: the top one wins.
    lines.Set(100, 150);
    EXPECT_TRUE(lines.Press(140));
    EXPECT_EQ(lines.dragState(), CropLines::kTop);
    // Moving without a taken line does nothing.
    lines.Release(500);
    EXPECT_FALSE(lines.Move(300));
    EXPECT_EQ(lines.top(), 100);
}

TEST(CropLines, ReleasePutsTheTopLineBackInside) {
    CropLines lines;
    lines.Init(500);
    lines.Press(10);
    lines.Move(-30);
    EXPECT_EQ(lines.top(), -30);  // follows the pointer while dragged
    lines.Release(500);
    EXPECT_EQ(lines.top(), 0);

    lines.Set(0, 301);
    lines.Press(0);
    lines.Move(400);
    lines.Release(500);
    EXPECT_EQ(lines.top(), 150);  // bottom / 2
    EXPECT_EQ(lines.dragState(), CropLines::kNone);
}

TEST(CropLines, ReleasePutsTheBottomLineBackInside) {
    CropLines lines;
    lines.Init(500);
    lines.Press(499);
    lines.Move(620);
    lines.Release(500);
    EXPECT_EQ(lines.bottom(), 499);

    lines.Set(100, 400);
    lines.Press(400);
    lines.Move(50);
    lines.Release(500);
    EXPECT_EQ(lines.bottom(), 300);  // 100 + (500 - 100) / 2
}

TEST(CropLines, ResetKeepsVisibilityAndClearHides) {
    CropLines lines;
    EXPECT_FALSE(lines.Init(0));
    EXPECT_FALSE(lines.shown());
    lines.Init(300);
    lines.Set(20, 200);
    lines.Reset(300);
    EXPECT_TRUE(lines.shown());
    EXPECT_EQ(lines.top(), 0);
    EXPECT_EQ(lines.bottom(), 299);
    lines.Clear();
    EXPECT_FALSE(lines.shown());
    EXPECT_EQ(lines.bottom(), 0);
    // A press shows the lines even when none is taken.
    EXPECT_FALSE(lines.Press(200));
    EXPECT_TRUE(lines.shown());

    EXPECT_EQ(orbelune::RowFromWindowY(50, 0.5), 100);
    EXPECT_EQ(orbelune::RowFromWindowY(50, 0.0), 0);
}
