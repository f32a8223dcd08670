#include "app/workflow.h"

#include <QFile>
#include <QFileInfo>

#include "app/orbelune_app.h"
#include "app/pano_view.h"
#include "app/round_view.h"
#include "app/start_view.h"
#include "app/task.h"
#include "app/ui_services.h"

namespace workflow {

namespace {

void Remember(COrbeluneApp& app, const QFileInfo& info) {
    app.recentFiles().Add(QFile::encodeName(info.absoluteFilePath()).toStdString());
    if (app.startView()) app.startView()->UpdateRecentFiles();
}

}  // namespace

bool OpenFile(COrbeluneApp& app, const QString& path) {
    CTask task(app, CTask::Rule::Busy);
    if (task.refused()) return false;
    OpenChosenFile(app, task, path);
    return true;
}

void OpenChosenFile(COrbeluneApp& app, CTask& task, const QString& path) {
    // Another photo replaces the panorama still held after Back.
    if (app.panoView() && !app.panoView()->ConfirmDiscard()) return;
    UiServices& ui = app.ui();
    COrbeluneView* start = app.startView();
    start->repaint();
    task.WaitCursor();
    const QFileInfo info(path);
    app.SetFile(info.absoluteFilePath(), info.fileName());

    const int kind = start->Classify(path);
    if (kind == COrbeluneView::kNotAnImage) {
        // A file that is gone has no place in the recent list.
        if (!info.exists()) {
            app.recentFiles().Remove(QFile::encodeName(info.absoluteFilePath()).toStdString());
            start->UpdateRecentFiles();
        }
        const QString reason = start->classifyFailure().isEmpty()
                                   ? QStringLiteral("The file could not be read.")
                                   : start->classifyFailure();
        ui.MessageBox(start, reason + QStringLiteral("\nPlease choose another file."),
                      UiServices::Icon::Stop, UiServices::Buttons::Ok);
        return;
    }

    if (kind == COrbeluneView::kRingPhoto) {
        CRoundView* round = app.roundView();
        round->HideButtons();
        app.SwitchView(1);
        if (!round->LoadRawImage(path)) {
            app.SwitchView(0);
            return;
        }
        round->ShowButtons();
        round->AfterLoad();
        Remember(app, info);
        return;
    }

    CPanoView* pano = app.panoView();
    pano->FreeImages();
    pano->HideNavigation();
    app.SwitchView(2);
    pano->SetProgressWorkingPlace();
    if (!pano->OpenPanoramaFile(path)) {
        app.SwitchView(0);
        pano->SetProgressIdlePlace();
        return;
    }
    pano->ShowNewPanorama();
    pano->ShowNavigation();
    pano->HideBackButton();
    pano->SetProgressIdlePlace();
    pano->UpdateSizeCaption();
    Remember(app, info);
}

void Unwarp(COrbeluneApp& app, CTask& task) {
    orbelune::Session& session = app.session();
    CPanoView* pano = app.panoView();
    if (pano == nullptr || session.raw().empty()) return;
    const bool custom = session.CurrentMirrorIsCustom();
    const orbelune::UnwarpJob job = session.PrepareUnwarp();

    pano->PrepareForNewPanorama();
    app.SwitchView(2);
    pano->SetProgressWorkingPlace();

    ProgressRelay& relay = task.progress();
    orbelune::UnwarpResult result = task.Run([&job, &relay] {
        return orbelune::Session::ComputeUnwarp(
            job, [&relay](int row, int count) { return relay.Report(row, count); });
    });
    // A cancelled unwarp (the window is closing) leaves nothing to show.
    if (task.cancelled()) result.code = -1;
    const orbelune::Outcome outcome = session.TakeUnwarped(std::move(result), custom);
    if (!outcome.ok()) {
        pano->SetProgressIdlePlace();
        if (!task.cancelled()) {
            app.ui().MessageBox(app.roundView(), QString::fromStdString(outcome.message),
                                UiServices::Icon::Stop, UiServices::Buttons::Ok);
        }
        return;
    }
    task.Finished();
    pano->ShowNewPanorama();
    pano->UpdateSizeCaption();
    pano->ShowNavigation();
    pano->SetProgressIdlePlace();
}

}  // namespace workflow
