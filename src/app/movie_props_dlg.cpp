#include "app/movie_props_dlg.h"

#include <fcntl.h>
#include <unistd.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "app/artwork.h"
#include "app/orbelune_app.h"
#include "app/ui_services.h"
#include "export/html_template.h"
#include "export/share360.h"
#include "export/share_page.h"
#include "platform/settings_keys.h"
#include "session/save_names.h"

namespace props = orbelune::movie_props;

namespace {

const QString kBusyText = QStringLiteral(
    "File is busy in another application.  Please close the file or choose a different name for "
    "the file.");
const QString kMovieBrowseTitle = QStringLiteral("Save current image to a quicktime VR movie file");
const QString kMovieFilters = QStringLiteral("MOVIE Files (*.mov *.MOV);;All files (*)");
const QString kHtmlBrowseTitle = QStringLiteral("Embed QuickTime movie in HTML Template");
const QString kHtmlFilters =
    QStringLiteral("HTML Files (*.html *.htm *.HTML *.HTM);;All files (*)");
using orbelune::kMaxMovieSide;

std::string Std(const QString& text) {
    return QFile::encodeName(text).toStdString();
}
QString Qs(const std::string& text) {
    return QFile::decodeName(QByteArray::fromStdString(text));
}

QLineEdit* ReadOnlyEdit(QWidget* parent, int width) {
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::NoFocus);
    edit->setFixedWidth(width);
    edit->setAlignment(Qt::AlignRight);
    edit->setStyleSheet(QStringLiteral("QLineEdit { background: palette(window); }"));
    return edit;
}

QLabel* EndLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("color: %1;").arg(QColor(0x5a, 0x66, 0x75).name()));
    return label;
}

QComboBox* ListCombo(const auto& names, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);  // an editable drop-down list, as the originals were
    combo->setInsertPolicy(QComboBox::NoInsert);
    for (const char* name : names)
        combo->addItem(QString::fromLatin1(name));
    combo->setMinimumWidth(150);
    return combo;
}

QSlider* TickedSlider(QWidget* parent, int tickInterval) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(tickInterval);
    slider->setSingleStep(1);
    return slider;
}

// The panel that says what the dialog is for, in the program's colours.
QWidget* Banner(QWidget* parent) {
    namespace colors = artwork::colors;
    auto* banner = new QLabel(parent);
    banner->setText(
        QStringLiteral(
            "<div style='font-size:15px; font-weight:600; color:%1;'>Save as VR Movie</div>"
            "<div style='color:%2;'>A 360° panorama movie, and a web page that shows it if you "
            "like.</div>")
            .arg(colors::kText.name(), colors::kMutedText.name()));
    banner->setAutoFillBackground(true);
    banner->setContentsMargins(14, 10, 14, 10);
    banner->setStyleSheet(QStringLiteral("QLabel { background: qlineargradient(x1:0, y1:0, x2:0, "
                                         "y2:1, stop:0 %1, stop:1 %2); border-bottom: 3px solid "
                                         "%3; }")
                              .arg(colors::kBackgroundTop.name(), colors::kBackgroundBottom.name(),
                                   colors::kAccent.name()));
    return banner;
}

}  // namespace

CMoviePropsDlg::CMoviePropsDlg(COrbeluneApp& app, QWidget* parent) : QDialog(parent), m_app(app) {
    setWindowTitle(tr("Save Movie Properties"));
    BuildControls();
}

