#include "app/task.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "app/orbelune_app.h"
#include "app/ui_services.h"
#include "image/image_layer.h"

bool ProgressRelay::Report(int row, int count) {
    if (m_app.workerProbe) m_app.workerProbe(row, count);
    m_row = row;
    m_count = count;
    if (!m_pending.exchange(true)) {
        // Held by the posted call, so a late delivery finds the relay alive.
        auto self = m_app.currentRelay();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [self] { self->Deliver(); }, Qt::QueuedConnection);
    }
    return !m_cancel;
}

void ProgressRelay::Deliver() {
    m_pending = false;
    if (!m_open) return;
    if (m_restart.exchange(false)) m_app.EndProgress();
    m_app.RouteProgress(m_row, m_count);
}

CTask::CTask(COrbeluneApp& app, Rule rule) : m_app(app) {
    switch (rule) {
        case Rule::Command:
            m_accepted = !app.BeginTask();
            break;
        case Rule::Busy:
            if (app.busy()) {
                app.ShowBusyMessage();
            } else {
                m_accepted = true;
            }
            break;
        case Rule::Quiet:
            m_accepted = !app.busy();
            break;
    }
    if (!m_accepted) return;
    app.SetBusy(true);
    m_relay = std::make_shared<ProgressRelay>(app, m_cancel);
    app.TaskStarted(this, m_relay);
}

CTask::~CTask() {
    if (!m_accepted) return;
    m_relay->Close();
    m_app.EndProgress();
    if (m_waitCursor) m_app.ui().EndWaitCursor();
    m_app.SetBusy(false);
    m_app.TaskEnded(this);
}

void CTask::WaitCursor() {
    if (m_waitCursor) return;
    m_waitCursor = true;
    m_app.ui().BeginWaitCursor();
}

void CTask::EndWaitCursor() {
    if (!m_waitCursor) return;
    m_waitCursor = false;
    m_app.ui().EndWaitCursor();
}

void CTask::Finished() {
    m_app.SetLastTaskEnd(m_app.now());
}

void CTask::RunOnWorker(const std::function<void()>& work) {
    QEventLoop loop;
    std::atomic<bool> done{false};
    ProgressRelay* relay = m_relay.get();
    std::thread worker([&] {
        orbelune::SetImageProgress(
            [relay](int row, int count) { return relay->Report(row, count); });
        work();
        orbelune::SetImageProgress({});
        done = true;
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    // Paints, timers and input go on; the busy rule keeps other tasks out.
    while (!done)
        loop.exec();
    worker.join();
}
