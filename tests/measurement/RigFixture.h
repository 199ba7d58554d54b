// The chain the measuring tests drive: the simulated unit connected with its
// high voltage on, the job thread, the sweep reader, the drive, a session with
// its scan sequence, and the cleaner; torn down in the reverse order.
#pragma once

#include "../scan/SimFixture.h"
#include "SeamFixture.h"

#include "ControllerDrive.h"
#include "ControllerJobs.h"
#include "ProbeCleaner.h"
#include "ScanSequence.h"

#include <SimMeasurement.h>
#include <SimMotors.h>
#include <QFile>
#include <cmath>
#include <cstdio>
#include <memory>

namespace simtest {

// A world whose stalled stream gives up quickly.
inline qsim::Config quickWorld()
{
    qsim::Config w;
    w.measurement.readWaitMs = 0.05;
    return w;
}

// The time-resolved run: 100 .. 700 us in steps of 200 us at range 1 (no
// ion-current phase), swept from -40 to 20 V by 0.5 V, 4 averages a step.
inline void timeResolvedRun(SingleProbeConfigParam& c)
{
    c.sync.bUseSyncScan = true;
    c.sync.start = 100;
    c.sync.duration = 700;
    c.sync.resolution = 200;
    c.useAutoCMRange = false;
    c.userChosenCMRange = 1;
    c.ionCurrentDisable = true;
    c.dataScanRunParam.voltageStart = -40;
    c.dataScanRunParam.voltageEnd = 20;
    c.dataScanRunParam.voltageStep = 0.5;
    c.dataScanRunParam.avgPerStep = 4;
}

// The lines of a bus trace that hold `needle` (every line when empty).
inline QStringList traceLines(const QString& path, const QString& needle = QString())
{
    QFile f(path);
    QStringList out;
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray& l : f.readAll().split('\n'))
            if (needle.isEmpty() || l.contains(needle.toLatin1()))
                out << QString::fromLatin1(l);
    return out;
}

template <typename Seam = TestSeam, typename Jobs = ControllerJobs> class Rig
{
public:
    std::unique_ptr<RIRavaVCntrl> ctrl;
    std::unique_ptr<Jobs> jobs;
    std::unique_ptr<WorkerThread> worker;
    std::atomic<bool> abortFlag{false};
    Seam seam;
    std::unique_ptr<SweepReader> io;
    std::unique_ptr<ControllerDrive> drive;
    std::unique_ptr<DataAnalyzer> data;
    std::unique_ptr<ScanSequence> seq;
    std::unique_ptr<ProbeCleaner> cleaner;
    RunObserver* sessionObserver = nullptr; // watches the session, when set

    // A fresh world, nothing connected yet; at speed > 0 the drive moves on
    // the simulated clock, which then takes real time.
    void freshRig(const qsim::Config& w, double speed = 0)
    {
        tearDownRig();
        freshWorld(w, speed);
        if (speed > 0)
            setDriverDelayScale(1 / speed);
        seam = Seam();
        seam.realSleep = speed > 0;
        abortFlag = false;
    }

    void connectRig(double idle = 0)
    {
        ctrl = std::make_unique<RIRavaVCntrl>();
        QCOMPARE(ctrl->connectTo(), 1);
        QVERIFY(ctrl->outputHV());
        QVERIFY(ctrl->setDefVoltage(idle));
        jobs = std::make_unique<Jobs>(*ctrl);
        worker = std::make_unique<WorkerThread>(jobs.get(), &abortFlag);
        seam.worker = worker.get();
        io = std::make_unique<SweepReader>(*ctrl, *worker, abortFlag, seam);
        drive = std::make_unique<ControllerDrive>(*ctrl, seam, abortFlag);
        data = std::make_unique<DataAnalyzer>();
        seq = std::make_unique<ScanSequence>(*io, drive.get());
        seq->setSession(data.get(), sessionObserver);
        cleaner = std::make_unique<ProbeCleaner>(*io);
    }

    void setUpRig(const qsim::Config& w = quickWorld(), double speed = 0, double idle = 0)
    {
        freshRig(w, speed);
        connectRig(idle);
    }

    // A PM600 stage at 1 um a step, paced on the simulated clock.
    void setUpStage(qsim::Config w = quickWorld())
    {
        w.modules[0].motor.family = qsim::MotorFamily::PM600;
        setUpRig(w, 200);
        if (!ctrl)
            return;
        ctrl->setLinearDriveSlope(0.001);
        ctrl->setLinearDriveIntercept(0);
    }

    void tearDownRig()
    {
        cleaner.reset();
        seq.reset();
        io.reset();
        drive.reset();
        worker.reset();
        jobs.reset();
        ctrl.reset();
        data.reset();
    }

    // The unit as one would check it at the bench: not sweeping, at the idle
    // voltage (its registers, not the library's belief).
    bool unitIdle(double idle = 0) const
    {
        const qsim::FrontEndTruth t = qsim::trueFrontEnd(0);
        const double code = idle * t.dac[1] + t.dac[0];
        const double reg = int16_t(qsim::cnfgRegister(0, 3));
        const bool stopped = (qsim::cnfgRegister(0, 0) & 1) == 0;
        if (!stopped || std::fabs(reg - code) > 2)
            std::fprintf(stderr, "unit running %d, idle code %g, expected %g\n", !stopped, reg, code);
        return stopped && std::fabs(reg - code) <= 2 && !ctrl->isScanRunning();
    }
};

} // namespace simtest
