#include <QPushButton>
#include <QTest>

#include "app/artwork.h"
#include "app/main_frame.h"
#include "app/mirror_dlg.h"
#include "app/pano_view.h"
#include "app/round_view.h"
#include "app/start_view.h"
#include "app_fixture.h"

namespace {

using Icon = UiServices::Icon;
// A file in no format we read: named, with the formats that are read.
const QString kGifRefused = QStringLiteral(
    "\"anim.gif\" is not in a format this program reads. It reads BMP, JPEG, PCX, camera raw, "
    "TIFF, PNG, WMF, EMF, HEIF, WebP, PNM and TGA files.\nPlease choose another file.");

class StartViewTest : public AppFixture {
protected:
    void SetUp() override { Start(); }
    COrbeluneView* view() { return app->startView(); }

    void Open(const QString& path) {
        ui.fileNames.push_back(path);
        QTest::mouseClick(view()->openButton(), Qt::LeftButton);
    }
    // What every way out of the open must leave behind.
    void ExpectTaskEnded() {
        EXPECT_FALSE(app->busy());
        EXPECT_EQ(ui.waitDepth, 0);
    }
};

TEST_F(StartViewTest, ClassifiesByProportionsWithExactlyTwoAsARing) {
    EXPECT_EQ(view()->ClassifyImageFile(WriteBmp("two.bmp", 200, 100)), COrbeluneView::kRingPhoto);
    EXPECT_EQ(view()->ClassifyImageFile(WriteBmp("wide.bmp", 201, 100)), COrbeluneView::kPanorama);
    EXPECT_EQ(view()->ClassifyImageFile(WriteBmp("tall.bmp", 30, 100)), COrbeluneView::kRingPhoto);
    EXPECT_EQ(view()->ClassifyImageFile(WriteText("anim.gif", "GIF89a\x01\x00\x01\x00")),
              COrbeluneView::kNotAnImage);
    EXPECT_EQ(view()->ClassifyImageFile(temp.filePath("missing.bmp")), COrbeluneView::kNotAnImage);
}

TEST_F(StartViewTest, DamagedPictureIsCalledDamagedAndClassifyingReadsOnlyTheHeader) {
    // A BMP header claiming 400 x 100 with its pixels missing: the header is
    // enough to tell a panorama, and the decoder then says it is damaged.
    QByteArray header = QByteArrayLiteral("BM");
    header.append(QByteArray(12, '\0'));
    const char info[] = {40, 0, 0, 0, char(0x90), 1, 0, 0, 100, 0, 0, 0, 1, 0, 24, 0};
    header.append(info, sizeof info);
    header.append(QByteArray(30, '\0'));
    const QString path = WriteText("cut.bmp", header);
    EXPECT_EQ(view()->ClassifyImageFile(path), COrbeluneView::kPanorama);
    // A header a probe refuses goes to the decoder for its verdict.
    const QString garbled =
        WriteText("garbled.png", QByteArrayLiteral("\x89PNG\r\n\x1a\n") + QByteArray(60, 'x'));
    Open(garbled);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              QStringLiteral("\"garbled.png\" is a PNG file, but it is damaged (bad PNG file).\n"
                             "Please choose another file."));
    EXPECT_EQ(app->view(), 0);
    ExpectTaskEnded();
}

// A placeable WMF that draws one rectangle over its w x h frame (96 units an inch).
QByteArray Metafile(int w, int h) {
    QByteArray b;
    const auto u16 = [&b](int v) {
        b.append(static_cast<char>(v & 0xFF));
        b.append(static_cast<char>((v >> 8) & 0xFF));
    };
    const auto u32 = [&u16](int v) { u16(v & 0xFFFF), u16(v >> 16); };
    u32(static_cast<int>(0x9AC6CDD7)), u16(0), u16(0), u16(0), u16(w), u16(h), u16(96), u32(0),
        u16(0);
    u16(1), u16(9), u16(0x300), u32(9 + 7 + 3), u16(0), u32(7), u16(0);
    u32(7), u16(0x41B), u16(h), u16(w), u16(0), u16(0);  // RECTANGLE bottom, right, top, left
    u32(3), u16(0);
    return b;
}

