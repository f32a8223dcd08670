// The shared page in a real browser: headless Chromium (WebGL through
// SwiftShader) driven by view_page.js over the DevTools protocol.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include <QApplication>
#include <QDir>

#include "app/orbelune_app.h"
#include "app/pano_view.h"
#include "app/scripted_ui.h"
#include "export/share_page.h"
#include "image/file_io.h"
#include "image/image_format.h"
#include "image/rgb_image.h"
#include "platform/settings_keys.h"
#include "platform/settings_store.h"

namespace orbelune {
namespace {

namespace fs = std::filesystem;

std::string Chromium() {
    const char* given = std::getenv("CHROMIUM");
    const std::string path = given ? given : "/usr/bin/chromium";
    return ::access(path.c_str(), X_OK) == 0 ? path : std::string();
}

std::string Node() {
    for (const char* path : {"/usr/bin/node", "/usr/local/bin/node", "/usr/bin/nodejs"})
        if (::access(path, X_OK) == 0) return path;
    return {};
}

// Left half red with a darker checker, right half blue: the start view and the
// view turned by 180° must show different halves.
RgbImage HalvesPanorama(int width = 720, int height = 180) {
    RgbImage image;
    EXPECT_EQ(image.AllocatePixels(width, height), 0u);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.row(y);
        for (int x = 0; x < width; ++x) {
            const int shade = ((x / 12 + y / 12) % 2) * 40;
            const bool left = x < width / 2;
            row[3 * x + 0] = static_cast<std::uint8_t>(left ? 200 + shade / 2 : 30);
            row[3 * x + 1] = static_cast<std::uint8_t>(left ? 30 + shade : 40 + shade);
            row[3 * x + 2] = static_cast<std::uint8_t>(left ? 30 : 200 + shade / 2);
        }
    }
    return image;
}

struct Colour {
    double red = 0, green = 0, blue = 0;
    int distinct = 0;  // distinct colours seen (a blank picture has one)
};

// Mean colour of the screenshot's middle third (clear of the viewer's buttons
// and title box).
Colour MiddleColour(const RgbImage& shot) {
    Colour mean;
    std::map<int, int> seen;
    long count = 0;
    for (int y = shot.height() / 3; y < 2 * shot.height() / 3; ++y) {
        const std::uint8_t* row = shot.row(y);
        for (int x = shot.width() / 3; x < 2 * shot.width() / 3; ++x) {
            mean.red += row[3 * x];
            mean.green += row[3 * x + 1];
            mean.blue += row[3 * x + 2];
            ++seen[(row[3 * x] >> 4) << 8 | (row[3 * x + 1] >> 4) << 4 | (row[3 * x + 2] >> 4)];
            ++count;
        }
    }
    if (count > 0) {
        mean.red /= count;
        mean.green /= count;
        mean.blue /= count;
    }
    mean.distinct = static_cast<int>(seen.size());
    return mean;
}

// Whether the rows near the top and the bottom of the view show the picture
// rather than the viewer's black background (the middle third of the width,
// clear of the buttons and the title box).
bool FilledTopToBottom(const RgbImage& shot) {
    for (const int y : {shot.height() / 20, shot.height() - 1 - shot.height() / 20}) {
        const std::uint8_t* row = shot.row(y);
        for (int x = shot.width() / 3; x < 2 * shot.width() / 3; ++x)
            if (row[3 * x] + row[3 * x + 1] + row[3 * x + 2] < 60) return false;
    }
    return true;
}

class SharePageBrowser : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.valid());
        chromium_ = Chromium();
        node_ = Node();
        if (chromium_.empty()) GTEST_SKIP() << "chromium not found (install Debian's chromium)";
        if (node_.empty()) GTEST_SKIP() << "node not found (install nodejs)";
        if (!fs::exists(fs::path(ORBELUNE_BROWSER_DIR) / "node_modules/puppeteer-core"))
            GTEST_SKIP() << "puppeteer-core not installed: run `npm ci` in " ORBELUNE_BROWSER_DIR
                            " (make test does)";
        folder_ = temp_.path() + "/My pano #1 50%";  // the page must cope with such a folder
        SharePageOptions options;
        options.title = "Bay <\"&> at dusk";
        // Heading 270 looks at the middle of the left (red) half.
        options.view.headingDegrees = 270;
        options.view.pitchDegrees = 0;
        options.view.horizontalFovDegrees = 60;
        const ShareResult written = WriteSharePage(HalvesPanorama(), options, folder_);
        ASSERT_TRUE(written.ok()) << ShareResultText(written);
    }

    // Runs view_page.js; its "key=value" lines.
    std::map<std::string, std::string> View(const std::string& mode = {}) {
        const std::string command = "'" + node_ + "' '" ORBELUNE_BROWSER_DIR "/view_page.js' '" +
                                    folder_ + "' '" + temp_.path() + "' " + mode + " 2>&1";
        std::map<std::string, std::string> facts;
        std::FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe) return facts;
        std::array<char, 4096> line{};
        std::string all;
        while (std::fgets(line.data(), line.size(), pipe)) {
            std::string text = line.data();
            all += text;
            if (!text.empty() && text.back() == '\n') text.pop_back();
            const std::size_t equals = text.find('=');
            if (equals != std::string::npos)
                facts[text.substr(0, equals)] = text.substr(equals + 1);
        }
        const int status = ::pclose(pipe);
        facts["exit"] = std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        facts["output"] = all;
        return facts;
    }

    RgbImage Shot(const std::string& name) {
        RgbImage shot;
        EXPECT_EQ(shot.LoadImageFile(temp_.path() + "/" + name), 0u) << name;
        return shot;
    }

    std::string chromium_, node_, folder_;
    TempFolder temp_;
};

