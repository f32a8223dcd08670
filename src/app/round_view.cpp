#include "app/round_view.h"

#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include "app/artwork.h"
#include "app/image_wnd.h"
#include "app/label_ctrl.h"
#include "app/orbelune_app.h"
#include "app/ring_preview.h"
#include "app/round_wnd.h"
#include "app/task.h"
#include "app/ui_services.h"
#include "app/view_stretch.h"
#include "app/workflow.h"

namespace layout = artwork::layout;

CRoundView::CRoundView(COrbeluneApp& app, QWidget* parent)
    : QWidget(parent), m_app(app), m_background(artwork::RoundBackground()) {
    resize(layout::kViewSize);

    m_pWnd = new CRoundWnd(app, this);
    m_pWnd->setGeometry(layout::kRoundImage);

    auto* unwarp = new ImageButton(artwork::ButtonId::Unwarp, this);
    unwarp->setGeometry(QRect(layout::kRoundUnwarp.topLeft(), unwarp->sizeHint()));
    unwarp->setToolTip(QStringLiteral("Unwarp the ring into a panorama"));
    m_pUnwarp = unwarp;
    auto* back = new ImageButton(artwork::ButtonId::Back, this);
    back->setGeometry(QRect(layout::kRoundBack.topLeft(), back->sizeHint()));
    back->setToolTip(QStringLiteral("Back to the start"));
    m_pBack = back;
    connect(m_pUnwarp, &QAbstractButton::clicked, this, [this] { OnUnwarp(); });
    connect(m_pBack, &QAbstractButton::clicked, this, [this] { OnBack(); });

    m_pSizeLabel = new CLabelCtrl(this);
    QFont labelFont(QStringLiteral("Arial"));
    labelFont.setPointSize(9);
    m_pSizeLabel->setFont(labelFont);
    m_pSizeLabel->SetBackgroundColor(Qt::white);
    QPalette labelPalette = m_pSizeLabel->palette();
    labelPalette.setColor(QPalette::WindowText, QColor(0x20, 0x26, 0x30));
    m_pSizeLabel->setPalette(labelPalette);
    m_pSizeLabel->setGeometry(layout::kRoundSizeLabel);

    m_pFindRing = new QPushButton(QStringLiteral("Find ring"), this);
    m_pFindRing->setGeometry(layout::kRoundSizeLabel.right() + 10,
                             layout::kRoundSizeLabel.top() - 2, 90,
                             layout::kRoundSizeLabel.height() + 4);
    m_pFindRing->setToolTip(QStringLiteral("Find the mirror's rim and the camera's reflection"));
    connect(m_pFindRing, &QAbstractButton::clicked, this, [this] { OnFindRing(); });

    m_pProgress = new CViewProgressBar(m_app, this);
    m_pProgress->setGeometry(layout::kRoundProgress);

    // Zoom, right of the photograph.
    struct ZoomButton {
        const char* text;
        const char* tip;
        int width;
        void (CRoundWnd::*action)();
    };
    const ZoomButton zooms[] = {
        {"\u2212", "Zoom out (-)", 28, &CRoundWnd::ZoomOut},
        {"+", "Zoom in (+, or the mouse wheel)", 28, &CRoundWnd::ZoomIn},
        {"Fit", "Show the whole photograph (0)", 36, &CRoundWnd::ZoomToFit},
        {"100%", "One photograph pixel per screen pixel (1)", 42, &CRoundWnd::ZoomToActualSize},
    };
    // Under the photograph: zoom beside Find ring, the ring's numbers, the strip.
    const int rowY = layout::kRoundSizeLabel.top() - 2;
    int x = m_pFindRing->geometry().right() + 12;
    for (const ZoomButton& zoom : zooms) {
        auto* button = new QPushButton(QString::fromUtf8(zoom.text), this);
        const int w = zoom.width;
        button->setGeometry(x, rowY, w, layout::kRoundSizeLabel.height() + 4);
        button->setToolTip(QString::fromUtf8(zoom.tip));
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QAbstractButton::clicked, this, [this, action = zoom.action] {
            (m_pWnd->*action)();
            m_pWnd->setFocus();
        });
        x += w + 3;
    }

    // The ring in numbers, kept in step with the pointer and the arrow keys.
    struct FieldInfo {
        const char* label;
        const char* tip;
    };
    const FieldInfo infos[] = {
        {"X", "The ring centre's column in the photograph"},
        {"Y", "The ring centre's row in the photograph"},
        {"Outer", "The outer circle's radius (the mirror's rim)"},
        {"Inner", "The inner circle's radius (the camera's reflection)"},
    };
    const int fieldsY = layout::kRoundSizeLabel.bottom() + 5;
    const int labelWidths[] = {14, 14, 40, 36};
    x = layout::kRoundImage.left();
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(QString::fromUtf8(infos[i].label), this);
        label->setGeometry(x, fieldsY, labelWidths[i], 24);
        QPalette light = label->palette();
        light.setColor(QPalette::WindowText, QColor(0xd8, 0xde, 0xe6));
        label->setPalette(light);
        x += labelWidths[i] + 2;
        auto* spin = new QSpinBox(this);
        spin->setGeometry(x, fieldsY, 80, 24);
        x += 80 + 12;
        spin->setRange(-99999, 99999);
        spin->setKeyboardTracking(false);
        spin->setToolTip(QString::fromUtf8(infos[i].tip));
        label->setToolTip(spin->toolTip());
        label->setBuddy(spin);
        m_fields[i] = spin;
        connect(spin, qOverload<int>(&QSpinBox::valueChanged), this,
                [this, i](int value) { ApplyField(static_cast<Field>(i), value); });
    }
    connect(m_pWnd, &CRoundWnd::ringEdited, this, [this] { OnRingEdited(); });

    m_pPreview = new CRingPreview(this);
    const int stripY = fieldsY + 28;
    m_pPreview->setGeometry(layout::kRoundImage.left(), stripY, layout::kRoundImage.width(),
                            layout::kViewSize.height() - stripY - 6);
    SyncFields();
}