TEST_F(StartViewTest, MetafilesAreClassifiedByTheProportionsOfTheirFrame) {
    EXPECT_EQ(view()->ClassifyImageFile(WriteText("square.wmf", Metafile(100, 100))),
              COrbeluneView::kRingPhoto);
    EXPECT_EQ(view()->ClassifyImageFile(WriteText("wide.wmf", Metafile(300, 100))),
              COrbeluneView::kPanorama);
}

TEST_F(StartViewTest, CancelledDialogLeavesEverythingAsItWas) {
    app->SetFile(app->pathName(), QStringLiteral("before.jpg"));
    QTest::mouseClick(view()->openButton(), Qt::LeftButton);
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_FALSE(ui.dialogs[0].save);
    EXPECT_EQ(ui.dialogs[0].title, QStringLiteral("Open a ring photograph or a panorama"));
    EXPECT_TRUE(ui.dialogs[0].filters.startsWith(QStringLiteral("All images (")));
    for (const char* pattern :
         {"*.jpg", "*.png", "*.pcx", "*.tga", "*.heic", "*.webp", "*.dng", "*.pgm"})
        EXPECT_TRUE(ui.dialogs[0].filters.contains(QLatin1String(pattern))) << pattern;
    EXPECT_EQ(app->fileName(), QStringLiteral("before.jpg"));
    EXPECT_EQ(app->view(), 0);
    EXPECT_TRUE(ui.messages.empty());
    ExpectTaskEnded();
}

TEST_F(StartViewTest, FileThatIsNotAnImageIsRefusedOnTheStartView) {
    Open(WriteText("anim.gif", "GIF89a\x01\x00\x01\x00"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, kGifRefused);
    EXPECT_EQ(ui.messages[0].icon, Icon::Stop);
    EXPECT_EQ(app->view(), 0);
    EXPECT_EQ(ui.waitBegins, 1);
    ExpectTaskEnded();
}

TEST_F(StartViewTest, RingPhotographOpensInTheRoundView) {
    const QString path = WriteBmp("ring.bmp", 400, 300);
    Open(path);
    EXPECT_TRUE(ui.messages.empty()) << qPrintable(ui.LastMessage());
    EXPECT_EQ(app->view(), 1);
    EXPECT_EQ(app->frame()->activeView(), app->roundView());
    EXPECT_TRUE(app->roundView()->isVisibleTo(app->frame()));
    EXPECT_EQ(app->fileName(), QStringLiteral("ring.bmp"));
    EXPECT_EQ(app->pathName(), QFileInfo(path).absoluteFilePath());
    ExpectTaskEnded();
}

TEST_F(StartViewTest, PanoramaOpensStraightInThePanoramaView) {
    Open(WriteBmp("strip.bmp", 500, 100));
    EXPECT_TRUE(ui.messages.empty()) << qPrintable(ui.LastMessage());
    EXPECT_EQ(app->view(), 2);
    EXPECT_TRUE(app->panoView()->isVisibleTo(app->frame()));
    ExpectTaskEnded();
}

TEST_F(StartViewTest, LoadFailureInTheTargetViewReturnsToTheStartView) {
    const QString broken = WriteText("broken.bmp", "BM not really a bitmap");
    for (int kind : {COrbeluneView::kRingPhoto, COrbeluneView::kPanorama}) {
        SCOPED_TRACE(kind);
        ui.Clear();
        view()->classifyHook = [kind](const QString&) { return kind; };
        Open(broken);
        // The view's own message tells why; no "not an image" message on top.
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(
            ui.messages[0].text,
            QStringLiteral("\"broken.bmp\" is a BMP file, but it is damaged (bad BMP file)."));
        EXPECT_EQ(app->view(), 0);
        EXPECT_EQ(app->frame()->activeView(), view());
        ExpectTaskEnded();
    }
}

TEST_F(StartViewTest, CommandsWhileBusyGiveTheBusyMessageAndDoNothingElse) {
    int mirrorDialogs = 0;
    app->runMirrorDialog = [&](CMirrorDlg&) {
        ++mirrorDialogs;
        return 0;
    };
    app->SetBusy(true);
    QTest::mouseClick(view()->openButton(), Qt::LeftButton);
    QTest::mouseClick(view()->manualButton(), Qt::LeftButton);
    QTest::mouseClick(view()->mirrorButton(), Qt::LeftButton);
    EXPECT_EQ(ui.beeps, 3);
    ASSERT_EQ(ui.messages.size(), 3u);
    for (const auto& m : ui.messages) {
        EXPECT_EQ(m.text, QStringLiteral("Orbelune is busy doing another task."));
        EXPECT_EQ(m.icon, Icon::Information);
    }
    EXPECT_TRUE(ui.dialogs.empty());
    EXPECT_TRUE(ui.opened.empty());
    EXPECT_EQ(mirrorDialogs, 0);
    EXPECT_TRUE(app->busy());  // still the running task's
}

TEST_F(StartViewTest, ManualOpensFromTheHelpFolderElseFallsBackToTheWebPage) {
    QDir(temp.path()).mkpath(QStringLiteral("help"));
    app->SetHelpDir(temp.filePath(QStringLiteral("help")) + QLatin1Char('/'));
    const QString manual = WriteText(QStringLiteral("help/Orbelune_Manual.pdf"), "%PDF-1.4");
    QTest::mouseClick(view()->manualButton(), Qt::LeftButton);
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0], manual);

    // Nothing can open a file: every manual found is tried, then the web page.
    ui.Clear();
    ui.openSucceeds = false;
    QTest::mouseClick(view()->manualButton(), Qt::LeftButton);
    ASSERT_FALSE(ui.opened.empty());
    EXPECT_EQ(ui.opened.front(), manual);
    EXPECT_EQ(ui.opened.back(), QStringLiteral("https://www.halvarn.com/orbelune/manual/"));
    EXPECT_FALSE(app->busy());
}

