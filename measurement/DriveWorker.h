#pragma once
// Runs one blocking linear-drive call (home or move) on a short-lived thread
// while the calling thread polls it every 250 ms and keeps processing events.
// After an abort it waits 5 s for the call to give up, then sends the stop
// once, and in every case waits until the thread has returned: no thread is
// ever left running or destroyed while it runs.
#include <QtGlobal>

#include <atomic>
#include <functional>

class DriveWorker
{
public:
    static constexpr int kPollMs = 250;
    static constexpr int kStopAfterAbortMs = 5000;

    // How the caller waits: a monotonic clock and one slice of sleep with
    // event processing. Defaults: QElapsedTimer and sleep + processEvents.
    struct Pacer {
        std::function<qint64()> nowMs;
        std::function<void(int ms)> waitWithEvents;
    };
    static Pacer realTime();

    explicit DriveWorker(Pacer pacer = realTime()) : m_pacer(std::move(pacer)) {}
    void setPacer(Pacer pacer) { m_pacer = std::move(pacer); }

    // Runs `op` on its own thread and returns its result. `onPoll` runs after
    // each slice; `aborted` is asked on each pass; `stop` runs once when the
    // call is still busy kStopAfterAbortMs after the abort.
    bool run(const std::function<bool()>& op, const std::function<void()>& onPoll,
             const std::function<bool()>& aborted, const std::function<void()>& stop);

    bool running() const { return m_running.load(); }
    // Whether the last run sent the stop.
    bool stopSent() const { return m_stopSent; }

private:
    Pacer m_pacer;
    std::atomic<bool> m_running{false};
    bool m_stopSent = false;
};
