#include "ControllerDrive.h"

#include "MeasurementSeam.h"
#include "RIRavaVCntrl.h"

#include <thread>

ControllerDrive::ControllerDrive(RIRavaVCntrl& controller, MeasurementSeam& seam, std::atomic<bool>& abortFlag)
    : m_ctrl(controller), m_seam(seam), m_abort(abortFlag)
{
}

template <typename Call> bool ControllerDrive::runOnWorker(Call call)
{
    std::atomic<bool> finished{false};
    std::atomic<bool> result{false};
    m_busy = true;
    std::thread worker([&] {
        result = call();
        finished = true;
    });
    bool abortSent = false;
    qint64 abortedAt = 0;
    bool stopSent = false;
    while (!finished.load()) {
        m_seam.sleepMs(kPollMs);
        m_seam.processEvents();
        if (m_abort.load() && !abortSent) {
            m_ctrl.abortLinearDrive();
            abortSent = true;
            abortedAt = m_seam.nowMs();
        }
        // stopLinearDrive is the one call made while the worker is inside the library.
        if (abortSent && !stopSent && m_seam.nowMs() - abortedAt > kStopAfterAbortMs) {
            m_ctrl.stopLinearDrive();
            stopSent = true;
        }
    }
    worker.join();
    m_busy = false;
    return result.load() && !abortSent;
}

bool ControllerDrive::initialise()
{
    if (!m_ctrl.isConnected())
        return false;
    m_initialised = runOnWorker([this] { return m_ctrl.moveLinearDriveToHome(); });
    return m_initialised;
}

bool ControllerDrive::moveTo(double mm)
{
    if (!m_initialised || !m_ctrl.isConnected())
        return false;
    return runOnWorker([this, mm] { return m_ctrl.moveLinearDriveTo(mm); });
}

double ControllerDrive::position() const
{
    return m_initialised ? m_ctrl.getLinearDrivePosition() : -1.0;
}

void ControllerDrive::stop()
{
    m_ctrl.abortLinearDrive();
}
