#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "export/panorama_movie.h"
#include "export/toolbox_messages.h"
#include "export/vr_toolbox.h"

namespace orbelune {
namespace {

TEST(ToolboxMessages, TableHasStatusToolboxAndPlatformRows) {
    const auto table = ToolboxMessageTable();
    ASSERT_EQ(table.size(), 147u);
    std::set<int> codes;
    int status = 0, own = 0, platform = 0;
    for (const ToolboxMessage& row : table) {
        EXPECT_TRUE(codes.insert(row.code).second) << "duplicate " << row.code;
        ASSERT_NE(row.text, nullptr);
        EXPECT_GT(std::strlen(row.text), 0u);
        status += row.code >= 0 && row.code <= 2;
        own += row.code >= 4 && row.code <= 90;
        platform += row.code < 0;
    }
    EXPECT_EQ(status, 3);
    EXPECT_EQ(own, 86);
    EXPECT_EQ(platform, 58);
    EXPECT_EQ(codes.count(3), 0u);
    EXPECT_EQ(codes.count(13), 0u);
    // Whole platform ranges are present.
    for (int code = -30555; code <= -30540; ++code)
        EXPECT_EQ(codes.count(code), 1u) << code;
    for (int code = -2209; code <= -2201; ++code)
        EXPECT_EQ(codes.count(code), 1u) << code;
    for (int code = -2109; code <= -2101; ++code)
        EXPECT_EQ(codes.count(code), 1u) << code;
    for (int code = -2097; code <= -2091; ++code)
        EXPECT_EQ(codes.count(code), 1u) << code;
}

TEST(ToolboxMessages, TextsAreVerbatimWithTheirDoubleBlanks) {
    EXPECT_STREQ(FindToolboxMessage(10),
                 "Error creating node.  Illegal node type, node must be pano or obj.");
    EXPECT_STREQ(FindToolboxMessage(32),
                 "Error: Movie FSSpec not defined. Use DefineMovieFile() to define movie file "
                 "before calling CreateMovie().");
    EXPECT_STREQ(FindToolboxMessage(38), FindToolboxMessage(37));
    EXPECT_STREQ(FindToolboxMessage(39),
                 "Error creating stream.  No movie open to add the stream to.");
    EXPECT_STREQ(FindToolboxMessage(-30549), "Error: limitReachedErr");
    EXPECT_STREQ(FindToolboxMessage(-8977), "Error: no memory to use codec.  Please wait.");
    EXPECT_STREQ(FindToolboxMessage(-2005), "Error: bad component type.");
    EXPECT_STREQ(FindToolboxMessage(-108), "Error allocating resource. OS is out of memory.");
    EXPECT_EQ(FindToolboxMessage(-1), nullptr);
    EXPECT_EQ(FindToolboxMessage(91), nullptr);
}

TEST(ToolboxMessages, StatusAndErrorTextCopyRules) {
    CVRPanoMovie toolbox;
    char buffer[200];
    std::memset(buffer, 'x', sizeof buffer);
    // Too small a buffer: 2, and nothing is copied.
    EXPECT_EQ(toolbox.GetErrorText(62, buffer, 100), 2);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(toolbox.GetStatusText(0, buffer, 127), 2);
    EXPECT_EQ(buffer[0], 'x');

    EXPECT_EQ(toolbox.GetErrorText(13, buffer, 128), 1);
    EXPECT_EQ(toolbox.GetErrorText(91, buffer, 128), 1);
    EXPECT_EQ(toolbox.GetStatusText(62, buffer, 128), 1);

    EXPECT_EQ(toolbox.GetErrorText(2, buffer, 128), 0);
    EXPECT_STREQ(buffer, "Toolbox not initialized.  Call Init() before using toolbox functions.");
    EXPECT_EQ(toolbox.GetStatusText(1, buffer, 128), 0);
    EXPECT_STREQ(buffer, "An unfinished/non-implemented function has been called.");
    EXPECT_EQ(toolbox.GetErrorText(-2022, buffer, 128), 0);
    EXPECT_STREQ(buffer, "Error: can't create single fork file.  The file already exists.");
}

TEST(ToolboxMessages, CopyTextNeverOverrunsTheBuffer) {
    CVRPanoMovie toolbox;
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(toolbox.CopyText("a long text", buffer, 5), 0);
    EXPECT_STREQ(buffer, "a lo");
    EXPECT_EQ(buffer[5], 'x');
    EXPECT_EQ(toolbox.CopyText(nullptr, buffer, 5), 0);
    EXPECT_STREQ(buffer, "");
}

TEST(ToolboxMessages, ErrorTextForTheSaveFailedMessage) {
    EXPECT_EQ(ToolboxErrorText(85), "Error: movie file not created.");
    EXPECT_EQ(ToolboxErrorText(0), "Operation completed successfully");
    EXPECT_EQ(ToolboxErrorText(-1), "Error #-1");
    EXPECT_EQ(ToolboxErrorText(13), "Error #13");
}

}  // namespace
}  // namespace orbelune
