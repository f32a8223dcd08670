#include "app/pano_view.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <algorithm>

#include "app/artwork.h"
#include "app/image_wnd.h"
#include "app/label_ctrl.h"
#include "session/save_names.h"
#include "app/main_frame.h"
#include "app/movie_props_dlg.h"
#include "app/orbelune_app.h"
#include "app/pano_wnd.h"
#include "app/ui_services.h"
#include "export/share360.h"
#include "export/share_page.h"
#include "image/file_names.h"
#include "image/file_types.h"
#include "image/image_error.h"
#include "image/image_io.h"
#include "image/image_layer.h"
#include "platform/settings_keys.h"

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

// What the photo (or the panorama file) the view was made from carries.
orbelune::PhotoMetadata SourceMetadata(const QString& path) {
    if (path.isEmpty()) return {};
    return orbelune::ReadPhotoMetadata(QFile::encodeName(path).toStdString());
}

const QString kShareTitle = QStringLiteral("Share as a 360° web page: name its folder");
const QString kShareFilters = QStringLiteral("Web page folder (*)");
// Between the save buttons and Back / Start Over.
constexpr QRect kPanoShare{471, 420, 224, 30};

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
    m_fromCustomMirror = false;
    return m_pWnd->LoadPanoramaFile(path);
}

void CPanoView::ShowNewPanorama() {
    const bool based = m_pWnd->TakeBase();
    m_pWnd->ResetCropLines();
    ReadSliders();
    if (!based) {
        // Without a base no adjustment can start from it: the panorama stays as it came.
        m_app.ui().MessageBox(this, QStringLiteral("Out of memory!"), UiServices::Icon::Stop,
                              UiServices::Buttons::Ok);
        return;
    }
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
    m_saveShare360 = false;

    const QString proposedName =
        QString::fromStdString(orbelune::ProposedPanoramaName(m_app.m_strFileName.toStdString()));
    // Proposed beside the raw photograph, where the user last looked.
    const QString folder = QFileInfo(m_app.m_strPathName).absolutePath();
    const QString proposed =
        m_app.m_strPathName.isEmpty() ? proposedName : QDir(folder).filePath(proposedName);
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
    m_movieSettings.moviePath = path.toStdString();
    if (orbelune::IsFileBusy(m_movieSettings.moviePath)) {
        m_app.ui().MessageBox(this,
                              QStringLiteral("File is busy in another application.  Please close "
                                             "the file or choose a different name for the file."),
                              UiServices::Icon::Stop, UiServices::Buttons::Ok);
        return;
    }
    if (share360 && RefuseShareOfCustomPanorama()) return;
    m_saveFormat = orbelune::FormatFromExtension(m_movieSettings.moviePath);
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
    orbelune::ImageError error;
    {
        CProgressScope progress(m_app);
        orbelune::PhotoMetadata metadata = SourceMetadata(m_app.m_strPathName);
        const orbelune::RgbImage& image = m_pWnd->image();
        if (m_saveShare360) {
            // Opens where the movie would: the movie settings' default view.
            const orbelune::ShareView view =
                orbelune::ShareViewForPanorama(m_movieSettings, image.width(), image.height());
            error = orbelune::SaveShare360Jpeg(image, view, metadata, m_movieSettings.moviePath);
        } else {
            error = image.SaveImageFile(m_movieSettings.moviePath, m_saveFormat,
                                        orbelune::PhotoMetadataFinisher(std::move(metadata)));
        }
    }
    m_app.m_tLastTaskEnd = m_app.now();
    m_app.ui().EndWaitCursor();
    if (error != orbelune::err::kNone) {
        m_app.ui().MessageBox(
            this,
            QString::fromStdString(orbelune::ImageErrorTextFor(m_movieSettings.moviePath, error)),
            UiServices::Icon::Stop, UiServices::Buttons::Ok);
    }
    return static_cast<int>(error);
}

void CPanoView::OnSaveMovie() {
    if (m_app.BeginTask()) return;
    SaveMovieAs();
    m_app.m_bBusy = false;
}

void CPanoView::SaveMovieAs() {
    if (!m_app.m_bQuickTime) {
        m_app.ui().MessageBox(this,
                              QStringLiteral("When this application was started, QuickTime was "
                                             "not installed.\n\nSaving is disabled."),
                              UiServices::Icon::Information, UiServices::Buttons::Ok);
        return;
    }
    if (m_app.m_nVRVersion < 0x210) {
        m_app.ui().MessageBox(this, QStringLiteral("QuickTime VR 2.1 or greater is required."),
                              UiServices::Icon::Stop, UiServices::Buttons::Ok);
        return;
    }
    if (!m_pWnd->HasImage()) return;
    m_saveFormat = orbelune::ImageFormat::Unknown;
    m_moviePages = {};
    m_movieSettings.moviePath =
        orbelune::ProposedMoviePath(QFile::encodeName(m_app.m_strPathName).toStdString());
    if (EditMovieProperties() != QDialog::Accepted) {
        m_pWnd->update();
        return;
    }
    m_saveFormat = orbelune::FormatFromExtension(m_movieSettings.moviePath);
    repaint();
    SavePanorama();
}

