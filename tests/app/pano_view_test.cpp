#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>
#include <filesystem>
#include <fstream>

#include "app/main_frame.h"
#include "app/orbelune_app.h"
#include "app/pano_view.h"
#include "app/pano_wnd.h"
#include "app/workflow.h"
#include "image/rgb_image.h"
#include "platform/settings_store.h"
#include "scripted_ui.h"

namespace {

bool SamePixels(const orbelune::RgbImage& a, const orbelune::RgbImage& b) {
    return a.width() == b.width() && a.height() == b.height() &&
           std::equal(a.data(), a.data() + a.byteCount(), b.data());
}

class PanoViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        app.now = [this] { return clock; };
        ASSERT_TRUE(app.InitInstance());
        app.frame()->show();
        view = app.panoView();
        wnd = view->imageWnd();
        dir = std::filesystem::temp_directory_path() /
              ("orbelune_pano_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        app.SetFile(QString::fromStdString((dir / "ring.JPG").string()),
                    QStringLiteral("ring.JPG"));
        ui.Clear();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // A new panorama arriving the way the unwarp delivers it.
    void Deliver(int width, int height) {
        view->PrepareForNewPanorama();
        app.SwitchView(2);
        orbelune::RgbImage& current = view->currentImage();
        ASSERT_EQ(current.AllocatePixels(width, height), orbelune::err::kNone);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width * 3; ++x) {
                current.row(y)[x] = static_cast<std::uint8_t>(40 + (x * 7 + y * 3) % 160);
            }
        }
        view->InitCropLines();
        view->ShowNewPanorama();
        view->UpdateSizeCaption();
        view->ShowNavigation();
        view->SetProgressIdlePlace();
    }
    // A drag of the slider's handle ending in a release.
    void DragSlider(CPanoView::Slider which, int value) {
        QSlider* s = view->slider(which);
        s->setSliderDown(true);
        s->setValue(value);
        s->setSliderDown(false);
    }
    std::string PathIn(const std::string& name) const { return (dir / name).string(); }

    std::time_t clock = 100000;
    orbelune::MemorySettingsStore store;
    ScriptedUi ui;
    COrbeluneApp app{store, ui};
    CPanoView* view = nullptr;
    CPanoWnd* wnd = nullptr;
    std::filesystem::path dir;
};

TEST_F(PanoViewTest, ShareAsA360WebPageProposesTheFolderWritesItAndOffersTheBrowser) {
    Deliver(720, 180);
    EXPECT_EQ(view->shareButton()->text(), QStringLiteral("Share as 360°…"));
    // Cancelled: nothing written.
    QTest::mouseClick(view->shareButton(), Qt::LeftButton);
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_TRUE(ui.dialogs[0].save);
    EXPECT_EQ(ui.dialogs[0].proposed.toStdString(), PathIn("ring_360"));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(app.busy());

    ui.Clear();
    clock += 10;
    ui.fileNames.push_back(QString::fromStdString(PathIn("web")));
    ui.answers.push_back(UiServices::Answer::Yes);
    view->OnShare360();
    ASSERT_EQ(ui.messages.size(), 1u) << ui.LastMessage().toStdString();
    EXPECT_EQ(ui.messages[0].buttons, UiServices::Buttons::YesNo);
    EXPECT_TRUE(ui.LastMessage().startsWith(QStringLiteral("The web page is in ") +
                                            QString::fromStdString(PathIn("web"))));
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0].toStdString(), PathIn("web/index.html"));
    std::ifstream page(PathIn("web/index.html"));
    const std::string text{std::istreambuf_iterator<char>(page), {}};
    EXPECT_NE(text.find("<title>ring</title>"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(PathIn("web/panorama.jpg")));
    EXPECT_EQ(app.lastTaskEnd(), clock);
    EXPECT_FALSE(app.busy());
    EXPECT_EQ(ui.waitDepth, 0);

    // No: the page stays, nothing opens. A destination that is a file: said.
    ui.Clear();
    clock += 10;
    ui.fileNames.push_back(QString::fromStdString(PathIn("web")));
    ui.answers.push_back(UiServices::Answer::No);
    view->OnShare360();
    EXPECT_TRUE(ui.opened.empty());
    ui.Clear();
    clock += 10;
    std::ofstream(PathIn("taken")) << "x";
    ui.fileNames.push_back(QString::fromStdString(PathIn("taken")));
    view->OnShare360();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Stop);
    EXPECT_TRUE(ui.LastMessage().contains(QStringLiteral("exists and is not a folder")));
    EXPECT_TRUE(ui.opened.empty());
    EXPECT_FALSE(app.busy());

    // A custom mirror's panorama is placed by its elevations, not refused.
    ui.Clear();
    clock += 10;
    app.session().SetFromCustomMirror(true);
    ui.fileNames.push_back(QString::fromStdString(PathIn("custom")));
    ui.answers.push_back(UiServices::Answer::No);
    view->OnShare360();
    ASSERT_EQ(ui.messages.size(), 1u) << ui.LastMessage().toStdString();
    EXPECT_TRUE(ui.LastMessage().startsWith(QStringLiteral("The web page is in ")));
    EXPECT_TRUE(std::filesystem::exists(PathIn("custom/panorama.jpg")));
    EXPECT_FALSE(app.busy());
}

