#include "app/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <deque>

#include "app/about_dlg.h"
#include "app/artwork.h"
#include "app/main_frame.h"
#include "app/mirror_dlg.h"
#include "app/movie_props_dlg.h"
#include "app/orbelune_app.h"
#include "app/pano_view.h"
#include "app/round_view.h"
#include "app/start_view.h"
#include "app/ui_services.h"
#include "image/image_format.h"
#include "image/rgb_image.h"
#include "platform/settings_store.h"
#include "unwarp/ring_params.h"
#include "unwarp/ring_synth.h"
#include "unwarp/test_scene.h"
#include "unwarp/unwarp.h"

namespace {

// Answers file dialogs from a queue and prints messages instead of showing them.
class ScreenshotUi : public UiServices {
public:
    std::deque<QString> files;

    Answer MessageBox(QWidget*, const QString& text, Icon, Buttons) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return Answer::Ok;
    }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return Next();
    }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&,
                         QString* = nullptr) override {
        return Next();
    }
    bool OpenWithDefaultApp(const QString&) override { return true; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void Beep() override {}

private:
    QString Next() {
        if (files.empty()) return QString();
        QString f = files.front();
        files.pop_front();
        return f;
    }
};

// A ring photograph drawn from scratch, for when the sample is not there.
// Used when the bundled sample cannot be read: the same kind of photograph,
// made by the core's ring synthesis.
QString SyntheticRingPhoto(const QString& dir) {
    orbelune::SynthOptions options;
    orbelune::RgbImage photo;
    if (orbelune::SynthesizeRing(orbelune::MakeSampleScene(1884, 300), options, photo) !=
        orbelune::err::kNone)
        return QString();
    const QString path = dir + QStringLiteral("/synthetic-ring.bmp");
    if (photo.SaveImageFile(QFile::encodeName(path).toStdString(), orbelune::ImageFormat::Bmp) !=
        orbelune::err::kNone)
        return QString();
    return path;
}

bool Save(QWidget* w, const QString& dir, const char* name) {
    QApplication::processEvents();
    const QString path = dir + QLatin1Char('/') + QLatin1String(name);
    const bool ok = w->grab().save(path);
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// The unwarp as the round view would run it, for when its button is not found.
QString UnwarpToFile(orbelune::SettingsStore& store, const QString& raw, int mirror,
                     const QString& dir) {
    orbelune::RgbImage source;
    if (source.LoadImageFile(QFile::encodeName(raw).toStdString()) != 0) return QString();
    const orbelune::RingParams ring =
        orbelune::LoadRingParams(store, source.width(), source.height());
    orbelune::RgbImage pano;
    if (orbelune::Unwarp(source, ring, mirror, orbelune::LoadCustomMirror(store), pano) != 0)
        return QString();
    const QString path = dir + QStringLiteral("/unwarped.bmp");
    if (pano.SaveImageFile(QFile::encodeName(path).toStdString(), orbelune::ImageFormat::Bmp) != 0)
        return QString();
    return path;
}

// The window at the size the views were drawn for, and enlarged.
bool SaveBothSizes(CMainFrame* frame, const QString& dir, const char* name) {
    frame->resize(frame->minimumSize());
    bool ok = Save(frame, dir, name);
    frame->resize(1600, 1000);
    QString large = QString::fromLatin1(name);
    large.insert(large.lastIndexOf(QLatin1Char('.')), QStringLiteral("-1600x1000"));
    ok = Save(frame, dir, large.toLatin1().constData()) && ok;
    frame->resize(frame->minimumSize());
    QApplication::processEvents();
    return ok;
}

}  // namespace

int WriteScreenshots(const QString& dir) {
    QDir().mkpath(dir);
    QTemporaryDir temp;
    orbelune::MemorySettingsStore store;
    ScreenshotUi ui;
    COrbeluneApp app(store, ui);
    if (!app.InitInstance()) return 1;
    CMainFrame* frame = app.frame();
    frame->show();
    bool ok = SaveBothSizes(frame, dir, "1-start.png");

    QString sample = QStringLiteral("data/sample-ring.jpg");
#ifdef ORBELUNE_SOURCE_DIR
    if (!QFileInfo::exists(sample))
        sample = QStringLiteral(ORBELUNE_SOURCE_DIR "/data/sample-ring.jpg");
#endif
    orbelune::RgbImage probe;
    if (!QFileInfo::exists(sample) ||
        probe.LoadImageFile(QFile::encodeName(sample).toStdString()) != 0) {
        sample = SyntheticRingPhoto(temp.path());
    }
    probe.FreePixels();

    ui.files.push_back(sample);
    app.startView()->OnOpenRawImage();
    ok = SaveBothSizes(frame, dir, "2-round.png") && ok;

    // Unwarp through the round view's own button when it has one.
    for (ImageButton* b : app.roundView()->findChildren<ImageButton*>()) {
        if (b->faceId() == artwork::ButtonId::Unwarp && b->isVisible()) {
            b->click();
            break;
        }
    }
    if (app.view() != 2) {
        const QString pano = UnwarpToFile(store, sample, app.mirror(), temp.path());
        if (!pano.isEmpty()) {
            ui.files.push_back(pano);
            app.SwitchView(0);
            app.startView()->OnOpenRawImage();
        }
    }
    ok = SaveBothSizes(frame, dir, "3-panorama.png") && ok;

    // The movie properties as Save as VR Movie opens them; cancelled after the shot.
    app.runMoviePropsDialog = [&](CMoviePropsDlg& dialog) {
        dialog.show();
        ok = Save(&dialog, dir, "6-movie-properties.png") && ok;
        dialog.hide();
        return static_cast<int>(QDialog::Rejected);
    };
    app.SetLastTaskEnd(0);
    app.panoView()->OnSaveMovie();
    app.runMoviePropsDialog = nullptr;

    CMirrorDlg mirror(store, frame);
    mirror.show();
    ok = Save(&mirror, dir, "4-mirror-selection.png") && ok;
    mirror.hide();

    CAboutDlg about(frame);
    about.show();
    ok = Save(&about, dir, "5-about.png") && ok;
    about.hide();

    app.ExitInstance();
    return ok ? 0 : 1;
}