void CMoviePropsDlg::BuildControls() {
    auto* outer = new QVBoxLayout(this);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    outer->setContentsMargins(0, 0, 0, 12);
    outer->setSpacing(10);
    outer->addWidget(Banner(this));

    auto* body = new QVBoxLayout;
    body->setContentsMargins(14, 0, 14, 0);
    body->setSpacing(10);
    outer->addLayout(body);

    // Save QTVR Movie
    auto* fileBox = new QGroupBox(tr("Save QTVR Movie"), this);
    auto* fileRow = new QHBoxLayout(fileBox);
    m_pMovieFile = new QLineEdit(fileBox);
    m_pMovieFile->setObjectName(QStringLiteral("movieFile"));
    m_pMovieBrowse = new QPushButton(tr("Browse..."), fileBox);
    fileRow->addWidget(new QLabel(tr("Save As:"), fileBox));
    fileRow->addWidget(m_pMovieFile, 1);
    fileRow->addWidget(m_pMovieBrowse);
    body->addWidget(fileBox);

    auto* columns = new QHBoxLayout;
    columns->setSpacing(10);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    columns->addLayout(left, 0);
    columns->addLayout(right, 1);
    body->addLayout(columns);

    // Movie Dimensions
    auto* sizeBox = new QGroupBox(tr("Movie Dimensions"), this);
    auto* sizeGrid = new QGridLayout(sizeBox);
    m_pPanoWidth = ReadOnlyEdit(sizeBox, 64);
    m_pPanoHeight = ReadOnlyEdit(sizeBox, 64);
    m_pMovieWidth = new QLineEdit(sizeBox);
    m_pMovieHeight = new QLineEdit(sizeBox);
    for (QLineEdit* edit : {m_pMovieWidth, m_pMovieHeight}) {
        edit->setFixedWidth(64);
        edit->setAlignment(Qt::AlignRight);
        edit->setValidator(new QIntValidator(1, kMaxMovieSide, edit));
    }
    sizeGrid->addWidget(new QLabel(tr("Panorama Width"), sizeBox), 0, 0);
    sizeGrid->addWidget(m_pPanoWidth, 0, 1);
    sizeGrid->addWidget(new QLabel(tr("Panorama Height"), sizeBox), 1, 0);
    sizeGrid->addWidget(m_pPanoHeight, 1, 1);
    sizeGrid->addWidget(new QLabel(tr("Movie Width"), sizeBox), 2, 0);
    sizeGrid->addWidget(m_pMovieWidth, 2, 1);
    sizeGrid->addWidget(new QLabel(tr("Movie Height"), sizeBox), 3, 0);
    sizeGrid->addWidget(m_pMovieHeight, 3, 1);
    left->addWidget(sizeBox);

    // Compression
    auto* compressionBox = new QGroupBox(tr("Compression"), this);
    auto* compressionGrid = new QGridLayout(compressionBox);
    m_pCodec = ListCombo(props::kCodecNames, compressionBox);
    m_pQuality = ListCombo(props::kQualityNames, compressionBox);
    compressionGrid->addWidget(new QLabel(tr("Codec"), compressionBox), 0, 0);
    compressionGrid->addWidget(m_pCodec, 0, 1);
    compressionGrid->addWidget(new QLabel(tr("Quality"), compressionBox), 1, 0);
    compressionGrid->addWidget(m_pQuality, 1, 1);
    left->addWidget(compressionBox);

    // Correction Mode
    auto* correctionBox = new QGroupBox(tr("Correction Mode"), this);
    auto* correctionRow = new QHBoxLayout(correctionBox);
    m_pCorrection = ListCombo(props::kCorrectionNames, correctionBox);
    correctionRow->addWidget(m_pCorrection, 1);
    left->addStretch(1);

    // Default View
    auto* viewBox = new QGroupBox(tr("Default View"), this);
    auto* viewGrid = new QGridLayout(viewBox);
    viewGrid->setColumnStretch(2, 1);
    viewGrid->setVerticalSpacing(8);
    m_pZoom = TickedSlider(viewBox, 4);
    m_pZoomValue = ReadOnlyEdit(viewBox, 52);
    m_pPan = TickedSlider(viewBox, 10);
    m_pPanValue = ReadOnlyEdit(viewBox, 52);
    m_pTilt = TickedSlider(viewBox, 3);
    m_pTiltValue = ReadOnlyEdit(viewBox, 52);
    m_pZoom->setMinimumWidth(210);
    m_pPan->setMinimumWidth(210);
    m_pTiltMin = EndLabel(QString(), viewBox);
    m_pTiltMax = EndLabel(QString(), viewBox);
    viewGrid->addWidget(new QLabel(tr("Zoom"), viewBox), 0, 0);
    viewGrid->addWidget(EndLabel(tr("1x"), viewBox), 0, 1);
    viewGrid->addWidget(m_pZoom, 0, 2);
    viewGrid->addWidget(EndLabel(tr("2x"), viewBox), 0, 3);
    viewGrid->addWidget(m_pZoomValue, 0, 4);
    viewGrid->addWidget(new QLabel(tr("Pan"), viewBox), 1, 0);
    viewGrid->addWidget(EndLabel(QStringLiteral("0° "), viewBox), 1, 1);
    viewGrid->addWidget(m_pPan, 1, 2);
    viewGrid->addWidget(EndLabel(QStringLiteral("360°"), viewBox), 1, 3);
    viewGrid->addWidget(m_pPanValue, 1, 4);
    viewGrid->addWidget(new QLabel(tr("Tilt"), viewBox), 2, 0);
    viewGrid->addWidget(m_pTiltMin, 2, 1);
    viewGrid->addWidget(m_pTilt, 2, 2);
    viewGrid->addWidget(m_pTiltMax, 2, 3);
    viewGrid->addWidget(m_pTiltValue, 2, 4);
    right->addWidget(viewBox);
    right->addWidget(correctionBox);
    right->addStretch(1);

    // Web Performance Settings
    auto* tilesBox = new QGroupBox(tr("Web Performance Settings"), this);
    auto* tilesGrid = new QGridLayout(tilesBox);
    tilesGrid->setColumnStretch(0, 1);
    m_pTiles = TickedSlider(tilesBox, 4);
    m_pTiles->setPageStep(4);
    m_pTilesValue = ReadOnlyEdit(tilesBox, 52);
    auto* tilesEnds = new QHBoxLayout;
    tilesEnds->addWidget(EndLabel(tr("Best Image Quality"), tilesBox));
    tilesEnds->addStretch(1);
    tilesEnds->addWidget(EndLabel(tr("Best Download Speed"), tilesBox));
    tilesGrid->addWidget(m_pTiles, 0, 0);
    tilesGrid->addWidget(new QLabel(tr("Number of Tiles"), tilesBox), 0, 1);
    tilesGrid->addWidget(m_pTilesValue, 0, 2);
    tilesGrid->addLayout(tilesEnds, 1, 0);
    body->addWidget(tilesBox);

    // HTML
    auto* htmlBox = new QGroupBox(tr("HTML"), this);
    auto* htmlGrid = new QGridLayout(htmlBox);
    m_pGenerateHtml = new QCheckBox(tr("Generate HTML Template with Embedded Movie"), htmlBox);
    m_pHtmlFileLabel = new QLabel(tr("HTML File"), htmlBox);
    m_pHtmlFile = new QLineEdit(htmlBox);
    m_pHtmlBrowse = new QPushButton(tr("Browse..."), htmlBox);
    m_pTitleLabel = new QLabel(tr("Title"), htmlBox);
    m_pTitle = new QLineEdit(htmlBox);
    m_pTitle->setMaxLength(static_cast<int>(orbelune::kMaxHtmlTitle));
    htmlGrid->addWidget(m_pGenerateHtml, 0, 0, 1, 3);
    htmlGrid->addWidget(m_pHtmlFileLabel, 1, 0);
    htmlGrid->addWidget(m_pHtmlFile, 1, 1);
    htmlGrid->addWidget(m_pHtmlBrowse, 1, 2);
    htmlGrid->addWidget(m_pTitleLabel, 2, 0);
    htmlGrid->addWidget(m_pTitle, 2, 1);
    m_pSharePage =
        new QCheckBox(tr("Also write a web page that works in today's browsers"), htmlBox);
    m_pSharePage->setToolTip(
        tr("A folder beside the movie with index.html, a 360° JPEG and its viewer"));
    htmlGrid->addWidget(m_pSharePage, 3, 0, 1, 3);
    body->addWidget(htmlBox);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_pSave = new QPushButton(tr("Save Movie"), this);
    m_pSave->setDefault(true);
    m_pSave->setMinimumWidth(110);
    m_pCancel = new QPushButton(tr("Cancel"), this);
    m_pCancel->setMinimumWidth(90);
    buttons->addWidget(m_pSave);
    buttons->addWidget(m_pCancel);
    body->addLayout(buttons);

    connect(m_pSave, &QPushButton::clicked, this, &CMoviePropsDlg::OnOK);
    connect(m_pCancel, &QPushButton::clicked, this, &CMoviePropsDlg::OnCancel);
    m_pSave->setToolTip(tr("Build the movie with these settings"));
    m_pCancel->setToolTip(tr("Close without building a movie"));
    m_pMovieBrowse->setToolTip(tr("Choose where the movie is saved"));
    m_pHtmlBrowse->setToolTip(tr("Choose where the web page is saved"));
    m_pCodec->setToolTip(tr("How the movie's tiles are compressed"));
    m_pQuality->setToolTip(tr("Picture quality against file size"));
    m_pCorrection->setToolTip(tr("How the viewer straightens the picture while panning"));
    m_pZoom->setToolTip(tr("How far the movie is zoomed in when it opens"));
    m_pPan->setToolTip(tr("The direction the movie faces when it opens"));
    m_pTilt->setToolTip(tr("How far up or down the movie looks when it opens"));
    m_pTiles->setToolTip(tr("More tiles load faster on the web; fewer look better"));
    m_pGenerateHtml->setToolTip(tr("Also write a web page that embeds the movie"));
    connect(m_pMovieBrowse, &QPushButton::clicked, this, &CMoviePropsDlg::OnBrowseMovie);
    connect(m_pHtmlBrowse, &QPushButton::clicked, this, &CMoviePropsDlg::OnBrowseHtml);
    connect(m_pMovieFile, &QLineEdit::textChanged, this, &CMoviePropsDlg::OnMovieFileChanged);
    connect(m_pHtmlFile, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_strHtmlFile = text; });
    // Only the user's typing counts as an edit; proposals set the text silently.
    connect(m_pHtmlFile, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_bHtmlNameEdited = true;
        if (!m_bTitleEdited) m_pTitle->setText(Qs(props::ProposedTitle(Std(text))));
    });
    connect(m_pTitle, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_strTitle = text; });
    connect(m_pTitle, &QLineEdit::textEdited, this, [this] { m_bTitleEdited = true; });
    connect(m_pMovieWidth, &QLineEdit::editingFinished, this, [this] { TakeFields(); });
    connect(m_pMovieHeight, &QLineEdit::editingFinished, this, [this] { TakeFields(); });

    connect(m_pGenerateHtml, &QCheckBox::toggled, this, [this](bool on) {
        m_bGenerateHtml = on;
        EnableHtmlControls();
    });
    connect(m_pSharePage, &QCheckBox::toggled, this, [this](bool on) { m_bSharePage = on; });

    connect(m_pZoom, &QSlider::valueChanged, this, [this](int position) {
        if (m_bShowing) return;
        m_fZoom = props::ZoomFromSlider(position);
        m_fZoom = props::CorrectZoom(m_fZoom);
        m_pZoomValue->setText(QString::number(m_fZoom, 'g', 6));
    });
    connect(m_pPan, &QSlider::valueChanged, this, [this](int position) {
        if (m_bShowing) return;
        m_nPan = position;
        m_pPanValue->setText(QString::number(m_nPan));
    });
    connect(m_pTilt, &QSlider::valueChanged, this, [this](int position) {
        if (m_bShowing) return;
        m_nTilt = position;
        m_pTiltValue->setText(QString::number(m_nTilt));
    });

    // A move of the tiles slider ends with a release, a key step, a page step
    // (a click in the channel) or a wheel turn; each snaps the count.
    connect(m_pTiles, &QSlider::sliderReleased, this,
            [this] { SnapTiles(props::TileMove::Other); });
    connect(m_pTiles, &QSlider::actionTriggered, this, [this](int action) {
        if (m_bShowing) return;
        switch (action) {
            case QAbstractSlider::SliderSingleStepAdd:
                SnapTiles(props::TileMove::StepRight);
                break;
            case QAbstractSlider::SliderSingleStepSub:
                SnapTiles(props::TileMove::StepLeft);
                break;
            case QAbstractSlider::SliderMove:
                if (!m_pTiles->isSliderDown()) SnapTiles(props::TileMove::Other);
                break;
            default:
                SnapTiles(props::TileMove::Other);
        }
    });

    // Choosing from the list selects; typing in the edit part selects nothing.
    const auto trackSelection = [this](QComboBox* combo, int* selection, bool tiles) {
        connect(combo, &QComboBox::activated, this, [this, selection, tiles](int index) {
            *selection = index;
            if (tiles) UpdateTilesSlider();
        });
        connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this, selection, tiles] {
            *selection = -1;
            if (tiles) UpdateTilesSlider();
        });
    };
    trackSelection(m_pCodec, &m_nCodecSel, true);
    trackSelection(m_pQuality, &m_nQualitySel, false);
    trackSelection(m_pCorrection, &m_nCorrectionSel, false);
}

