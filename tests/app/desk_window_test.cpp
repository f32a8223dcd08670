#include <unistd.h>
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include "app/about_dlg.h"
#include "app/artwork.h"
#include "app/folder_memory_ui.h"
#include "app/main_frame.h"
#include "app/mirror_dlg.h"
#include "app/movie_props_dlg.h"
#include "app/pano_view.h"
#include "app/pano_wnd.h"
#include "app/recent_files.h"
#include "app/round_view.h"
#include "app/round_wnd.h"
#include "app/start_view.h"
#include "app/workflow.h"
#include "app_fixture.h"

namespace {

class DeskWindowTest : public AppFixture {
protected:
    void SetUp() override { Start(); }
    CMainFrame* frame() { return app->frame(); }
    COrbeluneView* start() { return app->startView(); }

    // Sends a drop of `urls` onto the frame; true when it was taken.
    bool Drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(frame(), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame(), &drop);
        QCoreApplication::processEvents();
        return drop.isAccepted();
    }
    std::string Encoded(const QString& path) {
        return QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString();
    }
    // A 60 x 20 panorama shown in the panorama view.
    void ShowPanorama() {
        app->SwitchView(2);
        ASSERT_EQ(app->panoView()->currentImage().AllocatePixels(60, 20), orbelune::err::kNone);
        app->panoView()->InitCropLines();
        app->panoView()->ShowNewPanorama();
    }
};

TEST_F(DeskWindowTest, WindowStartsAtTheViewSizeAndTheImageAreasGrowWithIt) {
    frame()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame()));
    EXPECT_FALSE(frame()->windowFlags().testFlag(Qt::MSWindowsFixedSizeDialogHint));
    EXPECT_LT(frame()->minimumSize().width(), frame()->maximumSize().width());
    EXPECT_EQ(frame()->clientRect().size(), QSize(760, 540));
    EXPECT_EQ(frame()->minimumSize(), frame()->size());

    const QSize roundBefore = app->roundView()->imageWnd()->size();
    const QPoint unwarpBefore = app->roundView()->unwarpButton()->pos();
    const QPoint findBefore = app->roundView()->findRingButton()->pos();
    const QSize panoBefore = app->panoView()->imageWnd()->size();
    const QPoint openBefore = start()->openButton()->pos();
    frame()->resize(1600, 1000);
    const QSize gained = frame()->clientRect().size() - QSize(760, 540);
    EXPECT_EQ(start()->geometry(), frame()->clientRect());
    EXPECT_EQ(start()->openButton()->pos(),
              openBefore + QPoint(gained.width() / 2, gained.height() / 2));
    EXPECT_EQ(frame()->statusBar()->geometry().bottom(), frame()->height() - 1);

    app->SwitchView(1);
    EXPECT_EQ(app->roundView()->geometry(), frame()->clientRect());
    EXPECT_EQ(app->roundView()->imageWnd()->size(), roundBefore + gained);
    // The instructions' panel right of the photo moves with the buttons on it, and
    // the row under the photo keeps its controls together: none is pulled apart.
    EXPECT_EQ(app->roundView()->unwarpButton()->pos(), unwarpBefore + QPoint(gained.width(), 0));
    EXPECT_EQ(app->roundView()->findRingButton()->pos(), findBefore + QPoint(0, gained.height()));
    {
        const QImage shown = app->roundView()->grab().toImage();
        const QImage designed = artwork::RoundBackground().toImage();
        const QPoint inPanel(563, 300);  // the panel's plain margin, right of the cut
        EXPECT_EQ(shown.pixel(inPanel + QPoint(gained.width(), 0)), designed.pixel(inPanel));
    }
    app->SwitchView(2);
    EXPECT_EQ(app->panoView()->imageWnd()->size(), panoBefore + gained);
    // The buttons right of the picture stay beside it.
    EXPECT_GE(app->panoView()->findChildren<QAbstractButton*>().size(), 1);

    // Back at the designed size everything is where it was drawn.
    frame()->resize(frame()->minimumSize());
    EXPECT_EQ(app->panoView()->imageWnd()->size(), panoBefore);
    app->SwitchView(0);
    EXPECT_EQ(start()->openButton()->pos(), openBefore);
}

