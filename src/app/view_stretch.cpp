#include "app/view_stretch.h"

#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <algorithm>

ViewStretch::ViewStretch(QWidget* view, QWidget* grow, QPoint split)
    : QObject(view), m_view(view), m_grow(grow), m_designed(view->size()), m_split(split) {
    m_growDesigned = grow->geometry();
    for (QObject* child : view->children()) {
        if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->isWindow()) {
            m_designedPlaces.insert(widget, widget->geometry());
        }
    }
    view->installEventFilter(this);
}

void ViewStretch::Apply() {
    if (!m_grow) return;
    const QSize gained(std::max(0, m_view->width() - m_designed.width()),
                       std::max(0, m_view->height() - m_designed.height()));
    const QSize change = gained - m_applied;
    if (change.isNull()) return;
    m_applied = gained;
    for (auto it = m_designedPlaces.cbegin(); it != m_designedPlaces.cend(); ++it) {
        QWidget* child = it.key();
        // A child dropped since is the view's own business.
        if (!m_view->children().contains(child)) continue;
        // Moved by what changed, so a place the view gave a control since is kept.
        if (child == m_grow) {
            child->resize(child->size() + change);
            continue;
        }
        const QRect designed = it.value();
        const int dx = designed.left() >= m_split.x() ? change.width() : 0;
        const int dy = designed.top() >= m_split.y() ? change.height() : 0;
        if (dx != 0 || dy != 0) child->move(child->pos() + QPoint(dx, dy));
    }
}

void ViewStretch::Paint(QPainter& painter, const QPixmap& designed) const {
    const int dx = m_applied.width();
    const int dy = m_applied.height();
    const qreal ratio = designed.devicePixelRatio();
    const int w = qRound(designed.width() / ratio);
    const int h = qRound(designed.height() / ratio);
    if ((dx == 0 && dy == 0) || m_split.x() <= 0 || m_split.y() <= 0 || m_split.x() >= w ||
        m_split.y() >= h) {
        painter.drawPixmap(0, 0, designed);
        return;
    }
    // Three columns and three rows of the design: before the cut, the cut's one
    // pixel (stretched over the gap), after it (moved).
    const int xs[] = {0, m_split.x(), m_split.x() + 1, w};
    const int ys[] = {0, m_split.y(), m_split.y() + 1, h};
    const int xTo[] = {0, m_split.x(), m_split.x() + 1 + dx, w + dx};
    const int yTo[] = {0, m_split.y(), m_split.y() + 1 + dy, h + dy};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRectF from(xs[col] * ratio, ys[row] * ratio, (xs[col + 1] - xs[col]) * ratio,
                              (ys[row + 1] - ys[row]) * ratio);
            const QRectF to(xTo[col], yTo[row], xTo[col + 1] - xTo[col], yTo[row + 1] - yTo[row]);
            painter.drawPixmap(to, designed, from);
        }
    }
}

bool ViewStretch::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view && event->type() == QEvent::Resize) {
        Apply();
    }
    return QObject::eventFilter(watched, event);
}