void CMoviePropsDlg::OnInitDialog() {
    const props::Range tilt =
        props::TiltLimits(orbelune::Read(m_app.store(), orbelune::settings::kMirror),
                          orbelune::LoadCustomMirror(m_app.store()));
    m_nTiltMin = tilt.minimum;
    m_nTiltMax = tilt.maximum;
    // The same correction the batch tool and the build apply, so that the
    // dialog never shows (and stores) what the build would refuse.
    orbelune::MovieSettings incoming;
    incoming.zoom = m_fZoom;
    incoming.pan = m_nPan;
    incoming.tilt = m_nTilt;
    incoming.tiles = m_nTiles;
    incoming.compressor = m_nCodec;
    incoming.movieWidth = m_nMovieWidth;
    incoming.movieHeight = m_nMovieHeight;
    const orbelune::MovieSettings corrected = props::CorrectedSettings(
        incoming, orbelune::Read(m_app.store(), orbelune::settings::kMirror),
        orbelune::LoadCustomMirror(m_app.store()));
    m_fZoom = corrected.zoom;
    m_nPan = corrected.pan;
    m_nTilt = corrected.tilt;
    m_nTiles = corrected.tiles;
    m_nMovieWidth = corrected.movieWidth;
    m_nMovieHeight = corrected.movieHeight;
    m_nOpeningCodec = m_nCodec;

    const auto select = [](QComboBox* combo, int index, int* selection) {
        *selection = (index >= 0 && index < combo->count()) ? index : -1;
        combo->setCurrentIndex(*selection);
    };
    select(m_pCodec, m_nCodec, &m_nCodecSel);
    select(m_pQuality, m_nQuality, &m_nQualitySel);
    select(m_pCorrection, m_nCorrection, &m_nCorrectionSel);

    m_bShowing = true;
    m_pZoom->setRange(props::kZoomSlider.minimum, props::kZoomSlider.maximum);
    m_pPan->setRange(props::kPanRange.minimum, props::kPanRange.maximum);
    m_pTilt->setRange(m_nTiltMin, m_nTiltMax);
    m_bShowing = false;

    m_bGenerateHtml = false;
    m_pGenerateHtml->setChecked(false);
    m_bSharePage = false;
    m_pSharePage->setChecked(false);
    EnableHtmlControls();
    ShowFields();
    UpdateTilesSlider();
}

