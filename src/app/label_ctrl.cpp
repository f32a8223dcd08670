#include "app/label_ctrl.h"

#include <QPainter>
#include <QPalette>

CLabelCtrl::CLabelCtrl(QWidget* parent)
    : QLabel(parent), m_background(palette().color(QPalette::Button)) {
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setContentsMargins(6, 0, 6, 0);
}

void CLabelCtrl::SetBackgroundColor(const QColor& color) {
    m_background = color;
    update();
}

void CLabelCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), m_background);
    // Dark text on whatever the view chose: the views use white.
    p.setPen(palette().color(QPalette::WindowText));
    p.setFont(font());
    p.drawText(contentsRect(), static_cast<int>(alignment()), text());
}
