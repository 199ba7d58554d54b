#include "SweepReader.h"

#include "AppState.h"
#include "MeasurementSeam.h"
#include "RIRavaVCntrl.h"

#include <QString>
#include <algorithm>
#include <climits>
#include <cmath>

namespace {
QString pre(const char* prefix)
{
    return QString::fromLatin1(prefix);
}
} // namespace

SweepReader::SweepReader(RIRavaVCntrl& controller, WorkerThread& worker, std::atomic<bool>& abortFlag,
                         MeasurementSeam& seam)
    : m_ctrl(controller), m_worker(worker), m_abort(abortFlag), m_seam(seam)
{
}

double SweepReader::adcFreq() const
{
    const VeskbDescriptor* d = m_ctrl.getScannerDescriptor();
    return d ? d->adcFreq : 0.0;
}

double SweepReader::fullScale(unsigned range) const
{
    const VeskbDescriptor* d = m_ctrl.getScannerDescriptor();
    return (d && range < 6) ? d->iRange[range] : 0.0;
}

unsigned SweepReader::hardwareAverage(const ScanRunParam& run, bool synchronised, double adcFreq)
{
    if (synchronised)
        return run.avgPerStep;
    const double n = std::trunc(1e-6 * adcFreq * run.integrationTime * double(run.avgPerStep));
    // A value outside what the register takes (or not a number) never reaches the conversion.
    if (!(n >= 0.0))
        return 0;
    return n >= double(UINT_MAX) ? UINT_MAX : static_cast<unsigned>(n);
}

bool SweepReader::setScanParameters(const ScanRunParam& run, SyncParam& sync)
{
    const QString p = pre(AlertPrefix::SetScanParameters);
    if (!m_ctrl.setScanType(false, sync.bUseSyncScan, false)) {
        m_seam.alert(p + QStringLiteral("Failed to set scan type (retVal = %1).").arg(0));
        return false;
    }
    if (sync.bUseSyncScan
        && !m_ctrl.setSyncScanParameters(sync.resolution, sync.start, sync.duration, sync.averaging)) {
        m_seam.alert(p + QStringLiteral("Failed to capture sync signal, check sync frequency (retVal = %1).").arg(0));
        return false;
    }
    if (!m_ctrl.setSettlingDelays(0, run.firstStepDelay, run.nextStepDelay, 0)) {
        m_seam.alert(p + QStringLiteral("Failed to set settling delays (retVal = %1).").arg(0));
        return false;
    }
    if (!m_ctrl.setAverageHW(hardwareAverage(run, sync.bUseSyncScan, adcFreq()), 0)) {
        m_seam.alert(p + QStringLiteral("Failed to set 'Samples Per Step' (retVal = %1).").arg(0));
        return false;
    }
    m_ctrl.setAverage(run.traceAverage);
    if (!m_ctrl.setScanVoltages(run.voltageStart, run.voltageStep, run.voltageEnd)) {
        m_seam.alert(p + QStringLiteral("Failed to set scan voltages (retVal = %1).").arg(0));
        return false;
    }
    return true;
}

bool SweepReader::stopConfirmed(const char* prefix)
{
    if (m_ctrl.stopScan() || m_ctrl.stopScan())
        return true;
    m_seam.alert(pre(prefix) + QStringLiteral("Failed to stop running scan."));
    return false;
}

bool SweepReader::stopRunning(const char* prefix)
{
    return !m_ctrl.isScanRunning() || stopConfirmed(prefix);
}

bool SweepReader::start(const char* prefix, bool fullStop)
{
    if (m_ctrl.startScan())
        return true;
    stopConfirmed(prefix);
    m_seam.alert(pre(prefix) + QStringLiteral("Failed to start scan (retVal = %1)").arg(0)
                 + (fullStop ? QStringLiteral(".") : QString()));
    return false;
}

void SweepReader::waitForJob(int sliceMs)
{
    while (!m_worker.isIdle()) {
        m_seam.sleepMs(sliceMs);
        m_seam.processEvents();
    }
}

bool SweepReader::read(const char* prefix, int sliceMs, SweepShape shape, ScanReadout& out)
{
    out = ScanReadout();
    int result = 0;
    // An abort that came before the read is not lost by starting one.
    if (!m_abort.load()) {
        m_worker.setJob(WorkerThread::JobReadScan);
        waitForJob(sliceMs);
        result = m_worker.result(out);
    }
    if (m_abort.load()) {
        m_seam.alert(pre(prefix) + QStringLiteral("Failed to read data from scan (Process aborted)."));
        return false;
    }
    if (result != 1) {
        m_seam.alert(pre(prefix) + QStringLiteral("Failed to read data from scan (retVal = %1).").arg(result));
        return false;
    }
    const bool syncOk = shape.oneSyncPoint ? out.syncPoints == 1 : out.syncPoints >= 1;
    const bool stepsOk = shape.oneStep ? out.steps == 1 : out.steps >= 1;
    if (!out.data || !syncOk || !stepsOk) {
        m_seam.alert(pre(prefix) + QStringLiteral("Failed to read data from scan (wrong data format df:%1, dp:%2).")
                                       .arg(out.syncPoints)
                                       .arg(out.steps));
        return false;
    }
    return true;
}

bool SweepReader::readOne(const char* prefix, int sliceMs, SweepShape shape, ScanReadout& out, bool stopAfter,
                          bool fullStop)
{
    if (!start(prefix, fullStop))
        return false;
    const bool ok = read(prefix, sliceMs, shape, out);
    if (stopAfter || !ok)
        return stopConfirmed(prefix) && ok;
    return ok;
}

bool SweepReader::setRange(unsigned range, const char* prefix)
{
    const unsigned now = m_ctrl.getMeasuringRange();
    if (now == range)
        return true;
    if (!m_ctrl.setMeasuringRange(range)) {
        m_seam.alert(pre(prefix) + QStringLiteral("Failed to set measuring range (retVal = %1).").arg(0));
        return false;
    }
    if (now / 2 != range / 2)
        waitWithEvents(kRangePairSettleMs);
    return true;
}

bool SweepReader::setDefVoltage(double volts, const char* prefix)
{
    if (m_ctrl.setDefVoltage(volts))
        return true;
    m_seam.alert(pre(prefix) + QStringLiteral("Failed to set default voltage (retVal = %1).").arg(0));
    return false;
}

bool SweepReader::waitWithEvents(qint64 ms)
{
    const qint64 end = m_seam.nowMs() + std::max<qint64>(0, ms);
    for (;;) {
        if (m_abort.load())
            return false;
        const qint64 left = end - m_seam.nowMs();
        if (left <= 0)
            return true;
        m_seam.sleepMs(int(std::min<qint64>(left, kWaitSliceMs)));
        m_seam.processEvents();
    }
}