TEST_F(PanoViewTest, UndoAndRedoWalkSeveralEditsAndTheSlidersFollow) {
    Deliver(400, 200);
    DragSlider(CPanoView::kBrightness, 70);
    wnd->cropLines().Set(20, 179);
    view->OnCrop();
    DragSlider(CPanoView::kContrast, 60);
    wnd->cropLines().Set(10, 99);
    view->OnCrop();
    EXPECT_EQ(view->sizeCaption()->text(), QStringLiteral("PANO 400 x 90"));
    const orbelune::RgbImage last = view->currentImage();

    view->OnUndo();
    EXPECT_EQ(view->sizeCaption()->text(), QStringLiteral("PANO 400 x 160"));
    EXPECT_EQ(view->slider(CPanoView::kContrast)->value(), 60);
    view->OnUndo();
    EXPECT_EQ(view->slider(CPanoView::kContrast)->value(), 50);
    EXPECT_EQ(view->lastAccepted().contrast, 50);
    view->OnUndo();
    EXPECT_EQ(view->sizeCaption()->text(), QStringLiteral("PANO 400 x 200"));
    EXPECT_EQ(view->slider(CPanoView::kBrightness)->value(), 70);
    QTest::mouseClick(view->undoButton(), Qt::LeftButton);
    EXPECT_EQ(view->slider(CPanoView::kBrightness)->value(), 50);
    EXPECT_TRUE(SamePixels(view->currentImage(), wnd->images().base));
    EXPECT_FALSE(app.session().CanUndo());

    for (int i = 0; i < 3; ++i)
        view->OnRedo();
    EXPECT_EQ(view->slider(CPanoView::kContrast)->value(), 60);
    EXPECT_EQ(view->sizeCaption()->text(), QStringLiteral("PANO 400 x 160"));
    // Ctrl+Shift+Z: the frame's Redo command.
    QAction* redo = nullptr;
    for (QAction* action : app.frame()->actions()) {
        if (action->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)))
            redo = action;
    }
    ASSERT_NE(redo, nullptr);
    clock += 10;
    redo->trigger();
    EXPECT_EQ(view->sizeCaption()->text(), QStringLiteral("PANO 400 x 90"));
    EXPECT_TRUE(SamePixels(view->currentImage(), last));
    EXPECT_FALSE(app.session().CanRedo());
    view->OnRedo();  // nothing to redo: nothing changes
    EXPECT_TRUE(SamePixels(view->currentImage(), last));
    EXPECT_FALSE(app.busy());
}

