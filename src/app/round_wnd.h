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
    const orbelune::RoundDisplay& display() const { return m_fit; }
    const orbelune::RingEditor& editor() const { return m_editor; }
    // Where the seam marker sits on the outer circle (degrees), from the
    // stored seam and the current mirror; dragging it stores the seam.
    double seamAngle() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    orbelune::RingWindow ringWindow() const;
    void UpdateCursor();

    orbelune::Session& m_session;
    orbelune::RoundDisplay m_fit;
    orbelune::RingEditor m_editor;
};
