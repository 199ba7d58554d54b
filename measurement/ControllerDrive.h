#pragma once
// The linear drive through the controller, for procedures run without the
// drive dialog (batch jobs, tests, the window until the dialog takes over):
// each blocking drive call runs on a short-lived thread while the caller
// polls every 250 ms with events; abort sets the drive's flag at once and
// sends the stop command if the call is still running 5 s later.
#include "LinearDriveOps.h"

#include <atomic>

class MeasurementSeam;
class RIRavaVCntrl;

class ControllerDrive : public LinearDriveOps
{
public:
    static constexpr int kPollMs = 250;
    static constexpr int kStopAfterAbortMs = 5000;

    ControllerDrive(RIRavaVCntrl& controller, MeasurementSeam& seam, std::atomic<bool>& abortFlag);

    bool isInitialised() const override { return m_initialised; }
    bool initialise() override;
    bool moveTo(double mm) override;
    double position() const override;
    void stop() override;
    // Forget the homing (disconnect).
    void reset() { m_initialised = false; }
    // True while a drive call runs on the worker thread.
    bool isBusy() const { return m_busy.load(); }

private:
    template <typename Call> bool runOnWorker(Call call);

    RIRavaVCntrl& m_ctrl;
    MeasurementSeam& m_seam;
    std::atomic<bool>& m_abort;
    std::atomic<bool> m_busy{false};
    bool m_initialised = false;
};
