#include "app/view_stretch.h"

#include <QEvent>
#include <QWidget>
#include <algorithm>

ViewStretch::ViewStretch(QWidget* view, QWidget* grow)
    : QObject(view), m_view(view), m_grow(grow), m_designed(view->size()) {
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
    const int middle = m_growDesigned.center().x();
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
        const int dx = designed.left() > middle ? change.width() : 0;
        const int dy = designed.top() >= m_growDesigned.bottom() ? change.height() : 0;
        if (dx != 0 || dy != 0) child->move(child->pos() + QPoint(dx, dy));
    }
}

bool ViewStretch::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view && event->type() == QEvent::Resize) {
        Apply();
    }
    return QObject::eventFilter(watched, event);
}
