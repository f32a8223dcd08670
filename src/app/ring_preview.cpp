#include "app/ring_preview.h"

#include <QPainter>

#include "unwarp/unwarp.h"

CRingPreview::CRingPreview(QWidget* parent) : QWidget(parent) {
    setToolTip(
        QStringLiteral("The panorama this ring gives, in brief: a straight horizon means "
                       "a centred ring"));
}

void CRingPreview::Clear() {
    m_strip = QImage();
    update();
}

void CRingPreview::Update(const QImage& display, const orbelune::RingParams& ring, double scale,
                          int mirrorType, const orbelune::CustomMirror& custom) {
    if (display.isNull() || display.format() != QImage::Format_RGB888 || width() <= 0 ||
        height() <= 0) {
        Clear();
        return;
    }
    QImage strip(width(), height(), QImage::Format_RGB888);
    if (strip.bytesPerLine() != 3 * strip.width()) {
        // The kernels write packed rows: make them in a packed buffer.
        strip = QImage(width() - width() % 4, height(), QImage::Format_RGB888);
    }
    strip.fill(Qt::black);
    const orbelune::SourcePixels source{display.constBits(), display.width(), display.height(),
                                        static_cast<std::size_t>(display.bytesPerLine())};
    const orbelune::PanoramaPixels out{strip.bits(), strip.width(), strip.height()};
    if (!orbelune::UnwarpStrip(source, ring, scale, mirrorType, custom, out)) {
        Clear();
        return;
    }
    m_strip = strip;
    ++m_updates;
    update();
}

void CRingPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!m_strip.isNull()) painter.drawImage(0, 0, m_strip);
}