TEST_F(DeskWindowTest, SizeAndMaximisedStateAreRememberedAcrossRuns) {
    frame()->resize(1200, 800);
    QCloseEvent close;
    QApplication::sendEvent(frame(), &close);
    ASSERT_TRUE(close.isAccepted());
    EXPECT_EQ(store.GetInt("WINDOW", "WIDTH", 0), 1200);
    EXPECT_EQ(store.GetInt("WINDOW", "HEIGHT", 0), 800);
    EXPECT_EQ(store.GetInt("WINDOW", "MAXIMISED", -1), 0);

    app.reset();
    Start();
    EXPECT_EQ(frame()->size(), QSize(1200, 800));
    EXPECT_FALSE(frame()->storedMaximised());

    // A size smaller than the views, or absurd, gives a usable window.
    store.SetInt("WINDOW", "WIDTH", 10);
    store.SetInt("WINDOW", "HEIGHT", 1 << 30);
    store.SetInt("WINDOW", "MAXIMISED", 1);
    app.reset();
    Start();
    EXPECT_EQ(frame()->width(), frame()->minimumWidth());
    EXPECT_LE(frame()->height(), 16384);
    EXPECT_TRUE(frame()->storedMaximised());
}

TEST_F(DeskWindowTest, ADroppedFileOpensThroughTheOpenFlow) {
    const QString ring = WriteBmp("dropped.bmp", 400, 300);
    // Several files, or a web address, are not taken.
    EXPECT_FALSE(Drop({QUrl::fromLocalFile(ring), QUrl::fromLocalFile(ring)}));
    EXPECT_FALSE(Drop({QUrl(QStringLiteral("https://example.org/a.jpg"))}));
    EXPECT_EQ(app->view(), 0);

    EXPECT_TRUE(Drop({QUrl::fromLocalFile(ring)}));
    EXPECT_TRUE(ui.messages.empty()) << qPrintable(ui.LastMessage());
    EXPECT_EQ(app->view(), 1);
    EXPECT_EQ(app->pathName(), QFileInfo(ring).absoluteFilePath());
    EXPECT_FALSE(app->busy());
    EXPECT_EQ(ui.waitDepth, 0);

    // A file that is no picture is named with the reason, as the open command does.
    app->SwitchView(0);
    EXPECT_TRUE(Drop({QUrl::fromLocalFile(WriteText("notes.jpg", "hello"))}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("notes.jpg")))
        << qPrintable(ui.messages[0].text);
    EXPECT_EQ(app->view(), 0);

    // Not while a task runs, nor over a panorama that a drop would throw away.
    app->SetBusy(true);
    EXPECT_FALSE(Drop({QUrl::fromLocalFile(ring)}));
    app->SetBusy(false);
    app->SwitchView(2);
    EXPECT_FALSE(Drop({QUrl::fromLocalFile(ring)}));
}

TEST_F(DeskWindowTest, RecentFilesAreNewestFirstWithoutRepeatsAndDropTheMissing) {
    RecentFiles& recent = app->recentFiles();
    std::vector<std::string> written;
    for (int i = 0; i < RecentFiles::kMaxEntries + 2; ++i) {
        written.push_back(Encoded(WriteBmp(QStringLiteral("r%1.bmp").arg(i), 4, 4)));
        recent.Add(written.back());
    }
    std::vector<std::string> list = recent.List();
    ASSERT_EQ(list.size(), static_cast<std::size_t>(RecentFiles::kMaxEntries));
    EXPECT_EQ(list.front(), written.back());
    EXPECT_EQ(list.back(), written[2]);

    // Opening one again moves it up; a file that is gone is left out.
    recent.Add(written[5]);
    ASSERT_TRUE(QFile::remove(QFile::decodeName(QByteArray::fromStdString(written[9]))));
    list = recent.List();
    ASSERT_EQ(list.size(), static_cast<std::size_t>(RecentFiles::kMaxEntries - 1));
    EXPECT_EQ(list[0], written[5]);
    EXPECT_EQ(list[1], written[8]);
    EXPECT_EQ(std::count(list.begin(), list.end(), written[5]), 1);

    // The list outlives the program, and the start view's menu opens its entries.
    app.reset();
    Start();
    start()->UpdateRecentFiles();
    const QList<QAction*> actions = start()->recentMenu()->actions();
    ASSERT_EQ(actions.size(), RecentFiles::kMaxEntries - 1);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("r5.bmp"));
    actions[0]->trigger();
    EXPECT_EQ(app->view(), 1);
    EXPECT_EQ(app->recentFiles().List().front(), written[5]);
}