TEST_F(SharePageBrowser, FromTheFileSystemTheViewerStartsAtTheViewAndTurnsToTheOtherSide) {
    auto facts = View();
    ASSERT_EQ(facts["exit"], "0") << facts["output"];
    EXPECT_EQ(facts["url"], "file:index.html");
    EXPECT_EQ(facts["loaded"], "true") << facts["output"];
    EXPECT_EQ(facts["flat"], "false");
    EXPECT_EQ(facts["error"], "");
    EXPECT_EQ(facts["problems"], "");
    EXPECT_EQ(facts["title"], "Bay <\"&> at dusk");
    EXPECT_NEAR(std::stod(facts["yaw"]), -90, 0.5);
    EXPECT_NEAR(std::stod(facts["pitch"]), 0, 0.5);

    const Colour start = MiddleColour(Shot("start.png"));
    EXPECT_TRUE(FilledTopToBottom(Shot("start.png")));
    EXPECT_GT(start.distinct, 1) << "blank view";
    EXPECT_GT(start.red, start.blue + 80) << start.red << " " << start.green << " " << start.blue;

    EXPECT_NEAR(std::stod(facts["turnedYaw"]), 90, 0.5);
    const Colour turned = MiddleColour(Shot("turned.png"));
    EXPECT_GT(turned.distinct, 1) << "blank view";
    EXPECT_GT(turned.blue, turned.red + 80)
        << turned.red << " " << turned.green << " " << turned.blue;
}

// The batch tool's folder, for a panorama wider than this WebGL can take in
// one piece (SwiftShader: twice 8192): the page scales it down to fit.
TEST_F(SharePageBrowser, TheBatchToolsFolderOfAVeryWidePanoramaOpensToo) {
    const std::string panorama = temp_.path() + "/wide.png";
    ASSERT_EQ(HalvesPanorama(17000, 200).SaveImageFile(panorama, ImageFormat::Png), 0u);
    fs::create_directories(temp_.path() + "/config");
    folder_ = temp_.path() + "/wide share";
    const std::string command = "XDG_CONFIG_HOME='" + temp_.path() +
                                "/config' '" ORBELUNE_BIN_DIR "/orbelune-cli' share '" + panorama +
                                "' -o '" + folder_ + "' --pan 270 --tilt 0 >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    auto facts = View();
    ASSERT_EQ(facts["exit"], "0") << facts["output"];
    EXPECT_EQ(facts["loaded"], "true") << facts["output"];
    EXPECT_EQ(facts["title"], "wide");
    EXPECT_NEAR(std::stod(facts["yaw"]), -90, 0.5);
    // A strip this low needs a narrow view: no empty band above or below.
    EXPECT_TRUE(FilledTopToBottom(Shot("start.png")));
    const Colour start = MiddleColour(Shot("start.png"));
    EXPECT_GT(start.red, start.blue + 80);
    const Colour turned = MiddleColour(Shot("turned.png"));
    EXPECT_GT(turned.blue, turned.red + 80);
}

