#include "app/round_wnd.h"

#include <QFile>
#include <QMouseEvent>
#include <QPainter>

#include "app/orbelune_app.h"
#include "app/task.h"
#include "app/ui_services.h"
#include "image/image_error.h"

namespace {

const QColor kRingColour(0, 128, 17);
const QColor kSeamColour(230, 120, 0);

}  // namespace

CRoundWnd::CRoundWnd(COrbeluneApp& app, QWidget* parent)
    : CImageWnd(app, app.session().raw(), parent), m_session(app.session()) {
    setMouseTracking(true);
}

bool CRoundWnd::LoadRawImage(const QString& path) {
    ReleaseDisplayBitmap();
    m_fit = {};
    m_editor.Reset();
    struct Decoded {
        orbelune::ImageError error = orbelune::err::kNone;
        orbelune::RgbImage photo;
    };
    const std::string file = QFile::encodeName(path).toStdString();
    Decoded decoded = RunLongWork(m_app, m_app.runningTask(), [file] {
        Decoded d;
        d.error = orbelune::Session::Decode(file, d.photo);
        return d;
    });
    if (decoded.error != orbelune::err::kNone) {
        // Names the file and says whether it is damaged or in a format not read.
        m_app.ui().MessageBox(
            this, QString::fromStdString(orbelune::Session::LoadFailureText(file, decoded.error)),
            UiServices::Icon::None, UiServices::Buttons::Ok);
        update();
        return false;
    }
    // Finding the ring in a large photograph takes a while: on the worker too.
    m_session.TakeRawPhoto(std::move(decoded.photo),
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
    update();
}

void CRoundWnd::ResetRoundWnd() {
    m_session.DropRawPhoto();
    ReleaseDisplayBitmap();
    m_fit = {};
    m_editor.Reset();
    UpdateCursor();
    update();
}

orbelune::RingWindow CRoundWnd::ringWindow() const {
    return {m_image.width(), m_image.height(), width(), height(), m_fit};
}

void CRoundWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect client = rect();
    // The area around the photograph shows where a cut-off rim lies.
    painter.fillRect(client, m_background);
    DrawDisplayBitmap(painter, QRect(m_fit.originX, m_fit.originY, client.width() - m_fit.originX,
                                     client.height() - m_fit.originY));

    if (m_image.width() <= 0 || m_fit.scale <= 0.0) return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kRingColour, 2, Qt::SolidLine));
    painter.setBrush(Qt::NoBrush);
    const double scale = m_fit.scale;
    const int cx = static_cast<int>(m_fit.originX + m_session.ring().XCenter * scale);
    const int cy = static_cast<int>(m_fit.originY + m_session.ring().YCenter * scale);
    const int inner = static_cast<int>(m_session.ring().InnerRadius * scale);
    const int outer = static_cast<int>(m_session.ring().OuterRadius * scale);
    painter.drawEllipse(QPoint(cx, cy), inner, inner);
    painter.drawEllipse(QPoint(cx, cy), outer, outer);
    // Straight lines stay crisp; only the circles are smoothed.
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int half = m_fit.width / 2;
    painter.drawLine(cx, cy - half, cx, cy + half);
    painter.drawLine(cx - half, cy, cx + half, cy);

    // The seam: where the panorama starts, a marker on the outer circle.
    painter.setRenderHint(QPainter::Antialiasing);
    const orbelune::WindowPoint seam =
        orbelune::SeamMarkerPoint(m_session.ring(), m_fit, m_session.seamAngle());
    painter.setPen(QPen(kSeamColour, 2));
    painter.drawLine(QPointF(cx, cy), QPointF(seam.x, seam.y));
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(kSeamColour);
    painter.drawEllipse(QPointF(seam.x, seam.y), 5.0, 5.0);
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
    // The ring stays put while a task runs or before a photograph is shown.
    if (event->button() != Qt::LeftButton || m_app.busy() || m_fit.scale <= 0.0) return;
    const QPoint at = event->position().toPoint();
    if (m_editor.Press(at.x(), at.y(), m_session.ring(), ringWindow(), &m_session.seamAngleRef()))
        update();
    UpdateCursor();
}

void CRoundWnd::mouseMoveEvent(QMouseEvent* event) {
    if (m_fit.scale <= 0.0) return;
    if (m_app.busy() && !m_editor.dragging()) return;
    const QPoint at = event->position().toPoint();
    if (m_editor.Move(at.x(), at.y(), m_session.ring(), ringWindow(), &m_session.seamAngleRef()))
        update();
    UpdateCursor();
}

void CRoundWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const bool seamDragged = m_editor.grabbed() == orbelune::RingHandle::Seam;
    m_editor.Release();
    if (seamDragged) {
        m_session.StoreSeam();
        update();
    }
    UpdateCursor();
}