void CMoviePropsDlg::ShowFields() {
    m_bShowing = true;
    m_pMovieFile->setText(m_strMovieFile);
    m_pHtmlFile->setText(m_strHtmlFile);
    m_pTitle->setText(m_strTitle);
    m_pPanoWidth->setText(QString::number(m_nPanoWidth));
    m_pPanoHeight->setText(QString::number(m_nPanoHeight));
    m_pMovieWidth->setText(QString::number(m_nMovieWidth));
    m_pMovieHeight->setText(QString::number(m_nMovieHeight));
    m_pZoomValue->setText(QString::number(m_fZoom, 'g', 6));
    m_pZoom->setValue(props::ZoomSliderPosition(m_fZoom));
    m_pPanValue->setText(QString::number(m_nPan));
    m_pPan->setValue(m_nPan);
    m_pTiltValue->setText(QString::number(m_nTilt));
    m_pTilt->setValue(m_nTilt);
    m_pTiltMin->setText(QString::number(m_nTiltMin));
    m_pTiltMax->setText(QString::number(m_nTiltMax));
    m_pTilesValue->setText(QString::number(m_nTiles));
    m_bShowing = false;
    // setText above announced the movie file; the proposals must follow it.
    OnMovieFileChanged(m_strMovieFile);
}

bool CMoviePropsDlg::TakeFields() {
    m_strMovieFile = m_pMovieFile->text();
    m_strHtmlFile = m_pHtmlFile->text();
    m_strTitle = m_pTitle->text();
    for (auto [edit, field] :
         {std::pair{m_pMovieWidth, &m_nMovieWidth}, std::pair{m_pMovieHeight, &m_nMovieHeight}}) {
        bool whole = false;
        const int value = edit->text().trimmed().toInt(&whole);
        if (!whole || !orbelune::IsStorableMovieSide(value)) {
            m_app.ui().MessageBox(
                this,
                QStringLiteral("Please enter an integer between 1 and %1.").arg(kMaxMovieSide),
                UiServices::Icon::Stop, UiServices::Buttons::Ok);
            edit->setText(QString::number(*field));
            edit->setFocus();
            return false;
        }
        *field = value;
    }
    return true;
}

