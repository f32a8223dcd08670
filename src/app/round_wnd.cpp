#include "app/round_wnd.h"

#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>
#include <vector>

#include "app/orbelune_app.h"
#include "app/task.h"
#include "app/ui_services.h"
#include "image/image_error.h"

namespace {

// A bright line over a dark outline shows on light and dark pictures alike.
const QColor kRingColour(120, 255, 90);
const QColor kRingOutline(0, 0, 0, 170);
const QColor kSeamColour(230, 120, 0);
constexpr double kZoomStep = 1.25;
constexpr int kLoupeSize = 121;

// The photograph as `view` shows it in a w x h window, each window pixel
// taking the nearest image pixel; black outside the photograph.
QImage SampleView(const orbelune::RgbImage& image, double originX, double originY, double scale,
                  int w, int h) {
    QImage out(std::max(1, w), std::max(1, h), QImage::Format_RGB888);
    out.fill(Qt::black);
    if (image.empty() || scale <= 0.0) return out;
    std::vector<int> columns(static_cast<std::size_t>(out.width()));
    for (int x = 0; x < out.width(); ++x) {
        const double ix = std::floor((x + 0.5 - originX) / scale);
        columns[static_cast<std::size_t>(x)] =
            ix < 0 || ix >= image.width() ? -1 : static_cast<int>(ix);
    }
    for (int y = 0; y < out.height(); ++y) {
        const double iy = std::floor((y + 0.5 - originY) / scale);
        if (iy < 0 || iy >= image.height()) continue;
        const std::uint8_t* src = image.row(static_cast<int>(iy));
        std::uint8_t* dst = out.scanLine(y);
        for (int x = 0; x < out.width(); ++x) {
            const int c = columns[static_cast<std::size_t>(x)];
            if (c < 0) continue;
            dst[3 * x] = src[3 * c];
            dst[3 * x + 1] = src[3 * c + 1];
            dst[3 * x + 2] = src[3 * c + 2];
        }
    }
    return out;
}

void DrawCircle(QPainter& painter, QPointF centre, double radius) {
    painter.setPen(QPen(kRingOutline, 4));
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(QPen(kRingColour, 1.5));
    painter.drawEllipse(centre, radius, radius);
}

}  // namespace

CRoundWnd::CRoundWnd(COrbeluneApp& app, QWidget* parent)
    : CImageWnd(app, app.session().raw(), parent), m_session(app.session()) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(
        QStringLiteral("Drag the cross, the circles or the seam marker. The wheel or + and "
                       "- zoom, the middle button pans, the arrow keys move what was "
                       "grabbed last by one pixel (Shift: ten). The ring stays inside the "
                       "view; the outer circle stops at the nearer edge."));
}

bool CRoundWnd::LoadRawImage(const QString& path) {
    ReleaseDisplayBitmap();
    m_fit = {};
    m_view = {};
    m_zoomed = QImage();
    m_loupe = QImage();
    m_editor.Reset();
    orbelune::RgbImage picture;
    if (const orbelune::ImageError error = DecodeOnWorker(path, picture);
        error != orbelune::err::kNone) {
        ShowLoadFailure(path, error);
        update();
        return false;
    }
    // Finding the ring in a large photograph takes a while: on the worker too.
    m_session.TakeRawPhoto(std::move(picture),
                           [this](const orbelune::RgbImage& photo, orbelune::RingParams& ring) {
                               return RunLongWork(m_app, m_app.runningTask(), [&photo, &ring] {
                                   return orbelune::Session::DetectRing(photo, ring);
                               });
                           });
    return true;
}

CRoundWnd::RingSource CRoundWnd::ringSource() const {
    return m_session.ringSource();
}

orbelune::RingParams& CRoundWnd::ring() {
    return m_session.ring();
}

const orbelune::RingParams& CRoundWnd::ring() const {
    return m_session.ring();
}

double CRoundWnd::seamAngle() const {
    return m_session.seamAngle();
}

bool CRoundWnd::FindRing() {
    if (!m_session.FindRing()) return false;
    update();
    return true;
}

void CRoundWnd::RebuildDisplay() {
    m_fit = {};
    if (m_image.empty()) {
        ReleaseDisplayBitmap();
        update();
        return;
    }
    int width = 0;
    int height = 0;
    // The photograph with room around it for a rim that the frame cut off.
    const orbelune::RoundDisplay fit =
        orbelune::FitRoundDisplay(m_image.width(), m_image.height(), this->width(), this->height());
    BuildDisplayBitmap(m_image, fit.width, fit.height, true, &width, &height);
    if (!m_display.isNull()) m_fit = fit;
    SetView(m_fit);
}

