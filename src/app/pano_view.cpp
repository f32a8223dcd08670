#include "app/pano_view.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <algorithm>

#include "app/artwork.h"
#include "app/image_wnd.h"
#include "app/label_ctrl.h"
#include "app/movie_props_dlg.h"
#include "app/orbelune_app.h"
#include "app/pano_wnd.h"
#include "app/task.h"
#include "app/ui_services.h"
#include "app/view_stretch.h"
#include "export/share360.h"
#include "export/share_page.h"
#include "image/file_names.h"
#include "image/file_types.h"
#include "image/image_error.h"
#include "image/image_io.h"
#include "image/image_layer.h"
#include "platform/settings_keys.h"
#include "session/save_names.h"

namespace layout = artwork::layout;

namespace {

constexpr int kValueWidth = 36;

const orbelune::SliderRange& RangeOf(CPanoView::Slider which) {
    switch (which) {
        case CPanoView::kBrightness:
            return orbelune::kBrightnessSlider;
        case CPanoView::kContrast:
            return orbelune::kContrastSlider;
        case CPanoView::kSaturation:
            return orbelune::kSaturationSlider;
        case CPanoView::kSharpness:
            break;
    }
    return orbelune::kSharpnessSlider;
}

QRect SliderRow(CPanoView::Slider which) {
    switch (which) {
        case CPanoView::kBrightness:
            return layout::kPanoBrightness;
        case CPanoView::kContrast:
            return layout::kPanoContrast;
        case CPanoView::kSaturation:
            return layout::kPanoSaturation;
        case CPanoView::kSharpness:
            break;
    }
    return layout::kPanoSharpness;
}

QAbstractButton* PlaceButton(artwork::ButtonId id, const QRect& place, const QString& tip,
                             QWidget* parent) {
    auto* button = new ImageButton(id, parent);
    button->setGeometry(QRect(place.topLeft(), button->sizeHint()));
    button->setToolTip(tip);
    return button;
}

const QString kSaveTitle = QStringLiteral("Save current image as a panorama image file");
const QString kShare360Filter = QStringLiteral("360° JPEG (*.jpg)");
// The writable formats, from the format table, and the strip for 360° viewers.
QString SaveFilters() {
    QString filters = QString::fromStdString(orbelune::SaveDialogFilters());
    const QString all = QStringLiteral(";;All files (*)");
    const qsizetype at = filters.lastIndexOf(all);
    if (at >= 0 && at + all.size() == filters.size()) filters.chop(all.size());
    return filters + QStringLiteral(";;") + kShare360Filter + all;
}

const QString kShareTitle = QStringLiteral("Share as a 360° web page: name its folder");
const QString kShareFilters = QStringLiteral("Web page folder (*)");
// Between the save buttons and Back / Start Over.
constexpr QRect kPanoShare{471, 420, 224, 30};

}  // namespace

