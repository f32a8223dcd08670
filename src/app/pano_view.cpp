#include "app/pano_view.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QPainter>
#include <QProgressBar>
#include <QSlider>
#include <algorithm>

#include "app/artwork.h"
#include "app/image_wnd.h"
#include "app/label_ctrl.h"
#include "app/logic/save_names.h"
#include "app/orbelune_app.h"
#include "app/pano_wnd.h"
#include "app/ui_services.h"
#include "image/image_error.h"
#include "image/image_io.h"

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
const QString kSaveFilters = QStringLiteral(
    "Image Files (*.bmp *.jpg *.jpeg *.tif *.tiff *.png);;Windows BMP Files (*.bmp);;"
    "JPEG Files (*.jpg *.jpeg);;TIFF Files (*.tif *.tiff);;PNG Files (*.png);;All files (*)");

}  // namespace

CPanoView::CPanoView(COrbeluneApp& app, QWidget* parent)
    : QWidget(parent), m_app(app), m_background(artwork::PanoBackground()) {
    resize(layout::kViewSize);

    m_pWnd = new CPanoWnd(app, this);
    m_pWnd->setGeometry(layout::kPanoImage);

    using artwork::ButtonId;
    m_pBack = PlaceButton(ButtonId::PanoBack, layout::kPanoBack, QStringLiteral("Back to the ring"),
                          this);
    m_pReset = PlaceButton(ButtonId::Reset, layout::kPanoReset,
                           QStringLiteral("Put every slider back to neutral"), this);
    m_pUndo =
        PlaceButton(ButtonId::Undo, layout::kPanoUndo, QStringLiteral("Undo the last crop"), this);
    m_pCrop = PlaceButton(ButtonId::Crop, layout::kPanoCrop,
                          QStringLiteral("Keep the rows between the lines"), this);
    m_pSavePanorama = PlaceButton(ButtonId::SavePanorama, layout::kPanoSavePanorama,
                                  QStringLiteral("Save the panorama as an image file"), this);
    m_pStartOver = PlaceButton(ButtonId::StartOver, layout::kPanoStartOver,
                               QStringLiteral("Drop this panorama and start again"), this);
    connect(m_pBack, &QAbstractButton::clicked, this, [this] { OnBack(); });
    connect(m_pReset, &QAbstractButton::clicked, this, [this] { OnReset(); });
    connect(m_pUndo, &QAbstractButton::clicked, this, [this] { OnUndo(); });
    connect(m_pCrop, &QAbstractButton::clicked, this, [this] { OnCrop(); });
    connect(m_pSavePanorama, &QAbstractButton::clicked, this, [this] { OnSavePanorama(); });
    connect(m_pStartOver, &QAbstractButton::clicked, this, [this] { OnStartOver(); });

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
            if (!m_bSettingSliders && !slider->isSliderDown()) OnSliderReleased(which);
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
    m_pSizeCaption->setGeometry(layout::kPanoSizeCaption);

    m_pProgress = new QProgressBar(this);
    StyleProgressBar(m_pProgress);
    m_pProgress->hide();
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

void CPanoView::ShowNewPanorama() {
    m_pWnd->TakeBase();
    m_pWnd->ResetCropLines();
    ReadSliders();
    ApplyAdjustments();
}

void CPanoView::UpdateSizeCaption() {
    const orbelune::RgbImage& current = m_pWnd->image();
    if (current.width() >= 1) {
        m_pSizeCaption->setText(
            QString::asprintf("PANO %d x %d", current.width(), current.height()));
    }
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
    SetSlider(kBrightness, m_startValues.brightness);
    SetSlider(kContrast, m_startValues.contrast);
    SetSlider(kSaturation, m_startValues.saturation);
    SetSlider(kSharpness, m_startValues.sharpness);
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
    m_pWnd->ApplyAdjustments(m_adjustments);
}

void CPanoView::ShowProgress(int row, int count) {
    if (!m_bProgressShown) {
        m_bProgressShown = true;
        m_app.m_bBusy = true;
        m_pProgress->show();
        m_pProgress->setRange(0, count);
    }
    m_pProgress->setValue(row);
}

void CPanoView::HideProgress() {
    m_pProgress->hide();
    m_bProgressShown = false;
}

void CPanoView::PrepareForNewPanorama() {
    m_pWnd->ResetPanoWnd(true);
    m_pSizeCaption->clear();
    HideNavigation();
    SetProgressWorkingPlace();
}

void CPanoView::OnBack() {
    if (m_app.BeginTask()) return;
    m_app.SwitchView(1);
    m_app.m_bBusy = false;
}

void CPanoView::OnStartOver() {
    if (m_app.BeginTask()) return;
    m_pWnd->ResetPanoWnd(true);
    m_pSizeCaption->clear();
    m_app.SwitchView(0);
    m_app.m_bBusy = false;
}

void CPanoView::OnUndo() {
    if (m_app.BeginTask()) return;
    // UndoCrop also makes the restored picture the new base.
    if (m_pWnd->UndoCrop() == 0) {
        m_pWnd->ResetCropLines();
        ReadSliders();
        ApplyAdjustments();
        m_pWnd->ClearUndo();
        UpdateSizeCaption();
    }
    m_app.m_bBusy = false;
}

void CPanoView::OnCrop() {
    if (m_app.BeginTask()) return;
    m_pWnd->CropToLines();
    UpdateSizeCaption();
    m_pWnd->ResetCropLines();
    ReadSliders();
    ApplyAdjustments();
    m_app.m_bBusy = false;
}

void CPanoView::OnReset() {
    if (m_app.BeginTask()) return;
    SetSlider(kSharpness, orbelune::kSharpnessSlider.neutral);
    SetSlider(kBrightness, orbelune::kBrightnessSlider.neutral);
    SetSlider(kContrast, orbelune::kContrastSlider.neutral);
    SetSlider(kSaturation, orbelune::kSaturationSlider.neutral);
    ReadSliders();
    ApplyAdjustments();
    m_app.m_bBusy = false;
}

void CPanoView::OnSliderReleased(Slider which) {
    if (m_app.m_bBusy) {
        m_app.ShowBusyMessage();
        SetSlider(which, LastAccepted(which));
        return;
    }
    // Busy while the adjustment runs, so nothing else starts from the progress pump.
    m_app.m_bBusy = true;
    m_pWnd->ResetCropLines();
    ReadSliders();
    ApplyAdjustments();
    m_app.m_bBusy = false;
}

void CPanoView::OnSavePanorama() {
    if (m_app.BeginTask()) return;
    SaveImage();
    m_app.m_bBusy = false;
}

void CPanoView::SaveImage() {
    if (!m_pWnd->HasImage()) return;
    m_saveFormat = orbelune::ImageFormat::Unknown;

    const QString proposedName =
        QString::fromStdString(orbelune::ProposedPanoramaName(m_app.m_strFileName.toStdString()));
    // Proposed beside the raw photograph, where the user last looked.
    const QString folder = QFileInfo(m_app.m_strPathName).absolutePath();
    const QString proposed =
        m_app.m_strPathName.isEmpty() ? proposedName : QDir(folder).filePath(proposedName);
    const QString path = m_app.ui().SaveFileName(this, kSaveTitle, proposed, kSaveFilters);
    if (path.isEmpty()) return;
    if (QFileInfo::exists(path)) {
        const QString question = QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                     .arg(QFileInfo(path).fileName());
        if (m_app.ui().MessageBox(this, question, UiServices::Icon::Warning,
                                  UiServices::Buttons::YesNo) != UiServices::Answer::Yes) {
            return;
        }
    }
    m_movieSettings.moviePath = path.toStdString();
    if (orbelune::IsFileBusy(m_movieSettings.moviePath)) {
        m_app.ui().MessageBox(this,
                              QStringLiteral("File is busy in another application.  Please close "
                                             "the file or choose a different name for the file."),
                              UiServices::Icon::Stop, UiServices::Buttons::Ok);
        return;
    }
    m_saveFormat = orbelune::FormatFromExtension(m_movieSettings.moviePath);
    repaint();
    SavePanorama();
}

int CPanoView::SavePanorama() {
    // Movies are built by the movie export, which this view does not drive yet;
    // formats without an encoder are as good as no format.
    if (m_saveFormat == orbelune::ImageFormat::Unknown ||
        m_saveFormat == orbelune::ImageFormat::Mov || !orbelune::CanEncode(m_saveFormat)) {
        m_app.ui().MessageBox(
            this, QStringLiteral("There is a problem.  File format has not been selected."),
            UiServices::Icon::Stop, UiServices::Buttons::Ok);
        return -1;
    }
    m_app.ui().BeginWaitCursor();
    orbelune::ImageError error;
    {
        CProgressScope progress(m_app);
        error = m_pWnd->image().SaveImageFile(m_movieSettings.moviePath, m_saveFormat);
    }
    m_app.m_tLastTaskEnd = m_app.now();
    m_app.ui().EndWaitCursor();
    if (error != orbelune::err::kNone) {
        m_app.ui().MessageBox(this, QString::fromStdString(orbelune::ImageErrorText(error)),
                              UiServices::Icon::Stop, UiServices::Buttons::Ok);
    }
    return static_cast<int>(error);
}
