#include "app/round_view.h"

#include <QFont>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include "app/artwork.h"
#include "app/image_wnd.h"
#include "app/label_ctrl.h"
#include "app/orbelune_app.h"
#include "app/pano_view.h"
#include "app/round_wnd.h"
#include "app/ui_services.h"
#include "image/image_layer.h"
#include "platform/settings_keys.h"
#include "unwarp/mirror_types.h"
#include "unwarp/unwarp.h"

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

void CRoundView::SetPanoView(CPanoView* panoView) {
    m_pPanoView = panoView;
    m_pWnd->SetPanoView(panoView);
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
    if (m_app.m_bBusy) {
        m_app.ShowBusyMessage();
        return;
    }
    if (m_pWnd->rawImage().empty()) return;
    m_app.m_bBusy = true;
    m_app.ui().BeginWaitCursor();
    const bool found = m_pWnd->FindRing();
    m_app.ui().EndWaitCursor();
    m_app.m_bBusy = false;
    if (!found)
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
    if (m_app.m_bBusy) {
        m_app.ShowBusyMessage();
        return;
    }
    if (m_pPanoView == nullptr || m_pWnd->rawImage().empty()) return;
    m_app.m_bBusy = true;
    orbelune::StoreRingParams(m_app.store(), m_pWnd->ring());

    m_pPanoView->PrepareForNewPanorama();
    m_pPanoView->SetFromCustomMirror(orbelune::FindMirror(m_app.m_nMirror) != nullptr &&
                                     orbelune::FindMirror(m_app.m_nMirror)->model ==
                                         orbelune::MirrorModel::Equiangular);
    m_app.SwitchView(2);
    m_pPanoView->SetProgressWorkingPlace();

    int result;
    {
        CProgressScope progress(m_app);
        result =
            orbelune::Unwarp(m_pWnd->rawImage(), m_pWnd->ring(), m_app.m_nMirror,
                             orbelune::LoadCustomMirror(m_app.store()), m_pPanoView->currentImage(),
                             [&progress](int row, int count) { progress.Report(row, count); });
    }
    if (result == 0) {
        int seam = orbelune::Read(m_app.store(), orbelune::settings::kSeam);
        if (!orbelune::IsValidSeam(seam)) seam = orbelune::settings::kSeam.defaultValue;
        orbelune::TurnColumns(m_pPanoView->currentImage(),
                              orbelune::SeamShift(seam, m_pPanoView->currentImage().width()));
    }
    if (result != 0) {
        m_pPanoView->SetProgressIdlePlace();
        m_app.ui().MessageBox(this, QStringLiteral("Error unwarping image."),
                              UiServices::Icon::Stop, UiServices::Buttons::Ok);
        m_app.m_bBusy = false;
        return;
    }
    m_app.m_tLastTaskEnd = m_app.now();
    m_pPanoView->InitCropLines();
    m_pPanoView->ShowNewPanorama();
    m_pPanoView->UpdateSizeCaption();
    m_pPanoView->ShowNavigation();
    m_pPanoView->SetProgressIdlePlace();
    m_app.m_bBusy = false;
}

void CRoundView::OnBack() {
    if (m_app.m_bBusy) {
        m_app.ShowBusyMessage();
        return;
    }
    // A click that queued up behind the unwarp must not throw the photograph away.
    if (m_app.WithinSecondsOfLastTask(1)) return;
    m_app.m_bBusy = true;
    m_pWnd->ResetRoundWnd();
    m_pSizeLabel->clear();
    m_app.SwitchView(0);
    m_app.m_bBusy = false;
}