TEST_F(DeskWindowTest, OpeningRemembersTheFileAndARecentFileThatVanishedIsDropped) {
    const QString ring = WriteBmp("ring.bmp", 400, 300);
    ASSERT_TRUE(workflow::OpenFile(*app, ring));
    ASSERT_EQ(app->recentFiles().List().size(), 1u);
    app->SwitchView(0);
    QFile::remove(ring);
    // Read straight from the store: List() would already leave it out.
    EXPECT_EQ(store.GetString("RECENT", "FILE1", ""), Encoded(ring));
    ASSERT_TRUE(workflow::OpenFile(*app, ring));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("ring.bmp")));
    EXPECT_EQ(store.GetString("RECENT", "FILE1", "x"), "");
    EXPECT_FALSE(start()->recentButton()->isEnabled());
}

TEST_F(DeskWindowTest, OpenAndSaveDialogsEachStartWhereTheyWereLastLeft) {
    QDir(temp.path()).mkpath(QStringLiteral("card"));
    QDir(temp.path()).mkpath(QStringLiteral("out"));
    const QString photo = temp.filePath(QStringLiteral("card/wide.bmp"));
    QFile::rename(WriteBmp("wide.bmp", 300, 100), photo);
    ui.fileNames.push_back(photo);
    QTest::mouseClick(start()->openButton(), Qt::LeftButton);
    ASSERT_EQ(app->view(), 2);
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_TRUE(ui.dialogs[0].proposed.isEmpty());  // nothing remembered yet

    // The first save proposes the photo's folder; the next one the folder saved to.
    const QString saved = temp.filePath(QStringLiteral("out/first.png"));
    ui.fileNames.push_back(saved);
    app->SetLastTaskEnd(0);
    frame()->commandAction(CMainFrame::Command::SavePanorama)->trigger();
    ASSERT_EQ(ui.dialogs.size(), 2u);
    EXPECT_EQ(QFileInfo(ui.dialogs[1].proposed).absolutePath(), QFileInfo(photo).absolutePath());
    ASSERT_TRUE(QFileInfo::exists(saved)) << qPrintable(ui.LastMessage());

    app->SetLastTaskEnd(0);
    frame()->commandAction(CMainFrame::Command::SavePanorama)->trigger();
    ASSERT_EQ(ui.dialogs.size(), 3u);
    EXPECT_EQ(QFileInfo(ui.dialogs[2].proposed).absolutePath(), QFileInfo(saved).absolutePath());
    EXPECT_EQ(QFileInfo(ui.dialogs[2].proposed).fileName(),
              QFileInfo(ui.dialogs[1].proposed).fileName());

    // The open dialog still starts at the card, in a later run as well.
    app.reset();
    Start();
    QTest::mouseClick(start()->openButton(), Qt::LeftButton);
    ASSERT_EQ(ui.dialogs.size(), 4u);
    EXPECT_EQ(ui.dialogs[3].proposed, QFileInfo(photo).absolutePath());
}

