#include "app/pano_wnd.h"

#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/orbelune_app.h"
#include "app/task.h"
#include "app/ui_services.h"
#include "image/image_error.h"
#include "image/image_ops.h"

namespace {

const QColor kTopLineColour(90, 160, 40);
const QColor kBottomLineColour(200, 0, 0);
// Rows a crop would remove are darkened, not hidden, so the user still sees them.
const QColor kCroppedShade(0, 0, 0, 200);

}  // namespace

CPanoWnd::CPanoWnd(COrbeluneApp& app, QWidget* parent)
    : CImageWnd(app, app.session().current(), parent), m_session(app.session()) {
    setCursor(Qt::SplitVCursor);
    setFocusPolicy(Qt::ClickFocus);
}

void CPanoWnd::Tell(const orbelune::Outcome& outcome) {
    if (outcome.message.empty()) return;
    m_app.ui().MessageBox(this, QString::fromStdString(outcome.message), UiServices::Icon::Stop,
                          UiServices::Buttons::Ok);
}

bool CPanoWnd::LoadPanoramaFile(const QString& path) {
    orbelune::RgbImage picture;
    const orbelune::ImageError error = DecodeOnWorker(path, picture);
    ReleaseDisplayBitmap();
    if (error != orbelune::err::kNone) {
        ShowLoadFailure(path, error);
        update();
        return false;
    }
    m_session.TakePanoramaFile(std::move(picture));
    RefreshDisplay();
    return true;
}

int CPanoWnd::InitCropLines() {
    return cropLines().Init(m_image.height()) ? 0 : -1;
}

void CPanoWnd::ResetCropLines() {
    cropLines().Reset(m_image.height());
}

int CPanoWnd::CropToLines() {
    const orbelune::Outcome outcome = m_session.Crop();
    Tell(outcome);
    if (!outcome.ok()) return -1;
    RefreshDisplay();
    return 0;
}

int CPanoWnd::ApplyAdjustments(const orbelune::SliderPositions& sliders) {
    if (images().base.empty()) return -1;
    const orbelune::AdjustJob job = m_session.PrepareAdjust(sliders);
    orbelune::AdjustResult result = RunLongWork(
        m_app, m_app.runningTask(), [job] { return orbelune::Session::ComputeAdjusted(job); });
    const orbelune::Outcome outcome = m_session.TakeAdjusted(std::move(result));
    Tell(outcome);
    RefreshDisplay();
    return outcome.ok() ? 0 : -1;
}

void CPanoWnd::PreviewAdjustments(const orbelune::SliderPositions& sliders) {
    const orbelune::RgbImage& base = images().base;
    if (base.empty() || m_displayWidth <= 0 || m_displayHeight <= 0) return;
    // Zoomed in, the preview is still made at the fitted size and enlarged:
    // a held slider must stay quick whatever the zoom.
    const double fit = std::min({1.0, static_cast<double>(width()) / base.width(),
                                 static_cast<double>(height()) / base.height()});
    const int previewWidth =
        std::min(m_displayWidth, std::max(1, static_cast<int>(std::lround(base.width() * fit))));
    const int previewHeight =
        std::min(m_displayHeight, std::max(1, static_cast<int>(std::lround(base.height() * fit))));
    if (m_previewSource != base.data() || m_previewBase.width() != previewWidth ||
        m_previewBase.height() != previewHeight) {
        m_previewSource = nullptr;
        if (m_previewBase.AllocatePixels(previewWidth, previewHeight) != orbelune::err::kNone)
            return;
        if (!orbelune::ResampleBilinear(base.data(), base.width(), base.height(),
                                        m_previewBase.data(), previewWidth, previewHeight))
            return;
        m_previewSource = base.data();
    }
    orbelune::RgbImage adjusted;
    if (orbelune::ApplyAdjustmentsTo(m_previewBase, orbelune::AdjustmentsFromSliders(sliders),
                                     adjusted) != orbelune::err::kNone)
        return;
    QImage display(adjusted.width(), adjusted.height(), QImage::Format_RGB888);
    if (display.isNull()) return;
    for (int y = 0; y < adjusted.height(); ++y)
        std::memcpy(display.scanLine(y), adjusted.row(y), adjusted.stride());
    if (display.width() != m_displayWidth || display.height() != m_displayHeight) {
        display = display.scaled(m_displayWidth, m_displayHeight, Qt::IgnoreAspectRatio,
                                 Qt::FastTransformation);
        if (display.isNull()) return;
    }
    m_display = std::move(display);
    update();
}