TEST_F(PanoViewTest, UnsavedWorkIsAskedAboutBeforeStartOver) {
    Deliver(300, 100);
    clock += 10;
    view->OnStartOver();  // nothing done to it: no question
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(app.view(), 0);

    const auto cropped = [this] {
        Deliver(300, 100);
        wnd->cropLines().Set(10, 89);
        clock += 10;
        view->OnCrop();
        ASSERT_TRUE(app.session().unsaved());
        ui.Clear();
    };
    cropped();
    ui.answers.push_back(UiServices::Answer::Cancel);
    clock += 10;
    view->OnStartOver();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].buttons, UiServices::Buttons::SaveDiscardCancel);
    EXPECT_TRUE(ui.LastMessage().contains(QStringLiteral("has not been saved")));
    EXPECT_EQ(app.view(), 2);
    EXPECT_TRUE(wnd->HasImage());
    ui.Clear();

    // Save, but the save dialog cancelled: still there, still unsaved.
    ui.answers.push_back(UiServices::Answer::Yes);
    clock += 10;
    view->OnStartOver();
    EXPECT_EQ(ui.dialogs.size(), 1u);
    EXPECT_EQ(app.view(), 2);
    EXPECT_TRUE(app.session().unsaved());

    // Save to a file: written, then the view starts over.
    ui.Clear();
    ui.answers.push_back(UiServices::Answer::Yes);
    ui.fileNames.push_back(QString::fromStdString(PathIn("kept.bmp")));
    clock += 10;
    view->OnStartOver();
    EXPECT_EQ(app.view(), 0);
    orbelune::RgbImage kept;
    ASSERT_EQ(kept.LoadImageFile(PathIn("kept.bmp")), orbelune::err::kNone);
    EXPECT_EQ(kept.height(), 80);

    // Discard: gone without a file.
    cropped();
    ui.answers.push_back(UiServices::Answer::No);
    clock += 10;
    view->OnStartOver();
    EXPECT_EQ(app.view(), 0);
    EXPECT_TRUE(ui.dialogs.empty());
    EXPECT_FALSE(wnd->HasImage());

    // A saved panorama goes without a question; an edit after the save asks again.
    cropped();
    ui.fileNames.push_back(QString::fromStdString(PathIn("saved.bmp")));
    clock += 10;
    view->OnSavePanorama();
    EXPECT_FALSE(app.session().unsaved());
    EXPECT_TRUE(view->ConfirmDiscard());
    DragSlider(CPanoView::kSaturation, 150);
    ui.Clear();
    ui.answers.push_back(UiServices::Answer::Cancel);
    EXPECT_FALSE(view->ConfirmDiscard());
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(app.busy());

    // A panorama opened as it is, shown with the sliders it starts from, holds nothing new.
    ui.Clear();
    ui.answers.push_back(UiServices::Answer::No);
    clock += 10;
    view->OnStartOver();
    Deliver(300, 100);
    EXPECT_FALSE(app.session().unsaved());
    EXPECT_FALSE(app.session().CanUndo());
    ui.Clear();
    EXPECT_TRUE(view->ConfirmDiscard());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(PanoViewTest, BackAndUnwarpAgainKeepTheSlidersAndCropLinesSurviveThem) {
    Deliver(300, 100);
    DragSlider(CPanoView::kBrightness, 70);
    DragSlider(CPanoView::kSaturation, 140);
    view->OnBack();
    app.SwitchView(2);
    Deliver(300, 100);  // as Unwarp delivers it again
    EXPECT_EQ(view->slider(CPanoView::kBrightness)->value(), 70);
    EXPECT_EQ(view->slider(CPanoView::kSaturation)->value(), 140);
    EXPECT_EQ(view->lastAccepted().brightness, 70);
    EXPECT_FALSE(SamePixels(view->currentImage(), wnd->images().base));  // applied

    // A click on a handle without a change keeps the lines too.
    wnd->cropLines().Set(5, 50);
    DragSlider(CPanoView::kBrightness, 70);
    EXPECT_EQ(wnd->cropLines().top(), 5);
    EXPECT_EQ(wnd->cropLines().bottom(), 50);

    clock += 10;
    // Another photo starts from the start values.
    clock += 10;
    view->OnBack();
    app.SetFile(QString::fromStdString(PathIn("other.JPG")), QStringLiteral("other.JPG"));
    app.SwitchView(2);
    EXPECT_EQ(view->slider(CPanoView::kBrightness)->value(), 50);

    clock += 10;
    view->OnBack();
    app.SetFile(QString::fromStdString(PathIn("ring.JPG")), QStringLiteral("ring.JPG"));
    app.SwitchView(2);
    DragSlider(CPanoView::kBrightness, 60);
    ui.answers.push_back(UiServices::Answer::No);  // discard the change
    clock += 10;
    view->OnStartOver();
    ui.Clear();
    app.SwitchView(2);
    EXPECT_EQ(view->slider(CPanoView::kBrightness)->value(), 50);
    EXPECT_EQ(view->slider(CPanoView::kSaturation)->value(), 100);
}

