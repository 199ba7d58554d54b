#include "WorkerThread.h"

#include <QMutexLocker>

namespace {
// While waiting for a job to end the abort request is repeated at this
// interval, so that an abort that raced with the start of a call still lands.
constexpr unsigned long kReabortMs = 20;
}

WorkerThread::WorkerThread(JobTarget* target, std::atomic<bool>* abortFlag, QObject* parent, Start when)
    : QThread(parent), m_target(target), m_abort(abortFlag)
{
    if (when == Start::Now)
        start(QThread::InheritPriority);
}

WorkerThread::~WorkerThread()
{
    setJob(JobQuit);
    wait();
}

void WorkerThread::run()
{
    QMutexLocker lock(&m_mutex);
    for (;;) {
        const int j = m_job.load();
        if (j == JobCalibrate) {
            m_result = m_target->runCalibrate();
        } else if (j == JobReadScan) {
            ScanReadout out;
            m_result = m_target->runReadScan(out);
            m_out = out;
        } else if (j == JobConnect) {
            m_result = m_target->runConnect();
        } else if (j == JobDriveSearch) {
            m_result = m_target->runDriveSearch();
        }
        if (j == JobQuit || m_quit.load())
            break;
        // Idle before the signal: a receiver sees the job as ended.
        m_job.store(JobIdle);
        emit jobFinished();
        wakeWaiters(); // every job end, aborted or not
        while (m_job.load() == JobIdle && !m_quit.load())
            m_jobCond.wait(&m_mutex);
    }
    m_job.store(JobIdle);
    wakeWaiters();
}

void WorkerThread::wakeWaiters()
{
    QMutexLocker lock(&m_doneMutex);
    m_doneCond.wakeAll();
}

void WorkerThread::waitIdle()
{
    // The thread holds the job mutex while it is inside a controller call, so
    // the waiter uses its own short-held mutex and re-asks for the abort.
    while (m_job.load() != JobIdle) {
        // A connect is waited for, never aborted: the controller builds its
        // register mirror and drive meanwhile, which an abort would reach into.
        if (m_job.load() != JobConnect)
            m_target->requestAbort();
        QMutexLocker lock(&m_doneMutex);
        if (m_job.load() != JobIdle)
            m_doneCond.wait(&m_doneMutex, kReabortMs);
    }
}

void WorkerThread::abortAndWait()
{
    if (m_job.load() == JobIdle)
        return;
    if (m_abort)
        m_abort->store(true);
    waitIdle();
}

void WorkerThread::setJob(int job)
{
    if (m_job.load() != JobIdle) {
        if (m_abort)
            m_abort->store(true);
        waitIdle();
        if (m_abort)
            m_abort->store(false);
    }
    if (job == JobIdle)
        return;
    QMutexLocker lock(&m_mutex);
    if (job == JobQuit)
        m_quit.store(true);
    m_job.store(job);
    m_jobCond.wakeAll();
}

int WorkerThread::result(ScanReadout& out) const
{
    QMutexLocker lock(&m_mutex);
    out = m_out;
    return m_result;
}

int WorkerThread::result() const
{
    QMutexLocker lock(&m_mutex);
    return m_result;
}
