#include "DriveWorker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <memory>
#include <thread>

DriveWorker::Pacer DriveWorker::realTime()
{
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    Pacer p;
    p.nowMs = [clock] { return clock->elapsed(); };
    p.waitWithEvents = [](int ms) {
        QThread::msleep(static_cast<unsigned long>(ms));
        QCoreApplication::processEvents();
    };
    return p;
}

bool DriveWorker::run(const std::function<bool()>& op, const std::function<void()>& onPoll,
                      const std::function<bool()>& aborted, const std::function<void()>& stop)
{
    // Shared with the thread; atomics because two threads touch them.
    struct Outcome {
        std::atomic<bool> finished{false};
        std::atomic<bool> result{false};
    };
    auto outcome = std::make_shared<Outcome>();
    m_stopSent = false;
    m_running.store(true);
    std::thread thread([op, outcome] {
        outcome->result.store(op());
        outcome->finished.store(true);
    });

    qint64 since = m_pacer.nowMs();
    bool abortSeen = false;
    while (!outcome->finished.load()) {
        m_pacer.waitWithEvents(kPollMs);
        if (onPoll)
            onPoll();
        const qint64 now = m_pacer.nowMs();
        if (!aborted || !aborted() || !abortSeen) {
            // The clock runs from the pass that first sees the abort.
            since = now;
            abortSeen = aborted && aborted();
        } else if (!m_stopSent && now - since > kStopAfterAbortMs) {
            // The call did not give up on its own: the stop is the one call
            // that may reach the unit while the worker is inside the library.
            if (stop)
                stop();
            m_stopSent = true;
        }
    }
    thread.join();
    m_running.store(false);
    return outcome->result.load();
}
