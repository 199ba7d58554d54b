#pragma once
// The job thread: runs the blocking controller calls (connect with its drive
// probe, calibrate, read one scan) one at a time so that the GUI thread stays
// responsive. The GUI hands
// it a job with setJob() and polls isIdle() (lock-free) while processing events.
#include <QMutex>
#include <QThread>
#include <QWaitCondition>
#include <atomic>

struct ScanReadout {
    double* data = nullptr; // owned by the controller's driver buffer
    unsigned syncPoints = 0;
    unsigned steps = 0;
    double samplePeriod = 0.0;
    double syncDelay = 0.0;
    unsigned trailer = 0;
};

// What the thread runs; the main window adapts its controller to this.
class JobTarget
{
public:
    virtual ~JobTarget() = default;
    virtual int runCalibrate() = 0;
    virtual int runReadScan(ScanReadout& out) = 0;
    // Finds and sets up the unit and probes the linear drive's family (seconds
    // of serial time-outs when no drive answers); never asked to abort.
    virtual int runConnect() = 0;
    // Asks the linear drive's families on the connected unit (the slow part
    // of a connect when no drive answers); ends early on requestAbort().
    virtual int runDriveSearch() { return 0; }
    // Makes a running call (not a connect) return soon; may be called from any thread.
    virtual void requestAbort() = 0;
};

class WorkerThread : public QThread
{
    Q_OBJECT
public:
    enum Job { JobCalibrate = 0, JobReadScan = 1, JobIdle = 2, JobQuit = 3, JobConnect = 4, JobDriveSearch = 5 };
    // Later: the owner connects jobFinished() first and then calls start(), so
    // that the first pass's signal is not emitted before anyone listens.
    enum class Start { Now, Later };

    // abortFlag is the owner's abort flag; both must outlive the thread.
    WorkerThread(JobTarget* target, std::atomic<bool>* abortFlag, QObject* parent = nullptr,
                 Start start = Start::Now);
    ~WorkerThread() override;

    // Aborts and waits for a running job, then hands over the new one.
    void setJob(int job);
    // Blocks until no job runs, re-asking the target to abort meanwhile.
    void abortAndWait();
    int job() const { return m_job.load(); }
    bool isIdle() const { return m_job.load() == JobIdle; }

    int result(ScanReadout& out) const;
    int result() const;

signals:
    void jobFinished();

protected:
    void run() override;

private:
    void waitIdle();
    void wakeWaiters();

    mutable QMutex m_mutex;
    QWaitCondition m_jobCond;
    QMutex m_doneMutex; // guards only the done condition, never held across a call
    QWaitCondition m_doneCond;
    std::atomic<int> m_job{JobIdle};
    std::atomic<bool> m_quit{false};
    JobTarget* m_target;
    std::atomic<bool>* m_abort;
    ScanReadout m_out;
    int m_result = 0;
};