void CMoviePropsDlg::EnableHtmlControls() {
    for (QWidget* control : std::initializer_list<QWidget*>{m_pHtmlBrowse, m_pHtmlFile, m_pTitle,
                                                            m_pHtmlFileLabel, m_pTitleLabel}) {
        control->setEnabled(m_bGenerateHtml);
    }
}

void CMoviePropsDlg::OnMovieFileChanged(const QString& text) {
    if (m_bShowing) return;
    m_strMovieFile = text;
    m_pSave->setEnabled(!text.isEmpty());
    ProposeHtmlNames(text);
}

void CMoviePropsDlg::ProposeHtmlNames(const QString& moviePath) {
    if (!m_bHtmlNameEdited) m_pHtmlFile->setText(Qs(props::ProposedHtmlName(Std(moviePath))));
    if (!m_bTitleEdited) m_pTitle->setText(Qs(props::ProposedTitle(Std(m_pHtmlFile->text()))));
}

void CMoviePropsDlg::UpdateTilesSlider() {
    const props::TilesSlider slider =
        props::UpdateTiles(m_nCodecSel, m_nTiles, m_pTiles->minimum() > 0);
    m_nTiles = slider.tiles;
    m_bShowing = true;
    m_pTiles->setRange(slider.range.minimum, slider.range.maximum);
    m_pTiles->setTickInterval(slider.tickInterval);
    m_pTiles->setValue(slider.position);
    m_bShowing = false;
    ShowTiles();
}

