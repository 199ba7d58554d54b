// A seam for tests of the measuring procedures: a simulated clock that only
// waits advance (no real sleeps), and an optional action run on each wait
// slice (to press Abort at a chosen moment).
#pragma once

#include "MeasurementSeam.h"
#include "WorkerThread.h"

#include <SimControl.h>

#include <QElapsedTimer>
#include <QThread>
#include <functional>

class TestSeam : public HeadlessSeam
{
public:
    qint64 clockMs = 0;
    qint64 sleptMs = 0;
    bool advanceSimulator = true; // keep the simulated unit on the same clock
    bool realSleep = false;       // a paced world (drive moves): waits take real time
    std::function<void()> onSlice;
    std::function<void(int)> onState;
    // A slice first waits (a few ms of real time at most) for the job thread,
    // so the clock counts slices of waiting, not turns of a spinning loop.
    const WorkerThread* worker = nullptr;
    bool waitForJobs = false;
    // Every look moves the clock a little: a pass whose reads all come back
    // at once still ends.
    bool tick = false;

    void setState(int state) override
    {
        HeadlessSeam::setState(state);
        if (onState)
            onState(state);
    }

    void sleepMs(int ms) override
    {
        QElapsedTimer real;
        real.start();
        while (waitForJobs && worker && !worker->isIdle() && real.elapsed() < 5)
            QThread::usleep(20);
        clockMs += ms;
        sleptMs += ms;
        if (realSleep)
            QThread::msleep(ms);
        else if (advanceSimulator)
            qsim::advanceSimTime(ms / 1000.0);
        QThread::yieldCurrentThread();
        if (onSlice)
            onSlice();
    }
    qint64 nowMs() override { return tick ? ++clockMs : clockMs; }
};
