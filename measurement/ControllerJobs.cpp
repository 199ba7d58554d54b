#include "ControllerJobs.h"

#include "RIRavaVCntrl.h"

int ControllerJobs::runCalibrate()
{
    return m_ctrl.calibrate() ? 1 : 0;
}

int ControllerJobs::runReadScan(ScanReadout& out)
{
    return m_ctrl.getDataFromOneScan(out.data, out.syncPoints, out.steps, out.samplePeriod, out.syncDelay,
                                     out.trailer, true)
               ? 1
               : 0;
}

int ControllerJobs::runConnect()
{
    return m_ctrl.connectTo();
}

int ControllerJobs::runDriveSearch()
{
    return m_ctrl.searchLinearDrive() ? 1 : 0;
}

void ControllerJobs::requestAbort()
{
    m_ctrl.abortAll();
}
