#include "export/share_page.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "image/file_io.h"

namespace orbelune {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string DecodeBase64(const std::string& text) {
    const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    std::uint32_t group = 0;
    int bits = 0;
    for (const char c : text) {
        if (c == '=') break;
        group = (group << 6) | static_cast<std::uint32_t>(digits.find(c));
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((group >> bits) & 0xFF);
        }
    }
    return bytes;
}

ShareGeometry Geometry() {
    ShareGeometry g;
    g.fullWidth = 720;
    g.fullHeight = 360;
    g.stripHeight = 100;
    g.croppedTop = 130;
    g.latitudeTopDegrees = 25;
    g.latitudeBottomDegrees = -25;
    return g;
}

RgbImage Panorama(int width = 96, int height = 24) {
    RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), 0u);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x)
            image.row(y)[x] = static_cast<std::uint8_t>(x * 7 + y * 3);
    return image;
}

std::set<std::string> Entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

const std::set<std::string> kAllFiles{"index.html",   "panorama.jpg",  "panorama.js",
                                      "pannellum.js", "pannellum.css", "pannellum-LICENSE.txt"};

TEST(SharePageHtml, IsAStandardsPageWithOnlyRelativeLinksAndTheViewOfTheGeometry) {
    ShareView view;
    view.headingDegrees = 270;
    view.pitchDegrees = -5;
    view.horizontalFovDegrees = 60;
    const std::string page = SharePageHtml("Bay", view, Geometry());
    EXPECT_EQ(page.rfind("<!DOCTYPE html>\n", 0), 0u);
    EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(page.find(kSharePageGenerator), std::string::npos);
    EXPECT_NE(page.find("<title>Bay</title>"), std::string::npos);
    // Every link is a neighbour of the page; nothing comes from the network.
    const std::regex link("(src|href)=\"([^\"]*)\"");
    std::set<std::string> targets;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), link);
         it != std::sregex_iterator(); ++it)
        targets.insert((*it)[2]);
    EXPECT_EQ(targets, (std::set<std::string>{"pannellum.css", "pannellum.js", "panorama.jpg"}));
    EXPECT_EQ(page.find("//"), std::string::npos);
    EXPECT_NE(page.find("'panorama.js'"), std::string::npos);
    EXPECT_NE(page.find("'panorama.jpg'"), std::string::npos);
    // The view and the strip's place on the sphere.
    EXPECT_NE(page.find("yaw: -90, pitch: -5, hfov: 60,"), std::string::npos);
    EXPECT_NE(page.find("haov: 360, vaov: 50, vOffset: 0,"), std::string::npos);
    EXPECT_NE(page.find("minPitch: -25, maxPitch: 25, avoidShowingBackground: true"),
              std::string::npos);
    EXPECT_NE(page.find("var viewer = null;"), std::string::npos);
    // The picture's width, for scaling it to what the browser's WebGL can take.
    EXPECT_NE(page.find("var pictureWidth = 720;"), std::string::npos);
    EXPECT_NE(page.find("<noscript>"), std::string::npos);

    // Headings wrap into the viewer's -180..180 with 0 at the picture's centre.
    for (const auto& [heading, yaw] :
         {std::pair{0.0, "yaw: 0,"}, std::pair{90.0, "yaw: 90,"}, std::pair{180.0, "yaw: 180,"},
          std::pair{360.0, "yaw: 0,"}, std::pair{200.5, "yaw: -159.5,"}}) {
        view.headingDegrees = heading;
        EXPECT_NE(SharePageHtml("", view, Geometry()).find(yaw), std::string::npos) << heading;
    }
}

TEST(SharePageHtml, TitleIsEscapedAndMadeValidUtf8) {
    EXPECT_EQ(EscapeHtmlText("a \"b\" <c> & 'd'"), "a &quot;b&quot; &lt;c&gt; &amp; &#39;d&#39;");
    EXPECT_EQ(EscapeHtmlText("two\nlines\r\tand\x7f"), "two lines  and ");
    EXPECT_EQ(EscapeHtmlText("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8C\x85"),
              "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8C\x85");
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(EscapeHtmlText("a\xFFz"), "a" + replacement + "z");
    EXPECT_EQ(EscapeHtmlText("cut \xC3"), "cut " + replacement);
    EXPECT_EQ(EscapeHtmlText("\xC0\xAF"), replacement + replacement);  // overlong '/'
    EXPECT_EQ(EscapeHtmlText("\xED\xA0\x80"), replacement + replacement + replacement);
    const std::string page =
        SharePageHtml("</title><script>x()</script>\n\"", ShareView{}, Geometry());
    EXPECT_NE(page.find("<title>&lt;/title&gt;&lt;script&gt;x()&lt;/script&gt; &quot;</title>"),
              std::string::npos);
    EXPECT_EQ(page.find("<script>x()"), std::string::npos);
}

