#include "app/pano_wnd.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/orbelune_app.h"
#include "app/ui_services.h"
#include "image/file_types.h"
#include "image/image_error.h"
#include "image/image_io.h"

namespace {

const QColor kTopLineColour(90, 160, 40);
const QColor kBottomLineColour(200, 0, 0);
// Rows a crop would remove are darkened, not hidden, so the user still sees them.
const QColor kCroppedShade(0, 0, 0, 200);

}  // namespace

CPanoWnd::CPanoWnd(COrbeluneApp& app, QWidget* parent) : CImageWnd(app, parent) {
    setCursor(Qt::SplitVCursor);
}

bool CPanoWnd::LoadPanoramaFile(const QString& path) {
    orbelune::ImageError error;
    {
        CProgressScope progress(m_app);
        error = m_image.LoadImageFile(path.toStdString());
    }
    ReleaseDisplayBitmap();
    if (error != orbelune::err::kNone) {
        // Names the file and says whether it is damaged or in a format not read.
        const std::string file = path.toStdString();
        m_app.ui().MessageBox(this,
                              QString::fromStdString(orbelune::DescribeLoadFailure(
                                  file, orbelune::DetectFileFormat(file), error)),
                              UiServices::Icon::None, UiServices::Buttons::Ok);
        update();
        return false;
    }
    InitCropLines();
    RefreshDisplay();
    return true;
}

int CPanoWnd::InitCropLines() {
    return m_lines.Init(m_image.height()) ? 0 : -1;
}

void CPanoWnd::ResetCropLines() {
    m_lines.Reset(m_image.height());
}

int CPanoWnd::CropToLines() {
    if (!m_lines.shown()) return -1;
    switch (orbelune::CropToLines(m_images, m_lines.top(), m_lines.bottom())) {
        case orbelune::CropOutcome::Cropped:
            break;
        case orbelune::CropOutcome::NotReady:
            return -1;
        case orbelune::CropOutcome::InvalidLines:
            m_app.ui().MessageBox(this, QStringLiteral("Crop lines values are invalid."),
                                  UiServices::Icon::Stop, UiServices::Buttons::Ok);
            return -1;
        case orbelune::CropOutcome::OutOfMemory:
            m_app.ui().MessageBox(this, QStringLiteral("Out of memory!"), UiServices::Icon::Stop,
                                  UiServices::Buttons::Ok);
            return -1;
    }
    InitCropLines();
    RefreshDisplay();
    return 0;
}

int CPanoWnd::UndoCrop() {
    if (!orbelune::UndoCrop(m_images)) return -1;
    RefreshDisplay();
    InitCropLines();
    return 0;
}

bool CPanoWnd::TakeBase() {
    return orbelune::TakeBase(m_images) == orbelune::err::kNone;
}

int CPanoWnd::ApplyAdjustments(const orbelune::PanoAdjustments& adjustments) {
    if (m_images.base.empty()) return -1;
    orbelune::ImageError error;
    {
        CProgressScope progress(m_app);
        error = orbelune::ApplyAdjustments(m_images, adjustments);
    }
    if (error != orbelune::err::kNone) {
        // The picture shown must never be a half-adjusted one: fall back to the base.
        // Should that copy fail too, memory is short whatever the adjustment said.
        const bool restored = m_image.CopyImage(m_images.base) == orbelune::err::kNone;
        if (error == orbelune::err::kNoMemory || !restored) {
            m_app.ui().MessageBox(this, QStringLiteral("Out of memory!"), UiServices::Icon::Stop,
                                  UiServices::Buttons::Ok);
        }
    }
    RefreshDisplay();
    return error == orbelune::err::kNone ? 0 : -1;
}

void CPanoWnd::FreeImages() {
    m_images.FreeAll();
    ReleaseDisplayBitmap();
    update();
}

void CPanoWnd::ResetPanoWnd(bool freeImages) {
    m_lines.Clear();
    m_displayWidth = 0;
    m_displayHeight = 0;
    m_verticalScale = 0.5;
    if (freeImages) FreeImages();
    update();
}

void CPanoWnd::FitToWindow() {
    m_displayWidth = width();
    m_displayHeight = height();
    UpdateVerticalScale();
    if (m_image.empty()) {
        ReleaseDisplayBitmap();
        return;
    }
    CProgressScope progress(m_app);
    BuildDisplayBitmap(m_image, m_displayWidth, m_displayHeight, true, nullptr, nullptr);
}

void CPanoWnd::RefreshDisplay() {
    FitToWindow();
    update();
}

void CPanoWnd::resizeEvent(QResizeEvent*) {
    if (HasImage()) FitToWindow();
}

void CPanoWnd::UpdateVerticalScale() {
    m_verticalScale =
        m_image.height() > 0 ? static_cast<double>(m_displayHeight) / m_image.height() : 0.5;
}

void CPanoWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect client = rect();
    const int shownWidth = m_display.isNull() ? 0 : std::min(m_displayWidth, m_display.width());
    const int shownHeight = m_display.isNull() ? 0 : std::min(m_displayHeight, m_display.height());
    DrawDisplayBitmap(painter, QRect(0, 0, shownWidth, shownHeight));
    painter.fillRect(QRect(shownWidth, 0, client.width() - shownWidth, client.height()),
                     m_background);
    painter.fillRect(QRect(0, shownHeight, shownWidth, client.height() - shownHeight),
                     m_background);
    if (!m_lines.shown()) return;

    UpdateVerticalScale();
    const double scale = m_verticalScale;
    const int topY = static_cast<int>(m_lines.top() * scale);
    const int bottomY = static_cast<int>(m_lines.bottom() * scale);
    const int topBandEnd = static_cast<int>(m_lines.top() * scale - 1);
    const int bottomBandStart = static_cast<int>(m_lines.bottom() * scale + 1);
    if (topBandEnd > 0) painter.fillRect(QRect(0, 0, m_displayWidth, topBandEnd), kCroppedShade);
    if (bottomBandStart < m_displayHeight) {
        painter.fillRect(
            QRect(0, bottomBandStart, m_displayWidth, m_displayHeight - bottomBandStart),
            kCroppedShade);
    }
    painter.setPen(QPen(kTopLineColour, 2, Qt::SolidLine));
    painter.drawLine(0, topY, m_displayWidth, topY);
    painter.setPen(QPen(kBottomLineColour, 2, Qt::SolidLine));
    painter.drawLine(0, bottomY, m_displayWidth, bottomY);
}

void CPanoWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !HasImage() || m_app.m_bBusy) return;
    UpdateVerticalScale();
    m_lines.Press(orbelune::RowFromWindowY(event->position().toPoint().y(), m_verticalScale));
    update();
}

void CPanoWnd::mouseMoveEvent(QMouseEvent* event) {
    if (m_lines.Move(orbelune::RowFromWindowY(event->position().toPoint().y(), m_verticalScale))) {
        update();
    }
}

void CPanoWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    m_lines.Release(m_image.height());
    update();
}