TEST_F(PanoViewTest, ThePanoramaShowsAtItsTrueAspectZoomsAndWraps) {
    const auto expectTrueAspect = [this](int width, int height) {
        Deliver(width, height);
        const QRect shown = wnd->displayRect();
        EXPECT_TRUE(wnd->rect().contains(shown)) << width << "x" << height;
        // Rounded to whole pixels: the ratio within one pixel either way.
        EXPECT_NEAR(static_cast<double>(shown.width()) / shown.height(),
                    static_cast<double>(width) / height,
                    static_cast<double>(width) / height / shown.height() + 0.01)
            << width << "x" << height;
        EXPECT_TRUE(shown.width() == wnd->width() || shown.height() == wnd->height());
    };
    expectTrueAspect(1884, 300);
    expectTrueAspect(2000, 60);   // a tight crop
    expectTrueAspect(400, 300);   // a convex panorama's shape
    expectTrueAspect(300, 1000);  // taller than wide

    Deliver(2000, 500);
    EXPECT_DOUBLE_EQ(wnd->scale(), 155.0 / 500.0);
    QTest::mouseClick(view->zoom100Button(), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(wnd->scale(), 1.0);
    EXPECT_EQ(wnd->displayBitmap().width(), 2000);
    EXPECT_EQ(wnd->displayBitmap().height(), 500);
    // Scrolling wraps around the seam both ways.
    wnd->ScrollBy(1900, 0);
    EXPECT_EQ(wnd->scrollX(), 1900);
    wnd->ScrollBy(150, 0);
    EXPECT_EQ(wnd->scrollX(), 50);
    wnd->ScrollBy(-100, 0);
    EXPECT_EQ(wnd->scrollX(), 1950);
    // Past the seam the window shows the panorama's first columns.
    const QImage shot = wnd->grab().toImage();
    const orbelune::RgbImage& shown = view->currentImage();
    const QColor first = shot.pixelColor(60, 100);
    EXPECT_EQ(first.red(), shown.row(100)[10 * 3]);
    EXPECT_EQ(first.green(), shown.row(100)[10 * 3 + 1]);
    // At 100 % a press picks the row under it.
    wnd->cropLines().Set(0, 499);
    QTest::mousePress(wnd, Qt::LeftButton, {}, QPoint(100, 30));
    EXPECT_EQ(wnd->cropLines().dragState(), orbelune::CropLines::kTop);
    QTest::mouseMove(wnd, QPoint(100, 40));
    EXPECT_EQ(wnd->cropLines().top(), 40);
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, QPoint(100, 40));

    // The wheel turns the panorama around; the keys zoom.
    const int before = wnd->scrollX();
    QWheelEvent wheel(QPointF(100, 50), wnd->mapToGlobal(QPointF(100, 50)), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(wnd, &wheel);
    EXPECT_EQ(wnd->scrollX(), (before + 80) % 2000);
    wnd->ZoomOut();
    EXPECT_LT(wnd->scale(), 1.0);
    QTest::keyClick(wnd, Qt::Key_1);
    EXPECT_DOUBLE_EQ(wnd->scale(), 1.0);
    QTest::keyClick(wnd, Qt::Key_0);
    EXPECT_DOUBLE_EQ(wnd->scale(), 155.0 / 500.0);
    QTest::mouseClick(view->zoom100Button(), Qt::LeftButton);
    QTest::mouseClick(view->fitButton(), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(wnd->scale(), 155.0 / 500.0);
    EXPECT_EQ(wnd->scrollX(), 0);
}

TEST_F(PanoViewTest, BeforeShowsTheUnadjustedPanoramaAndDraggingPreviews) {
    Deliver(1200, 300);
    DragSlider(CPanoView::kBrightness, 90);
    const QImage after = wnd->displayBitmap();
    QTest::mouseClick(view->beforeButton(), Qt::LeftButton);
    EXPECT_TRUE(wnd->showBefore());
    const QImage before = wnd->displayBitmap();
    EXPECT_NE(after, before);
    EXPECT_LT(before.pixelColor(10, 10).value(), after.pixelColor(10, 10).value());
    QTest::mouseClick(view->beforeButton(), Qt::LeftButton);
    EXPECT_EQ(wnd->displayBitmap(), after);

    // Each step of a drag updates the display copy; the panorama waits for the release.
    const orbelune::RgbImage adjusted = view->currentImage();
    QSlider* brightness = view->slider(CPanoView::kBrightness);
    brightness->setSliderDown(true);
    QImage previous = wnd->displayBitmap();
    for (int value : {80, 60, 40}) {
        brightness->setValue(value);
        EXPECT_NE(wnd->displayBitmap(), previous) << value;
        EXPECT_EQ(wnd->displayBitmap().size(), after.size());
        previous = wnd->displayBitmap();
    }
    EXPECT_TRUE(SamePixels(view->currentImage(), adjusted));
    // Zoomed in, the preview still fills the enlarged display.
    wnd->SetZoom(1);
    brightness->setValue(30);
    EXPECT_EQ(wnd->displayBitmap().size(), QSize(1200, 300));
    EXPECT_TRUE(SamePixels(view->currentImage(), adjusted));
    brightness->setValue(40);
    brightness->setSliderDown(false);
    EXPECT_FALSE(SamePixels(view->currentImage(), adjusted));
    EXPECT_EQ(view->lastAccepted().brightness, 40);
}

TEST_F(PanoViewTest, TheCaptionSaysWhatACropWillGiveWhileTheLinesMove) {
    Deliver(638, 310);  // scale 0.5
    QTest::mousePress(wnd, Qt::LeftButton, {}, QPoint(300, 20));
    QTest::mouseMove(wnd, QPoint(300, 50));  // top at row 100
    EXPECT_EQ(view->sizeCaption()->text(),
              QStringLiteral("PANO 638 x 310  (crop gives 638 x 210)"));
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, QPoint(300, 50));
    view->OnCrop();
    EXPECT_EQ(view->sizeCaption()->text(), QStringLiteral("PANO 638 x 210"));
}

}  // namespace

