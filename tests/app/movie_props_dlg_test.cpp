#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/movie_props_dlg.h"
#include "app/orbelune_app.h"
#include "platform/settings_store.h"
#include "scripted_ui.h"

namespace {

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class MoviePropsDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("orbelune_props_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // A dialog filled the way the panorama view fills it, from the start-up defaults.
    std::unique_ptr<CMoviePropsDlg> Open(int codec = 2, int tiles = 2, float zoom = 0.02f,
                                         int tilt = 2) {
        auto dlg = std::make_unique<CMoviePropsDlg>(app);
        dlg->m_nMovieWidth = 400;
        dlg->m_nMovieHeight = 180;
        dlg->m_nPanoWidth = 2000;
        dlg->m_nPanoHeight = 500;
        dlg->m_nCodec = codec;
        dlg->m_nQuality = 1;
        dlg->m_nCorrection = 2;
        dlg->m_fZoom = zoom;
        dlg->m_nPan = 2;
        dlg->m_nTilt = tilt;
        dlg->m_nTiles = tiles;
        dlg->m_strMovieFile = Path("ring.mov");
        dlg->m_strReferencePath = Path("ring.mov");
        dlg->m_strHtmlFile = QStringLiteral("ring.html");
        dlg->m_strTitle = QStringLiteral("ring");
        dlg->OnInitDialog();
        return dlg;
    }
    QString Path(const std::string& name) const {
        return QString::fromStdString((dir / name).string());
    }
    static void Type(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    static void Choose(QComboBox* combo, int index) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    static void Drag(QSlider* slider, int position) {
        slider->setSliderDown(true);
        slider->setSliderPosition(position);
        slider->setSliderDown(false);
    }

    orbelune::MemorySettingsStore store;
    ScriptedUi ui;
    COrbeluneApp app{store, ui};
    std::filesystem::path dir;
};

TEST_F(MoviePropsDlgTest, StartUpDefaultsOpenCorrectedWithTheHtmlPartOff) {
    auto dlg = Open();
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Save Movie Properties"));
    EXPECT_EQ(dlg->zoomEdit()->text(), QStringLiteral("1"));
    EXPECT_EQ(dlg->zoomSlider()->value(), 100);
    EXPECT_EQ(dlg->panEdit()->text(), QStringLiteral("2"));
    EXPECT_EQ(dlg->tiltEdit()->text(), QStringLiteral("2"));
    EXPECT_EQ(dlg->tilesEdit()->text(), QStringLiteral("1"));
    EXPECT_EQ(dlg->tilesSlider()->value(), 0);
    EXPECT_EQ(dlg->codecCombo()->currentText(), QStringLiteral("Cinepak"));
    EXPECT_EQ(dlg->qualityCombo()->currentText(), QStringLiteral("Low"));
    EXPECT_EQ(dlg->correctionCombo()->currentText(), QStringLiteral("Full Correction"));
    EXPECT_FALSE(dlg->generateHtmlCheck()->isChecked());
    EXPECT_FALSE(dlg->htmlFileEdit()->isEnabled());
    EXPECT_FALSE(dlg->titleEdit()->isEnabled());
    EXPECT_FALSE(dlg->htmlBrowseButton()->isEnabled());
    EXPECT_TRUE(dlg->saveButton()->isEnabled());

    QTest::mouseClick(dlg->generateHtmlCheck(), Qt::LeftButton);
    EXPECT_TRUE(dlg->m_bGenerateHtml);
    EXPECT_TRUE(dlg->htmlFileEdit()->isEnabled());
    EXPECT_TRUE(dlg->htmlBrowseButton()->isEnabled());
}

TEST_F(MoviePropsDlgTest, TiltLimitsComeFromTheStoredMirror) {
    store.SetInt("EQUIPMENT", "MIRROR", 2);
    auto convex = Open(2, 2, 1.0f, 30);
    EXPECT_EQ(convex->tiltSlider()->minimum(), -40);
    EXPECT_EQ(convex->tiltSlider()->maximum(), 60);
    EXPECT_EQ(convex->tiltMinLabel()->text(), QStringLiteral("-40"));
    EXPECT_EQ(convex->tiltEdit()->text(), QStringLiteral("30"));

    store.SetInt("EQUIPMENT", "MIRROR", 0);
    auto concave = Open(2, 2, 1.0f, 30);
    EXPECT_EQ(concave->tiltSlider()->minimum(), -35);
    EXPECT_EQ(concave->tiltMaxLabel()->text(), QStringLiteral("17"));
    EXPECT_EQ(concave->m_nTilt, 0);
    EXPECT_EQ(concave->tiltEdit()->text(), QStringLiteral("0"));

    // The custom mirror: the range of its stored elevations, whichever is larger.
    store.SetInt("EQUIPMENT", "MIRROR", 4);
    store.SetInt("EQUIPMENT", "CUSTOM_OUTER_ELEVATION", -20);
    store.SetInt("EQUIPMENT", "CUSTOM_INNER_ELEVATION", 35);
    auto custom = Open(2, 2, 1.0f, 30);
    EXPECT_EQ(custom->tiltSlider()->minimum(), -20);
    EXPECT_EQ(custom->tiltSlider()->maximum(), 35);
    EXPECT_EQ(custom->m_nTilt, 30);
}

TEST_F(MoviePropsDlgTest, NeverStoresAMovieSizeTheBuildRefuses) {
    // A size stored by the old limit opens as the largest the movie can hold.
    auto dlg = std::make_unique<CMoviePropsDlg>(app);
    dlg->m_nMovieWidth = 65535;
    dlg->m_nMovieHeight = 0;
    dlg->m_nCodec = 2;
    dlg->m_nQuality = 1;
    dlg->m_nCorrection = 2;
    dlg->m_strMovieFile = Path("ring.mov");
    dlg->m_strReferencePath = Path("ring.mov");
    dlg->OnInitDialog();
    EXPECT_EQ(dlg->movieWidthEdit()->text(), QString::number(orbelune::kMaxMovieSide));
    EXPECT_EQ(dlg->movieHeightEdit()->text(), QStringLiteral("180"));

    // One above the limit is refused at Save Movie with the limit in the text.
    dlg->movieWidthEdit()->setText(QString::number(orbelune::kMaxMovieSide + 1));
    QTest::mouseClick(dlg->saveButton(), Qt::LeftButton);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.LastMessage(), QStringLiteral("Please enter an integer between 1 and 32767."));
    EXPECT_NE(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->movieWidthEdit()->text(), QString::number(orbelune::kMaxMovieSide));

    // What the dialog confirms, the build takes.
    ui.Clear();
    QTest::mouseClick(dlg->saveButton(), Qt::LeftButton);
    ASSERT_EQ(dlg->result(), QDialog::Accepted) << ui.LastMessage().toStdString();
    orbelune::MovieSettings confirmed;
    confirmed.movieWidth = confirmed.confirmedWidth = dlg->m_nMovieWidth;
    confirmed.movieHeight = confirmed.confirmedHeight = dlg->m_nMovieHeight;
    EXPECT_EQ(orbelune::movie_props::SettingsProblem(confirmed), "");
}

TEST_F(MoviePropsDlgTest, SlidersDriveZoomPanAndTilt) {
    auto dlg = Open(2, 2, 1.5f);
    EXPECT_EQ(dlg->zoomSlider()->value(), 150);
    dlg->zoomSlider()->setValue(137);
    EXPECT_EQ(dlg->zoomEdit()->text(), QStringLiteral("1.37"));
    EXPECT_FLOAT_EQ(dlg->m_fZoom, 1.37f);
    dlg->panSlider()->setValue(270);
    EXPECT_EQ(dlg->m_nPan, 270);
    EXPECT_EQ(dlg->panEdit()->text(), QStringLiteral("270"));
    dlg->tiltSlider()->setValue(-20);
    EXPECT_EQ(dlg->m_nTilt, -20);

    auto tooFar = Open(2, 2, 2.5f);
    EXPECT_EQ(tooFar->zoomSlider()->value(), 100);
}

TEST_F(MoviePropsDlgTest, TilesSnapToOneOrRowsOfFour) {
    auto dlg = Open(0, 4);
    QSlider* tiles = dlg->tilesSlider();
    dlg->show();
    tiles->setFocus();
    QTest::keyClick(tiles, Qt::Key_Right);
    EXPECT_EQ(dlg->m_nTiles, 8);
    EXPECT_EQ(tiles->value(), 8);
    QTest::keyClick(tiles, Qt::Key_Left);
    EXPECT_EQ(dlg->m_nTiles, 4);
    QTest::keyClick(tiles, Qt::Key_Left);
    EXPECT_EQ(dlg->m_nTiles, 1);
    EXPECT_EQ(tiles->value(), 0);
    EXPECT_EQ(dlg->tilesEdit()->text(), QStringLiteral("1"));

    Drag(tiles, 6);
    EXPECT_EQ(dlg->m_nTiles, 4);
    Drag(tiles, 7);
    EXPECT_EQ(dlg->m_nTiles, 8);
    EXPECT_EQ(tiles->value(), 8);
    Drag(tiles, 2);
    EXPECT_EQ(dlg->m_nTiles, 1);
    EXPECT_EQ(tiles->value(), 0);
}

TEST_F(MoviePropsDlgTest, SorensonNeedsFourTilesAndLeavingItResetsToOne) {
    auto dlg = Open(2, 1);
    Choose(dlg->codecCombo(), 4);
    EXPECT_EQ(dlg->m_nTiles, 4);
    EXPECT_EQ(dlg->tilesSlider()->minimum(), 4);
    Drag(dlg->tilesSlider(), 12);
    EXPECT_EQ(dlg->m_nTiles, 12);
    Choose(dlg->codecCombo(), 0);
    EXPECT_EQ(dlg->m_nTiles, 1);
    EXPECT_EQ(dlg->tilesSlider()->minimum(), 0);
    EXPECT_EQ(dlg->tilesSlider()->value(), 0);

    // Opened on Sorenson: dragging to 0 after choosing another codec gives 4.
    auto sorenson = Open(4, 8);
    EXPECT_EQ(sorenson->m_nTiles, 8);
    Choose(sorenson->codecCombo(), 0);
    EXPECT_EQ(sorenson->m_nTiles, 1);
    Drag(sorenson->tilesSlider(), 0);
    EXPECT_EQ(sorenson->m_nTiles, 4);
    EXPECT_EQ(sorenson->tilesSlider()->value(), 4);
}

TEST_F(MoviePropsDlgTest, TypedComboTextIsNoSelection) {
    const struct {
        int combo;
        const char* message;
    } cases[] = {{0, "Please select a valid compressor."},
                 {1, "Please select a valid compression quality."},
                 {2, "Please select a valid correction mode."}};
    for (const auto& c : cases) {
        auto dlg = Open();
        QComboBox* combo = c.combo == 0   ? dlg->codecCombo()
                           : c.combo == 1 ? dlg->qualityCombo()
                                          : dlg->correctionCombo();
        Type(combo->lineEdit(), combo->itemText(1));
        ui.Clear();
        QTest::mouseClick(dlg->saveButton(), Qt::LeftButton);
        ASSERT_EQ(ui.messages.size(), 1u) << c.message;
        EXPECT_EQ(ui.LastMessage(), QString::fromLatin1(c.message));
        EXPECT_EQ(ui.messages.back().icon, UiServices::Icon::Stop);
        EXPECT_EQ(dlg->result(), QDialog::Rejected);
    }
}

TEST_F(MoviePropsDlgTest, BareMovieNameIsCompletedAndProposesPageAndTitle) {
    auto dlg = Open();
    Type(dlg->movieFileEdit(), QStringLiteral("pano2"));
    EXPECT_EQ(dlg->htmlFileEdit()->text(), QStringLiteral("pano2.html"));
    EXPECT_EQ(dlg->titleEdit()->text(), QStringLiteral("pano2"));
    dlg->movieFileEdit()->clear();
    EXPECT_FALSE(dlg->saveButton()->isEnabled());
    Type(dlg->movieFileEdit(), QStringLiteral("pano2"));
    EXPECT_TRUE(dlg->saveButton()->isEnabled());

    ui.Clear();
    QTest::mouseClick(dlg->saveButton(), Qt::LeftButton);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->m_strMovieFile, Path("pano2.mov"));
    EXPECT_EQ(dlg->m_nCodec, 2);
    EXPECT_EQ(dlg->m_nQuality, 1);
    EXPECT_EQ(dlg->m_nCorrection, 2);
}

