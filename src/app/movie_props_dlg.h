#pragma once

#include <QDialog>
#include <QString>

#include "export/movie_props.h"
#include "export/movie_settings.h"
#include "image/rgb_image.h"

class COrbeluneApp;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

// The pages the dialog was asked for, written only once the movie is built.
struct MoviePages {
    bool html = false;
    QString htmlPath;  // beside the movie when typed without a folder
    QString title;
    QString movieSrc;  // the movie file as typed: the page refers to it so
    int movieWidth = 0;
    int movieHeight = 0;
    bool sharePage = false;
    QString shareFolder;  // "<movie base>_360" beside the movie
};

// Writes the pages after a successful movie build, telling the user about a
// page that could not be written (the movie stays saved).
void WriteMoviePages(COrbeluneApp& app, QWidget* parent, const MoviePages& pages,
                     const orbelune::RgbImage& panorama, const orbelune::MovieSettings& settings);

// "Save Movie Properties": movie file, size, compression, correction, default
// view, tiles and the optional HTML page. Save Movie returns 1 (Accepted);
// the caller reads the fields back. The dialog writes no settings.
class CMoviePropsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMoviePropsDlg(COrbeluneApp& app, QWidget* parent = nullptr);

    // Corrects the incoming values and shows them; call once after filling the
    // fields and before running the dialog.
    void OnInitDialog();

    // Tile rules: the codec's slider range, and the snap after a move ends.
    void UpdateTilesSlider();
    void SnapTiles(orbelune::movie_props::TileMove move);
    // The pages the current fields ask for (the HTML page refers to the movie
    // file as typed); written by WriteMoviePages after the build.
    MoviePages PagesToWrite() const;
    const MoviePages& pages() const { return m_pages; }

    void OnOK();
    void OnCancel();
    void OnBrowseMovie();
    void OnBrowseHtml();
    void reject() override;  // Esc and the close box cancel too

    // Fields (filled by the panorama view, read back after Save Movie).
    QString m_strReferencePath;
    int m_nMovieWidth = 0;
    int m_nMovieHeight = 0;
    int m_nPanoWidth = 0;
    int m_nPanoHeight = 0;
    int m_nPan = 0;
    int m_nTilt = 0;
    int m_nTiltMin = 0;
    int m_nTiltMax = 0;
    float m_fZoom = 1.0f;
    QString m_strHtmlFile;
    bool m_bGenerateHtml = false;
    bool m_bSharePage = false;  // also the folder with the 360° web page
    QString m_strTitle;
    QString m_strMovieFile;
    int m_nTiles = 1;
    int m_nCodec = 0;
    int m_nQuality = 0;
    int m_nCorrection = 0;
    bool m_bHtmlNameEdited = false;
    bool m_bTitleEdited = false;

    QLineEdit* movieFileEdit() const { return m_pMovieFile; }
    QLineEdit* movieWidthEdit() const { return m_pMovieWidth; }
    QLineEdit* movieHeightEdit() const { return m_pMovieHeight; }
    QLineEdit* zoomEdit() const { return m_pZoomValue; }
    QLineEdit* panEdit() const { return m_pPanValue; }
    QLineEdit* tiltEdit() const { return m_pTiltValue; }
    QLineEdit* tilesEdit() const { return m_pTilesValue; }
    QLineEdit* htmlFileEdit() const { return m_pHtmlFile; }
    QLineEdit* titleEdit() const { return m_pTitle; }
    QSlider* zoomSlider() const { return m_pZoom; }
    QSlider* panSlider() const { return m_pPan; }
    QSlider* tiltSlider() const { return m_pTilt; }
    QSlider* tilesSlider() const { return m_pTiles; }
    QComboBox* codecCombo() const { return m_pCodec; }
    QComboBox* qualityCombo() const { return m_pQuality; }
    QComboBox* correctionCombo() const { return m_pCorrection; }
    QCheckBox* generateHtmlCheck() const { return m_pGenerateHtml; }
    QCheckBox* sharePageCheck() const { return m_pSharePage; }
    QPushButton* saveButton() const { return m_pSave; }
    QPushButton* cancelButton() const { return m_pCancel; }
    QPushButton* htmlBrowseButton() const { return m_pHtmlBrowse; }
    QLabel* tiltMinLabel() const { return m_pTiltMin; }
    QLabel* tiltMaxLabel() const { return m_pTiltMax; }

private:
    void BuildControls();
    // Field values into the controls (without counting as the user's edits).
    void ShowFields();
    // What the user changed in the controls back into the fields.
    bool TakeFields();
    void EnableHtmlControls();
    void OnMovieFileChanged(const QString& text);
    void ProposeHtmlNames(const QString& moviePath);
    void ShowTiles();
    bool WarnIfBusy(const QString& path);
    int Selection(const QComboBox* combo) const;

    COrbeluneApp& m_app;
    MoviePages m_pages;  // what Save Movie confirmed
    int m_nOpeningCodec = 0;
    bool m_bShowing = false;  // fields are being put into the controls
    // The combos' selections: -1 once the user typed into the edit part.
    int m_nCodecSel = -1;
    int m_nQualitySel = -1;
    int m_nCorrectionSel = -1;

    QLineEdit* m_pMovieFile = nullptr;
    QPushButton* m_pMovieBrowse = nullptr;
    QLineEdit* m_pPanoWidth = nullptr;
    QLineEdit* m_pPanoHeight = nullptr;
    QLineEdit* m_pMovieWidth = nullptr;
    QLineEdit* m_pMovieHeight = nullptr;
    QSlider* m_pZoom = nullptr;
    QLineEdit* m_pZoomValue = nullptr;
    QSlider* m_pPan = nullptr;
    QLineEdit* m_pPanValue = nullptr;
    QSlider* m_pTilt = nullptr;
    QLineEdit* m_pTiltValue = nullptr;
    QLabel* m_pTiltMin = nullptr;  // the tilt slider's two ends
    QLabel* m_pTiltMax = nullptr;
    QCheckBox* m_pGenerateHtml = nullptr;
    QCheckBox* m_pSharePage = nullptr;
    QLabel* m_pHtmlFileLabel = nullptr;
    QLineEdit* m_pHtmlFile = nullptr;
    QPushButton* m_pHtmlBrowse = nullptr;
    QLabel* m_pTitleLabel = nullptr;
    QLineEdit* m_pTitle = nullptr;
    QComboBox* m_pCodec = nullptr;
    QComboBox* m_pQuality = nullptr;
    QComboBox* m_pCorrection = nullptr;
    QSlider* m_pTiles = nullptr;
    QLineEdit* m_pTilesValue = nullptr;
    QPushButton* m_pSave = nullptr;
    QPushButton* m_pCancel = nullptr;
};