TEST(SharePictureScript, HoldsTheJpegInBase64) {
    EXPECT_NE(SharePictureScript({}).find("window.orbelunePanorama = \"\";"), std::string::npos);
    const std::uint8_t man[] = {'M', 'a', 'n', 'M', 'a'};
    EXPECT_NE(SharePictureScript(man).find("\"TWFuTWE=\""), std::string::npos);
    EXPECT_NE(SharePictureScript(std::span(man, 1)).find("\"TQ==\""), std::string::npos);
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(255 - i);
    const std::string script = SharePictureScript(all);
    const std::size_t open = script.find('"') + 1;
    EXPECT_EQ(DecodeBase64(script.substr(open, script.rfind('"') - open)),
              std::string(all.begin(), all.end()));
}

class WriteSharePageTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp_.valid()); }
    fs::path In(const std::string& name) const { return fs::path(temp_.path()) / name; }
    ShareResult Share(const fs::path& folder, const std::string& title = "T") {
        SharePageOptions options;
        options.title = title;
        return WriteSharePage(Panorama(), options, folder.string());
    }
    TempFolder temp_;
};

TEST_F(WriteSharePageTest, NewFolderHoldsThePageThePictureAndTheViewerAndNothingElse) {
    const ShareResult result = Share(In("share"), "Shared");
    ASSERT_TRUE(result.ok()) << ShareResultText(result);
    EXPECT_EQ(result.path, In("share").string());
    EXPECT_EQ(Entries(In("share")), kAllFiles);
    EXPECT_EQ(Entries(temp_.path()), std::set<std::string>{"share"});  // no temporary left

    const std::string jpeg = Read(In("share/panorama.jpg"));
    ASSERT_GT(jpeg.size(), 2u);
    EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
    const std::string script = Read(In("share/panorama.js"));
    const std::size_t open = script.find('"') + 1;
    const std::string base64 = script.substr(open, script.rfind('"') - open);
    EXPECT_EQ(DecodeBase64(base64), jpeg);
    EXPECT_NE(Read(In("share/index.html")).find("<title>Shared</title>"), std::string::npos);
    EXPECT_NE(Read(In("share/pannellum.js")).find("Pannellum 2.5"), std::string::npos);
    EXPECT_NE(Read(In("share/pannellum-LICENSE.txt")).find("Permission is hereby granted"),
              std::string::npos);

    // What the page adds besides the picture (and its copy as a script).
    std::uintmax_t added = 0;
    for (const std::string& name : kAllFiles)
        added += fs::file_size(In("share") / name);
    added -= jpeg.size() + base64.size();
    EXPECT_LE(added, 300u * 1024u);

    // A folder made as any other: the mode the umask gives, not a private one.
    struct stat info {};
    ASSERT_EQ(::stat(In("share").c_str(), &info), 0);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0777 & ~mask);
}

TEST_F(WriteSharePageTest, EmptyFolderOrAnEarlierShareIsReplacedFileByFile) {
    fs::create_directory(In("empty"));
    ASSERT_TRUE(Share(In("empty")).ok());
    EXPECT_EQ(Entries(In("empty")), kAllFiles);
    // A trailing slash names the same folder, new or not.
    const ShareResult slashed = Share(In("slashed").string() + "/");
    ASSERT_TRUE(slashed.ok()) << ShareResultText(slashed);
    EXPECT_EQ(slashed.path, In("slashed").string());
    EXPECT_EQ(Entries(In("slashed")), kAllFiles);

    ASSERT_TRUE(Share(In("again"), "First").ok());
    const fs::path page = In("again/index.html");
    const ShareResult second = Share(In("again"), "Second");
    ASSERT_TRUE(second.ok()) << ShareResultText(second);
    EXPECT_NE(Read(page).find("<title>Second</title>"), std::string::npos);
    EXPECT_EQ(Entries(In("again")), kAllFiles);
}