CPanoView::CPanoView(COrbeluneApp& app, QWidget* parent)
    : QWidget(parent),
      m_app(app),
      m_session(app.session()),
      m_background(artwork::PanoBackground()) {
    resize(layout::kViewSize);

    m_pWnd = new CPanoWnd(app, this);
    m_pWnd->setGeometry(layout::kPanoImage);

    using artwork::ButtonId;
    m_pBack = PlaceButton(ButtonId::PanoBack, layout::kPanoBack, QStringLiteral("Back to the ring"),
                          this);
    m_pReset = PlaceButton(ButtonId::Reset, layout::kPanoReset,
                           QStringLiteral("Put every slider back to neutral"), this);
    m_pUndo = PlaceButton(ButtonId::Undo, layout::kPanoUndo,
                          QStringLiteral("Undo the last crop or adjustment (Ctrl+Z)"), this);
    m_pCrop = PlaceButton(ButtonId::Crop, layout::kPanoCrop,
                          QStringLiteral("Keep the rows between the lines"), this);
    m_pSavePanorama = PlaceButton(ButtonId::SavePanorama, layout::kPanoSavePanorama,
                                  QStringLiteral("Save the panorama as an image file"), this);
    m_pSaveMovie = PlaceButton(ButtonId::SaveMovie, layout::kPanoSaveMovie,
                               QStringLiteral("Save the panorama as a VR movie"), this);
    m_pStartOver = PlaceButton(ButtonId::StartOver, layout::kPanoStartOver,
                               QStringLiteral("Drop this panorama and start again"), this);
    connect(m_pBack, &QAbstractButton::clicked, this, [this] { OnBack(); });
    connect(m_pReset, &QAbstractButton::clicked, this, [this] { OnReset(); });
    connect(m_pUndo, &QAbstractButton::clicked, this, [this] { OnUndo(); });
    connect(m_pCrop, &QAbstractButton::clicked, this, [this] { OnCrop(); });
    connect(m_pSavePanorama, &QAbstractButton::clicked, this, [this] { OnSavePanorama(); });
    connect(m_pSaveMovie, &QAbstractButton::clicked, this, [this] { OnSaveMovie(); });
    connect(m_pStartOver, &QAbstractButton::clicked, this, [this] { OnStartOver(); });

    namespace colors = artwork::colors;
    m_pShare = new QPushButton(QStringLiteral("Share as 360°…"), this);
    m_pShare->setGeometry(kPanoShare);
    m_pShare->setToolTip(
        QStringLiteral("Write a web page folder that shows the panorama as a 360° view"));
    m_pShare->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid %3; "
                       "border-radius: 4px; font-weight: 600; }"
                       "QPushButton:hover { border-color: %4; }"
                       "QPushButton:pressed { background: %3; }")
            .arg(colors::kPanel.name(), colors::kText.name(), colors::kPanelEdge.name(),
                 colors::kAccent.name()));
    connect(m_pShare, &QAbstractButton::clicked, this, [this] { OnShare360(); });

    QFont valueFont = font();
    valueFont.setPixelSize(12);
    for (int i = 0; i < 4; ++i) {
        const auto which = static_cast<Slider>(i);
        const orbelune::SliderRange& range = RangeOf(which);
        const QRect row = SliderRow(which);
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setRange(range.minimum, range.maximum);
        slider->setGeometry(row.adjusted(0, 0, -kValueWidth - 6, 0));
        slider->setPageStep(range.maximum >= 300 ? 20 : 10);
        static const char* const kSliderTips[] = {
            "Lighter or darker (50: unchanged)",
            "More or less contrast (50: unchanged)",
            "Stronger or paler colours (100: unchanged)",
            "Sharpen the panorama (0: off)",
        };
        slider->setToolTip(QString::fromUtf8(kSliderTips[i]));
        auto* value = new QLabel(this);
        value->setGeometry(
            QRect(row.right() - kValueWidth + 1, row.top(), kValueWidth, row.height()));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setFont(valueFont);
        value->setStyleSheet(QStringLiteral("color: #9aa8b8;"));
        m_sliders[i] = slider;
        m_sliderValues[i] = value;
        connect(slider, &QSlider::valueChanged, value, [value](int v) { value->setNum(v); });
        connect(slider, &QSlider::sliderReleased, this, [this, which] { OnSliderReleased(which); });
        // Keyboard, wheel and clicks on the track change the value without a
        // drag; they count as a release too.
        connect(slider, &QSlider::valueChanged, this, [this, which, slider] {
            if (m_bSettingSliders) return;
            if (slider->isSliderDown()) {
                OnSliderDragged();
            } else {
                OnSliderStepped(which);
            }
        });
    }
    m_startValues = {};
    RestoreSliders();

    m_pSizeCaption = new CLabelCtrl(this);
    QFont captionFont(QStringLiteral("Arial"));
    captionFont.setPointSize(9);
    m_pSizeCaption->setFont(captionFont);
    m_pSizeCaption->SetBackgroundColor(Qt::white);
    QPalette captionPalette = m_pSizeCaption->palette();
    captionPalette.setColor(QPalette::WindowText, QColor(0x20, 0x26, 0x30));
    m_pSizeCaption->setPalette(captionPalette);
    // Wide enough for what a crop would give.
    m_pSizeCaption->setGeometry(layout::kPanoSizeCaption.adjusted(0, 0, 180, 0));
    m_pWnd->setToolTip(
        QStringLiteral("Drag the green and red lines to the rows to keep, then press Crop."));
    connect(m_pWnd, &CPanoWnd::cropLinesChanged, this, [this] { UpdateSizeCaption(); });

    const auto smallButton = [this](const QString& text, int x, const QString& tip) {
        auto* button = new QPushButton(text, this);
        button->setGeometry(QRect(x, layout::kPanoImage.bottom() + 6, 64, 24));
        button->setToolTip(tip);
        return button;
    };
    const int x0 = layout::kPanoImage.left();
    m_pFit = smallButton(QStringLiteral("Fit"), x0, QStringLiteral("Show the whole panorama"));
    m_pZoom100 = smallButton(QStringLiteral("100 %"), x0 + 70,
                             QStringLiteral("One screen pixel per panorama pixel; the wheel "
                                            "turns the panorama around"));
    m_pBefore = smallButton(QStringLiteral("Before"), x0 + 140,
                            QStringLiteral("Hold the panorama as it was before the adjustments"));
    m_pBefore->setCheckable(true);
    m_pRedo = smallButton(QStringLiteral("Redo"), x0 + 210,
                          QStringLiteral("Do again what Undo took back"));
    connect(m_pFit, &QAbstractButton::clicked, this, [this] { m_pWnd->SetZoom(0); });
    connect(m_pZoom100, &QAbstractButton::clicked, this, [this] { m_pWnd->SetZoom(1); });
    connect(m_pBefore, &QAbstractButton::toggled, this,
            [this](bool before) { m_pWnd->SetShowBefore(before); });
    connect(m_pRedo, &QAbstractButton::clicked, this, [this] { OnRedo(); });

    m_pProgress = new CViewProgressBar(m_app, this);
    SetProgressIdlePlace();
}