TEST_F(PanoViewTest, SliderReleaseAppliesToTheBaseAndBusyPutsItBack) {
    Deliver(300, 100);
    const orbelune::RgbImage base = wnd->images().base;
    const orbelune::RgbImage delivered = view->currentImage();
    wnd->cropLines().Set(10, 60);

    // Moving without letting go changes nothing.
    view->slider(CPanoView::kBrightness)->setSliderDown(true);
    view->slider(CPanoView::kBrightness)->setValue(80);
    EXPECT_TRUE(SamePixels(view->currentImage(), delivered));
    view->slider(CPanoView::kBrightness)->setSliderDown(false);
    EXPECT_EQ(view->lastAccepted().brightness, 80);
    EXPECT_DOUBLE_EQ(view->adjustments().brightness, 0.3);
    EXPECT_FALSE(SamePixels(view->currentImage(), delivered));
    EXPECT_TRUE(SamePixels(wnd->images().base, base));
    EXPECT_EQ(wnd->cropLines().top(), 10);  // the crop lines stay where they were
    EXPECT_EQ(wnd->cropLines().bottom(), 60);
    EXPECT_FALSE(app.busy());
    const orbelune::RgbImage brighter = view->currentImage();

    app.SetBusy(true);
    DragSlider(CPanoView::kSaturation, 250);
    EXPECT_EQ(view->slider(CPanoView::kSaturation)->value(), 100);
    EXPECT_EQ(ui.LastMessage(), QStringLiteral("Orbelune is busy doing another task."));
    EXPECT_TRUE(SamePixels(view->currentImage(), brighter));
    app.SetBusy(false);

    // A keyboard step counts as a release.
    ui.Clear();
    view->slider(CPanoView::kContrast)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(view->lastAccepted().contrast, 51);

    // Reset puts every slider back to neutral and the picture back to how it came.
    view->OnReset();
    EXPECT_EQ(view->slider(CPanoView::kBrightness)->value(), 50);
    EXPECT_EQ(view->slider(CPanoView::kSharpness)->value(), 0);  // off
    EXPECT_TRUE(SamePixels(view->currentImage(), delivered));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(app.busy());
}

