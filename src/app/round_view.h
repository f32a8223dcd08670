#pragma once

#include <QString>
#include <QWidget>

#include "unwarp/mirror_types.h"

class COrbeluneApp;
class CRoundWnd;
class CLabelCtrl;
class QAbstractButton;
class QLabel;
class CViewProgressBar;
class CRingPreview;
class QSpinBox;

// The ring view: the raw photograph with its ring, the size label, Unwarp and Back.
class CRoundView : public QWidget {
    Q_OBJECT
public:
    explicit CRoundView(COrbeluneApp& app, QWidget* parent = nullptr);
    ~CRoundView() override;

    void HideButtons();
    void ShowButtons();
    bool LoadRawImage(const QString& path);
    // After a successful load: the display copy (with the wait cursor) and the size label.
    void AfterLoad();
    void ShowProgress(int row, int count);
    void HideProgress();
    // Puts the progress bar at its place whenever the view is shown.
    void OnShow();

    void OnUnwarp();
    void OnBack();
    // Places the ring where detection finds it, or says that none was found.
    void OnFindRing();
    void UpdateSizeLabel();
    // Shows the ring's values in the fields and remakes the preview strip.
    void OnRingEdited();

    enum class Field { CentreX, CentreY, Outer, Inner };
    QSpinBox* field(Field which) const { return m_fields[static_cast<int>(which)]; }
    CRingPreview* ringPreview() const { return m_pPreview; }

    CRoundWnd* imageWnd() const { return m_pWnd; }
    QAbstractButton* unwarpButton() const { return m_pUnwarp; }
    QAbstractButton* backButton() const { return m_pBack; }
    QAbstractButton* findRingButton() const { return m_pFindRing; }
    CViewProgressBar* progressBar() const { return m_pProgress; }
    QLabel* sizeLabel() const;
    bool progressShown() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ApplyField(Field which, int value);
    void SyncFields();
    void UpdatePreview();

    COrbeluneApp& m_app;
    QSpinBox* m_fields[4] = {};
    CRingPreview* m_pPreview = nullptr;
    orbelune::CustomMirror m_custom;
    CRoundWnd* m_pWnd = nullptr;
    QAbstractButton* m_pUnwarp = nullptr;
    QAbstractButton* m_pBack = nullptr;
    QAbstractButton* m_pFindRing = nullptr;
    CViewProgressBar* m_pProgress = nullptr;
    CLabelCtrl* m_pSizeLabel = nullptr;
    QPixmap m_background;
};