TEST_F(DeskWindowTest, TheStatusLineSaysWhatWasSavedWhereAndShowsTheFolder) {
    EXPECT_FALSE(frame()->showInFolderButton()->isVisibleTo(frame()));
    ShowPanorama();
    const QString saved = temp.filePath(QStringLiteral("result.png"));
    ui.fileNames.push_back(saved);
    frame()->commandAction(CMainFrame::Command::SavePanorama)->trigger();
    ASSERT_TRUE(QFileInfo::exists(saved)) << qPrintable(ui.LastMessage());
    const QString status = frame()->statusBar()->currentMessage();
    EXPECT_TRUE(status.contains(QStringLiteral("result.png"))) << qPrintable(status);
    EXPECT_TRUE(status.contains(QDir::toNativeSeparators(QFileInfo(saved).absolutePath())));
    EXPECT_TRUE(frame()->showInFolderButton()->isVisibleTo(frame()));

    ui.Clear();
    QTest::mouseClick(frame()->showInFolderButton(), Qt::LeftButton);
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0], QFileInfo(saved).absolutePath());
    // Nothing to show folders with: said, not swallowed.
    ui.openSucceeds = false;
    QTest::mouseClick(frame()->showInFolderButton(), Qt::LeftButton);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(
        ui.messages[0].text.contains(QDir::toNativeSeparators(QFileInfo(saved).absolutePath())));

    // A failed save leaves the last success on the line.
    ui.Clear();
    ui.openSucceeds = true;
    app->SetLastTaskEnd(0);
    ui.fileNames.push_back(temp.filePath(QStringLiteral("no/such/folder/x.png")));
    frame()->commandAction(CMainFrame::Command::SavePanorama)->trigger();
    EXPECT_FALSE(ui.messages.empty());
    EXPECT_TRUE(frame()->statusBar()->currentMessage().contains(QStringLiteral("result.png")));
}

TEST_F(DeskWindowTest, ManualFallsBackToTheHtmlPageAndSaysSoWhenNothingOpensIt) {
    struct PickyUi : ScriptedUi {
        bool opensPdf = false;
        bool opensHtml = true;
        bool opensWeb = false;
        bool OpenWithDefaultApp(const QString& what) override {
            opened.push_back(what);
            if (what.endsWith(QStringLiteral(".pdf"))) return opensPdf;
            if (what.endsWith(QStringLiteral(".html"))) return opensHtml;
            return opensWeb;
        }
    };
    PickyUi picky;
    COrbeluneApp own(store, picky);
    ASSERT_TRUE(own.InitInstance());
    QDir(temp.path()).mkpath(QStringLiteral("help"));
    own.SetHelpDir(temp.filePath(QStringLiteral("help")) + QLatin1Char('/'));
    const QString pdf = WriteText(QStringLiteral("help/Orbelune_Manual.pdf"), "%PDF-1.4");
    const QString html = WriteText(QStringLiteral("help/Orbelune_Manual.html"), "<html></html>");

    own.startView()->OnHelpManual();
    ASSERT_GE(picky.opened.size(), 2u);
    EXPECT_EQ(picky.opened.front(), pdf);
    EXPECT_EQ(picky.opened.back(), html);
    EXPECT_TRUE(picky.messages.empty());

    // Neither a PDF viewer nor a browser: the user is told, with where it lies.
    picky.Clear();
    picky.opensHtml = false;
    own.startView()->OnHelpManual();
    EXPECT_EQ(picky.opened.back(), COrbeluneView::OnlineManualUrl());
    ASSERT_EQ(picky.messages.size(), 1u);
    EXPECT_EQ(picky.messages[0].text, COrbeluneView::kNoManualMessage);
    EXPECT_FALSE(own.busy());
}