void CPanoWnd::FreeImages() {
    m_session.ClearPanorama();
    m_previewBase.FreePixels();
    m_previewSource = nullptr;
    ReleaseDisplayBitmap();
    update();
}

void CPanoWnd::ResetPanoWnd(bool freeImages) {
    cropLines().Clear();
    m_displayWidth = 0;
    m_displayHeight = 0;
    m_scale = 0.5;
    m_zoom = 0;
    m_scrollX = 0;
    m_scrollY = 0;
    m_showBefore = false;
    if (freeImages) FreeImages();
    update();
}

void CPanoWnd::UpdateScale() {
    if (m_image.empty() || width() <= 0 || height() <= 0) {
        m_scale = 0.5;
        m_displayWidth = m_displayHeight = 0;
        return;
    }
    // Never stretched: one scale both ways, the whole picture when fitted.
    const double fit = std::min(static_cast<double>(width()) / m_image.width(),
                                static_cast<double>(height()) / m_image.height());
    m_scale = m_zoom > 0 ? std::max(m_zoom, fit) : fit;
    m_scale = std::min(m_scale, std::max(fit, 1.0));
    m_displayWidth = std::max(1, static_cast<int>(std::lround(m_image.width() * m_scale)));
    m_displayHeight = std::max(1, static_cast<int>(std::lround(m_image.height() * m_scale)));
}

void CPanoWnd::FitToWindow() {
    UpdateScale();
    ClampScroll();
    if (m_image.empty()) {
        ReleaseDisplayBitmap();
        return;
    }
    const orbelune::RgbImage& shown =
        m_showBefore && !images().base.empty() ? images().base : m_image;
    BuildDisplayBitmap(shown, m_displayWidth, m_displayHeight, true, nullptr, nullptr);
}

void CPanoWnd::RefreshDisplay() {
    FitToWindow();
    update();
}

void CPanoWnd::SetZoom(double zoom) {
    m_zoom = zoom <= 0 ? 0 : std::min(zoom, 1.0);
    RefreshDisplay();
}

void CPanoWnd::ZoomIn() {
    SetZoom(std::min(1.0, (m_zoom > 0 ? m_zoom : m_scale) * 1.5));
}

void CPanoWnd::ZoomOut() {
    const double next = (m_zoom > 0 ? m_zoom : m_scale) / 1.5;
    UpdateScale();
    const double fit = std::min(static_cast<double>(width()) / std::max(1, m_image.width()),
                                static_cast<double>(height()) / std::max(1, m_image.height()));
    SetZoom(next <= fit ? 0 : next);
}

void CPanoWnd::ClampScroll() {
    if (m_displayWidth <= width()) {
        m_scrollX = 0;
    } else {
        m_scrollX %= m_displayWidth;
        if (m_scrollX < 0) m_scrollX += m_displayWidth;
    }
    m_scrollY = std::clamp(m_scrollY, 0, std::max(0, m_displayHeight - height()));
}

void CPanoWnd::ScrollBy(int dx, int dy) {
    m_scrollX += dx;
    m_scrollY += dy;
    ClampScroll();
    update();
}

void CPanoWnd::SetShowBefore(bool before) {
    if (m_showBefore == before) return;
    m_showBefore = before;
    RefreshDisplay();
}