void CMoviePropsDlg::SnapTiles(props::TileMove move) {
    m_nTiles = props::SnapTiles(m_pTiles->sliderPosition(), move, m_nOpeningCodec);
    // A count that fell back to 4 (Sorenson at opening) takes the codec's range again.
    if (m_nTiles == 4 && m_nOpeningCodec == props::kSorensonCodec) UpdateTilesSlider();
    m_bShowing = true;
    m_pTiles->setSliderPosition(props::TilesSliderPosition(m_nTiles));
    m_pTiles->setValue(props::TilesSliderPosition(m_nTiles));
    m_bShowing = false;
    ShowTiles();
}

void CMoviePropsDlg::ShowTiles() {
    m_pTilesValue->setText(QString::number(m_nTiles));
}

bool CMoviePropsDlg::WarnIfBusy(const QString& path) {
    if (!orbelune::IsFileBusy(Std(path))) return false;
    m_app.ui().MessageBox(this, kBusyText, UiServices::Icon::Stop, UiServices::Buttons::Ok);
    return true;
}

void CMoviePropsDlg::OnBrowseMovie() {
    const QString path =
        m_app.ui().SaveFileName(this, kMovieBrowseTitle, m_pMovieFile->text(), kMovieFilters);
    if (path.isEmpty()) return;
    m_pMovieFile->setText(path);  // proposes the page and title through the change
    m_strMovieFile = path;
    WarnIfBusy(path);  // a warning only; the chosen name stays
}

void CMoviePropsDlg::OnBrowseHtml() {
    const QString path =
        m_app.ui().SaveFileName(this, kHtmlBrowseTitle, m_pHtmlFile->text(), kHtmlFilters);
    if (path.isEmpty()) return;
    m_pHtmlFile->setText(path);
    WarnIfBusy(path);
    m_bHtmlNameEdited = true;
    if (!m_bTitleEdited) m_pTitle->setText(Qs(props::ProposedTitle(Std(path))));
}

MoviePages CMoviePropsDlg::PagesToWrite() const {
    MoviePages pages;
    const std::string movie =
        props::CompleteMoviePath(Std(m_strMovieFile), Std(m_strReferencePath));
    const props::PathParts movieParts = props::SplitPath(movie);
    const QString folder = Qs(movieParts.folder);
    pages.html = m_bGenerateHtml;
    // Linux file dialogs leave the working folder alone, so a page named
    // without a folder goes beside the movie rather than wherever the program
    // was started.
    pages.htmlPath = m_strHtmlFile;
    if (!pages.htmlPath.isEmpty() && QFileInfo(pages.htmlPath).isRelative() && !folder.isEmpty())
        pages.htmlPath = QDir(folder).filePath(pages.htmlPath);
    pages.title = m_strTitle;
    pages.movieSrc = m_strMovieFile;
    pages.movieWidth = m_nMovieWidth;
    pages.movieHeight = m_nMovieHeight;
    pages.sharePage = m_bSharePage;
    pages.shareFolder = Qs(movieParts.folder + movieParts.base + "_360");
    return pages;
}

