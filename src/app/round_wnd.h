#pragma once

#include <QString>

#include "app/image_wnd.h"
#include "session/round_geometry.h"
#include "session/session.h"
#include "unwarp/ring_params.h"

// The raw ring photograph fitted into the window, with the ring drawn over it
// and edited by the mouse.
class CRoundWnd : public CImageWnd {
    Q_OBJECT
public:
    explicit CRoundWnd(COrbeluneApp& app, QWidget* parent = nullptr);
    using RingSource = orbelune::RingSource;

    // Loads the photograph and sets the ring from the stored values; false
    // (after showing the image layer's text) when the file cannot be read.
    bool LoadRawImage(const QString& path);
    // Fits the display copy into the window; call with the wait cursor showing.
    void RebuildDisplay();
    // Drops the photograph and its display; the ring values stay.
    void ResetRoundWnd();
    // Places the ring where detection finds it; false (ring unchanged) when
    // no ring is found with confidence.
    bool FindRing();

    // How the ring was set at the last load.
    RingSource ringSource() const;

    const orbelune::RgbImage& rawImage() const { return m_image; }
    orbelune::RingParams& ring();
    const orbelune::RingParams& ring() const;
    // How the photograph is shown now; fitDisplay() when not zoomed.
    const orbelune::RoundDisplay& display() const { return m_view; }
    const orbelune::RoundDisplay& fitDisplay() const { return m_fit; }
    // Zoom to a scale (screen pixels per image pixel) about a window point.
    void ZoomTo(double scale, QPoint anchor);
    void ZoomBy(double factor, QPoint anchor);
    void ZoomIn();
    void ZoomOut();
    void ZoomToFit();
    void ZoomToActualSize();
    void PanBy(int dx, int dy);
    // Moves the selected handle by image pixels, as the arrow keys do.
    bool Nudge(int dx, int dy);
    // The magnified inset shown while a handle is dragged; null otherwise.
    const QImage& loupe() const { return m_loupe; }
    double loupeScale() const { return m_loupeScale; }
    const orbelune::RingEditor& editor() const { return m_editor; }
    // Where the seam marker sits on the outer circle (degrees), from the
    // stored seam and the current mirror; dragging it stores the seam.
    double seamAngle() const;

signals:
    // The ring or the seam was changed by the pointer or the keys.
    void ringEdited();
    void viewChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    orbelune::RingWindow ringWindow() const;
    void UpdateCursor();
    void SetView(const orbelune::RoundDisplay& view);
    void UpdateLoupe(QPoint at);

    orbelune::Session& m_session;
    orbelune::RoundDisplay m_fit;
    orbelune::RoundDisplay m_view;
    // The photograph sampled for the zoomed view, remade on every zoom or pan.
    QImage m_zoomed;
    QImage m_loupe;
    QPoint m_loupeAt;
    double m_loupeScale = 0.0;
    bool m_panning = false;
    QPoint m_panFrom;
    orbelune::RingEditor m_editor;
};
