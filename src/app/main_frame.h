#pragma once

#include <QWidget>

class COrbeluneApp;
class COrbeluneView;
class CRoundView;
class CPanoView;
class QAction;
class QStatusBar;
class QPushButton;
class QMimeData;

// The program's window. It owns the three views; exactly one of them is
// visible at a time and fills the area above the status line. The window
// opens at the size the views were drawn for (or as it was left) and may be
// enlarged or maximised.
class CMainFrame : public QWidget {
    Q_OBJECT
public:
    // The framework's first pane id: the frame lays out only the view carrying it.
    static constexpr int kFirstPane = 0xE900;
    static constexpr int kClientWidth = 760;
    static constexpr int kClientHeight = 540;
    static constexpr const char* kPaneIdProperty = "paneId";
    // Where the window's size is kept.
    static constexpr const char* kWindowSection = "WINDOW";

    explicit CMainFrame(COrbeluneApp& app);
    ~CMainFrame() override;

    // Creates the three views (the start view shown, the others hidden) and
    // hands their references to the application.
    void CreateViews();

    QWidget* activeView() const { return m_pActiveView; }
    // Makes `view` the active view (the one SwitchView starts from).
    void SetActiveView(QWidget* view) { m_pActiveView = view; }
    // Places the view carrying the first pane id over the client area.
    void RecalcLayout();
    // The area the views fill: the window less the status line.
    QRect clientRect() const;
    // Shows the window at its stored size, maximised when it was left so.
    void ShowAsStored();
    bool storedMaximised() const { return m_bStoredMaximised; }
    // Keeps the window's size and maximised state in the settings store.
    void StorePlacement();

    // The status line: what was saved where, and the way to its folder.
    QStatusBar* statusBar() const { return m_pStatus; }
    QPushButton* showInFolderButton() const { return m_pShowInFolder; }
    void ShowSaved(const QString& path);
    const QString& lastSaved() const { return m_lastSaved; }
    void OnShowInFolder();
    // The one local file a drag carries, or empty: several files, a web
    // address or text are not taken.
    static QString DroppedFile(const QMimeData* data);
    // Whether a dropped file would be opened now (only where no panorama
    // would be thrown away, and not while a task runs).
    bool AcceptsDrops() const;
    static int PaneId(const QWidget* view);
    static void SetPaneId(QWidget* view, int id);

    // Asked when the window is closed while a task runs.
    static const QString kCancelQuestion;

    // Progress of a task: forwarded to the shown view's bar.
    bool ReportProgress(int row, int count);
    void EndProgress();

    void OnAbout();
    QAction* aboutAction() const { return m_pAboutAction; }
    // The keyboard commands, also listed in the window's context menu.
    enum class Command { Manual, Open, SavePanorama, SaveMovie, Undo, Redo };
    QAction* commandAction(Command command) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    COrbeluneApp& m_app;
    QWidget* m_pActiveView = nullptr;
    QAction* m_pAboutAction = nullptr;
    QList<QAction*> m_commandActions;  // in the order of Command
    QStatusBar* m_pStatus = nullptr;
    QPushButton* m_pShowInFolder = nullptr;
    QString m_lastSaved;
    bool m_bStoredMaximised = false;
};