TEST_F(PanoViewTest, CropUndoAndCaption) {
    Deliver(2000, 500);
    EXPECT_EQ(view->sizeCaption()->text(), QStringLiteral("PANO 2000 x 500"));
    DragSlider(CPanoView::kBrightness, 70);
    wnd->cropLines().Set(100, 399);
    QTest::mouseClick(view->cropButton(), Qt::LeftButton);
    EXPECT_EQ(view->sizeCaption()->text(), QStringLiteral("PANO 2000 x 300"));
    EXPECT_EQ(wnd->images().base.height(), 300);
    EXPECT_EQ(app.session().undoHistory().size(), 2u);  // the brightness, the crop
    EXPECT_EQ(wnd->cropLines().bottom(), 299);
    EXPECT_FALSE(app.busy());
    // The crop keeps the adjustment: current is the adjusted crop, base the plain one.
    EXPECT_FALSE(SamePixels(view->currentImage(), wnd->images().base));

    clock += 5;
    QTest::mouseClick(view->undoButton(), Qt::LeftButton);
    EXPECT_EQ(view->sizeCaption()->text(), QStringLiteral("PANO 2000 x 500"));
    EXPECT_EQ(wnd->images().base.height(), 500);
    EXPECT_EQ(view->slider(CPanoView::kBrightness)->value(), 70);
    view->OnUndo();  // then the brightness
    EXPECT_EQ(view->slider(CPanoView::kBrightness)->value(), 50);
    view->OnUndo();  // nothing left to undo
    EXPECT_EQ(wnd->images().base.height(), 500);

    // Inverted lines are refused with the user told.
    wnd->cropLines().Set(300, 200);
    ui.Clear();
    view->OnCrop();
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("Crop lines values are invalid."));
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Stop);
    EXPECT_EQ(wnd->images().base.height(), 500);
    EXPECT_FALSE(app.busy());
}

TEST_F(PanoViewTest, CropLinesFollowTheMouse) {
    Deliver(638, 310);  // vertical scale 0.5
    ASSERT_DOUBLE_EQ(wnd->verticalScale(), 155.0 / 310.0);
    QTest::mousePress(wnd, Qt::LeftButton, {}, QPoint(100, 20));  // row 40: the top line
    EXPECT_EQ(wnd->cropLines().dragState(), orbelune::CropLines::kTop);
    QTest::mouseMove(wnd, QPoint(100, 60));
    EXPECT_EQ(wnd->cropLines().top(), 120);
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, QPoint(100, 60));
    EXPECT_EQ(wnd->cropLines().top(), 120);

    QTest::mousePress(wnd, Qt::LeftButton, {}, QPoint(100, 150));  // row 300: the bottom line
    EXPECT_EQ(wnd->cropLines().dragState(), orbelune::CropLines::kBottom);
    QTest::mouseMove(wnd, QPoint(100, 40));  // above the top line
    QTest::mouseRelease(wnd, Qt::LeftButton, {}, QPoint(100, 40));
    EXPECT_EQ(wnd->cropLines().bottom(), 120 + (310 - 120) / 2);

    // The bands a crop would remove are darkened; the kept rows are not.
    const QImage shot = wnd->grab().toImage();
    const QColor removed = shot.pixelColor(300, 10);
    const QColor kept = shot.pixelColor(300, 90);
    EXPECT_LT(removed.value(), kept.value());
}

TEST_F(PanoViewTest, SaveProposesTheNameAndWritesTheFile) {
    Deliver(400, 120);
    const std::string target = PathIn("out.bmp");
    ui.fileNames.push_back(QString::fromStdString(target));
    QTest::mouseClick(view->savePanoramaButton(), Qt::LeftButton);

    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_TRUE(ui.dialogs[0].save);
    EXPECT_EQ(ui.dialogs[0].title, QStringLiteral("Save current image as a panorama image file"));
    EXPECT_EQ(ui.dialogs[0].proposed, QString::fromStdString(PathIn("ring_pano.JPG")));
    EXPECT_TRUE(ui.dialogs[0].filters.contains(QStringLiteral("*.jpg")));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(view->saveFormat(), orbelune::ImageFormat::Bmp);
    EXPECT_EQ(view->movieSettings().moviePath, target);
    EXPECT_EQ(app.lastTaskEnd(), clock);
    EXPECT_EQ(ui.waitBegins, 1);
    EXPECT_EQ(ui.waitDepth, 0);
    EXPECT_FALSE(app.busy());
    orbelune::RgbImage back;
    ASSERT_EQ(back.LoadImageFile(target), orbelune::err::kNone);
    EXPECT_TRUE(SamePixels(back, view->currentImage()));

    // Within two seconds of the save a new command is swallowed.
    ui.Clear();
    view->OnSavePanorama();
    EXPECT_TRUE(ui.dialogs.empty());
    clock += 2;

    // An existing file is kept when the user says no to replacing it.
    const auto written = std::filesystem::last_write_time(target);
    ui.fileNames.push_back(QString::fromStdString(target));
    ui.answers.push_back(UiServices::Answer::No);
    view->OnSavePanorama();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].buttons, UiServices::Buttons::YesNo);
    EXPECT_EQ(std::filesystem::last_write_time(target), written);
    EXPECT_EQ(app.lastTaskEnd(), clock - 2);
    EXPECT_FALSE(app.busy());
}

