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
    const int dx = std::max(0, m_view->width() - m_designed.width());
    const int dy = std::max(0, m_view->height() - m_designed.height());
    const int middle = m_growDesigned.center().x();
    for (auto it = m_designedPlaces.cbegin(); it != m_designedPlaces.cend(); ++it) {
        QWidget* child = it.key();
        // A child made or dropped since is the view's own business.
        if (!m_view->children().contains(child)) continue;
        QRect place = it.value();
        if (child == m_grow) {
            place.setSize(place.size() + QSize(dx, dy));
        } else {
            if (place.center().x() > middle) place.translate(dx, 0);
            if (place.top() >= m_growDesigned.bottom()) place.translate(0, dy);
        }
        // Controls the view moved since keep their own size.
        place.setSize(child == m_grow ? place.size() : child->size());
        child->setGeometry(place);
    }
}

bool ViewStretch::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        Apply();
    }
    return QObject::eventFilter(watched, event);
}