CPanoView::~CPanoView() = default;

QLabel* CPanoView::sizeCaption() const {
    return m_pSizeCaption;
}

orbelune::RgbImage& CPanoView::currentImage() {
    return m_pWnd->image();
}

int CPanoView::InitCropLines() {
    return m_pWnd->InitCropLines();
}

void CPanoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // In a window larger than the design, the frame's stretch places the panels.
    if (const auto* stretch = findChild<ViewStretch*>(QString(), Qt::FindDirectChildrenOnly))
        stretch->Paint(painter, m_background);
    else
        painter.drawPixmap(0, 0, m_background);
}

void CPanoView::FreeImages() {
    m_pWnd->FreeImages();
}

void CPanoView::HideNavigation() {
    m_pBack->hide();
    m_pReset->hide();
    m_pStartOver->hide();
    m_pSizeCaption->hide();
}

void CPanoView::ShowNavigation() {
    m_pBack->show();
    m_pReset->show();
    m_pStartOver->show();
    m_pSizeCaption->show();
}

void CPanoView::HideBackButton() {
    m_pBack->hide();
}

bool CPanoView::OpenPanoramaFile(const QString& path) {
    return m_pWnd->LoadPanoramaFile(path);
}

orbelune::MovieSettings& CPanoView::movieSettings() {
    return m_session.movieSettings();
}

const orbelune::PanoAdjustments& CPanoView::adjustments() const {
    return m_session.adjustments();
}

bool CPanoView::Cancelled() const {
    return m_app.runningTask() != nullptr && m_app.runningTask()->cancelled();
}

void CPanoView::Tell(const orbelune::Outcome& outcome) {
    if (outcome.message.empty()) return;
    using Tell = orbelune::Outcome::Tell;
    const UiServices::Icon icon = outcome.tell == Tell::Information ? UiServices::Icon::Information
                                  : outcome.tell == Tell::Plain     ? UiServices::Icon::None
                                                                    : UiServices::Icon::Stop;
    m_app.ui().MessageBox(this, QString::fromStdString(outcome.message), icon,
                          UiServices::Buttons::Ok);
}

