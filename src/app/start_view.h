#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class COrbeluneApp;
class ImageButton;
class QLabel;
class QMenu;
class QToolButton;

// The view shown at start-up and after every failed open: open a photograph,
// read the manual, choose the mirror.
class COrbeluneView : public QWidget {
    Q_OBJECT
public:
    // What ClassifyImageFile finds.
    static constexpr int kNotAnImage = -1;
    static constexpr int kPanorama = 0;
    static constexpr int kRingPhoto = 1;

    explicit COrbeluneView(COrbeluneApp& app, QWidget* parent = nullptr);
    ~COrbeluneView() override;

    // A picture more than twice as wide as high is a panorama. Reads only the
    // file's header where its format has a probe (the view that opens the file
    // then decodes it once); decodes it where not, or when the header is refused.
    int ClassifyImageFile(const QString& path);
    // The open command's classification: the hook when set, else
    // ClassifyImageFile's work on the running task's worker.
    int Classify(const QString& path);
    // Why the last ClassifyImageFile gave kNotAnImage, for the user.
    const QString& classifyFailure() const { return m_classifyFailure; }
    // Replaces the classification in tests (a file that classifies but then
    // fails to load in its view); empty means ClassifyImageFile.
    std::function<int(const QString&)> classifyHook;

    void OnOpenRawImage();
    // Opens a file named on the command line (the desktop's "Open with") as
    // the open command would; false when another task runs.
    bool OpenFileGivenAtStart(const QString& path);
    void OnHelpManual();
    void OnMirrorSelect();

    ImageButton* openButton() const { return m_pOpen; }
    ImageButton* manualButton() const { return m_pManual; }
    ImageButton* mirrorButton() const { return m_pMirror; }
    QToolButton* recentButton() const { return m_pRecent; }
    // The chosen mirror: its picture (this size) and its name.
    static constexpr QSize kMirrorPictureSize{80, 68};
    QLabel* mirrorPicture() const { return m_pMirrorPicture; }
    QLabel* mirrorName() const { return m_pMirrorName; }
    // Shows the stored mirror; called after the mirror dialog and at start-up.
    void UpdateMirror();
    // Rebuilds the recent files menu (files that are gone are left out).
    void UpdateRecentFiles();
    QMenu* recentMenu() const { return m_pRecentMenu; }

    // Where the manual is looked for, in this order, before the web page:
    // the PDF, then the HTML page for a desktop without a PDF viewer.
    QStringList ManualCandidates() const;
    QStringList HtmlManualCandidates() const;
    // Said when neither the manual nor the web page could be opened.
    static const QString kNoManualMessage;
    static QString OnlineManualUrl();

private:
    COrbeluneApp& m_app;
    QString m_classifyFailure;
    QLabel* m_pBackground = nullptr;
    ImageButton* m_pOpen = nullptr;
    ImageButton* m_pManual = nullptr;
    ImageButton* m_pMirror = nullptr;
    QToolButton* m_pRecent = nullptr;
    QMenu* m_pRecentMenu = nullptr;
    QLabel* m_pMirrorPicture = nullptr;
    QLabel* m_pMirrorName = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
};