void CRoundView::SyncFields() {
    const orbelune::RingParams& ring = m_app.session().ring();
    const int values[4] = {ring.XCenter, ring.YCenter, ring.OuterRadius, ring.InnerRadius};
    const bool loaded = !m_pWnd->rawImage().empty();
    for (int i = 0; i < 4; ++i) {
        const QSignalBlocker block(m_fields[i]);
        m_fields[i]->setValue(values[i]);
        m_fields[i]->setEnabled(loaded);
    }
}

void CRoundView::UpdatePreview() {
    const orbelune::RoundDisplay& fit = m_pWnd->fitDisplay();
    if (fit.scale <= 0.0) {
        m_pPreview->Clear();
        return;
    }
    m_pPreview->Update(m_pWnd->displayBitmap(), m_app.session().ring(), fit.scale,
                       m_app.session().mirror(), m_custom);
}

void CRoundView::OnRingEdited() {
    SyncFields();
    UpdatePreview();
}

void CRoundView::ApplyField(Field which, int value) {
    if (m_app.busy() || m_pWnd->rawImage().empty()) {
        SyncFields();
        return;
    }
    orbelune::RingParams& ring = m_app.session().ring();
    const orbelune::RoundDisplay& fit = m_pWnd->fitDisplay();
    const orbelune::RingWindow window{m_pWnd->rawImage().width(),
                                      m_pWnd->rawImage().height(),
                                      m_pWnd->width(),
                                      m_pWnd->height(),
                                      fit,
                                      fit};
    // The same limits as dragging: the ring stays inside the view, the radii apart.
    switch (which) {
        case Field::CentreX:
            orbelune::MoveCentre(ring, {value, ring.YCenter}, window);
            break;
        case Field::CentreY:
            orbelune::MoveCentre(ring, {ring.XCenter, value}, window);
            break;
        case Field::Outer:
            if (value < ring.OuterRadius || orbelune::OuterRadiusFits(value, ring, window))
                ring.SetOuterRadius(value);
            break;
        case Field::Inner:
            ring.SetInnerRadius(value);
            break;
    }
    m_pWnd->update();
    OnRingEdited();
}