TEST_F(WriteSharePageTest, FolderWithOtherFilesOrAForeignPageIsRefusedUntouched) {
    fs::create_directory(In("photos"));
    Write(In("photos/holiday.jpg"), "mine");
    ShareResult result = Share(In("photos"));
    EXPECT_EQ(result.status, ShareStatus::kFolderNotOurs);
    EXPECT_NE(ShareResultText(result).find(In("photos").string()), std::string::npos);
    EXPECT_EQ(Entries(In("photos")), std::set<std::string>{"holiday.jpg"});

    // Our file names, but an index.html someone else wrote.
    fs::create_directory(In("site"));
    Write(In("site/index.html"), "<html>my site</html>");
    EXPECT_EQ(Share(In("site")).status, ShareStatus::kFolderNotOurs);
    EXPECT_EQ(Read(In("site/index.html")), "<html>my site</html>");

    // An index.html that is a link to another file, or a FIFO: neither is
    // followed nor waited on.
    ASSERT_TRUE(Share(In("linked")).ok());
    Write(In("outside.html"), std::string(kSharePageGenerator));
    fs::remove(In("linked/index.html"));
    fs::create_symlink(In("outside.html"), In("linked/index.html"));
    EXPECT_EQ(Share(In("linked")).status, ShareStatus::kFolderNotOurs);
    EXPECT_EQ(Read(In("outside.html")), std::string(kSharePageGenerator));
    fs::create_directory(In("fifo"));
    ASSERT_EQ(::mkfifo(In("fifo/index.html").c_str(), 0600), 0);
    EXPECT_EQ(Share(In("fifo")).status, ShareStatus::kFolderNotOurs);
}

TEST_F(WriteSharePageTest, BadDestinationsAndPanoramasSayWhyAndLeaveNothing) {
    Write(In("file"), "x");
    ShareResult result = Share(In("file"));
    EXPECT_EQ(result.status, ShareStatus::kNotAFolder);
    EXPECT_EQ(
        ShareResultText(result).rfind(In("file").string() + ": exists and is not a folder", 0), 0u);
    EXPECT_EQ(Read(In("file")), "x");

    result = Share(In("missing/share"));
    EXPECT_EQ(result.status, ShareStatus::kCannotCreate);
    EXPECT_EQ(ShareResultText(result),
              In("missing/share").string() +
                  ": the folder cannot be created (No such file or directory)");

    SharePageOptions options;
    for (const auto& [w, h] : {std::pair{2, 10}, std::pair{0, 0}, std::pair{40, 0}}) {
        RgbImage narrow;
        if (w > 0 && h > 0) {
            ASSERT_EQ(narrow.AllocatePixels(w, h), 0u);
        }
        result = WriteSharePage(narrow, options, In("narrow").string());
        EXPECT_EQ(result.status, ShareStatus::kPanoramaTooSmall) << w << "x" << h;
        EXPECT_NE(ShareResultText(result).find("at least 3 pixels wide"), std::string::npos);
    }
    EXPECT_EQ(Entries(temp_.path()), (std::set<std::string>{"file"}));
}

TEST_F(WriteSharePageTest, AFileThatCannotBeReplacedStopsBeforeThePageChanges) {
    ASSERT_TRUE(Share(In("share"), "Old").ok());
    // A folder where the picture goes: the rename over it fails.
    fs::remove(In("share/panorama.jpg"));
    fs::create_directory(In("share/panorama.jpg"));
    const ShareResult result = Share(In("share"), "New");
    EXPECT_EQ(result.status, ShareStatus::kCannotWrite);
    EXPECT_EQ(result.path, In("share/panorama.jpg").string());
    EXPECT_NE(ShareResultText(result).find("cannot be written ("), std::string::npos);
    EXPECT_NE(Read(In("share/index.html")).find("<title>Old</title>"), std::string::npos);
    for (const std::string& name : Entries(In("share")))
        EXPECT_EQ(name.rfind(".orbelune-", 0), std::string::npos) << name;
}

}  // namespace
}  // namespace orbelune
