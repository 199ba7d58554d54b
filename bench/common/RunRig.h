// A measurement run as the main window drives it, without the window: the
// simulated unit reset to a pace and connected with its high voltage on, the
// job thread, and the window's own seam (its waits keep a shown window live)
// with hooks that only collect alerts.
#pragma once
#include "ControllerJobs.h"
#include "DriverLog.h"
#include "MainWinScan.h"
#include "RIRavaVCntrl.h"
#include "ScanSequence.h"
#include "SimControl.h"
#include "SweepReader.h"

#include <QStringList>
#include <atomic>

// The unit first: the world is reset before the controller exists and
// connected before the job thread starts, as the program does.
struct RunUnit {
    struct World {
        explicit World(double speedFactor)
        {
            qsim::Config world;
            world.speedFactor = speedFactor;
            qsim::reset(world);
            setDriverDelayScale(0);
        }
    } world;
    RIRavaVCntrl ctrl;
    const bool connected = ctrl.connectTo() == 1 && ctrl.outputHV();
    explicit RunUnit(double speedFactor) : world(speedFactor) {}
};

struct RunRig : RunUnit {
    std::atomic<bool> abortFlag{false};
    ControllerJobs jobs{ctrl};
    WorkerThread worker{&jobs, &abortFlag};
    QStringList alerts;
    MainWinSeam seam{hooks()};
    SweepReader io{ctrl, worker, abortFlag, seam};
    ScanSequence sequence{io};

    explicit RunRig(double speedFactor) : RunUnit(speedFactor) {}

private:
    MainWinSeam::Hooks hooks()
    {
        MainWinSeam::Hooks h;
        h.alert = [this](const QString& a) { alerts << a; };
        h.alerts = [this] { return alerts; };
        h.clearAlerts = [this] { alerts.clear(); };
        h.setState = [](int) {};
        h.appendStateText = [](const QString&) {};
        h.log = [](const QStringList&) {};
        return h;
    }
};
