#include "app/start_view.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

#include "app/artwork.h"
#include "app/main_frame.h"
#include "app/mirror_dlg.h"
#include "app/orbelune_app.h"
#include "app/pano_view.h"
#include "app/round_view.h"
#include "app/ui_services.h"
#include "image/file_types.h"
#include "image/image_io.h"
#include "image/panorama_shape.h"
#include "platform/settings_keys.h"

namespace {

const QString kManualFile = QStringLiteral("Orbelune_Manual.pdf");

// Every readable format, from the format table.
QString OpenFilters() {
    return QString::fromStdString(orbelune::OpenDialogFilters());
}

// Clears the busy flag and ends the wait cursor on every way out of the open.
class OpenTaskGuard {
public:
    explicit OpenTaskGuard(COrbeluneApp& app) : m_app(app) {}
    ~OpenTaskGuard() {
        m_app.m_bBusy = false;
        m_app.ui().EndWaitCursor();
    }
    OpenTaskGuard(const OpenTaskGuard&) = delete;
    OpenTaskGuard& operator=(const OpenTaskGuard&) = delete;

private:
    COrbeluneApp& m_app;
};

}  // namespace

COrbeluneView::COrbeluneView(COrbeluneApp& app, QWidget* parent) : QWidget(parent), m_app(app) {
    setFixedSize(artwork::layout::kViewSize);
    m_pBackground = new QLabel(this);
    m_pBackground->setPixmap(artwork::StartBackground());
    m_pBackground->setGeometry(QRect(QPoint(0, 0), artwork::layout::kViewSize));
    m_pBackground->lower();

    m_pOpen = new ImageButton(artwork::ButtonId::Open, this);
    m_pOpen->move(artwork::layout::kStartOpen.topLeft());
    m_pOpen->setToolTip(tr("Open a ring photograph or a panorama"));
    m_pManual = new ImageButton(artwork::ButtonId::Manual, this);
    m_pManual->move(artwork::layout::kStartManual.topLeft());
    m_pManual->setToolTip(tr("Open the user manual"));
    m_pMirror = new ImageButton(artwork::ButtonId::Mirror, this);
    m_pMirror->move(artwork::layout::kStartMirror.topLeft());
    m_pMirror->setToolTip(tr("Choose the mirror attachment"));

    connect(m_pOpen, &QAbstractButton::clicked, this, &COrbeluneView::OnOpenRawImage);
    connect(m_pManual, &QAbstractButton::clicked, this, &COrbeluneView::OnHelpManual);
    connect(m_pMirror, &QAbstractButton::clicked, this, &COrbeluneView::OnMirrorSelect);
}

COrbeluneView::~COrbeluneView() = default;

void COrbeluneView::SetViews(CRoundView* roundView, CPanoView* panoView) {
    m_pRoundView = roundView;
    m_pPanoView = panoView;
}

int COrbeluneView::ClassifyImageFile(const QString& path) {
    const std::string file = QFile::encodeName(path).toStdString();
    m_classifyFailure.clear();
    m_scratch.FreePixels();
    orbelune::ImageSize size;
    orbelune::ImageFormat format = orbelune::ImageFormat::Unknown;
    orbelune::ImageError result = orbelune::ProbeImageFile(file, size, format);
    if (result != orbelune::err::kNone && result != orbelune::err::kNoDecoder) {
        // The decoder has the last word on a header the probe refused.
        result = m_scratch.LoadImageFile(file);
        size = {m_scratch.width(), m_scratch.height()};
        m_scratch.FreePixels();
    }
    if (result != orbelune::err::kNone || size.height <= 0) {
        m_classifyFailure =
            QString::fromStdString(orbelune::DescribeLoadFailure(file, format, result));
        return kNotAnImage;
    }
    return orbelune::IsPanoramaShape(size.width, size.height) ? kPanorama : kRingPhoto;
}

void COrbeluneView::OnOpenRawImage() {
    if (m_app.m_bBusy) {
        m_app.ShowBusyMessage();
        return;
    }
    m_app.m_bBusy = true;
    UiServices& ui = m_app.ui();
    const QString path =
        ui.OpenFileName(nullptr, tr("Open a ring photograph or a panorama"), OpenFilters());
    if (path.isEmpty()) {
        m_app.m_bBusy = false;
        ui.EndWaitCursor();
        return;
    }
    OpenChosenFile(path);
}

