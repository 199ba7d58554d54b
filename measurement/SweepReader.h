#pragma once
// The controller steps every measuring procedure shares: set the scan
// parameters of a run set, start, read one sweep through the job thread while
// the host stays live, check what came back, change the measuring range, and
// wait with events. Every failure becomes one alert line with the caller's
// prefix. Used by the measurement sequence and the probe-tip cleaning.
#include "ConfigParam.h"
#include "WorkerThread.h"

#include <atomic>

class MeasurementSeam;
class RIRavaVCntrl;

// The shape a read must have.
struct SweepShape {
    bool oneSyncPoint = false; // exactly one, else at least one
    bool oneStep = false;      // exactly one, else at least one
};

class SweepReader
{
public:
    // Slices of the GUI-side wait for a sweep (ms).
    static constexpr int kSweepSliceMs = 20;
    static constexpr int kDataSliceMs = 1;
    // Longest slice of waitWithEvents (ms).
    static constexpr int kWaitSliceMs = 35;
    // Settling time after a range change from one pair of ranges to another (ms).
    static constexpr int kRangePairSettleMs = 100;

    SweepReader(RIRavaVCntrl& controller, WorkerThread& worker, std::atomic<bool>& abortFlag,
                MeasurementSeam& seam);

    RIRavaVCntrl& controller() { return m_ctrl; }
    MeasurementSeam& seam() { return m_seam; }
    WorkerThread& worker() { return m_worker; }
    bool aborted() const { return m_abort.load(); }
    // The controller's analog-to-digital frequency (Hz), from its descriptor.
    double adcFreq() const;
    // Full-scale current of a measuring range (A), largest first.
    double fullScale(unsigned range) const;

    // Scan type, sync parameters (rewritten with what the unit realised),
    // settling delays, samples per step, sweeps per read and the voltages;
    // alerts "[ERROR] Set Scan Parameters: ...".
    bool setScanParameters(const ScanRunParam& run, SyncParam& sync);
    // Samples per step the unit is given for a run set (clamped before conversion).
    static unsigned hardwareAverage(const ScanRunParam& run, bool synchronised, double adcFreq);

    // Stops the unit; a stop that fails is tried once more, and when that
    // fails too "Failed to stop running scan." is alerted (the unit may
    // still be scanning: the caller's run has failed).
    bool stopConfirmed(const char* prefix);
    // stopConfirmed() when a scan is still running.
    bool stopRunning(const char* prefix);
    // startScan(); on failure stops (confirmed) and alerts "Failed to start
    // scan (retVal = 0)" (with a full stop unless `fullStop` is false).
    bool start(const char* prefix, bool fullStop = true);
    // Hands one read to the job thread and waits for it in slices of sliceMs,
    // processing events; then the abort, result and shape checks. The scan is
    // left running. `out.data` stays valid until the next read.
    bool read(const char* prefix, int sliceMs, SweepShape shape, ScanReadout& out);
    // start(), read(), and a confirmed stop when `stopAfter` or the read failed.
    bool readOne(const char* prefix, int sliceMs, SweepShape shape, ScanReadout& out, bool stopAfter = true,
                 bool fullStop = true);

    // Switches the measuring range when it differs; a change from one pair
    // {0,1} {2,3} {4,5} to another waits kRangePairSettleMs with events.
    // "Failed to set measuring range (retVal = 0)." on failure.
    bool setRange(unsigned range, const char* prefix);
    // setDefVoltage; "Failed to set default voltage (retVal = 0)." on failure.
    bool setDefVoltage(double volts, const char* prefix);

    // Sleeps ms in slices of at most kWaitSliceMs, processing events; ends
    // early and returns false when the abort flag is raised.
    bool waitWithEvents(qint64 ms);
    // Waits (slices, events) until the job thread is idle.
    void waitForJob(int sliceMs);

private:
    RIRavaVCntrl& m_ctrl;
    WorkerThread& m_worker;
    std::atomic<bool>& m_abort;
    MeasurementSeam& m_seam;
};
