#include "app/start_view.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

#include "app/artwork.h"
#include "app/mirror_dlg.h"
#include "app/orbelune_app.h"
#include "app/task.h"
#include "app/ui_services.h"
#include "app/workflow.h"
#include "image/file_types.h"
#include "platform/settings_keys.h"

namespace {

const QString kManualFile = QStringLiteral("Orbelune_Manual.pdf");

// Every readable format, from the format table.
QString OpenFilters() {
    return QString::fromStdString(orbelune::OpenDialogFilters());
}

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

int COrbeluneView::ClassifyImageFile(const QString& path) {
    const orbelune::Classification found =
        orbelune::Session::Classify(QFile::encodeName(path).toStdString());
    m_classifyFailure = QString::fromStdString(found.failure);
    return static_cast<int>(found.kind);
}

int COrbeluneView::Classify(const QString& path) {
    m_classifyFailure.clear();
    if (classifyHook) return classifyHook(path);
    const std::string file = QFile::encodeName(path).toStdString();
    const orbelune::Classification found = RunLongWork(
        m_app, m_app.runningTask(), [file] { return orbelune::Session::Classify(file); });
    m_classifyFailure = QString::fromStdString(found.failure);
    return static_cast<int>(found.kind);
}

void COrbeluneView::OnOpenRawImage() {
    CTask task(m_app, CTask::Rule::Busy);
    if (task.refused()) return;
    const QString path =
        m_app.ui().OpenFileName(nullptr, tr("Open a ring photograph or a panorama"), OpenFilters());
    if (path.isEmpty()) return;
    workflow::OpenChosenFile(m_app, task, path);
}

bool COrbeluneView::OpenFileGivenAtStart(const QString& path) {
    CTask task(m_app, CTask::Rule::Quiet);
    if (task.refused()) return false;
    workflow::OpenChosenFile(m_app, task, path);
    return true;
}

QStringList COrbeluneView::ManualCandidates() const {
    const QString programDir = QCoreApplication::applicationDirPath();
    return {m_app.helpDir() + kManualFile, programDir + QStringLiteral("/help/") + kManualFile,
            programDir + QStringLiteral("/" ORBELUNE_DOC_FROM_BIN "/") + kManualFile};
}

QString COrbeluneView::OnlineManualUrl() {
    return QStringLiteral("https://www.halvarn.com/orbelune/manual/");
}

void COrbeluneView::OnHelpManual() {
    CTask task(m_app, CTask::Rule::Busy);
    if (task.refused()) return;
    UiServices& ui = m_app.ui();
    bool shown = false;
    for (const QString& candidate : ManualCandidates()) {
        if (QFileInfo::exists(candidate) && ui.OpenWithDefaultApp(candidate)) {
            shown = true;
            break;
        }
    }
    if (!shown) ui.OpenWithDefaultApp(OnlineManualUrl());
}

void COrbeluneView::OnMirrorSelect() {
    if (m_app.busy()) {
        m_app.ShowBusyMessage();
        return;
    }
    CMirrorDlg dlg(m_app.store(), window());
    const int result = m_app.runMirrorDialog ? m_app.runMirrorDialog(dlg) : dlg.exec();
    if (result == QDialog::Accepted) {
        m_app.session().ReadMirror();
    }
}