void CRoundWnd::SetView(const orbelune::RoundDisplay& view) {
    m_view = view;
    m_zoomed = QImage();
    // The fitted view shows the smoothed display copy; any other is sampled.
    if (m_view.scale > 0.0 && m_view.scale != m_fit.scale)
        m_zoomed =
            SampleView(m_image, m_view.originX, m_view.originY, m_view.scale, width(), height());
    update();
    emit viewChanged();
}

void CRoundWnd::ZoomTo(double scale, QPoint anchor) {
    if (m_fit.scale <= 0.0) return;
    SetView(orbelune::ZoomRoundDisplay(m_view, m_fit, m_image.width(), m_image.height(), scale,
                                       anchor.x(), anchor.y()));
}

void CRoundWnd::ZoomBy(double factor, QPoint anchor) {
    ZoomTo(m_view.scale * factor, anchor);
}

void CRoundWnd::ZoomIn() {
    ZoomBy(kZoomStep, rect().center());
}

void CRoundWnd::ZoomOut() {
    ZoomBy(1.0 / kZoomStep, rect().center());
}

void CRoundWnd::ZoomToFit() {
    if (m_fit.scale > 0.0) SetView(m_fit);
}

void CRoundWnd::ZoomToActualSize() {
    // About the ring centre, which is what a photographer places.
    if (m_view.scale <= 0.0) return;
    const QPoint centre(
        static_cast<int>(std::lround(m_view.originX + m_session.ring().XCenter * m_view.scale)),
        static_cast<int>(std::lround(m_view.originY + m_session.ring().YCenter * m_view.scale)));
    ZoomTo(1.0, rect().contains(centre) ? centre : rect().center());
}

void CRoundWnd::PanBy(int dx, int dy) {
    if (m_view.scale <= 0.0 || m_view.scale == m_fit.scale) return;
    SetView(orbelune::PanRoundDisplay(m_view, dx, dy, width(), height()));
}

bool CRoundWnd::Nudge(int dx, int dy) {
    if (m_fit.scale <= 0.0 || m_app.busy()) return false;
    if (!orbelune::NudgeHandle(m_session.ring(), m_editor.selected(), dx, dy, ringWindow()))
        return false;
    update();
    emit ringEdited();
    return true;
}

void CRoundWnd::UpdateLoupe(QPoint at) {
    if (!m_editor.dragging() || m_editor.grabbed() == orbelune::RingHandle::None ||
        m_view.scale <= 0.0) {
        m_loupe = QImage();
        m_loupeScale = 0.0;
        return;
    }
    // Never less than 100 %, and always larger than the view itself.
    m_loupeScale = std::clamp(2.0 * m_view.scale, 1.0, std::max(1.0, orbelune::kMaxRoundZoom));
    const double imageX = (at.x() - m_view.originX) / m_view.scale;
    const double imageY = (at.y() - m_view.originY) / m_view.scale;
    const double half = kLoupeSize / 2.0;
    m_loupe = SampleView(m_image, half - imageX * m_loupeScale, half - imageY * m_loupeScale,
                         m_loupeScale, kLoupeSize, kLoupeSize);
    m_loupeAt = at;
}

void CRoundWnd::resizeEvent(QResizeEvent* event) {
    CImageWnd::resizeEvent(event);
    if (!m_image.empty() && m_fit.scale > 0.0) RebuildDisplay();
}

void CRoundWnd::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y();
    if (steps == 0 || m_fit.scale <= 0.0) return;
    ZoomBy(std::pow(kZoomStep, steps / 120.0), event->position().toPoint());
    event->accept();
}

void CRoundWnd::keyPressEvent(QKeyEvent* event) {
    const int step = (event->modifiers() & Qt::ShiftModifier) ? 10 : 1;
    switch (event->key()) {
        case Qt::Key_Left:
            Nudge(-step, 0);
            break;
        case Qt::Key_Right:
            Nudge(step, 0);
            break;
        case Qt::Key_Up:
            Nudge(0, -step);
            break;
        case Qt::Key_Down:
            Nudge(0, step);
            break;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            ZoomIn();
            break;
        case Qt::Key_Minus:
            ZoomOut();
            break;
        case Qt::Key_0:
            ZoomToFit();
            break;
        case Qt::Key_1:
            ZoomToActualSize();
            break;
        default:
            CImageWnd::keyPressEvent(event);
            return;
    }
    event->accept();
}

void CRoundWnd::ResetRoundWnd() {
    m_session.DropRawPhoto();
    ReleaseDisplayBitmap();
    m_fit = {};
    m_view = {};
    m_zoomed = QImage();
    m_loupe = QImage();
    m_editor.Reset();
    UpdateCursor();
    update();
}

orbelune::RingWindow CRoundWnd::ringWindow() const {
    return {m_image.width(), m_image.height(), width(), height(), m_view, m_fit};
}

void CRoundWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect client = rect();
    // The area around the photograph shows where a cut-off rim lies.
    painter.fillRect(client, m_background);
    if (!m_zoomed.isNull()) {
        painter.drawImage(0, 0, m_zoomed);
    } else {
        DrawDisplayBitmap(painter,
                          QRect(m_fit.originX, m_fit.originY, client.width() - m_fit.originX,
                                client.height() - m_fit.originY));
    }

    if (m_image.width() <= 0 || m_view.scale <= 0.0) return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    const double scale = m_view.scale;
    const orbelune::RingParams& ring = m_session.ring();
    const QPointF centre(m_view.originX + (ring.XCenter + 0.5) * scale,
                         m_view.originY + (ring.YCenter + 0.5) * scale);
    DrawCircle(painter, centre, ring.InnerRadius * scale);
    DrawCircle(painter, centre, ring.OuterRadius * scale);
    // Straight lines stay crisp; only the circles are smoothed.
    painter.setRenderHint(QPainter::Antialiasing, false);
    const double half = m_fit.width / 2.0;
    const QLineF vertical(centre.x(), centre.y() - half, centre.x(), centre.y() + half);
    const QLineF horizontal(centre.x() - half, centre.y(), centre.x() + half, centre.y());
    painter.setPen(QPen(kRingOutline, 3));
    painter.drawLine(vertical);
    painter.drawLine(horizontal);
    painter.setPen(QPen(kRingColour, 1));
    painter.drawLine(vertical);
    painter.drawLine(horizontal);

    // The seam: where the panorama starts, a marker on the outer circle.
    painter.setRenderHint(QPainter::Antialiasing);
    const orbelune::WindowPoint seam =
        orbelune::SeamMarkerPoint(ring, m_view, m_session.seamAngle());
    painter.setPen(QPen(kSeamColour, 2));
    painter.drawLine(centre, QPointF(seam.x, seam.y));
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(kSeamColour);
    painter.drawEllipse(QPointF(seam.x, seam.y), 5.0, 5.0);

    if (!m_loupe.isNull()) {
        // In the corner away from the pointer, so it never hides the handle.
        const int margin = 6;
        const int x =
            m_loupeAt.x() < client.width() / 2 ? client.width() - kLoupeSize - margin : margin;
        const QRect box(x, margin, kLoupeSize, kLoupeSize);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.drawImage(box.topLeft(), m_loupe);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(kRingOutline, 3));
        painter.drawRect(box);
        painter.setPen(QPen(kRingColour, 1));
        painter.drawRect(box);
        const QPoint mid = box.center();
        painter.drawLine(mid.x() - 6, mid.y(), mid.x() + 6, mid.y());
        painter.drawLine(mid.x(), mid.y() - 6, mid.x(), mid.y() + 6);
    }
}

void CRoundWnd::UpdateCursor() {
    using Editor = orbelune::RingEditor;
    if (m_editor.cursorState() == Editor::kJustGrabbed ||
        (m_editor.dragging() && m_editor.grabbed() != orbelune::RingHandle::None)) {
        setCursor(Qt::ClosedHandCursor);
    } else if (m_editor.cursorState() == Editor::kOverHandle) {
        setCursor(Qt::OpenHandCursor);
    } else {
        unsetCursor();
    }
}

void CRoundWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton) {
        m_panning = true;
        m_panFrom = event->position().toPoint();
        return;
    }
    // The ring stays put while a task runs or before a photograph is shown.
    if (event->button() != Qt::LeftButton || m_app.busy() || m_fit.scale <= 0.0) return;
    const QPoint at = event->position().toPoint();
    if (m_editor.Press(at.x(), at.y(), m_session.ring(), ringWindow(), &m_session.seamAngleRef()))
        update();
    UpdateLoupe(at);
    UpdateCursor();
}

void CRoundWnd::mouseMoveEvent(QMouseEvent* event) {
    if (m_fit.scale <= 0.0) return;
    const QPoint at = event->position().toPoint();
    if (m_panning) {
        PanBy(at.x() - m_panFrom.x(), at.y() - m_panFrom.y());
        m_panFrom = at;
        return;
    }
    if (m_app.busy() && !m_editor.dragging()) return;
    const orbelune::RingParams before = m_session.ring();
    const double seamBefore = m_session.seamAngle();
    if (m_editor.Move(at.x(), at.y(), m_session.ring(), ringWindow(), &m_session.seamAngleRef()))
        update();
    UpdateLoupe(at);
    UpdateCursor();
    if (!(m_session.ring() == before) || m_session.seamAngle() != seamBefore) emit ringEdited();
}

void CRoundWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton) {
        m_panning = false;
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    const bool seamDragged = m_editor.grabbed() == orbelune::RingHandle::Seam;
    m_editor.Release();
    m_loupe = QImage();
    m_loupeScale = 0.0;
    if (seamDragged) m_session.StoreSeam();
    update();
    UpdateCursor();
}