TEST_F(MoviePropsDlgTest, OnlyTheUsersOwnEditsStopTheProposals) {
    auto dlg = Open();
    QTest::mouseClick(dlg->generateHtmlCheck(), Qt::LeftButton);
    Type(dlg->htmlFileEdit(), QStringLiteral("web.html"));
    EXPECT_EQ(dlg->titleEdit()->text(), QStringLiteral("web"));
    Type(dlg->movieFileEdit(), QStringLiteral("pano3"));
    EXPECT_EQ(dlg->htmlFileEdit()->text(), QStringLiteral("web.html"));
    EXPECT_EQ(dlg->titleEdit()->text(), QStringLiteral("web"));
    Type(dlg->titleEdit(), QStringLiteral("My hill"));
    Type(dlg->htmlFileEdit(), QStringLiteral("other.html"));
    EXPECT_EQ(dlg->titleEdit()->text(), QStringLiteral("My hill"));
}

TEST_F(MoviePropsDlgTest, NoToTheOverwriteQuestionLeavesAnExistingPageUntouched) {
    std::ofstream(dir / "ring.mov") << "old movie";
    std::ofstream(dir / "ring.html") << "old page";
    auto dlg = Open();
    QTest::mouseClick(dlg->generateHtmlCheck(), Qt::LeftButton);
    Type(dlg->titleEdit(), QStringLiteral("Hill & <sea>"));
    Type(dlg->movieWidthEdit(), QStringLiteral("640"));

    ui.answers.push_back(UiServices::Answer::No);
    QTest::mouseClick(dlg->saveButton(), Qt::LeftButton);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.LastMessage(),
              QStringLiteral("A movie file by that name already exists in this directory. "
                             "Overwrite?"));
    EXPECT_EQ(ui.messages.back().buttons, UiServices::Buttons::YesNo);
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_EQ(ReadText(dir / "ring.html"), "old page");

    // Yes confirms; the page waits for the movie build.
    ui.answers.push_back(UiServices::Answer::Yes);
    QTest::mouseClick(dlg->saveButton(), Qt::LeftButton);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->m_nMovieWidth, 640);
    EXPECT_EQ(ReadText(dir / "ring.html"), "old page");
    const MoviePages& pages = dlg->pages();
    EXPECT_TRUE(pages.html);
    EXPECT_FALSE(pages.sharePage);
    EXPECT_EQ(pages.htmlPath, Path("ring.html"));
    EXPECT_EQ(pages.movieSrc, Path("ring.mov"));

    // Written after the build, beside the movie, with the page's usual text.
    WriteMoviePages(app, dlg.get(), pages, orbelune::RgbImage(), orbelune::MovieSettings());
    const std::string page = ReadText(dir / "ring.html");
    EXPECT_NE(page.find("<TITLE> Hill &amp; &lt;sea&gt; </TITLE>\r\n"), std::string::npos);
    EXPECT_NE(page.find("SRC=\"" + Path("ring.mov").toStdString() +
                        "\" WIDTH=\"640\" "
                        "Height=\"196\""),
              std::string::npos);
}

