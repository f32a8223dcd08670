#pragma once

#include <QRect>
#include <QString>

#include "app/image_wnd.h"
#include "image/adjustments.h"
#include "session/crop_lines.h"
#include "session/pano_images.h"
#include "session/session.h"

class QWheelEvent;
class QKeyEvent;

// The session's panorama at its true aspect, fitted or zoomed up to 100 %,
// scrolled around its seam, with the two crop lines.
class CPanoWnd : public CImageWnd {
    Q_OBJECT
public:
    explicit CPanoWnd(COrbeluneApp& app, QWidget* parent = nullptr);

    bool HasImage() const { return !m_image.empty(); }
    // Loads a panorama file as the picture shown; false after showing the image layer's text.
    bool LoadPanoramaFile(const QString& path);
    // -1 when there is no picture; otherwise the lines show the whole picture.
    int InitCropLines();
    void ResetCropLines();
    // 0 when cropped; -1 otherwise (the user is told about bad lines or memory).
    int CropToLines();
    // 0, or -1 (the user told when memory ran short); the picture shown is
    // never a half-adjusted one.
    int ApplyAdjustments(const orbelune::SliderPositions& sliders);
    // While a slider is dragged: the display copy adjusted from a copy of the
    // base reduced to the display size; the panorama itself is untouched.
    void PreviewAdjustments(const orbelune::SliderPositions& sliders);
    void FreeImages();
    void ResetPanoWnd(bool freeImages);
    void FitToWindow();
    virtual void RefreshDisplay();

    // Zoom: 0 fits the whole picture; otherwise display pixels per image pixel, at most 1.
    void SetZoom(double zoom);
    void ZoomIn();
    void ZoomOut();
    double zoom() const { return m_zoom; }
    // Display pixels per image pixel as shown now.
    double scale() const { return m_scale; }
    // Scrolls by window pixels; across the width it wraps around the seam.
    void ScrollBy(int dx, int dy);
    int scrollX() const { return m_scrollX; }
    // Before / after: the unadjusted base instead of the adjusted picture.
    void SetShowBefore(bool before);
    bool showBefore() const { return m_showBefore; }
    // Where the picture (one copy of it, when it wraps) lies in the window.
    QRect displayRect() const;

    const orbelune::CropLines& cropLines() const { return m_session.cropLines(); }
    orbelune::CropLines& cropLines() { return m_session.cropLines(); }
    const orbelune::PanoImages& images() const { return m_session.images(); }
    double verticalScale() const { return m_scale; }

signals:
    // A crop line moved (dragged, released or reset).
    void cropLinesChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void UpdateScale();
    int RowAt(int y) const;
    int TopY() const;
    void ClampScroll();
    void Tell(const orbelune::Outcome& outcome);

    orbelune::Session& m_session;
    double m_zoom = 0;
    double m_scale = 0.5;
    int m_displayWidth = 0;
    int m_displayHeight = 0;
    int m_scrollX = 0;
    int m_scrollY = 0;
    bool m_showBefore = false;
    // The base reduced to the display size, for previews; rebuilt when either changes.
    orbelune::RgbImage m_previewBase;
    const std::uint8_t* m_previewSource = nullptr;
};
