#include "export/html_template.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace orbelune {
namespace {

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class HtmlTemplateTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("orbelune_html_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string PathIn(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
};

TEST(HtmlTemplateText, PageHasTheTenLinesWithTheControllerRoomInTheHeight) {
    const std::string expected =
        "<HTML>\n"
        "<HEAD>\n"
        "<TITLE> ring </TITLE>\n"
        "</HEAD>\n"
        "<BODY bgcolor=\"#ffffff\" text=\"#000000\" link=\"#3300cc\" alink=\"#0099cc\" "
        "vlink=\"#0066cc\">\n"
        "\n"
        "<CENTER><EMBED SRC=\"/shots/ring.mov\" WIDTH=\"400\" Height=\"196\" "
        "PLUGINSPAGE=\"http://www.apple.com/quicktime/download/\" HIDDEN=\"FALSE\" "
        "CONTROLLER=\"TRUE\" AUTOPLAY=\"TRUE\"></CENTER>\n"
        "\n"
        "</BODY>\n"
        "</HTML>\n";
    EXPECT_EQ(HtmlTemplateText("ring", "/shots/ring.mov", 400, 180), expected);
}

TEST(HtmlTemplateText, EmptyTitleKeepsBothBlanksAndABareMovieNameIsUsedAsTyped) {
    const std::string page = HtmlTemplateText("", "pano2", 320, 0);
    EXPECT_NE(page.find("\n<TITLE>  </TITLE>\n"), std::string::npos);
    EXPECT_NE(page.find("SRC=\"pano2\" WIDTH=\"320\" Height=\"16\""), std::string::npos);
}

TEST(HtmlTemplateText, TitleAndMovieNameCannotInjectMarkupOrBreakTheLayout) {
    const std::string page =
        HtmlTemplateText("<script>alert(\"x&y\")</script>\nline two", "/a\"b/c&d<e>.mov", 1, 1);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_NE(page.find("<TITLE> &lt;script&gt;alert(&quot;x&amp;y&quot;)&lt;/script&gt; line two "
                        "</TITLE>"),
              std::string::npos);
    EXPECT_NE(page.find("SRC=\"/a&quot;b/c&amp;d&lt;e&gt;.mov\""), std::string::npos);
    int lines = 0;
    for (const char c : page)
        lines += c == '\n';
    EXPECT_EQ(lines, 10);
}

TEST(HtmlTemplateText, LongTitlesAreCutAtTheLimitWithoutSplittingACharacter) {
    const std::string ascii(kMaxHtmlTitle, 'a');
    EXPECT_NE(HtmlTemplateText(ascii, "m", 1, 1).find("<TITLE> " + ascii + " </TITLE>"),
              std::string::npos);
    EXPECT_NE(HtmlTemplateText(ascii + "bcd", "m", 1, 1).find("<TITLE> " + ascii + " </TITLE>"),
              std::string::npos);

    std::string accents;
    for (std::size_t i = 0; i < kMaxHtmlTitle + 20; ++i)
        accents += "\xC3\xA9";  // é, two bytes each
    const std::string kept = accents.substr(0, 2 * kMaxHtmlTitle);
    EXPECT_NE(HtmlTemplateText(accents, "m", 1, 1).find("<TITLE> " + kept + " </TITLE>"),
              std::string::npos);
}

TEST_F(HtmlTemplateTest, WritesCarriageReturnLineFeedsAndReplacesALongerPage) {
    const std::string page = PathIn("ring.html");
    std::ofstream(page) << std::string(5000, 'x');
    ASSERT_EQ(WriteHtmlTemplate(page, "ring", "ring.mov", 400, 180), HtmlWriteResult::kWritten);

    std::string expected;
    for (const char c : HtmlTemplateText("ring", "ring.mov", 400, 180)) {
        if (c == '\n') expected += '\r';
        expected += c;
    }
    EXPECT_EQ(ReadBytes(page), expected);
}

TEST_F(HtmlTemplateTest, BadPathsAreReportedAsInvalidAndWriteNothing) {
    EXPECT_EQ(WriteHtmlTemplate(PathIn("missing/ring.html"), "t", "m", 1, 1),
              HtmlWriteResult::kInvalidPath);
    EXPECT_EQ(WriteHtmlTemplate("", "t", "m", 1, 1), HtmlWriteResult::kInvalidPath);
    EXPECT_EQ(WriteHtmlTemplate(dir_.string(), "t", "m", 1, 1), HtmlWriteResult::kInvalidPath);
    EXPECT_EQ(WriteHtmlTemplate(dir_.string() + "/", "t", "m", 1, 1),
              HtmlWriteResult::kInvalidPath);
    EXPECT_FALSE(std::filesystem::exists(PathIn("missing")));
}

TEST(HtmlTemplateText, MovieNameIsUrlEncodedWhereAUrlWouldMisreadIt) {
    EXPECT_NE(HtmlTemplateText("t", "my pano #2?50%.mov", 1, 1)
                  .find("SRC=\"my%20pano%20%232%3F50%25.mov\""),
              std::string::npos);
    EXPECT_NE(
        HtmlTemplateText("t", "/d/caf\xC3\xA9\\x.mov", 1, 1).find("SRC=\"/d/caf%C3%A9%5Cx.mov\""),
        std::string::npos);
    EXPECT_NE(HtmlTemplateText("t", "a-b_c.d~e/f.mov", 1, 1).find("SRC=\"a-b_c.d~e/f.mov\""),
              std::string::npos);
}

TEST_F(HtmlTemplateTest, ALinkOrAFifoOfThePageNameIsReplacedNotWrittenThrough) {
    const std::string other = PathIn("other.txt");
    std::ofstream(other) << "keep me";
    std::filesystem::create_symlink(other, PathIn("link.html"));
    ASSERT_EQ(WriteHtmlTemplate(PathIn("link.html"), "t", "m", 1, 1), HtmlWriteResult::kWritten);
    EXPECT_EQ(ReadBytes(other), "keep me");
    EXPECT_FALSE(std::filesystem::is_symlink(PathIn("link.html")));
    EXPECT_NE(ReadBytes(PathIn("link.html")).find("<HTML>"), std::string::npos);

    ASSERT_EQ(::mkfifo(PathIn("fifo.html").c_str(), 0600), 0);
    ASSERT_EQ(WriteHtmlTemplate(PathIn("fifo.html"), "t", "m", 1, 1), HtmlWriteResult::kWritten);
    EXPECT_TRUE(std::filesystem::is_regular_file(PathIn("fifo.html")));

    // No temporary file is left beside the pages.
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
        EXPECT_EQ(entry.path().filename().string().rfind(".orbelune-", 0), std::string::npos);
}

TEST_F(HtmlTemplateTest, FailureGivesTheSystemsReason) {
    int error = 0;
    EXPECT_EQ(WriteHtmlTemplate(PathIn("missing/ring.html"), "t", "m", 1, 1, &error),
              HtmlWriteResult::kInvalidPath);
    EXPECT_EQ(error, ENOENT);
    std::filesystem::create_directory(PathIn("taken.html"));
    EXPECT_EQ(WriteHtmlTemplate(PathIn("taken.html"), "t", "m", 1, 1, &error),
              HtmlWriteResult::kInvalidPath);
    EXPECT_EQ(error, EISDIR);
}

}  // namespace
}  // namespace orbelune