TEST_F(StartViewTest, MirrorDialogOkStoresAndReReadsCancelChangesNothing) {
    app->runMirrorDialog = [](CMirrorDlg& dlg) {
        dlg.listBox()->setCurrentRow(2);
        QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
        return dlg.result();
    };
    QTest::mouseClick(view()->mirrorButton(), Qt::LeftButton);
    EXPECT_EQ(store.GetInt("EQUIPMENT", "MIRROR", -9), 2);
    EXPECT_EQ(app->mirror(), 2);

    store.ClearWrites();
    app->runMirrorDialog = [](CMirrorDlg& dlg) {
        dlg.listBox()->setCurrentRow(0);
        QTest::mouseClick(dlg.cancelButton(), Qt::LeftButton);
        return dlg.result();
    };
    QTest::mouseClick(view()->mirrorButton(), Qt::LeftButton);
    EXPECT_TRUE(store.writes().empty());
    EXPECT_EQ(app->mirror(), 2);
}

}  // namespace

TEST_F(StartViewTest, FileGivenAtStartOpensWithoutTheDialogAndWaitsForARunningTask) {
    const QString path = WriteBmp("given.bmp", 400, 300);
    app->SetBusy(true);
    EXPECT_FALSE(view()->OpenFileGivenAtStart(path));
    EXPECT_EQ(app->view(), 0);
    app->SetBusy(false);

    EXPECT_TRUE(view()->OpenFileGivenAtStart(path));
    EXPECT_TRUE(ui.dialogs.empty());
    EXPECT_TRUE(ui.messages.empty()) << qPrintable(ui.LastMessage());
    EXPECT_EQ(app->view(), 1);
    EXPECT_EQ(app->pathName(), QFileInfo(path).absoluteFilePath());
    ExpectTaskEnded();

    // A file that is no picture is refused as the open command refuses it.
    ui.Clear();
    app->SwitchView(0);
    EXPECT_TRUE(view()->OpenFileGivenAtStart(WriteText("anim.gif", "GIF89a\x01\x00\x01\x00")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, kGifRefused);
    ExpectTaskEnded();
}
