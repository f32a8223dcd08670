#pragma once

#include <QEventLoop>
#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

class COrbeluneApp;

// Carries progress from the worker to the view shown: the worker only stores
// the latest report and posts one delivery at a time, so a fast loop never
// floods the interface thread.
class ProgressRelay {
public:
    ProgressRelay(COrbeluneApp& app, const std::atomic<bool>& cancel)
        : m_app(app), m_cancel(cancel) {}

    // Any thread; false once the task was asked to stop.
    bool Report(int row, int count);
    // Any thread: the next report starts a new run on the bar.
    void Restart() { m_restart = true; }
    // Interface thread: no further delivery reaches the views.
    void Close() { m_open = false; }

private:
    void Deliver();

    COrbeluneApp& m_app;
    const std::atomic<bool>& m_cancel;
    std::atomic<int> m_row{0};
    std::atomic<int> m_count{0};
    std::atomic<bool> m_pending{false};
    std::atomic<bool> m_restart{false};
    std::atomic<bool> m_open{true};
};

// One long task of the program, for its lifetime: it takes the busy rule (or
// is refused), the wait cursor and the progress routing, runs the work on a
// worker thread while the window keeps painting, and on the way out records
// when the task ended and runs what waited for it.
class CTask {
public:
    enum class Rule {
        Command,  // BeginTask: the busy message, and a silent refusal right after a task
        Busy,     // only the busy message
        Quiet,    // refused without a word (wheel and key repeats, files given at start)
    };

    explicit CTask(COrbeluneApp& app, Rule rule = Rule::Command);
    ~CTask();
    CTask(const CTask&) = delete;
    CTask& operator=(const CTask&) = delete;

    bool refused() const { return !m_accepted; }
    void WaitCursor();
    void EndWaitCursor();
    // From now on the 2-second rule counts from this task.
    void Finished();
    bool cancelled() const { return m_cancel; }
    // Asks the work to stop at its next row or tile.
    void Cancel() { m_cancel = true; }

    // Runs `work` on a worker thread and returns its result here. The image
    // layer's progress of that thread goes to the view shown; `progress()`
    // gives the same for the work's own callbacks. The interface keeps
    // handling events meanwhile; commands that arrive are refused by the busy rule.
    template <class Work>
    auto Run(Work work) {
        std::optional<decltype(work())> result;
        RunOnWorker([&] { result.emplace(work()); });
        return std::move(*result);
    }
    ProgressRelay& progress() { return *m_relay; }

private:
    void RunOnWorker(const std::function<void()>& work);

    COrbeluneApp& m_app;
    bool m_accepted = false;
    bool m_waitCursor = false;
    std::atomic<bool> m_cancel{false};
    std::shared_ptr<ProgressRelay> m_relay;
};

// Runs `work` on the running task's worker, or, outside any task, in a task
// of its own; while the busy flag is held by something else, right here.
template <class Work>
auto RunLongWork(COrbeluneApp& app, CTask* running, Work work) {
    if (running != nullptr) return running->Run(std::move(work));
    CTask task(app, CTask::Rule::Quiet);
    if (task.refused()) return work();
    return task.Run(std::move(work));
}
