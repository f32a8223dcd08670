#include "app/image_wnd.h"

#include <QFile>
#include <QPainter>
#include <QProgressBar>
#include <algorithm>
#include <cstring>

#include "app/artwork.h"
#include "app/orbelune_app.h"
#include "app/task.h"
#include "app/ui_services.h"
#include "image/image_error.h"
#include "image/image_ops.h"
#include "session/session.h"

CViewProgressBar::CViewProgressBar(COrbeluneApp& app, QWidget* parent)
    : QProgressBar(parent), m_app(app) {
    namespace colors = artwork::colors;
    setTextVisible(false);
    setStyleSheet(
        QStringLiteral("QProgressBar { background: %1; border: 1px solid %2; "
                       "border-radius: 4px; }"
                       "QProgressBar::chunk { background: %3; border-radius: 3px; }")
            .arg(colors::kImageWell.name(), colors::kPanelEdge.name(), colors::kAccent.name()));
    hide();
}

void CViewProgressBar::Report(int row, int count) {
    if (!m_bRunning) {
        m_bRunning = true;
        m_app.SetBusy(true);
        show();
        setRange(0, count);
    }
    setValue(row);
}

void CViewProgressBar::End() {
    hide();
    m_bRunning = false;
}

CImageWnd::CImageWnd(COrbeluneApp& app, orbelune::RgbImage& image, QWidget* parent)
    : QWidget(parent), m_app(app), m_image(image) {
    // Every paint covers the whole window itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CImageWnd::~CImageWnd() = default;

int CImageWnd::BuildDisplayBitmap(const orbelune::RgbImage& source, int boxWidth, int boxHeight,
                                  bool exact, int* outWidth, int* outHeight) {
    const orbelune::DisplaySize size =
        orbelune::FitDisplaySize(source.width(), source.height(), boxWidth, boxHeight, exact);
    if (outWidth != nullptr) *outWidth = size.width;
    if (outHeight != nullptr) *outHeight = size.height;
    if (source.empty() || size.width <= 0 || size.height <= 0) {
        m_display = QImage();
        return -1;
    }
    // Resampled straight from the source: a full copy of a large picture first
    // would only cost time and memory.
    orbelune::RgbImage scaled;
    QImage display;
    if (scaled.AllocatePixels(size.width, size.height) == orbelune::err::kNone) {
        display = QImage(size.width, size.height, QImage::Format_RGB888);
    }
    if (display.isNull()) {
        m_app.ui().MessageBox(this, QStringLiteral("Out of memory!"), UiServices::Icon::Stop,
                              UiServices::Buttons::Ok);
        m_display = QImage();
        return -1;
    }
    if (!orbelune::ResampleBilinear(source.data(), source.width(), source.height(), scaled.data(),
                                    size.width, size.height)) {
        m_display = QImage();
        return -1;
    }
    for (int y = 0; y < size.height; ++y) {
        std::memcpy(display.scanLine(y), scaled.row(y), scaled.stride());
    }
    m_display = std::move(display);
    return 0;
}

void CImageWnd::DrawDisplayBitmap(QPainter& painter, const QRect& rect) const {
    if (m_display.isNull()) return;
    const int width = std::min(rect.width(), m_display.width());
    const int height = std::min(rect.height(), m_display.height());
    painter.drawImage(rect.topLeft(), m_display, QRect(0, 0, width, height));
}

orbelune::ImageError CImageWnd::DecodeOnWorker(const QString& path, orbelune::RgbImage& picture) {
    struct Decoded {
        orbelune::ImageError error = orbelune::err::kNone;
        orbelune::RgbImage picture;
    };
    const std::string file = QFile::encodeName(path).toStdString();
    Decoded decoded = RunLongWork(m_app, m_app.runningTask(), [file] {
        Decoded d;
        d.error = orbelune::Session::Decode(file, d.picture);
        return d;
    });
    picture = std::move(decoded.picture);
    return decoded.error;
}

void CImageWnd::ShowLoadFailure(const QString& path, orbelune::ImageError error) {
    const std::string file = QFile::encodeName(path).toStdString();
    m_app.ui().MessageBox(this,
                          QString::fromStdString(orbelune::Session::LoadFailureText(file, error)),
                          UiServices::Icon::None, UiServices::Buttons::Ok);
}