void CPanoView::ShowNewPanorama() {
    const orbelune::Outcome based = m_session.NewPanorama();
    ReadSliders();
    if (!based.ok()) {
        // Without a base no adjustment can start from it: the panorama stays as it came.
        Tell(based);
        return;
    }
    ApplyAdjustments();
}

void CPanoView::UpdateSizeCaption() {
    const orbelune::RgbImage& current = m_pWnd->image();
    if (current.width() < 1) return;
    QString text = QString::asprintf("PANO %d x %d", current.width(), current.height());
    // While the lines are moved: what a crop would keep.
    const orbelune::CropLines& lines = m_session.cropLines();
    if (lines.shown() && (lines.top() > 0 || lines.bottom() < current.height() - 1)) {
        const int top = std::clamp(lines.top(), 0, current.height() - 1);
        const int bottom = std::clamp(lines.bottom(), 0, current.height() - 1);
        if (bottom >= top)
            text += QString::asprintf("  (crop gives %d x %d)", current.width(), bottom - top + 1);
    }
    m_pSizeCaption->setText(text);
}

void CPanoView::SetProgressWorkingPlace() {
    m_pProgress->setGeometry(layout::kPanoProgressWorking);
}

void CPanoView::SetProgressIdlePlace() {
    m_pProgress->setGeometry(layout::kPanoProgressIdle);
}

void CPanoView::SetSlider(Slider which, int position) {
    const orbelune::SliderRange& range = RangeOf(which);
    m_bSettingSliders = true;
    m_sliders[which]->setValue(std::clamp(position, range.minimum, range.maximum));
    m_sliderValues[which]->setNum(m_sliders[which]->value());
    m_bSettingSliders = false;
}

int CPanoView::LastAccepted(Slider which) const {
    switch (which) {
        case kBrightness:
            return m_lastAccepted.brightness;
        case kContrast:
            return m_lastAccepted.contrast;
        case kSaturation:
            return m_lastAccepted.saturation;
        case kSharpness:
            break;
    }
    return m_lastAccepted.sharpness;
}

void CPanoView::RestoreSliders() {
    // Back and Unwarp again keep what was last applied; a new start does not.
    const bool keep = !m_keptFor.isEmpty() && m_keptFor == m_app.pathName();
    const orbelune::SliderPositions& shown = keep ? m_lastAccepted : m_startValues;
    SetSlider(kBrightness, shown.brightness);
    SetSlider(kContrast, shown.contrast);
    SetSlider(kSaturation, shown.saturation);
    SetSlider(kSharpness, shown.sharpness);
    m_lastAccepted = {m_sliders[kSharpness]->value(), m_sliders[kBrightness]->value(),
                      m_sliders[kContrast]->value(), m_sliders[kSaturation]->value()};
}

void CPanoView::SetSliderStartValues(int brightness, int contrast, int saturation) {
    m_startValues.brightness = brightness;
    m_startValues.contrast = contrast;
    m_startValues.saturation = saturation;
}

void CPanoView::ReadSliders() {
    m_lastAccepted = {m_sliders[kSharpness]->value(), m_sliders[kBrightness]->value(),
                      m_sliders[kContrast]->value(), m_sliders[kSaturation]->value()};
    m_adjustments = orbelune::AdjustmentsFromSliders(m_lastAccepted);
}

void CPanoView::ApplyAdjustments() {
    if (m_pBefore->isChecked()) m_pBefore->setChecked(false);
    m_pWnd->ApplyAdjustments(m_lastAccepted);
}

void CPanoView::ShowProgress(int row, int count) {
    m_pProgress->Report(row, count);
}

void CPanoView::HideProgress() {
    m_pProgress->End();
}

