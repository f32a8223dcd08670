#pragma once

#include <QString>

#include "app/image_wnd.h"
#include "session/crop_lines.h"
#include "session/pano_images.h"
#include "image/adjustments.h"

// The panorama stretched over the window, with the two crop lines; holds the
// unadjusted base and the one-level undo image beside the picture shown.
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
    int UndoCrop();
    // false when the base could not be copied (out of memory).
    [[nodiscard]] bool TakeBase();
    int ApplyAdjustments(const orbelune::PanoAdjustments& adjustments);
    void ClearUndo() { m_images.undo.FreePixels(); }
    void FreeImages();
    void ResetPanoWnd(bool freeImages);
    void FitToWindow();
    virtual void RefreshDisplay();

    const orbelune::CropLines& cropLines() const { return m_lines; }
    orbelune::CropLines& cropLines() { return m_lines; }
    const orbelune::PanoImages& images() const { return m_images; }
    double verticalScale() const { return m_verticalScale; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateVerticalScale();

    orbelune::PanoImages m_images = orbelune::PanoImages(m_image);
    orbelune::CropLines m_lines;
    double m_verticalScale = 0.5;
    int m_displayWidth = 0;
    int m_displayHeight = 0;
};