CRoundView::~CRoundView() = default;

QLabel* CRoundView::sizeLabel() const {
    return m_pSizeLabel;
}

void CRoundView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // In a window larger than the design, the frame's stretch places the panels.
    if (const auto* stretch = findChild<ViewStretch*>(QString(), Qt::FindDirectChildrenOnly))
        stretch->Paint(painter, m_background);
    else
        painter.drawPixmap(0, 0, m_background);
}

void CRoundView::HideButtons() {
    m_pUnwarp->hide();
    m_pBack->hide();
    m_pFindRing->hide();
}

void CRoundView::ShowButtons() {
    m_pUnwarp->show();
    m_pBack->show();
    m_pFindRing->show();
}

void CRoundView::OnFindRing() {
    CTask task(m_app, CTask::Rule::Busy);
    if (task.refused()) return;
    orbelune::Session& session = m_app.session();
    if (session.raw().empty()) return;
    task.WaitCursor();
    const orbelune::RgbImage& photo = session.raw();
    orbelune::RingParams ring = session.ring();
    const bool found =
        task.Run([&photo, &ring] { return orbelune::Session::DetectRing(photo, ring); });
    task.EndWaitCursor();
    if (found) {
        session.ring() = ring;
        m_pWnd->update();
        OnRingEdited();
        return;
    }
    m_app.ui().MessageBox(this, QStringLiteral("No ring was found in this photograph."),
                          UiServices::Icon::Information, UiServices::Buttons::Ok);
}

bool CRoundView::LoadRawImage(const QString& path) {
    m_pSizeLabel->clear();
    return m_pWnd->LoadRawImage(path);
}

void CRoundView::AfterLoad() {
    m_app.ui().BeginWaitCursor();
    m_pWnd->RebuildDisplay();
    m_app.ui().EndWaitCursor();
    UpdateSizeLabel();
    m_custom = orbelune::LoadCustomMirror(m_app.session().store());
    OnRingEdited();
}

void CRoundView::UpdateSizeLabel() {
    const orbelune::RgbImage& raw = m_pWnd->rawImage();
    if (raw.width() > 0) {
        QString text = QString::asprintf("%d x %d", raw.width(), raw.height());
        // The stored ring did not belong to this photograph: say what replaced it.
        if (m_pWnd->ringSource() == CRoundWnd::RingSource::Found) {
            text += QStringLiteral(" (ring found)");
        } else if (m_pWnd->ringSource() == CRoundWnd::RingSource::Reset) {
            text += QStringLiteral(" (ring reset)");
        }
        m_pSizeLabel->setText(text);
    }
}

bool CRoundView::progressShown() const {
    return m_pProgress->running();
}

void CRoundView::ShowProgress(int row, int count) {
    m_pProgress->Report(row, count);
}

void CRoundView::HideProgress() {
    m_pProgress->End();
}

void CRoundView::OnShow() {
    m_pProgress->setGeometry(layout::kRoundProgress);
}

void CRoundView::OnUnwarp() {
    CTask task(m_app, CTask::Rule::Busy);
    if (task.refused()) return;
    workflow::Unwarp(m_app, task);
}

void CRoundView::OnBack() {
    if (m_app.busy()) {
        m_app.ShowBusyMessage();
        return;
    }
    // A click that queued up behind the unwarp must not throw the photograph away.
    if (m_app.WithinSecondsOfLastTask(1)) return;
    CTask task(m_app, CTask::Rule::Quiet);
    m_pWnd->ResetRoundWnd();
    m_pSizeLabel->clear();
    OnRingEdited();
    m_app.SwitchView(0);
}