void CPanoView::PrepareForNewPanorama() {
    m_pWnd->ResetPanoWnd(true);
    m_pSizeCaption->clear();
    HideNavigation();
    SetProgressWorkingPlace();
}

void CPanoView::OnBack() {
    CTask task(m_app);
    if (task.refused()) return;
    m_keptFor = m_app.pathName();
    m_app.SwitchView(1);
}

void CPanoView::OnStartOver() {
    CTask task(m_app);
    if (task.refused()) return;
    if (!ConfirmDiscard()) return;
    m_keptFor.clear();
    m_pWnd->ResetPanoWnd(true);
    m_pSizeCaption->clear();
    m_app.SwitchView(0);
}

void CPanoView::OnUndo() {
    StepThroughHistory(true);
}

void CPanoView::OnRedo() {
    StepThroughHistory(false);
}

void CPanoView::StepThroughHistory(bool back) {
    CTask task(m_app);
    if (task.refused()) return;
    if (!(back ? m_session.CanUndo() : m_session.CanRedo())) return;
    // Undoing an adjustment adjusts the whole base again: on the worker, so the
    // window keeps painting (the task refuses other input meanwhile).
    orbelune::Session& session = m_session;
    const orbelune::Outcome outcome = RunLongWork(
        m_app, &task, [&session, back] { return back ? session.Undo() : session.Redo(); });
    Tell(outcome);
    // The session adjusted the picture; the sliders show what it holds now.
    const orbelune::SliderPositions& sliders = m_session.sliders();
    SetSlider(kSharpness, sliders.sharpness);
    SetSlider(kBrightness, sliders.brightness);
    SetSlider(kContrast, sliders.contrast);
    SetSlider(kSaturation, sliders.saturation);
    ReadSliders();
    m_pWnd->RefreshDisplay();
    UpdateSizeCaption();
}

void CPanoView::OnCrop() {
    CTask task(m_app);
    if (task.refused()) return;
    m_pWnd->CropToLines();
    UpdateSizeCaption();
    m_pWnd->ResetCropLines();
    ReadSliders();
    ApplyAdjustments();
}

void CPanoView::OnReset() {
    CTask task(m_app);
    if (task.refused()) return;
    SetSlider(kSharpness, orbelune::kSharpnessSlider.neutral);
    SetSlider(kBrightness, orbelune::kBrightnessSlider.neutral);
    SetSlider(kContrast, orbelune::kContrastSlider.neutral);
    SetSlider(kSaturation, orbelune::kSaturationSlider.neutral);
    ReadSliders();
    ApplyAdjustments();
}

void CPanoView::OnSliderReleased(Slider which) {
    if (m_app.busy()) {
        m_app.ShowBusyMessage();
        SetSlider(which, LastAccepted(which));
        m_pWnd->RefreshDisplay();  // no preview of what was refused
        return;
    }
    CTask task(m_app, CTask::Rule::Busy);
    ReadSliders();
    ApplyAdjustments();
}

void CPanoView::OnSliderDragged() {
    if (m_app.busy()) return;
    const orbelune::SliderPositions positions{
        m_sliders[kSharpness]->value(), m_sliders[kBrightness]->value(),
        m_sliders[kContrast]->value(), m_sliders[kSaturation]->value()};
    m_pBefore->setChecked(false);
    m_pWnd->PreviewAdjustments(positions);
}

void CPanoView::OnSliderStepped(Slider which) {
    if (m_app.runningTask() == nullptr) {
        OnSliderReleased(which);
        return;
    }
    // Wheel notches and key repeats during a task ask nothing: the latest
    // positions are applied once, when the task is over.
    if (m_bSlidersPending) return;
    m_bSlidersPending = true;
    QPointer<CPanoView> self(this);
    m_app.AfterTask([self] {
        if (self) self->ApplyPendingSliders();
    });
}