int CPanoView::EditMovieProperties() {
    CMoviePropsDlg dlg(m_app, this);
    const orbelune::RgbImage& panorama = m_pWnd->image();
    dlg.m_nMovieWidth = m_movieSettings.movieWidth;
    dlg.m_nMovieHeight = m_movieSettings.movieHeight;
    dlg.m_nPanoWidth = panorama.width();
    dlg.m_nPanoHeight = panorama.height();
    dlg.m_nCodec = m_movieSettings.compressor;
    dlg.m_nQuality = m_movieSettings.quality;
    dlg.m_nCorrection = m_movieSettings.correction;
    dlg.m_fZoom = m_movieSettings.zoom;
    dlg.m_nPan = m_movieSettings.pan;
    dlg.m_nTilt = m_movieSettings.tilt;
    dlg.m_nTiles = m_movieSettings.tiles;
    const QString moviePath =
        QFile::decodeName(QByteArray::fromStdString(m_movieSettings.moviePath));
    const QString baseName =
        QString::fromStdString(orbelune::movie_props::SplitPath(m_movieSettings.moviePath).base);
    dlg.m_strMovieFile = moviePath;
    dlg.m_strHtmlFile = baseName + QStringLiteral(".html");
    dlg.m_strTitle = baseName;
    dlg.m_strReferencePath = moviePath;
    dlg.OnInitDialog();

    const int result = m_app.runMoviePropsDialog ? m_app.runMoviePropsDialog(dlg) : dlg.exec();
    if (result != QDialog::Accepted) return result;

    m_movieSettings.movieWidth = m_movieSettings.confirmedWidth = dlg.m_nMovieWidth;
    m_movieSettings.movieHeight = m_movieSettings.confirmedHeight = dlg.m_nMovieHeight;
    m_movieSettings.correction = dlg.m_nCorrection;
    m_movieSettings.zoom = dlg.m_fZoom;
    m_movieSettings.quality = dlg.m_nQuality;
    m_movieSettings.compressor = dlg.m_nCodec;
    m_movieSettings.pan = dlg.m_nPan;
    m_movieSettings.tilt = dlg.m_nTilt;
    m_movieSettings.tiles = dlg.m_nTiles;
    namespace keys = orbelune::settings;
    orbelune::SettingsStore& store = m_app.store();
    orbelune::Write(store, keys::kMovieWidth, m_movieSettings.movieWidth);
    orbelune::Write(store, keys::kMovieHeight, m_movieSettings.movieHeight);
    orbelune::Write(store, keys::kCompressor, m_movieSettings.compressor);
    orbelune::Write(store, keys::kQuality, m_movieSettings.quality);
    orbelune::Write(store, keys::kCorrection, m_movieSettings.correction);
    orbelune::Write(store, keys::kZoom,
                    orbelune::movie_props::ZoomSliderPosition(m_movieSettings.zoom));
    orbelune::Write(store, keys::kPan, m_movieSettings.pan);
    orbelune::Write(store, keys::kTilt, m_movieSettings.tilt);
    orbelune::Write(store, keys::kTiles, m_movieSettings.tiles);
    m_movieSettings.moviePath = QFile::encodeName(dlg.m_strMovieFile).toStdString();
    m_moviePages = dlg.pages();
    return result;
}