TEST_F(PanoViewTest, SaveRefusalsAndFailuresAreReported) {
    Deliver(200, 60);
    auto saveTo = [this](const std::string& path) {
        clock += 10;
        ui.Clear();
        ui.fileNames.push_back(QString::fromStdString(path));
        view->OnSavePanorama();
        EXPECT_FALSE(app.busy());
    };

    // Cancelled dialog: nothing at all.
    clock += 10;
    ui.Clear();
    view->OnSavePanorama();
    EXPECT_EQ(ui.dialogs.size(), 1u);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(app.busy());

    saveTo(PathIn("noextension"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              QStringLiteral("There is a problem.  File format has not been selected."));
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Stop);

    // A file another program holds locked.
    const std::string held = PathIn("held.jpg");
    {
        std::FILE* f = std::fopen(held.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    const int holder = ::open(held.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_SH), 0);
    ui.answers.push_back(UiServices::Answer::Yes);  // replace it
    saveTo(held);
    ::close(holder);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text,
              QStringLiteral("File is busy in another application.  Please close the file or "
                             "choose a different name for the file."));
    EXPECT_EQ(ui.messages[1].icon, UiServices::Icon::Stop);
    EXPECT_EQ(std::filesystem::file_size(held), 0u);

    // A write that fails is not passed over in silence.
    const std::time_t before = app.lastTaskEnd();
    saveTo(PathIn("missing-folder/out.jpg"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Stop);
    EXPECT_FALSE(ui.messages[0].text.isEmpty());
    EXPECT_EQ(ui.waitDepth, 0);
    EXPECT_NE(app.lastTaskEnd(), before);

    // No panorama: the command ends quietly.
    view->FreeImages();
    clock += 10;
    ui.Clear();
    view->OnSavePanorama();
    EXPECT_TRUE(ui.dialogs.empty());
    EXPECT_FALSE(app.busy());
}

TEST_F(PanoViewTest, NavigationCommands) {
    Deliver(300, 90);
    clock += 10;
    view->OnBack();
    EXPECT_EQ(app.view(), 1);
    app.SwitchView(2);
    clock += 10;
    view->OnStartOver();
    EXPECT_EQ(app.view(), 0);
    EXPECT_FALSE(wnd->HasImage());
    EXPECT_TRUE(wnd->images().base.empty());
    EXPECT_FALSE(wnd->cropLines().shown());
    EXPECT_FALSE(app.busy());

    // The progress display raises the busy flag; it is back down once the work ends.
    app.SwitchView(2);
    view->PrepareForNewPanorama();
    EXPECT_TRUE(view->backButton()->isHidden());
    EXPECT_TRUE(view->sizeCaption()->isHidden());
    view->ShowProgress(5, 10);
    EXPECT_TRUE(app.busy());
    view->HideProgress();
    app.SetBusy(false);
}

TEST_F(PanoViewTest, ClosingTheWindowOrOpeningAnotherPhotoAsksAboutUnsavedWork) {
    Deliver(300, 100);
    wnd->cropLines().Set(10, 89);
    clock += 10;
    view->OnCrop();
    ASSERT_TRUE(app.session().unsaved());
    ui.Clear();

    // Cancel keeps the window and the panorama.
    ui.answers.push_back(UiServices::Answer::Cancel);
    EXPECT_FALSE(app.frame()->close());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.LastMessage().contains(QStringLiteral("has not been saved")));
    EXPECT_TRUE(wnd->HasImage());

    // Another photo: Cancel leaves the panorama where it is and opens nothing.
    ui.Clear();
    ui.answers.push_back(UiServices::Answer::Cancel);
    clock += 10;
    EXPECT_TRUE(workflow::OpenFile(app, QString::fromStdString(PathIn("other.png"))));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(app.view(), 2);
    EXPECT_TRUE(wnd->HasImage());
    EXPECT_TRUE(app.session().unsaved());

    // Discard closes.
    ui.Clear();
    ui.answers.push_back(UiServices::Answer::No);
    EXPECT_TRUE(app.frame()->close());
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(app.busy());
}