void CPanoView::ApplyPendingSliders() {
    if (!m_bSlidersPending) return;
    if (m_app.runningTask() != nullptr) {
        // Another task started first: wait for that one too.
        QPointer<CPanoView> self(this);
        m_app.AfterTask([self] {
            if (self) self->ApplyPendingSliders();
        });
        return;
    }
    m_bSlidersPending = false;
    if (m_app.busy()) return;
    CTask task(m_app, CTask::Rule::Busy);
    ReadSliders();
    ApplyAdjustments();
}

bool CPanoView::ConfirmDiscard() {
    if (!m_session.HasPanorama() || !m_session.unsaved()) return true;
    const QString question =
        QStringLiteral("The panorama has not been saved.\n\nSave it before it is closed?");
    switch (m_app.ui().MessageBox(this, question, UiServices::Icon::Warning,
                                  UiServices::Buttons::SaveDiscardCancel)) {
        case UiServices::Answer::Yes:
            // Inside the caller's command: the save needs no task of its own.
            SaveImage();
            return !m_session.unsaved();
        case UiServices::Answer::No:
            return true;
        default:
            return false;
    }
}

void CPanoView::OnSavePanorama() {
    CTask task(m_app);
    if (task.refused()) return;
    SaveImage();
}

void CPanoView::SaveImage() {
    if (!m_pWnd->HasImage()) return;
    m_saveFormat = orbelune::ImageFormat::Unknown;
    m_saveShare360 = false;

    const QString proposedName =
        QString::fromStdString(orbelune::ProposedPanoramaName(m_session.fileName()));
    // Proposed beside the raw photograph, where the user last looked.
    const QString pathName = m_app.pathName();
    const QString folder = QFileInfo(pathName).absolutePath();
    const QString proposed =
        pathName.isEmpty() ? proposedName : QDir(folder).filePath(proposedName);
    QString filter;
    QString path = m_app.ui().SaveFileName(this, kSaveTitle, proposed, SaveFilters(), &filter);
    if (path.isEmpty()) return;
    const bool share360 = filter == kShare360Filter;
    if (share360) {
        // The type decides the format; the name only needs the JPEG extension.
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (suffix != QStringLiteral("jpg") && suffix != QStringLiteral("jpeg"))
            path += QStringLiteral(".jpg");
    }
    m_moviePages = {};  // a .mov typed here writes no pages
    if (QFileInfo::exists(path)) {
        const QString question = QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                     .arg(QFileInfo(path).fileName());
        if (m_app.ui().MessageBox(this, question, UiServices::Icon::Warning,
                                  UiServices::Buttons::YesNo) != UiServices::Answer::Yes) {
            return;
        }
    }
    orbelune::MovieSettings& settings = m_session.movieSettings();
    settings.moviePath = path.toStdString();
    if (orbelune::IsFileBusy(settings.moviePath)) {
        m_app.ui().MessageBox(this,
                              QStringLiteral("File is busy in another application.  Please close "
                                             "the file or choose a different name for the file."),
                              UiServices::Icon::Stop, UiServices::Buttons::Ok);
        return;
    }
    m_saveFormat = orbelune::FormatFromExtension(settings.moviePath);
    m_saveShare360 = share360;
    repaint();
    SavePanorama();
}

int CPanoView::SavePanorama() {
    if (m_saveFormat == orbelune::ImageFormat::Mov) return SaveMovieFile();
    // Formats without an encoder are as good as no format.
    if (m_saveFormat == orbelune::ImageFormat::Unknown || !orbelune::CanEncode(m_saveFormat)) {
        m_app.ui().MessageBox(
            this, QStringLiteral("There is a problem.  File format has not been selected."),
            UiServices::Icon::Stop, UiServices::Buttons::Ok);
        return -1;
    }
    m_app.ui().BeginWaitCursor();
    const std::string path = m_session.movieSettings().moviePath;
    const orbelune::ImageFormat format = m_saveFormat;
    const bool share360 = m_saveShare360;
    const orbelune::Session& session = m_session;
    const orbelune::Outcome outcome = RunLongWork(
        m_app, m_app.runningTask(), [&] { return session.SaveImage(path, format, share360); });
    m_app.SetLastTaskEnd(m_app.now());
    m_app.ui().EndWaitCursor();
    if (outcome.ok()) m_session.SetSaved();
    // A save cancelled on the way out leaves no file and needs no word.
    if (!Cancelled()) Tell(outcome);
    if (outcome.ok()) m_app.ReportSaved(QFile::decodeName(QByteArray::fromStdString(path)));
    return outcome.code;
}

