#pragma once

#include <QWidget>

class COrbeluneApp;
class COrbeluneView;
class CRoundView;
class CPanoView;
class QAction;

// The single fixed-size window. It owns the three views; exactly one of them
// is visible at a time and fills the client area.
class CMainFrame : public QWidget {
    Q_OBJECT
public:
    // The framework's first pane id: the frame lays out only the view carrying it.
    static constexpr int kFirstPane = 0xE900;
    static constexpr int kClientWidth = 760;
    static constexpr int kClientHeight = 540;
    static constexpr const char* kPaneIdProperty = "paneId";

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
    enum class Command { Manual, Open, SavePanorama, SaveMovie, Undo };
    QAction* commandAction(Command command) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    COrbeluneApp& m_app;
    QWidget* m_pActiveView = nullptr;
    QAction* m_pAboutAction = nullptr;
    QList<QAction*> m_commandActions;  // in the order of Command
};
