#include "app/start_view.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <string>

#include "app/artwork.h"
#include "app/mirror_dlg.h"
#include "app/orbelune_app.h"
#include "app/recent_files.h"
#include "app/task.h"
#include "app/ui_services.h"
#include "app/workflow.h"
#include "image/file_types.h"
#include "platform/settings_keys.h"
#include "unwarp/mirror_types.h"

namespace {

const QString kManualFile = QStringLiteral("Orbelune_Manual.pdf");
const QString kHtmlManualFile = QStringLiteral("Orbelune_Manual.html");
// Below the mirror button: the chosen mirror, then the recent files.
constexpr QRect kMirrorPicture{QPoint(614, 370), COrbeluneView::kMirrorPictureSize};
constexpr QRect kMirrorName{556, 440, 196, 20};
constexpr QRect kRecent{574, 466, 160, 28};

// Every readable format, from the format table.
QString OpenFilters() {
    return QString::fromStdString(orbelune::OpenDialogFilters());
}

}  // namespace

const QString COrbeluneView::kNoManualMessage = QStringLiteral(
    "The manual could not be opened: no program on this computer opens PDF files or web "
    "pages.\n\nIt is installed as Orbelune_Manual.pdf and Orbelune_Manual.html beside the "
    "program (folder help) or in share/doc/orbelune.");

COrbeluneView::COrbeluneView(COrbeluneApp& app, QWidget* parent) : QWidget(parent), m_app(app) {
    // Drawn for the view size, never smaller; a larger window shows the
    // picture and its controls centred (stretching the picture would distort it).
    setMinimumSize(artwork::layout::kViewSize);
    resize(artwork::layout::kViewSize);
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

    m_pMirrorPicture = new QLabel(this);
    m_pMirrorPicture->setAlignment(Qt::AlignCenter);
    m_pMirrorName = new QLabel(this);
    m_pMirrorName->setAlignment(Qt::AlignCenter);
    QPalette text = m_pMirrorName->palette();
    text.setColor(QPalette::WindowText, Qt::white);
    m_pMirrorName->setPalette(text);

    m_pRecent = new QToolButton(this);
    m_pRecent->setText(tr("Recent files"));
    m_pRecent->setToolTip(tr("Open one of the files opened last"));
    m_pRecent->setPopupMode(QToolButton::InstantPopup);
    m_pRecentMenu = new QMenu(m_pRecent);
    m_pRecent->setMenu(m_pRecentMenu);
    connect(m_pRecentMenu, &QMenu::aboutToShow, this, &COrbeluneView::UpdateRecentFiles);

    UpdateMirror();
    UpdateRecentFiles();
    connect(m_pOpen, &QAbstractButton::clicked, this, &COrbeluneView::OnOpenRawImage);
    connect(m_pManual, &QAbstractButton::clicked, this, &COrbeluneView::OnHelpManual);
    connect(m_pMirror, &QAbstractButton::clicked, this, &COrbeluneView::OnMirrorSelect);
}

COrbeluneView::~COrbeluneView() = default;

void COrbeluneView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QSize designed = artwork::layout::kViewSize;
    const QPoint shift(std::max(0, width() - designed.width()) / 2,
                       std::max(0, height() - designed.height()) / 2);
    m_pBackground->setGeometry(QRect(shift, designed));
    m_pOpen->move(artwork::layout::kStartOpen.topLeft() + shift);
    m_pManual->move(artwork::layout::kStartManual.topLeft() + shift);
    m_pMirror->move(artwork::layout::kStartMirror.topLeft() + shift);
    m_pMirrorPicture->setGeometry(kMirrorPicture.translated(shift));
    m_pMirrorName->setGeometry(kMirrorName.translated(shift));
    m_pRecent->setGeometry(kRecent.translated(shift));
}

void COrbeluneView::UpdateMirror() {
    const int type = orbelune::Read(m_app.store(), orbelune::settings::kMirror);
    const orbelune::MirrorInfo* mirror = orbelune::FindMirror(type);
    m_pMirrorPicture->setPixmap(artwork::MirrorPictureFor(type).scaled(
        kMirrorPicture.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    const QString name =
        mirror ? QString::fromLatin1(mirror->caption).simplified() : tr("No mirror chosen");
    m_pMirrorName->setText(name);
    m_pMirrorPicture->setToolTip(tr("The mirror chosen: %1").arg(name));
    m_pMirrorName->setToolTip(m_pMirrorPicture->toolTip());
}

void COrbeluneView::UpdateRecentFiles() {
    m_pRecentMenu->clear();
    const std::vector<std::string> files = m_app.recentFiles().List();
    for (const std::string& file : files) {
        const QString path = QFile::decodeName(QByteArray::fromStdString(file));
        QAction* action = m_pRecentMenu->addAction(QFileInfo(path).fileName());
        action->setToolTip(path);
        action->setData(path);
        connect(action, &QAction::triggered, this,
                [this, path] { workflow::OpenFile(m_app, path); });
    }
    m_pRecent->setEnabled(!files.empty());
}

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
    const QString path = m_app.ui().OpenFileName(
        window(), tr("Open a ring photograph or a panorama"), OpenFilters());
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

QStringList COrbeluneView::HtmlManualCandidates() const {
    QStringList html;
    for (QString candidate : ManualCandidates()) {
        candidate.chop(kManualFile.size());
        html.append(candidate + kHtmlManualFile);
    }
    return html;
}

QString COrbeluneView::OnlineManualUrl() {
    return QStringLiteral("https://www.halvarn.com/orbelune/manual/");
}

void COrbeluneView::OnHelpManual() {
    CTask task(m_app, CTask::Rule::Busy);
    if (task.refused()) return;
    UiServices& ui = m_app.ui();
    // Without a PDF viewer the browser shows the HTML manual.
    for (const QString& candidate : ManualCandidates() + HtmlManualCandidates()) {
        if (QFileInfo::exists(candidate) && ui.OpenWithDefaultApp(candidate)) return;
    }
    if (ui.OpenWithDefaultApp(OnlineManualUrl())) return;
    ui.MessageBox(window(), kNoManualMessage, UiServices::Icon::Warning, UiServices::Buttons::Ok);
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
        UpdateMirror();
    }
}
