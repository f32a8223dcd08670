#pragma once

#include <QString>

#include "app/image_wnd.h"
#include "image/adjustments.h"
#include "session/crop_lines.h"
#include "session/pano_images.h"
#include "session/session.h"

// The session's panorama stretched over the window, with the two crop lines.
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
    // 0, or -1 (the user told when memory ran short); the picture shown is
    // never a half-adjusted one.
    int ApplyAdjustments(const orbelune::PanoAdjustments& adjustments);
    void FreeImages();
    void ResetPanoWnd(bool freeImages);
    void FitToWindow();
    virtual void RefreshDisplay();

    const orbelune::CropLines& cropLines() const { return m_session.cropLines(); }
    orbelune::CropLines& cropLines() { return m_session.cropLines(); }
    const orbelune::PanoImages& images() const { return m_session.images(); }
    double verticalScale() const { return m_verticalScale; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateVerticalScale();
    void Tell(const orbelune::Outcome& outcome);

    orbelune::Session& m_session;
    double m_verticalScale = 0.5;
    int m_displayWidth = 0;
    int m_displayHeight = 0;
};