TEST_F(MoviePropsDlgTest, SharePageTickBoxAsksForTheFolderBesideTheMovie) {
    auto dlg = Open();
    EXPECT_FALSE(dlg->sharePageCheck()->isChecked());
    EXPECT_EQ(dlg->sharePageCheck()->text(),
              QStringLiteral("Also write a web page that works in today's browsers"));
    QTest::mouseClick(dlg->sharePageCheck(), Qt::LeftButton);
    Type(dlg->movieFileEdit(), QStringLiteral("my hill #2"));
    QTest::mouseClick(dlg->saveButton(), Qt::LeftButton);
    ASSERT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_TRUE(dlg->pages().sharePage);
    EXPECT_FALSE(dlg->pages().html);
    EXPECT_EQ(dlg->pages().shareFolder, Path("my hill #2_360"));
    EXPECT_EQ(dlg->pages().title, QStringLiteral("my hill #2"));
    // Typed as a bare name, linked as a URL.
    EXPECT_EQ(dlg->pages().movieSrc, QStringLiteral("my hill #2"));
}

TEST_F(MoviePropsDlgTest, UnwritablePagesAreReported) {
    auto dlg = Open();
    QTest::mouseClick(dlg->generateHtmlCheck(), Qt::LeftButton);
    QTest::mouseClick(dlg->sharePageCheck(), Qt::LeftButton);
    Type(dlg->htmlFileEdit(), Path("missing/page.html"));
    QTest::mouseClick(dlg->saveButton(), Qt::LeftButton);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(dlg->result(), QDialog::Accepted);

    std::ofstream(dir / "ring_360") << "a file";
    orbelune::RgbImage panorama;
    ASSERT_EQ(panorama.AllocatePixels(64, 16), 0u);
    WriteMoviePages(app, dlg.get(), dlg->pages(), panorama, orbelune::MovieSettings());
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text,
              QStringLiteral("Generation of HTML Template failed. Path or file name is not "
                             "valid.  Please try again with a different filename."));
    EXPECT_EQ(ui.messages[1].text, QStringLiteral("The web page could not be written.\n\n") +
                                       Path("ring_360") +
                                       QStringLiteral(": exists and is not a folder; choose a "
                                                      "new name for the web page folder"));
    EXPECT_EQ(ui.messages[1].icon, UiServices::Icon::Stop);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST_F(MoviePropsDlgTest, MovieSizeMustBeAWholeNumber) {
    auto dlg = Open();
    dlg->movieHeightEdit()->clear();
    QTest::mouseClick(dlg->saveButton(), Qt::LeftButton);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.LastMessage().startsWith(QStringLiteral("Please enter an integer")));
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_EQ(dlg->m_nMovieHeight, 180);
}

