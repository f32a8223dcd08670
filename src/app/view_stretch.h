#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

class QWidget;

// Lets a view drawn for one size follow a larger window: its picture area
// grows by what the window gained, controls starting right of the area's middle move
// right with its edge, and those below it move down with its bottom.
class ViewStretch : public QObject {
    Q_OBJECT
public:
    // `grow` is a child of `view`; both are at their designed size now.
    ViewStretch(QWidget* view, QWidget* grow);

    // Places the children for the view's current size, moving each by what
    // the size changed since the last time.
    void Apply();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_view;
    QPointer<QWidget> m_grow;
    QSize m_designed;
    QRect m_growDesigned;
    QSize m_applied{0, 0};  // what the view had gained when last placed
    QHash<QWidget*, QRect> m_designedPlaces;
};