bool COrbeluneView::OpenFileGivenAtStart(const QString& path) {
    if (m_app.m_bBusy) return false;
    m_app.m_bBusy = true;
    OpenChosenFile(path);
    return true;
}

void COrbeluneView::OpenChosenFile(const QString& path) {
    UiServices& ui = m_app.ui();
    OpenTaskGuard guard(m_app);
    repaint();
    ui.BeginWaitCursor();
    const QFileInfo info(path);
    m_app.m_strFileName = info.fileName();
    m_app.m_strPathName = info.absoluteFilePath();

    int kind;
    {
        ProgressScope progress(m_app);
        m_classifyFailure.clear();
        kind = classifyHook ? classifyHook(path) : ClassifyImageFile(path);
    }
    if (kind == kNotAnImage) {
        const QString reason = m_classifyFailure.isEmpty()
                                   ? QStringLiteral("The file could not be read.")
                                   : m_classifyFailure;
        ui.MessageBox(this, reason + QStringLiteral("\nPlease choose another file."),
                      UiServices::Icon::Stop, UiServices::Buttons::Ok);
        return;
    }

    if (kind == kRingPhoto) {
        m_pRoundView->HideButtons();
        m_app.SwitchView(1);
        bool loaded;
        {
            ProgressScope progress(m_app);
            loaded = m_pRoundView->LoadRawImage(path);
        }
        if (!loaded) {
            m_app.SwitchView(0);
            return;
        }
        m_pRoundView->ShowButtons();
        ProgressScope progress(m_app);
        m_pRoundView->AfterLoad();
        return;
    }

    m_pPanoView->FreeImages();
    m_pPanoView->HideNavigation();
    m_app.SwitchView(2);
    m_pPanoView->SetProgressWorkingPlace();
    m_pPanoView->FreeImages();
    bool opened;
    {
        ProgressScope progress(m_app);
        opened = m_pPanoView->OpenPanoramaFile(path);
    }
    if (!opened) {
        m_app.SwitchView(0);
        m_pPanoView->SetProgressIdlePlace();
        return;
    }
    {
        ProgressScope progress(m_app);
        m_pPanoView->ShowNewPanorama();
    }
    m_pPanoView->ShowNavigation();
    m_pPanoView->HideBackButton();
    m_pPanoView->SetProgressIdlePlace();
    m_pPanoView->UpdateSizeCaption();
}

QStringList COrbeluneView::ManualCandidates() const {
    const QString programDir = QCoreApplication::applicationDirPath();
    return {m_app.m_strHelpDir + kManualFile, programDir + QStringLiteral("/help/") + kManualFile,
            programDir + QStringLiteral("/" ORBELUNE_DOC_FROM_BIN "/") + kManualFile};
}

QString COrbeluneView::OnlineManualUrl() {
    return QStringLiteral("https://www.halvarn.com/orbelune/manual/");
}

void COrbeluneView::OnHelpManual() {
    if (m_app.m_bBusy) {
        m_app.ShowBusyMessage();
        return;
    }
    UiServices& ui = m_app.ui();
    bool shown = false;
    for (const QString& candidate : ManualCandidates()) {
        if (QFileInfo::exists(candidate) && ui.OpenWithDefaultApp(candidate)) {
            shown = true;
            break;
        }
    }
    if (!shown) ui.OpenWithDefaultApp(OnlineManualUrl());
    m_app.m_bBusy = false;
}

void COrbeluneView::OnMirrorSelect() {
    if (m_app.m_bBusy) {
        m_app.ShowBusyMessage();
        return;
    }
    CMirrorDlg dlg(m_app.store(), window());
    const int result = m_app.runMirrorDialog ? m_app.runMirrorDialog(dlg) : dlg.exec();
    if (result == QDialog::Accepted) {
        m_app.m_nMirror = orbelune::Read(m_app.store(), orbelune::settings::kMirror);
    }
}
