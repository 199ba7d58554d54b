#pragma once
// Adapts the controller to the job thread: the blocking calls and abort.
#include "WorkerThread.h"

class RIRavaVCntrl;

class ControllerJobs : public JobTarget
{
public:
    explicit ControllerJobs(RIRavaVCntrl& controller) : m_ctrl(controller) {}
    int runCalibrate() override;
    int runReadScan(ScanReadout& out) override;
    int runConnect() override;
    int runDriveSearch() override;
    void requestAbort() override;

private:
    RIRavaVCntrl& m_ctrl;
};
