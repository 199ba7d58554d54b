// A seam for tests of the measuring procedures: a simulated clock that only
// waits advance (no real sleeps), and an optional action run on each wait
// slice (to press Abort at a chosen moment).
#pragma once

#include "MeasurementSeam.h"

#include <SimControl.h>

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

    void setState(int state) override
    {
        HeadlessSeam::setState(state);
        if (onState)
            onState(state);
    }

    void sleepMs(int ms) override
    {
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
    qint64 nowMs() override { return clockMs; }
};