int CPanoView::SaveMovieFile() {
    m_app.ui().BeginWaitCursor();
    // A .mov typed in the image dialog comes here with the stored settings:
    // they get the dialog's corrections first.
    const orbelune::MovieSettings settings = orbelune::movie_props::CorrectedSettings(
        m_movieSettings, orbelune::Read(m_app.store(), orbelune::settings::kMirror),
        orbelune::LoadCustomMirror(m_app.store()));
    int result = 0;
    {
        CProgressScope progress(m_app);
        orbelune::MovieBuildHooks hooks;
        hooks.showMessage = [this](const std::string& text) {
            m_app.ui().MessageBox(this, QString::fromStdString(text), UiServices::Icon::Stop,
                                  UiServices::Buttons::Ok);
        };
        hooks.progress = [&progress](int row, int count) {
            progress.Report(row, count);
            return true;
        };
        // Dated as the photo was taken, else as the movie is made.
        hooks.creationTime = orbelune::PhotoTimeSeconds(SourceMetadata(m_app.m_strPathName));
        if (hooks.creationTime == 0) hooks.creationTime = m_app.now();
        hooks.tileProgress = [this, &progress](int tile, int count) {
            // A new run on the same bar: from the panorama's rows to the tiles.
            if (tile == 0 && m_app.frame() != nullptr) m_app.frame()->EndProgress();
            progress.Report(tile, count);
        };
        result = buildMovie
                     ? buildMovie(m_pWnd->image(), settings, settings.moviePath, hooks)
                     : orbelune::SaveMovie(m_pWnd->image(), settings, settings.moviePath, hooks);
    }
    if (result != 0 && orbelune::IsSaveMovieError(result)) {
        // The build's own reasons are told as they are, never as a number.
        m_app.ui().MessageBox(
            this,
            QString::fromStdString(orbelune::SaveMovieErrorText(result, m_pWnd->image(), settings)),
            UiServices::Icon::Stop, UiServices::Buttons::Ok);
        m_app.ui().EndWaitCursor();
        return -2;
    }
    if (result != 0) {
        m_app.ui().MessageBox(
            this,
            QStringLiteral("QuickTime save failed with error code %1.\n\nMake sure that your "
                           "movie isn't open in another application, or try saving it under a "
                           "different name.")
                .arg(result),
            UiServices::Icon::Information, UiServices::Buttons::Ok);
        m_app.ui().EndWaitCursor();
        return -2;
    }
    // Only now: a page must never refer to a movie that failed.
    WriteMoviePages(m_app, this, m_moviePages, m_pWnd->image(), settings);
    m_moviePages = {};
    m_app.ui().OpenWithDefaultApp(QFile::decodeName(QByteArray::fromStdString(settings.moviePath)));
    m_app.m_tLastTaskEnd = m_app.now();
    m_app.ui().EndWaitCursor();
    return 0;
}

void CPanoView::OnShare360() {
    if (m_app.BeginTask()) return;
    Share360();
    m_app.m_bBusy = false;
}

bool CPanoView::RefuseShareOfCustomPanorama() {
    if (!m_fromCustomMirror) return false;
    m_app.ui().MessageBox(
        this,
        QStringLiteral("A panorama from the custom mirror cannot be shared as a 360° view yet.  "
                       "Save it as an ordinary picture instead."),
        UiServices::Icon::Stop, UiServices::Buttons::Ok);
    return true;
}

void CPanoView::Share360() {
    if (!m_pWnd->HasImage()) return;
    if (RefuseShareOfCustomPanorama()) return;
    const std::string base =
        orbelune::SplitPath(QFile::encodeName(m_app.m_strFileName).toStdString()).base;
    const QString name =
        QFile::decodeName(QByteArray::fromStdString(base)) + QStringLiteral("_360");
    // Proposed beside the raw photograph, as the panorama is.
    const QString proposed =
        m_app.m_strPathName.isEmpty()
            ? name
            : QDir(QFileInfo(m_app.m_strPathName).absolutePath()).filePath(name);
    const QString folder = m_app.ui().SaveFileName(this, kShareTitle, proposed, kShareFilters);
    if (folder.isEmpty()) return;

    orbelune::SharePageOptions options;
    options.title = QFile::decodeName(QByteArray::fromStdString(base)).toStdString();
    // The movie's default view, corrected as the movie dialog would.
    options.view = orbelune::ShareViewForPanorama(
        orbelune::movie_props::CorrectedSettings(
            m_movieSettings, orbelune::Read(m_app.store(), orbelune::settings::kMirror),
            orbelune::LoadCustomMirror(m_app.store())),
        m_pWnd->image().width(), m_pWnd->image().height());
    options.metadata =
        orbelune::ReadPhotoMetadata(QFile::encodeName(m_app.m_strPathName).toStdString());
    m_app.ui().BeginWaitCursor();
    const orbelune::ShareResult result =
        orbelune::WriteSharePage(m_pWnd->image(), options, QFile::encodeName(folder).toStdString());
    m_app.m_tLastTaskEnd = m_app.now();
    m_app.ui().EndWaitCursor();
    if (!result.ok()) {
        m_app.ui().MessageBox(this,
                              QStringLiteral("The web page could not be written.\n\n%1")
                                  .arg(QFile::decodeName(QByteArray::fromStdString(
                                      orbelune::ShareResultText(result)))),
                              UiServices::Icon::Stop, UiServices::Buttons::Ok);
        return;
    }
    const QString page = QDir(folder).filePath(QStringLiteral("index.html"));
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