void CPanoView::OnSaveMovie() {
    CTask task(m_app);
    if (task.refused()) return;
    SaveMovieAs();
}

void CPanoView::SaveMovieAs() {
    if (!m_app.hasMovieLayer()) {
        m_app.ui().MessageBox(this,
                              QStringLiteral("When this application was started, QuickTime was "
                                             "not installed.\n\nSaving is disabled."),
                              UiServices::Icon::Information, UiServices::Buttons::Ok);
        return;
    }
    if (m_app.vrVersion() < 0x210) {
        m_app.ui().MessageBox(this, QStringLiteral("QuickTime VR 2.1 or greater is required."),
                              UiServices::Icon::Stop, UiServices::Buttons::Ok);
        return;
    }
    if (!m_pWnd->HasImage()) return;
    m_saveFormat = orbelune::ImageFormat::Unknown;
    m_moviePages = {};
    orbelune::MovieSettings& settings = m_session.movieSettings();
    settings.moviePath = orbelune::ProposedMoviePath(m_session.pathName());
    if (EditMovieProperties() != QDialog::Accepted) {
        m_pWnd->update();
        return;
    }
    m_saveFormat = orbelune::FormatFromExtension(settings.moviePath);
    repaint();
    SavePanorama();
}

int CPanoView::EditMovieProperties() {
    CMoviePropsDlg dlg(m_app, this);
    const orbelune::RgbImage& panorama = m_pWnd->image();
    orbelune::MovieSettings& settings = m_session.movieSettings();
    dlg.m_nMovieWidth = settings.movieWidth;
    dlg.m_nMovieHeight = settings.movieHeight;
    dlg.m_nPanoWidth = panorama.width();
    dlg.m_nPanoHeight = panorama.height();
    dlg.m_nCodec = settings.compressor;
    dlg.m_nQuality = settings.quality;
    dlg.m_nCorrection = settings.correction;
    dlg.m_fZoom = settings.zoom;
    dlg.m_nPan = settings.pan;
    dlg.m_nTilt = settings.tilt;
    dlg.m_nTiles = settings.tiles;
    const QString moviePath = QFile::decodeName(QByteArray::fromStdString(settings.moviePath));
    const QString baseName =
        QString::fromStdString(orbelune::movie_props::SplitPath(settings.moviePath).base);
    dlg.m_strMovieFile = moviePath;
    dlg.m_strHtmlFile = baseName + QStringLiteral(".html");
    dlg.m_strTitle = baseName;
    dlg.m_strReferencePath = moviePath;
    dlg.OnInitDialog();

    const int result = m_app.runMoviePropsDialog ? m_app.runMoviePropsDialog(dlg) : dlg.exec();
    if (result != QDialog::Accepted) return result;

    settings.movieWidth = settings.confirmedWidth = dlg.m_nMovieWidth;
    settings.movieHeight = settings.confirmedHeight = dlg.m_nMovieHeight;
    settings.correction = dlg.m_nCorrection;
    settings.zoom = dlg.m_fZoom;
    settings.quality = dlg.m_nQuality;
    settings.compressor = dlg.m_nCodec;
    settings.pan = dlg.m_nPan;
    settings.tilt = dlg.m_nTilt;
    settings.tiles = dlg.m_nTiles;
    m_session.StoreMovieSettings();
    settings.moviePath = QFile::encodeName(dlg.m_strMovieFile).toStdString();
    m_moviePages = dlg.pages();
    return result;
}

