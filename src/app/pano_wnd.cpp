#include "app/pano_wnd.h"

#include <QFile>
#include <QMouseEvent>
#include <QPainter>

#include "app/orbelune_app.h"
#include "app/task.h"
#include "app/ui_services.h"
#include "image/image_error.h"

namespace {

const QColor kTopLineColour(90, 160, 40);
const QColor kBottomLineColour(200, 0, 0);
// Rows a crop would remove are darkened, not hidden, so the user still sees them.
const QColor kCroppedShade(0, 0, 0, 200);

}  // namespace

CPanoWnd::CPanoWnd(COrbeluneApp& app, QWidget* parent)
    : CImageWnd(app, app.session().current(), parent), m_session(app.session()) {
    setCursor(Qt::SplitVCursor);
}

void CPanoWnd::Tell(const orbelune::Outcome& outcome) {
    if (outcome.message.empty()) return;
    m_app.ui().MessageBox(this, QString::fromStdString(outcome.message), UiServices::Icon::Stop,
                          UiServices::Buttons::Ok);
}

bool CPanoWnd::LoadPanoramaFile(const QString& path) {
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
    ReleaseDisplayBitmap();
    if (decoded.error != orbelune::err::kNone) {
        // Names the file and says whether it is damaged or in a format not read.
        m_app.ui().MessageBox(
            this, QString::fromStdString(orbelune::Session::LoadFailureText(file, decoded.error)),
            UiServices::Icon::None, UiServices::Buttons::Ok);
        update();
        return false;
    }
    m_session.TakePanoramaFile(std::move(decoded.picture));
    RefreshDisplay();
    return true;
}

int CPanoWnd::InitCropLines() {
    return cropLines().Init(m_image.height()) ? 0 : -1;
}

void CPanoWnd::ResetCropLines() {
    cropLines().Reset(m_image.height());
}

int CPanoWnd::CropToLines() {
    const orbelune::Outcome outcome = m_session.Crop();
    Tell(outcome);
    if (!outcome.ok()) return -1;
    RefreshDisplay();
    return 0;
}

int CPanoWnd::UndoCrop() {
    if (!m_session.CanUndo()) return -1;
    const orbelune::Outcome outcome = m_session.Undo();
    RefreshDisplay();
    return outcome.ok() ? 0 : -1;
}

int CPanoWnd::ApplyAdjustments(const orbelune::PanoAdjustments& adjustments) {
    if (images().base.empty()) return -1;
    const orbelune::AdjustJob job = m_session.PrepareAdjust(adjustments);
    orbelune::AdjustResult result = RunLongWork(
        m_app, m_app.runningTask(), [job] { return orbelune::Session::ComputeAdjusted(job); });
    const orbelune::Outcome outcome = m_session.TakeAdjusted(std::move(result));
    Tell(outcome);
    RefreshDisplay();
    return outcome.ok() ? 0 : -1;
}

void CPanoWnd::FreeImages() {
    m_session.ClearPanorama();
    ReleaseDisplayBitmap();
    update();
}

void CPanoWnd::ResetPanoWnd(bool freeImages) {
    cropLines().Clear();
    m_displayWidth = 0;
    m_displayHeight = 0;
    m_verticalScale = 0.5;
    if (freeImages) FreeImages();
    update();
}

void CPanoWnd::FitToWindow() {
    m_displayWidth = width();
    m_displayHeight = height();
    UpdateVerticalScale();
    if (m_image.empty()) {
        ReleaseDisplayBitmap();
        return;
    }
    BuildDisplayBitmap(m_image, m_displayWidth, m_displayHeight, true, nullptr, nullptr);
}

void CPanoWnd::RefreshDisplay() {
    FitToWindow();
    update();
}

void CPanoWnd::resizeEvent(QResizeEvent*) {
    if (HasImage()) FitToWindow();
}

void CPanoWnd::UpdateVerticalScale() {
    m_verticalScale =
        m_image.height() > 0 ? static_cast<double>(m_displayHeight) / m_image.height() : 0.5;
}

void CPanoWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect client = rect();
    const int shownWidth = m_display.isNull() ? 0 : std::min(m_displayWidth, m_display.width());
    const int shownHeight = m_display.isNull() ? 0 : std::min(m_displayHeight, m_display.height());
    DrawDisplayBitmap(painter, QRect(0, 0, shownWidth, shownHeight));
    painter.fillRect(QRect(shownWidth, 0, client.width() - shownWidth, client.height()),
                     m_background);
    painter.fillRect(QRect(0, shownHeight, shownWidth, client.height() - shownHeight),
                     m_background);
    if (!cropLines().shown()) return;

    UpdateVerticalScale();
    const double scale = m_verticalScale;
    const int topY = static_cast<int>(cropLines().top() * scale);
    const int bottomY = static_cast<int>(cropLines().bottom() * scale);
    const int topBandEnd = static_cast<int>(cropLines().top() * scale - 1);
    const int bottomBandStart = static_cast<int>(cropLines().bottom() * scale + 1);
    if (topBandEnd > 0) painter.fillRect(QRect(0, 0, m_displayWidth, topBandEnd), kCroppedShade);
    if (bottomBandStart < m_displayHeight) {
        painter.fillRect(
            QRect(0, bottomBandStart, m_displayWidth, m_displayHeight - bottomBandStart),
            kCroppedShade);
    }
    painter.setPen(QPen(kTopLineColour, 2, Qt::SolidLine));
    painter.drawLine(0, topY, m_displayWidth, topY);
    painter.setPen(QPen(kBottomLineColour, 2, Qt::SolidLine));
    painter.drawLine(0, bottomY, m_displayWidth, bottomY);
}

void CPanoWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !HasImage() || m_app.busy()) return;
    UpdateVerticalScale();
    cropLines().Press(orbelune::RowFromWindowY(event->position().toPoint().y(), m_verticalScale));
    update();
}

void CPanoWnd::mouseMoveEvent(QMouseEvent* event) {
    if (cropLines().Move(
            orbelune::RowFromWindowY(event->position().toPoint().y(), m_verticalScale))) {
        update();
    }
}

void CPanoWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    cropLines().Release(m_image.height());
    update();
}
