#include "WorkerThread.h"

#include <QElapsedTimer>
#include <QtTest>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {
// A controller stand-in: the read blocks until aborted; calibrate returns a set value.
class FakeTarget : public JobTarget
{
public:
    bool clearsAbortOnStart = false; // like a read loop that resets its abort flag
    bool blockingRead = true;
    int calibrateResult = 1;
    std::atomic<int> reads{0}, calibrations{0}, abortsSeen{0}, abortRequests{0};
    std::atomic<bool> inRead{false}, inConnect{false}, releaseConnect{false};
    int connectResult = 1;
    double buffer[4] = {1, 2, 3, 4};

    int runCalibrate() override
    {
        ++calibrations;
        return calibrateResult;
    }
    int runReadScan(ScanReadout& out) override
    {
        std::unique_lock<std::mutex> l(m);
        if (clearsAbortOnStart)
            aborted = false;
        inRead = true;
        ++reads;
        if (blockingRead)
            cv.wait(l, [&] { return aborted; });
        inRead = false;
        if (aborted) {
            ++abortsSeen;
            aborted = false;
            return 0;
        }
        out.data = buffer;
        out.syncPoints = 1;
        out.steps = 2;
        out.samplePeriod = 0.5;
        return 1;
    }
    // Like the drive probe: ends on its own time, whatever is asked meanwhile.
    int runConnect() override
    {
        inConnect = true;
        while (!releaseConnect.load())
            std::this_thread::yield();
        inConnect = false;
        return connectResult;
    }
    void requestAbort() override
    {
        ++abortRequests;
        std::lock_guard<std::mutex> l(m);
        aborted = true;
        cv.notify_all();
    }

private:
    std::mutex m;
    std::condition_variable cv;
    bool aborted = false;
};
} // namespace

class TestWorkerThread : public QObject
{
    Q_OBJECT
private slots:
    void calibrateResultAndSignal();
    void readOutputs();
    void newJobAbortsBlockedRead();
    void backToBackJobsNeverHang();
    void destroyDuringBlockedReadEndsPromptly();
    void abortRacingTheStartOfARead();
    void connectIsWaitedForNotAborted();
};

void TestWorkerThread::calibrateResultAndSignal()
{
    FakeTarget t;
    std::atomic<bool> abortFlag{false};
    // Connected before the thread starts, so the first pass's signal cannot be
    // missed; queued to this thread, so the count is only touched here (a
    // signal spy would append on the job thread while this one reads it).
    WorkerThread w(&t, &abortFlag, nullptr, WorkerThread::Start::Later);
    QObject receiver;
    int finished = 0;
    connect(&w, &WorkerThread::jobFinished, &receiver, [&finished] { ++finished; }, Qt::QueuedConnection);
    w.start();
    QTRY_COMPARE(finished, 1); // the first pass finds JobIdle
    t.calibrateResult = 7;
    w.setJob(WorkerThread::JobCalibrate);
    QTRY_VERIFY(w.isIdle());
    QCOMPARE(w.result(), 7);
    QTRY_COMPARE(finished, 2);
    QCOMPARE(t.calibrations.load(), 1);
}

void TestWorkerThread::readOutputs()
{
    FakeTarget t;
    t.blockingRead = false;
    std::atomic<bool> abortFlag{false};
    WorkerThread w(&t, &abortFlag);
    w.setJob(WorkerThread::JobReadScan);
    QTRY_VERIFY(w.isIdle());
    ScanReadout out;
    QCOMPARE(w.result(out), 1);
    QCOMPARE(out.data, t.buffer);
    QCOMPARE(out.steps, 2u);
    QCOMPARE(out.samplePeriod, 0.5);
}

void TestWorkerThread::newJobAbortsBlockedRead()
{
    FakeTarget t;
    std::atomic<bool> abortFlag{false};
    WorkerThread w(&t, &abortFlag);
    w.setJob(WorkerThread::JobReadScan);
    QTRY_VERIFY(t.inRead.load());
    w.setJob(WorkerThread::JobCalibrate); // must abort the read, not wait for it
    QTRY_VERIFY(w.isIdle());
    QCOMPARE(t.abortsSeen.load(), 1);
    QCOMPARE(t.calibrations.load(), 1);
    QVERIFY(!abortFlag.load()); // cleared again once the old job ended
}

void TestWorkerThread::backToBackJobsNeverHang()
{
    // Jobs that end by themselves, without abort: a waiter that is only woken
    // when the abort flag is set, or that waits without a predicate, hangs here.
    FakeTarget t;
    t.blockingRead = false;
    std::atomic<bool> abortFlag{false};
    WorkerThread w(&t, &abortFlag);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 200; ++i) {
        w.setJob(i % 2 ? WorkerThread::JobReadScan : WorkerThread::JobCalibrate);
        if (i % 3 == 0)
            w.abortAndWait();
    }
    QTRY_VERIFY(w.isIdle());
    QVERIFY(clock.elapsed() < 20000);
    QVERIFY(t.reads.load() + t.calibrations.load() >= 100);
}

void TestWorkerThread::destroyDuringBlockedReadEndsPromptly()
{
    FakeTarget t;
    std::atomic<bool> abortFlag{false};
    QElapsedTimer clock;
    {
        auto* w = new WorkerThread(&t, &abortFlag);
        w->setJob(WorkerThread::JobReadScan);
        QTRY_VERIFY(t.inRead.load());
        clock.start();
        delete w;
    }
    QVERIFY2(clock.elapsed() < 2000, "closing during a blocked read must end promptly");
    QVERIFY(!t.inRead.load());
}

void TestWorkerThread::abortRacingTheStartOfARead()
{
    // The abort may arrive before the read has begun and be forgotten by it;
    // the waiter repeats its request until the job has ended.
    FakeTarget t;
    t.clearsAbortOnStart = true;
    std::atomic<bool> abortFlag{false};
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 20; ++i) {
        WorkerThread w(&t, &abortFlag);
        w.setJob(WorkerThread::JobReadScan);
        w.abortAndWait();
        QVERIFY(w.isIdle());
    }
    QVERIFY(clock.elapsed() < 10000);
}

// The controller builds its register mirror and drive while it connects: a
// waiter (disconnect, closing) lets the connect end and never asks to abort.
void TestWorkerThread::connectIsWaitedForNotAborted()
{
    FakeTarget t;
    t.connectResult = -100;
    std::atomic<bool> abortFlag{false};
    WorkerThread w(&t, &abortFlag);
    w.setJob(WorkerThread::JobConnect);
    QTRY_VERIFY(t.inConnect.load());
    std::atomic<bool> waiting{false};
    std::thread releaser([&] {
        while (!waiting.load())
            std::this_thread::yield();
        for (int i = 0; i < 20000; ++i) // the waiter's first passes happen meanwhile
            std::this_thread::yield();
        t.releaseConnect = true;
    });
    waiting = true;
    w.abortAndWait();
    releaser.join();
    QVERIFY(w.isIdle());
    QCOMPARE(w.result(), -100);
    QCOMPARE(t.abortRequests.load(), 0);
    // Any other job is still asked to abort.
    w.setJob(WorkerThread::JobReadScan);
    QTRY_VERIFY(t.inRead.load());
    w.abortAndWait();
    QVERIFY(t.abortRequests.load() >= 1);
}

QTEST_GUILESS_MAIN(TestWorkerThread)
#include "tst_workerthread.moc"