int CPanoView::SaveMovieFile() {
    m_app.ui().BeginWaitCursor();
    // A .mov typed in the image dialog comes here with the stored settings:
    // they get the dialog's corrections first.
    const orbelune::MovieSettings settings = m_session.CorrectedMovieSettings();
    CTask* task = m_app.runningTask();
    std::shared_ptr<ProgressRelay> relay = m_app.currentRelay();
    // Messages of the build are shown once it is back here.
    std::vector<std::string> told;
    orbelune::MovieBuildHooks hooks;
    hooks.showMessage = [&told](const std::string& text) { told.push_back(text); };
    if (relay) {
        hooks.progress = [relay](int row, int count) { return relay->Report(row, count); };
        hooks.tileProgress = [relay](int tile, int count) {
            // A new run on the same bar: from the panorama's rows to the tiles.
            if (tile == 0) relay->Restart();
            static_cast<void>(relay->Report(tile, count));
        };
    }
    hooks.cancelled = [task] { return task != nullptr && task->cancelled(); };
    const orbelune::Session& session = m_session;
    const std::int64_t now = m_app.now();
    const orbelune::Outcome outcome = RunLongWork(
        m_app, task, [&] { return session.SaveMovie(settings, hooks, buildMovie, now); });
    for (const std::string& text : told) {
        m_app.ui().MessageBox(this, QString::fromStdString(text), UiServices::Icon::Stop,
                              UiServices::Buttons::Ok);
    }
    if (!outcome.ok()) {
        if (!Cancelled()) Tell(outcome);
        m_app.ui().EndWaitCursor();
        return -2;
    }
    // Only now: a page must never refer to a movie that failed.
    WriteMoviePages(m_app, this, m_moviePages, m_pWnd->image(), settings);
    m_moviePages = {};
    m_session.SetSaved();
    m_app.ReportSaved(QFile::decodeName(QByteArray::fromStdString(settings.moviePath)));
    m_app.ui().OpenWithDefaultApp(QFile::decodeName(QByteArray::fromStdString(settings.moviePath)));
    m_app.SetLastTaskEnd(m_app.now());
    m_app.ui().EndWaitCursor();
    return 0;
}

void CPanoView::OnShare360() {
    CTask task(m_app);
    if (task.refused()) return;
    Share360();
}

void CPanoView::Share360() {
    if (!m_pWnd->HasImage()) return;
    const std::string base = orbelune::SplitPath(m_session.fileName()).base;
    const QString name =
        QFile::decodeName(QByteArray::fromStdString(base)) + QStringLiteral("_360");
    // Proposed beside the raw photograph, as the panorama is.
    const QString pathName = m_app.pathName();
    const QString proposed =
        pathName.isEmpty() ? name : QDir(QFileInfo(pathName).absolutePath()).filePath(name);
    const QString folder = m_app.ui().SaveFileName(this, kShareTitle, proposed, kShareFilters);
    if (folder.isEmpty()) return;

    m_app.ui().BeginWaitCursor();
    const std::string target = QFile::encodeName(folder).toStdString();
    const orbelune::Session& session = m_session;
    const orbelune::Outcome outcome =
        RunLongWork(m_app, m_app.runningTask(), [&] { return session.Share360(target); });
    m_app.SetLastTaskEnd(m_app.now());
    m_app.ui().EndWaitCursor();
    if (!outcome.ok()) {
        Tell(outcome);
        return;
    }
    const QString page = QDir(folder).filePath(QStringLiteral("index.html"));
    m_app.ReportSaved(page);
    const QString question =
        QStringLiteral(
            "The web page is in %1.\n\nOpen it with index.html, or put the whole "
            "folder on a web server. The 360° JPEG panorama.jpg in it can be shared "
            "on its own.\n\nOpen it in the browser now?")
            .arg(folder);
    if (m_app.ui().MessageBox(this, question, UiServices::Icon::Question,
                              UiServices::Buttons::YesNo) == UiServices::Answer::Yes) {
        m_app.ui().OpenWithDefaultApp(page);
    }
}