TEST_F(DeskWindowTest, EnterPressesTheFocusedButtonAndRedoHasItsKeys) {
    frame()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame()));
    QApplication::setActiveWindow(frame());
    start()->manualButton()->setFocus();
    ASSERT_EQ(frame()->focusWidget(), start()->manualButton());
    QTest::keyClick(start()->manualButton(), Qt::Key_Return);
    EXPECT_FALSE(ui.opened.empty());

    using Command = CMainFrame::Command;
    EXPECT_EQ(frame()->commandAction(Command::Undo)->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(frame()->commandAction(Command::Redo)->shortcut(),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EXPECT_EQ(frame()->commandAction(Command::SaveMovie)->shortcut(),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
}

// Every control a user can reach says what it does.
void ExpectTooltips(QWidget* root, const char* where) {
    for (QWidget* w : root->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) ||
                             qobject_cast<QAbstractSlider*>(w) || qobject_cast<QSpinBox*>(w) ||
                             qobject_cast<QComboBox*>(w);
        // A scroll bar belongs to the list or area that has the tooltip.
        if (!control || qobject_cast<QAbstractSlider*>(w->parentWidget())) continue;
        if (w->inherits("QScrollBar")) continue;
        EXPECT_FALSE(w->toolTip().isEmpty())
            << where << ": " << w->metaObject()->className() << " \""
            << qPrintable(qobject_cast<QAbstractButton*>(w)
                              ? qobject_cast<QAbstractButton*>(w)->text()
                              : w->objectName())
            << "\"";
    }
}

TEST_F(DeskWindowTest, EveryControlOfEveryViewAndDialogHasATooltip) {
    ExpectTooltips(start(), "start view");
    ExpectTooltips(app->roundView(), "ring view");
    ExpectTooltips(app->panoView(), "panorama view");
    ExpectTooltips(frame()->statusBar(), "status line");
    CMirrorDlg mirror(store, frame());
    ExpectTooltips(&mirror, "mirror dialog");
    CCustomMirrorDlg custom(store, frame());
    ExpectTooltips(&custom, "custom mirror dialog");
    CAboutDlg about(frame());
    ExpectTooltips(&about, "about box");
    CMoviePropsDlg movie(*app, frame());
    ExpectTooltips(&movie, "movie properties");
}

TEST_F(DeskWindowTest, TheStartViewShowsTheChosenMirror) {
    EXPECT_FALSE(start()->mirrorName()->text().isEmpty());
    const QImage before = start()->mirrorPicture()->pixmap().toImage();
    const QString nameBefore = start()->mirrorName()->text();
    app->runMirrorDialog = [](CMirrorDlg& dlg) {
        dlg.listBox()->setCurrentRow(2);
        QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
        return dlg.result();
    };
    QTest::mouseClick(start()->mirrorButton(), Qt::LeftButton);
    ASSERT_EQ(app->mirror(), 2);
    EXPECT_NE(start()->mirrorName()->text(), nameBefore);
    EXPECT_TRUE(
        start()->mirrorName()->text().contains(QStringLiteral("onvex"), Qt::CaseInsensitive))
        << qPrintable(start()->mirrorName()->text());
    EXPECT_EQ(start()->mirrorPicture()->pixmap().toImage(),
              artwork::MirrorPictureFor(2)
                  .scaled(COrbeluneView::kMirrorPictureSize, Qt::KeepAspectRatio,
                          Qt::SmoothTransformation)
                  .toImage());
    EXPECT_NE(start()->mirrorPicture()->pixmap().toImage(), before);
}

}  // namespace

namespace {

TEST_F(DeskWindowTest, AFailedSaveNamesTheFileAndTheReason) {
    ShowPanorama();
    const QString folder = temp.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    const bool enforced = !QFileInfo(folder).isWritable() || geteuid() != 0;
    ui.fileNames.push_back(folder + QStringLiteral("/out.png"));
    frame()->commandAction(CMainFrame::Command::SavePanorama)->trigger();
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (enforced && !QFileInfo::exists(folder + QStringLiteral("/out.png"))) {
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("out.png")))
            << qPrintable(ui.messages[0].text);
        EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("ermission")))
            << qPrintable(ui.messages[0].text);
    }

    ui.Clear();
    app->SetLastTaskEnd(0);
    ui.fileNames.push_back(temp.filePath(QStringLiteral("gone/out.png")));
    frame()->commandAction(CMainFrame::Command::SavePanorama)->trigger();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("out.png")))
        << qPrintable(ui.messages[0].text);
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("No such file")))
        << qPrintable(ui.messages[0].text);
}

}  // namespace
