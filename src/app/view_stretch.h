#pragma once

#include <QHash>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>

class QPainter;
class QPixmap;
class QWidget;

// Lets a view drawn for one size follow a larger window: its picture area
// grows by what the window gained; the view is cut at `split`, a point inside
// the picture area where the background is plain on both lines, and what lies
// right of it (controls and background) moves right by the gained width, what
// lies below it moves down by the gained height. The background's one column
// and one row at the cut are stretched over the gap.
class ViewStretch : public QObject {
    Q_OBJECT
public:
    // `grow` is a child of `view`; both are at their designed size now.
    ViewStretch(QWidget* view, QWidget* grow, QPoint split);

    // Draws the view's background, designed for its designed size, at the
    // view's current size.
    void Paint(QPainter& painter, const QPixmap& designed) const;

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
    QPoint m_split;
    QSize m_applied{0, 0};  // what the view had gained when last placed
    QHash<QWidget*, QRect> m_designedPlaces;
};
