#pragma once

#include <QBrush>
#include <QImage>
#include <QProgressBar>
#include <QWidget>

#include "image/image_error.h"
#include "image/rgb_image.h"

class COrbeluneApp;
class QPainter;
class QProgressBar;

// An image view's progress bar, in the program's colours: the first report of
// a run shows it with its range and marks the application busy; End hides it.
class CViewProgressBar : public QProgressBar {
public:
    CViewProgressBar(COrbeluneApp& app, QWidget* parent);
    void Report(int row, int count);
    void End();
    bool running() const { return m_bRunning; }

private:
    COrbeluneApp& m_app;
    bool m_bRunning = false;
};

// A child window that shows one picture and shows a display copy of it made
// once per change, never rescaled while painting.
class CImageWnd : public QWidget {
    Q_OBJECT
public:
    // Shows `image`, which the session owns.
    CImageWnd(COrbeluneApp& app, orbelune::RgbImage& image, QWidget* parent = nullptr);
    ~CImageWnd() override;

    orbelune::RgbImage& image() { return m_image; }
    const orbelune::RgbImage& image() const { return m_image; }
    const QImage& displayBitmap() const { return m_display; }

    // Resamples `source` into the display copy: exactly box-sized, or fitted by
    // the picture's orientation. 0, or -1 after telling the user.
    int BuildDisplayBitmap(const orbelune::RgbImage& source, int boxWidth, int boxHeight,
                           bool exact, int* outWidth, int* outHeight);
    void ReleaseDisplayBitmap() { m_display = QImage(); }
    void CreateBackgroundBrush() { m_background = QBrush(Qt::black); }

protected:
    // Decodes `path` on the running task's worker, so the window keeps painting.
    orbelune::ImageError DecodeOnWorker(const QString& path, orbelune::RgbImage& picture);
    // Tells the user why `path` could not be read: the file, and whether it is
    // damaged or in a format not read.
    void ShowLoadFailure(const QString& path, orbelune::ImageError error);
    // Copies the display copy 1:1 into the rectangle's top-left corner.
    void DrawDisplayBitmap(QPainter& painter, const QRect& rect) const;

    COrbeluneApp& m_app;
    orbelune::RgbImage& m_image;
    QImage m_display;
    QBrush m_background{Qt::black};
};
