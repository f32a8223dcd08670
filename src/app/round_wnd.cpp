#include "app/round_wnd.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/orbelune_app.h"
#include "app/ui_services.h"
#include "image/file_types.h"
#include "image/image_error.h"
#include "image/image_io.h"
#include "unwarp/ring_detect.h"

namespace {

const QColor kRingColour(0, 128, 17);

}  // namespace

CRoundWnd::CRoundWnd(COrbeluneApp& app, QWidget* parent) : CImageWnd(app, parent) {
    setMouseTracking(true);
}

bool CRoundWnd::LoadRawImage(const QString& path) {
    ReleaseDisplayBitmap();
    m_fit = {};
    m_editor.Reset();
    orbelune::ImageError error;
    {
        CProgressScope progress(m_app);
        error = m_image.LoadImageFile(path.toStdString());
    }
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
    m_ring = orbelune::LoadRingParams(m_app.store(), m_image.width(), m_image.height());
    m_ringSource = RingSource::Stored;
    // A ring stored from another (larger) photograph could neither be seen
    // nor grabbed here.
    if (!orbelune::RingFitsPhoto(m_ring, m_image.width(), m_image.height())) {
        if (FindRing()) {
            m_ringSource = RingSource::Found;
        } else {
            m_ring = orbelune::DefaultRingFor(m_image.width(), m_image.height());
            m_ringSource = RingSource::Reset;
        }
    }
    return true;
}

bool CRoundWnd::FindRing() {
    if (m_image.empty()) return false;
    orbelune::RingDetection found;
    if (orbelune::DetectRing(m_image, found) != orbelune::err::kNone ||
        found.confidence < orbelune::kConfidentRing)
        return false;
    m_ring = orbelune::RingFromDetection(found);
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
    {
        CProgressScope progress(m_app);
        BuildDisplayBitmap(m_image, this->width(), this->height(), false, &width, &height);
    }
    if (!m_display.isNull()) {
        m_fit = orbelune::FitRoundDisplay(m_image.width(), m_image.height(), this->width(),
                                          this->height());
    }
    update();
}

void CRoundWnd::ResetRoundWnd() {
    m_image.FreePixels();
    ReleaseDisplayBitmap();
    m_fit = {};
    m_editor.Reset();
    UpdateCursor();
    update();
}

orbelune::RingWindow CRoundWnd::ringWindow() const {
    return {m_image.width(), m_image.height(), width(), height(), m_fit.scale};
}

void CRoundWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect client = rect();
    const int shownWidth = m_display.isNull() ? 0 : std::min(m_display.width(), client.width());
    const int shownHeight = m_display.isNull() ? 0 : std::min(m_display.height(), client.height());
    DrawDisplayBitmap(painter, client);
    painter.fillRect(QRect(0, shownHeight, client.width(), client.height() - shownHeight),
                     m_background);
    painter.fillRect(QRect(shownWidth, 0, client.width() - shownWidth, shownHeight), m_background);

    if (m_image.width() <= 0 || m_fit.scale <= 0.0) return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kRingColour, 2, Qt::SolidLine));
    painter.setBrush(Qt::NoBrush);
    const double scale = m_fit.scale;
    const int cx = static_cast<int>(m_ring.XCenter * scale);
    const int cy = static_cast<int>(m_ring.YCenter * scale);
    const int inner = static_cast<int>(m_ring.InnerRadius * scale);
    const int outer = static_cast<int>(m_ring.OuterRadius * scale);
    painter.drawEllipse(QPoint(cx, cy), inner, inner);
    painter.drawEllipse(QPoint(cx, cy), outer, outer);
    // Straight lines stay crisp; only the circles are smoothed.
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int half = m_fit.width / 2;
    painter.drawLine(cx, cy - half, cx, cy + half);
    painter.drawLine(cx - half, cy, cx + half, cy);
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
    if (event->button() != Qt::LeftButton || m_app.m_bBusy || m_fit.scale <= 0.0) return;
    const QPoint at = event->position().toPoint();
    if (m_editor.Press(at.x(), at.y(), m_ring, ringWindow())) update();
    UpdateCursor();
}

void CRoundWnd::mouseMoveEvent(QMouseEvent* event) {
    if (m_fit.scale <= 0.0) return;
    if (m_app.m_bBusy && !m_editor.dragging()) return;
    const QPoint at = event->position().toPoint();
    if (m_editor.Move(at.x(), at.y(), m_ring, ringWindow())) update();
    UpdateCursor();
}

void CRoundWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    m_editor.Release();
    UpdateCursor();
}
