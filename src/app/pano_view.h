#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <string>

#include "app/movie_props_dlg.h"
#include "export/movie_settings.h"
#include "export/panorama_movie.h"
#include "image/adjustments.h"
#include "image/image_format.h"
#include "image/rgb_image.h"
#include "session/session.h"

class COrbeluneApp;
class CPanoWnd;
class CLabelCtrl;
class QAbstractButton;
class QLabel;
class CViewProgressBar;
class QSlider;

// The panorama view: the unwarped picture, crop lines, sliders and the save commands.
class CPanoView : public QWidget {
    Q_OBJECT
public:
    enum Slider { kBrightness = 0, kContrast = 1, kSaturation = 2, kSharpness = 3 };

    explicit CPanoView(COrbeluneApp& app, QWidget* parent = nullptr);
    ~CPanoView() override;

    void FreeImages();
    void HideNavigation();
    void ShowNavigation();
    void HideBackButton();
    bool OpenPanoramaFile(const QString& path);
    // The picture just produced becomes the base; crop lines reset; sliders applied.
    void ShowNewPanorama();
    void UpdateSizeCaption();
    void SetProgressWorkingPlace();
    void SetProgressIdlePlace();
    void RestoreSliders();
    void ShowProgress(int row, int count);
    void HideProgress();
    // Before a new panorama is produced: no images, no navigation, the bar where work shows.
    void PrepareForNewPanorama();
    // Whether the panorama about to arrive comes from the custom mirror.
    orbelune::MovieSettings& movieSettings();
    void SetSliderStartValues(int brightness, int contrast, int saturation);

    // Where the unwarp writes the new panorama.
    orbelune::RgbImage& currentImage();
    int InitCropLines();

    void OnBack();
    void OnStartOver();
    // One edit back / forward (crops and adjustments); the Undo button is OnUndo.
    void OnUndo();
    void OnRedo();
    // Before a panorama with unsaved work is thrown away: asks Save / Discard
    // / Cancel (Yes / No / Cancel); true when it may go (saved or discarded).
    bool ConfirmDiscard();
    void OnCrop();
    void OnReset();
    void OnSavePanorama();
    // Save as VR Movie: the movie properties, then the movie build.
    void OnSaveMovie();
    // Runs the movie properties dialog; on 1 takes its values and stores them.
    int EditMovieProperties();
    // Share as 360°: asks for a folder beside the photo, writes the web page
    // there and offers to open it in the browser.
    void OnShare360();
    void OnSliderReleased(Slider which);
    // A slider moved by the wheel, the keys or a click on its track.
    void OnSliderStepped(Slider which);
    // Writes the current picture to the movie path in the save format; 0, or
    // -1 / the image layer's code after telling the user.
    int SavePanorama();

    CPanoWnd* imageWnd() const { return m_pWnd; }
    QSlider* slider(Slider which) const { return m_sliders[which]; }
    QAbstractButton* backButton() const { return m_pBack; }
    QAbstractButton* resetButton() const { return m_pReset; }
    QAbstractButton* undoButton() const { return m_pUndo; }
    QAbstractButton* cropButton() const { return m_pCrop; }
    QAbstractButton* savePanoramaButton() const { return m_pSavePanorama; }
    QAbstractButton* saveMovieButton() const { return m_pSaveMovie; }
    QAbstractButton* shareButton() const { return m_pShare; }
    QAbstractButton* startOverButton() const { return m_pStartOver; }
    QAbstractButton* fitButton() const { return m_pFit; }
    QAbstractButton* zoom100Button() const { return m_pZoom100; }
    QAbstractButton* beforeButton() const { return m_pBefore; }
    QAbstractButton* redoButton() const { return m_pRedo; }
    CViewProgressBar* progressBar() const { return m_pProgress; }
    QLabel* sizeCaption() const;
    const orbelune::PanoAdjustments& adjustments() const;
    const orbelune::SliderPositions& lastAccepted() const { return m_lastAccepted; }
    orbelune::ImageFormat saveFormat() const { return m_saveFormat; }
    bool saveShare360() const { return m_saveShare360; }

    // How the movie is built; empty means orbelune::SaveMovie. Tests replace it.
    std::function<int(const orbelune::RgbImage&, const orbelune::MovieSettings&, const std::string&,
                      const orbelune::MovieBuildHooks&)>
        buildMovie;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ReadSliders();
    void ApplyAdjustments();
    void SetSlider(Slider which, int position);
    int LastAccepted(Slider which) const;
    void SaveImage();
    void SaveMovieAs();
    int SaveMovieFile();
    void Share360();
    void StepThroughHistory(bool back);
    // A slider's handle moved while held: a preview from the reduced copy.
    void OnSliderDragged();
    // Shows the outcome's message, if any, with its icon.
    void Tell(const orbelune::Outcome& outcome);
    void ApplyPendingSliders();
    // The running task was asked to stop (the window is closing).
    bool Cancelled() const;

    COrbeluneApp& m_app;
    orbelune::Session& m_session;
    orbelune::PanoAdjustments m_adjustments;  // as the sliders were last read
    orbelune::SliderPositions m_startValues;
    orbelune::SliderPositions m_lastAccepted;
    orbelune::ImageFormat m_saveFormat = orbelune::ImageFormat::Unknown;
    // The Save Panorama dialog's "360° JPEG" type: the strip for 360° viewers.
    bool m_saveShare360 = false;
    MoviePages m_moviePages;  // asked for in the movie dialog, written after the build

    CPanoWnd* m_pWnd = nullptr;
    QAbstractButton* m_pBack = nullptr;
    QAbstractButton* m_pReset = nullptr;
    QAbstractButton* m_pUndo = nullptr;
    QAbstractButton* m_pCrop = nullptr;
    QAbstractButton* m_pSavePanorama = nullptr;
    QAbstractButton* m_pSaveMovie = nullptr;
    QAbstractButton* m_pShare = nullptr;
    QAbstractButton* m_pStartOver = nullptr;
    QAbstractButton* m_pFit = nullptr;
    QAbstractButton* m_pZoom100 = nullptr;
    QAbstractButton* m_pBefore = nullptr;
    QAbstractButton* m_pRedo = nullptr;
    std::array<QSlider*, 4> m_sliders{};
    std::array<QLabel*, 4> m_sliderValues{};
    CViewProgressBar* m_pProgress = nullptr;
    CLabelCtrl* m_pSizeCaption = nullptr;
    QPixmap m_background;
    bool m_bSettingSliders = false;
    // The photo Back was pressed on: its next panorama keeps the sliders.
    QString m_keptFor;
    // Slider steps that came while a task ran, applied once after it.
    bool m_bSlidersPending = false;
};