TEST_F(MoviePropsDlgTest, BrowsingTakesTheNameAndWarnsWhenItIsHeld) {
    auto dlg = Open();
    const QString held = Path("held.mov");
    std::ofstream(held.toStdString()) << "x";
    const int fd = ::open(held.toStdString().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    ui.fileNames.push_back(held);
    dlg->OnBrowseMovie();
    ::close(fd);
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_EQ(ui.dialogs[0].title,
              QStringLiteral("Save current image to a quicktime VR movie file"));
    EXPECT_EQ(ui.dialogs[0].proposed, Path("ring.mov"));
    EXPECT_EQ(ui.LastMessage(),
              QStringLiteral("File is busy in another application.  Please close the file or "
                             "choose a different name for the file."));
    EXPECT_EQ(dlg->movieFileEdit()->text(), held);
    EXPECT_EQ(dlg->htmlFileEdit()->text(), QStringLiteral("held.html"));

    ui.fileNames.push_back(Path("site/index.html"));
    dlg->OnBrowseHtml();
    EXPECT_EQ(ui.dialogs.back().title, QStringLiteral("Embed QuickTime movie in HTML Template"));
    EXPECT_EQ(dlg->htmlFileEdit()->text(), Path("site/index.html"));
    EXPECT_EQ(dlg->titleEdit()->text(), QStringLiteral("index"));
    EXPECT_TRUE(dlg->m_bHtmlNameEdited);
}

TEST_F(MoviePropsDlgTest, CancelReleasesTheBusyFlag) {
    auto dlg = Open();
    app.SetBusy(true);
    QTest::mouseClick(dlg->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(app.busy());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

}  // namespace