// The program's own command, as a user reaches it: Share as 360° on a panorama
// in the panorama view, the folder proposed beside the photo, opened in the browser.
TEST_F(SharePageBrowser, TheProgramsShareCommandWritesAPageThatOpens) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "browser_tests";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QApplication> qapp;
    if (!QApplication::instance()) qapp = std::make_unique<QApplication>(argc, argv);

    MemorySettingsStore store;
    store.SetInt(settings::kPan.section, settings::kPan.key, 270);
    store.SetInt(settings::kTilt.section, settings::kTilt.key, 0);
    ScriptedUi ui;
    COrbeluneApp app(store, ui);
    ASSERT_TRUE(app.InitInstance());
    app.SetFile(QString::fromStdString(temp_.path() + "/bay.jpg"), QStringLiteral("bay.jpg"));
    CPanoView* view = app.panoView();
    view->PrepareForNewPanorama();
    app.SwitchView(2);
    view->currentImage() = HalvesPanorama();
    view->InitCropLines();
    view->ShowNewPanorama();

    folder_ = temp_.path() + "/bay_360";
    ui.fileNames.push_back(QString::fromStdString(folder_));
    ui.answers.push_back(UiServices::Answer::Yes);  // open it in the browser now
    view->OnShare360();
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_EQ(ui.dialogs[0].proposed, QString::fromStdString(folder_));
    ASSERT_EQ(ui.opened.size(), 1u) << qPrintable(ui.LastMessage());
    EXPECT_EQ(ui.opened[0], QDir(QString::fromStdString(folder_)).filePath("index.html"));

    auto facts = View();
    ASSERT_EQ(facts["exit"], "0") << facts["output"];
    EXPECT_EQ(facts["loaded"], "true") << facts["output"];
    EXPECT_EQ(facts["title"], "bay");
    EXPECT_NEAR(std::stod(facts["yaw"]), -90, 0.5);
    const Colour start = MiddleColour(Shot("start.png"));
    EXPECT_GT(start.distinct, 1) << "blank view";
    EXPECT_GT(start.red, start.blue + 80);
    const Colour turned = MiddleColour(Shot("turned.png"));
    EXPECT_GT(turned.blue, turned.red + 80);
}

TEST_F(SharePageBrowser, FromAWebServerTheViewerLoadsThePictureFile) {
    auto facts = View("--serve");
    ASSERT_EQ(facts["exit"], "0") << facts["output"];
    EXPECT_EQ(facts["url"], "http:index.html");
    EXPECT_EQ(facts["loaded"], "true") << facts["output"];
    EXPECT_EQ(facts["problems"], "");
    const Colour start = MiddleColour(Shot("start.png"));
    EXPECT_GT(start.red, start.blue + 80);
    const Colour turned = MiddleColour(Shot("turned.png"));
    EXPECT_GT(turned.blue, turned.red + 80);
}

TEST_F(SharePageBrowser, WithoutWebGLOrJavaScriptTheFlatPictureShows) {
    for (const std::string mode : {"--no-webgl", "--no-script"}) {
        auto facts = View(mode);
        ASSERT_EQ(facts["exit"], "0") << mode << facts["output"];
        EXPECT_EQ(facts["loaded"], "false") << mode;
        EXPECT_EQ(facts["flat"], "true") << mode;
        // The flat strip shows both halves side by side.
        const RgbImage shot = Shot("start.png");
        bool red = false, blue = false;
        for (int y = 0; y < shot.height(); y += 4) {
            for (int x = 0; x < shot.width(); x += 4) {
                const std::uint8_t* p = shot.row(y) + 3 * x;
                red = red || (p[0] > 150 && p[2] < 80);
                blue = blue || (p[2] > 150 && p[0] < 80);
            }
        }
        EXPECT_TRUE(red && blue) << mode;
    }
}

}  // namespace
}  // namespace orbelune
