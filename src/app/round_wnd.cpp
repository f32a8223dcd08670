#include "app/round_wnd.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/orbelune_app.h"
#include "app/ui_services.h"
#include "image/file_types.h"
#include "image/image_error.h"
#include "image/image_io.h"
#include "platform/settings_keys.h"
#include "unwarp/mirror_types.h"
#include "unwarp/ring_detect.h"
#include "unwarp/unwarp.h"

namespace {

const QColor kRingColour(0, 128, 17);
const QColor kSeamColour(230, 120, 0);

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
    LoadSeam();
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

void CRoundWnd::LoadSeam() {
    int seam = orbelune::Read(m_app.store(), orbelune::settings::kSeam);
    if (!orbelune::IsValidSeam(seam)) seam = orbelune::settings::kSeam.defaultValue;
    m_seamAngle =
        orbelune::SeamAngle(seam, m_app.m_nMirror, orbelune::LoadCustomMirror(m_app.store()));
}

void CRoundWnd::StoreSeam() {
    const int seam = orbelune::SeamForAngle(m_seamAngle, m_app.m_nMirror,
                                            orbelune::LoadCustomMirror(m_app.store()));
    orbelune::Write(m_app.store(), orbelune::settings::kSeam, seam);
    // The marker snaps to the whole degree that was stored.
    LoadSeam();
    update();
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
    // The photograph with room around it for a rim that the frame cut off.
    const orbelune::RoundDisplay fit =
        orbelune::FitRoundDisplay(m_image.width(), m_image.height(), this->width(), this->height());
    {
        CProgressScope progress(m_app);
        BuildDisplayBitmap(m_image, fit.width, fit.height, true, &width, &height);
    }
    if (!m_display.isNull()) m_fit = fit;
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
    const int cx = static_cast<int>(m_fit.originX + m_ring.XCenter * scale);
    const int cy = static_cast<int>(m_fit.originY + m_ring.YCenter * scale);
    const int inner = static_cast<int>(m_ring.InnerRadius * scale);
    const int outer = static_cast<int>(m_ring.OuterRadius * scale);
    painter.drawEllipse(QPoint(cx, cy), inner, inner);
    painter.drawEllipse(QPoint(cx, cy), outer, outer);
    // Straight lines stay crisp; only the circles are smoothed.
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int half = m_fit.width / 2;
    painter.drawLine(cx, cy - half, cx, cy + half);
    painter.drawLine(cx - half, cy, cx + half, cy);

    // The seam: where the panorama starts, a marker on the outer circle.
    painter.setRenderHint(QPainter::Antialiasing);
    const orbelune::WindowPoint seam = orbelune::SeamMarkerPoint(m_ring, m_fit, m_seamAngle);
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
    if (event->button() != Qt::LeftButton || m_app.m_bBusy || m_fit.scale <= 0.0) return;
    const QPoint at = event->position().toPoint();
    if (m_editor.Press(at.x(), at.y(), m_ring, ringWindow(), &m_seamAngle)) update();
    UpdateCursor();
}

void CRoundWnd::mouseMoveEvent(QMouseEvent* event) {
    if (m_fit.scale <= 0.0) return;
    if (m_app.m_bBusy && !m_editor.dragging()) return;
    const QPoint at = event->position().toPoint();
    if (m_editor.Move(at.x(), at.y(), m_ring, ringWindow(), &m_seamAngle)) update();
    UpdateCursor();
}

void CRoundWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const bool seamDragged = m_editor.grabbed() == orbelune::RingHandle::Seam;
    m_editor.Release();
    if (seamDragged) StoreSeam();
    UpdateCursor();
}