void WriteMoviePages(COrbeluneApp& app, QWidget* parent, const MoviePages& pages,
                     const orbelune::RgbImage& panorama, const orbelune::MovieSettings& settings) {
    UiServices& ui = app.ui();
    if (pages.html) {
        if (orbelune::IsFileBusy(Std(pages.htmlPath))) {
            ui.MessageBox(parent, kBusyText, UiServices::Icon::Stop, UiServices::Buttons::Ok);
        } else {
            int error = 0;
            const orbelune::HtmlWriteResult result = orbelune::WriteHtmlTemplate(
                Std(pages.htmlPath), pages.title.toStdString(), pages.movieSrc.toStdString(),
                pages.movieWidth, pages.movieHeight, &error);
            if (result == orbelune::HtmlWriteResult::kInvalidPath) {
                ui.MessageBox(parent,
                              QStringLiteral("Generation of HTML Template failed. Path or file "
                                             "name is not valid.  Please try again with a "
                                             "different filename."),
                              UiServices::Icon::Stop, UiServices::Buttons::Ok);
            } else if (result == orbelune::HtmlWriteResult::kFailed) {
                ui.MessageBox(parent,
                              QStringLiteral("The HTML page %1 could not be written (%2).")
                                  .arg(pages.htmlPath, QString::fromStdString(
                                                           std::system_category().message(error))),
                              UiServices::Icon::Stop, UiServices::Buttons::Ok);
            }
        }
    }
    if (pages.sharePage) {
        orbelune::SharePageOptions options;
        options.title = pages.title.toStdString();
        options.view =
            orbelune::ShareViewForPanorama(settings, panorama.width(), panorama.height());
        options.metadata = orbelune::ReadPhotoMetadata(Std(app.pathName()));
        const orbelune::ShareResult result =
            orbelune::WriteSharePage(panorama, options, Std(pages.shareFolder));
        if (!result.ok()) {
            ui.MessageBox(parent,
                          QStringLiteral("The web page could not be written.\n\n%1")
                              .arg(Qs(orbelune::ShareResultText(result))),
                          UiServices::Icon::Stop, UiServices::Buttons::Ok);
        }
    }
}

int CMoviePropsDlg::Selection(const QComboBox* combo) const {
    if (combo == m_pCodec) return m_nCodecSel;
    if (combo == m_pQuality) return m_nQualitySel;
    return m_nCorrectionSel;
}

void CMoviePropsDlg::OnOK() {
    if (!TakeFields()) return;
    const struct {
        QComboBox* combo;
        int* field;
        const char* message;
    } lists[] = {
        {m_pCodec, &m_nCodec, "Please select a valid compressor."},
        {m_pQuality, &m_nQuality, "Please select a valid compression quality."},
        {m_pCorrection, &m_nCorrection, "Please select a valid correction mode."},
    };
    for (const auto& list : lists) {
        if (Selection(list.combo) < 0) {
            m_app.ui().MessageBox(this, QString::fromLatin1(list.message), UiServices::Icon::Stop,
                                  UiServices::Buttons::Ok);
            return;
        }
    }
    for (const auto& list : lists)
        *list.field = Selection(list.combo);

    // The pages are written once the movie is built (a failed build or a No
    // below leaves an existing page alone); the HTML page refers to the movie
    // by the name as typed.
    m_pages = PagesToWrite();

    m_strMovieFile = Qs(props::CompleteMoviePath(Std(m_strMovieFile), Std(m_strReferencePath)));
    m_pMovieFile->setText(m_strMovieFile);

    // Without blocking: a FIFO of that name must not stall the dialog.
    const QByteArray movie = QFile::encodeName(m_strMovieFile);
    const int existing = ::open(movie.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const bool missing = existing < 0 && errno == ENOENT;
    if (existing >= 0) ::close(existing);
    if (missing) {
        accept();
        return;
    }
    if (m_app.ui().MessageBox(this,
                              QStringLiteral("A movie file by that name already exists in this "
                                             "directory. Overwrite?"),
                              UiServices::Icon::Question,
                              UiServices::Buttons::YesNo) == UiServices::Answer::Yes) {
        accept();
    }
}

void CMoviePropsDlg::OnCancel() {
    m_app.SetBusy(false);
    QDialog::reject();
}

void CMoviePropsDlg::reject() {
    OnCancel();
}
