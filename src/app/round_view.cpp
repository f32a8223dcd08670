#include "app/round_view.h"

#include <QFont>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include "app/artwork.h"
#include "app/image_wnd.h"
#include "app/label_ctrl.h"
#include "app/orbelune_app.h"
#include "app/round_wnd.h"
#include "app/task.h"
#include "app/ui_services.h"
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
}

CRoundView::~CRoundView() = default;

QLabel* CRoundView::sizeLabel() const {
    return m_pSizeLabel;
}

void CRoundView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
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
    m_app.SwitchView(0);
}