int CPanoWnd::TopY() const {
    return m_displayHeight < height() ? (height() - m_displayHeight) / 2 : -m_scrollY;
}

QRect CPanoWnd::displayRect() const {
    const int left = m_displayWidth < width() ? (width() - m_displayWidth) / 2 : -m_scrollX;
    return {left, TopY(), m_displayWidth, m_displayHeight};
}

int CPanoWnd::RowAt(int y) const {
    return orbelune::RowFromWindowY(y - TopY(), m_scale);
}

void CPanoWnd::resizeEvent(QResizeEvent*) {
    if (HasImage()) FitToWindow();
}

void CPanoWnd::wheelEvent(QWheelEvent* event) {
    if (!HasImage()) return;
    const QPoint steps = event->angleDelta() / 120;
    if (event->modifiers() & Qt::ControlModifier) {
        if (steps.y() > 0) ZoomIn();
        if (steps.y() < 0) ZoomOut();
    } else {
        // The wheel turns the panorama; sideways wheels and Shift scroll rows.
        const bool rows = (event->modifiers() & Qt::ShiftModifier) != 0;
        const int along = steps.x() != 0 ? steps.x() : steps.y();
        if (rows) {
            ScrollBy(0, -along * 40);
        } else {
            ScrollBy(-along * 80, 0);
        }
    }
    event->accept();
}

void CPanoWnd::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            ZoomIn();
            break;
        case Qt::Key_Minus:
            ZoomOut();
            break;
        case Qt::Key_0:
            SetZoom(0);
            break;
        case Qt::Key_1:
            SetZoom(1);
            break;
        case Qt::Key_Left:
            ScrollBy(-80, 0);
            break;
        case Qt::Key_Right:
            ScrollBy(80, 0);
            break;
        default:
            CImageWnd::keyPressEvent(event);
            return;
    }
    event->accept();
}

void CPanoWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), m_background);
    if (m_display.isNull()) return;
    const QRect shown = displayRect();
    painter.drawImage(shown.topLeft(), m_display);
    // Past the seam the picture goes on from its other end.
    if (m_displayWidth > width() && shown.right() < width())
        painter.drawImage(QPoint(shown.left() + m_displayWidth, shown.top()), m_display);
    if (!cropLines().shown()) return;

    const int left = std::max(0, shown.left());
    const int right = m_displayWidth > width() ? width() : shown.right() + 1;
    const int bandWidth = right - left;
    const int topY = shown.top() + static_cast<int>(cropLines().top() * m_scale);
    const int bottomY = shown.top() + static_cast<int>(cropLines().bottom() * m_scale);
    const int topBandEnd = topY - 1;
    const int bottomBandStart = bottomY + 1;
    const int imageBottom = shown.top() + m_displayHeight;
    if (topBandEnd > shown.top())
        painter.fillRect(QRect(left, shown.top(), bandWidth, topBandEnd - shown.top()),
                         kCroppedShade);
    if (bottomBandStart < imageBottom) {
        painter.fillRect(QRect(left, bottomBandStart, bandWidth, imageBottom - bottomBandStart),
                         kCroppedShade);
    }
    painter.setPen(QPen(kTopLineColour, 2, Qt::SolidLine));
    painter.drawLine(left, topY, right, topY);
    painter.setPen(QPen(kBottomLineColour, 2, Qt::SolidLine));
    painter.drawLine(left, bottomY, right, bottomY);
}

void CPanoWnd::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton || !HasImage() || m_app.busy()) return;
    UpdateScale();
    cropLines().Press(RowAt(event->position().toPoint().y()));
    update();
}

void CPanoWnd::mouseMoveEvent(QMouseEvent* event) {
    if (cropLines().Move(RowAt(event->position().toPoint().y()))) {
        emit cropLinesChanged();
        update();
    }
}

void CPanoWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    cropLines().Release(m_image.height());
    emit cropLinesChanged();
    update();
}
