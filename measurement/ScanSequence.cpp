#include "ScanSequence.h"

#include "AppState.h"
#include "CurrentRange.h"
#include "LinearDriveOps.h"
#include "LinearFit.h"
#include "MeasurementSeam.h"
#include "RIRavaVCntrl.h"

#include <QDateTime>
#include <QDebug>
#include <QScopeGuard>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Marker of "no drive position" outside spatial runs.
constexpr double kNoDrivePosition = ScanRecord::kNoDrivePosition;
// Largest position a drive reports as a real one (mm).
constexpr double kMaxDrivePosition = 100000.0;
constexpr int kRangeAttempts = 7;

QString fixed12(double v)
{
    return QStringLiteral("%1").arg(v, 12, 'f', 8);
}
bool evenRange(unsigned r)
{
    return r == 0 || r == 2 || r == 4;
}
} // namespace

ScanSequence::ScanSequence(SweepReader& io, LinearDriveOps* drive) : m_io(io), m_drive(drive) {}

void ScanSequence::setSession(DataAnalyzer* data, RunObserver* observer)
{
    m_data = data;
    m_cfg = data ? &data->configs().workingCopy() : nullptr;
    m_observer = observer ? observer : &m_noObserver;
}

qint64 ScanSequence::runClockMs() const
{
    return qint64(std::llround(m_elapsed * 1000.0)) + (m_io.seam().nowMs() - m_scanClock);
}

void ScanSequence::restartScanClock()
{
    m_scanClock = m_io.seam().nowMs();
}

int ScanSequence::dataScanCycles() const
{
    return (m_data && m_cfg) ? int(m_cfg->dataScanThrowScans + m_cfg->dataScanRunScans) : 0;
}

void ScanSequence::alert(const char* prefix, const QString& text)
{
    m_io.seam().alert(QString::fromLatin1(prefix) + text);
}

bool ScanSequence::ensureSession()
{
    return !m_data.isNull();
}

ScanRecord* ScanSequence::record(int k)
{
    if (!m_data || k < 0 || k >= m_records.size())
        return nullptr;
    return m_data->scan(m_records[k].group, m_records[k].index);
}

int ScanSequence::scanType() const
{
    if (m_spatial)
        return ScanRecord::eSpatialRun;
    return m_timed ? ScanRecord::eTimedRun : ScanRecord::eOtherRun;
}

double ScanSequence::recordPosition() const
{
    return m_position;
}

unsigned ScanSequence::recordRange()
{
    if (ScanRecord* r = record(0))
        return std::min<unsigned>(r->currentRange, ConfigParam::maxCurrentRange);
    return std::min<quint32>(cfg().userChosenCMRange, ConfigParam::maxCurrentRange);
}

double ScanSequence::recordGainSwitch()
{
    if (ScanRecord* r = record(0))
        return r->gainAutoSwitchVoltage;
    return kNaN;
}

void ScanSequence::fileRecords(const ScanReadout& out, unsigned range, bool withIonReading,
                               const QVector<double>& ionCurrents, double ionVoltage)
{
    for (unsigned k = unsigned(m_records.size()); k < out.syncPoints; ++k) {
        ScanRecord rec;
        rec.date = QDateTime::currentDateTime();
        rec.scanType = scanType();
        rec.position = recordPosition();
        rec.temporalPosition = m_elapsed;
        // The library times in seconds, the session in microseconds.
        rec.resolvedTime = (k * out.samplePeriod + out.syncDelay) * 1e6;
        // For a single time slice the library gives no period or delay: the
        // slice is at the sync start.
        if (m_sync && out.syncPoints < 2)
            rec.resolvedTime = cfg().sync.start;
        rec.offsetCurrent = cfg().offsetCurrent;
        rec.currentRange = range;
        rec.dCurrentRange = m_io.fullScale(range);
        rec.gainAutoSwitchVoltage = kNaN;
        rec.dcCScanVoltageStart = kNaN;
        rec.dcCScanVoltageEnd = kNaN;
        if (withIonReading && int(k) < ionCurrents.size()) {
            rec.ionCurrent[0] = ionCurrents[int(k)];
            rec.ionCurrent[1] = ionVoltage;
        }
        const DataAnalyzer::Location loc = m_data->addScan(rec);
        m_records.append(loc);
        m_observer->scanFiled(loc.group, loc.index);
    }
}

void ScanSequence::withdrawEmptyRecords()
{
    QVector<DataAnalyzer::Location> empty;
    for (const DataAnalyzer::Location& at : qAsConst(m_records))
        if (const ScanRecord* rec = m_data ? m_data->scan(at.group, at.index) : nullptr)
            if (rec->accumulated.count() == 0)
                empty.append(at);
    if (empty.isEmpty())
        return;
    m_observer->removingScans(empty);
    m_data->removeLastScans(empty);
    m_records.clear();
}

bool ScanSequence::clean(const char* prefix)
{
    if (!cleanIfDue || cleanIfDue())
        return true;
    alert(prefix, QStringLiteral("Failed to automatically clean probe tip."));
    return false;
}

void ScanSequence::armTrigger()
{
    RIRavaVCntrl& c = m_io.controller();
    if (!cfg().useExtTrigger || !c.isExtScanTriggerAvailable())
        return;
    // Clamped in double before the conversion to the register's 16 bits.
    const double d = std::round(cfg().extTriggerDelay);
    const unsigned short delay = !(d > 0) ? 0 : d >= 65535.0 ? 65535 : static_cast<unsigned short>(d);
    c.useTriggeredScan(true, cfg().useExtTriggerRisingEdge, delay);
    m_triggerArmed = true;
}

void ScanSequence::disarmTrigger()
{
    if (!m_triggerArmed)
        return;
    m_io.controller().useTriggeredScan(false, cfg().useExtTriggerRisingEdge, 0);
    m_triggerArmed = false;
}

// ---------------------------------------------------------------- the run

bool ScanSequence::runScan(const ConfigParam& active)
{
    MeasurementSeam& seam = m_io.seam();
    RIRavaVCntrl& ctrl = m_io.controller();
    if (!ensureSession()) {
        alert(AlertPrefix::Scan, QStringLiteral("No session to measure into."));
        return false;
    }
    if (!m_observer)
        m_observer = &m_noObserver;

    // 1-2. Run begins; the working copy.
    m_observer->runBegins();
    seam.log({QStringLiteral("Starting new scan at %1")
                  .arg(QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy hh:mm:ss")))});
    // The session's record (when another is given) and the run's working copy of it.
    if (&active != &m_data->configuration())
        m_data->setConfiguration(active);
    m_cfg = &m_data->configs().refreshWorkingCopy();
    ConfigParam& c = cfg();

    // 3. A spatial time-resolved run takes one time slice at the sync start:
    // a duration shorter than one resolution step makes the unit realise
    // exactly one sync point (0 would ask for the whole period). Otherwise
    // the duration counts from the sync start.
    m_spatial = c.spat.bUseSpatScan;
    if (m_spatial)
        c.sync.duration = 0.5 * c.sync.resolution;
    else if (c.sync.duration > 0)
        c.sync.duration -= c.sync.start;

    // 4-5. Modes, positions, timing.
    m_icMonitor = c.ic.bUseIcScan;
    m_sync = c.sync.bUseSyncScan;
    m_timed = c.timed.bUseTimedScan;
    double timedStart = 0;
    int count = 1;
    double posStart = c.spat.start, posStep = 0;
    bool stepOk = true;
    if (m_icMonitor) {
        m_timed = true;
        m_total = c.ic.duration;
        m_interval = 0;
        m_spatial = false;
        c.spat.bUseSpatScan = false;
        c.useSmartScan = false;
        c.useAutoCMRange = false;
    } else {
        timedStart = c.timed.start;
        m_interval = c.timed.step;
        m_total = c.timed.end;
        if (m_spatial) {
            const double span = c.spat.end - c.spat.start;
            // The step takes the sign of the way from start to end.
            posStep = std::fabs(c.spat.step) * (span < 0 ? -1.0 : 1.0);
            if (!std::isfinite(c.spat.step) || !std::isfinite(span)) {
                stepOk = false;
            } else if (posStep == 0 || span == 0) {
                count = 1;
            } else {
                const double n = std::round(std::fabs(span / posStep)) + 1;
                stepOk = n < 1e6;
                count = stepOk ? int(n) : 1;
            }
        }
    }
    m_elapsed = 0;
    m_scansDone = 0;

    // 6. EEPF table and the analysis values of the working copy.
    {
        EepfTable table = m_data->eepfTable();
        if (table.readFile(QStringLiteral("eedf.txt")).isEmpty())
            m_data->setEepfTable(table);
        LangmuirSettings s = m_data->analysisSettings();
        s.offsetCurrent = c.offsetCurrent;
        s.nDerivativePoints = int(c.initScanDerivativePoints);
        s.VsatFactor = c.initScanIonCurrentDrop / 100.0;
        m_data->setAnalysisSettings(s);
    }

    // 7. (The host cleared the abort flag when the user started the run.)
    seam.clearAlerts();
    bool proceed = true;
    if (!stepOk) {
        alert(AlertPrefix::Scan, QStringLiteral("The spatial step is not a finite number."));
        proceed = false;
    }

    // 8. Timed start.
    if (proceed && m_timed && timedStart != 0) {
        if (!m_io.waitWithEvents(qint64(std::llround(timedStart * 1000.0)))) {
            alert(AlertPrefix::Scan, QStringLiteral("Failed to wait for the start (Process aborted)."));
            proceed = false;
        }
        restartScanClock();
        m_elapsed = timedStart;
    }

    // 9. The drive.
    const bool driveReady = m_drive && m_drive->isInitialised();
    if (proceed && m_spatial && !driveReady) {
        seam.setState(AppState::eInitLinearDriver);
        if (!m_drive || !m_drive->initialise()) {
            alert(AlertPrefix::Scan, QStringLiteral("Failed to Initialise Linear Driver Controller."));
            seam.critical(QStringLiteral("Unable to init linear drive"),
                          QStringLiteral("unable to initialize linear drive\n Please check connection and "
                                         "configuration of linear drive before attempting a spatial scan.\n "
                                         "Press F6 to access Linear Drive menu"));
            // The run still ends properly: idle state, the session told.
            seam.setState(AppState::eIdle);
            m_observer->runEnded();
            return false;
        }
    } else if (!m_spatial && !driveReady) {
        c.spat.start = -1;
    }

    // 10. Positions and time cycles.
    for (int i = 0; proceed && i < count; ++i) {
        m_records.clear();
        if (m_io.aborted()) {
            alert(AlertPrefix::Scan, QStringLiteral("Process aborted."));
            break;
        }
        if (m_timed) {
            const qint64 now = seam.nowMs();
            const qint64 due = m_scanClock + qint64(std::llround(m_interval * 1000.0));
            if (due < now) {
                m_elapsed += (now - m_scanClock) / 1000.0;
            } else if (i > 0) {
                if (!m_io.waitWithEvents(due - now)) {
                    alert(AlertPrefix::Scan, QStringLiteral("Failed to wait for the next scan (Process aborted)."));
                    break;
                }
                m_elapsed += m_interval;
            }
            restartScanClock();
            if (m_elapsed < m_total)
                ++count;
        }
        if (m_spatial) {
            const double pos = posStart + i * posStep;
            seam.setState(AppState::eMovingLinearDriver);
            seam.appendStateText(QStringLiteral(" (to position %1[mm])").arg(pos));
            if (!m_drive || !m_drive->moveTo(pos)) {
                alert(AlertPrefix::Scan, QStringLiteral("Failed to move Linear Driver to position %1[mm].").arg(pos));
                break;
            }
        }
        // The position a record carries: the drive's whenever a spatial run
        // has it (0 mm and negative included); else the marker for no drive.
        {
            const double p = m_drive ? m_drive->position() : kNaN;
            if (m_spatial)
                m_position = p;
            else
                m_position = (std::isfinite(p) && p > 0 && p <= kMaxDrivePosition) ? p : kNoDrivePosition;
        }

        if (!c.ionCurrentDisable && !m_icMonitor) {
            armTrigger();
            const bool ok = readIonCurrent();
            disarmTrigger();
            if (!ok) {
                alert(AlertPrefix::Scan, QStringLiteral("Failed to Read Ion Current."));
                break;
            }
        }
        if (!m_sync && !c.initScanDisable && !m_icMonitor) {
            armTrigger();
            const bool ok = c.useSmartScan ? smartInitScan() : simpleInitScan();
            disarmTrigger();
            if (!ok) {
                alert(AlertPrefix::Scan, c.useSmartScan ? QStringLiteral("Failed to run Smart Init Scan.")
                                                        : QStringLiteral("Failed to run Simple Init Scan."));
                break;
            }
            if (!c.dcCScanDisable) {
                armTrigger();
                const bool dcOk = dcCorrectionScan();
                disarmTrigger();
                if (!dcOk) {
                    alert(AlertPrefix::Scan, QStringLiteral("Failed to run DC Correction Scan."));
                    break;
                }
            }
        }
        if (m_sync && !m_icMonitor && c.useAutoCMRange) {
            armTrigger();
            const bool ok = simpleInitScan();
            disarmTrigger();
            if (!ok) {
                alert(AlertPrefix::Scan, QStringLiteral("Failed to run Simple Init Scan."));
                break;
            }
        }
        armTrigger();
        const bool ok = dataScan();
        disarmTrigger();
        if (!ok) {
            alert(AlertPrefix::Scan, QStringLiteral("Failed to run Data Scan."));
            break;
        }
        m_observer->positionEnded();
    }

    // A position that ended before its data scan kept a sweep files nothing.
    withdrawEmptyRecords();

    // 12. Retract.
    if (m_spatial && c.spat.useRetract && m_drive && m_drive->isInitialised() && !m_io.aborted())
        m_drive->moveTo(c.spat.retractPosition);

    // 13. Idle: no scan left running on the unit, whatever failed where. The
    // idle voltage takes effect only on a stopped unit: it follows the stop,
    // and a failed write is tried once more like a failed stop.
    seam.setState(AppState::eIdle);
    disarmTrigger();
    if (m_io.stopRunning(AlertPrefix::Scan) && !ctrl.setDefVoltage(c.voltageIdle)
        && !ctrl.setDefVoltage(c.voltageIdle))
        alert(AlertPrefix::Scan, QStringLiteral("Failed to set default voltage."));

    // 14-15.
    m_observer->runEnded();
    const QStringList alerts = seam.alerts();
    if (!alerts.isEmpty()) {
        if (m_io.aborted()) {
            seam.log({QStringLiteral("Scan has been aborted")});
        } else {
            seam.log(alerts);
            seam.critical(QString::fromLatin1(AppInfo::Title), alerts.join(QLatin1Char('\n')));
        }
    }
    return alerts.isEmpty();
}

// ---------------------------------------------------------------- ion current

bool ScanSequence::readIonCurrent()
{
    const char* P = AlertPrefix::ReadIonCurrent;
    qDebug() << " MainWin::readIonCurrent called";
    if (!clean(P))
        return false;
    RIRavaVCntrl& ctrl = m_io.controller();
    ConfigParam& c = cfg();
    m_io.seam().setState(AppState::eReadingIonCurrent);
    if (!m_io.stopRunning(P))
        return false;

    ScanRunParam run = c.ionCurrentScanRunParam;
    run.voltageEnd = run.voltageStart;
    run.voltageStep = 1;
    SyncParam sync = c.sync;
    if (!m_io.setScanParameters(run, sync)) {
        alert(P, QStringLiteral("Failed to set scan parameters."));
        return false;
    }
    unsigned r = std::min<unsigned>(ctrl.getMeasuringRange(), ConfigParam::maxCurrentRange);
    if (!c.ionCurrentUseBestCurrentRange) {
        const unsigned chosen = std::min<quint32>(c.userChosenCMRange, ConfigParam::maxCurrentRange);
        if (!m_io.setRange(chosen, P))
            return false;
        r = chosen;
    }
    if (!m_io.setDefVoltage(run.voltageStart, P))
        return false;
    if (m_sync && ctrl.getSyncFreq(false) < 0)
        m_io.seam().alert(QStringLiteral(
            "[ISSUE] Unable to find syncronisation frequency.\n Change scan settings or check sync signal"));

    SweepShape shape;
    shape.oneStep = true;
    shape.oneSyncPoint = m_spatial;
    ScanReadout out;
    double mean = 0, I = 0;
    QVector<double> perPoint;
    bool settled = false;
    for (int attempt = 0; attempt < kRangeAttempts && !settled; ++attempt) {
        qDebug() << "Trying range" << r;
        if (!m_io.readOne(P, SweepReader::kSweepSliceMs, shape, out, true, false))
            return false;
        perPoint.clear();
        double sum = 0;
        for (unsigned k = 0; k < out.syncPoints; ++k) {
            const double ik = out.data[(2 * k + 1) * out.steps];
            perPoint.append(ik);
            sum += ik;
        }
        mean = sum / out.syncPoints;
        I = std::fabs(mean);
        qDebug() << "Ion Current=" << I;
        if (!c.ionCurrentUseBestCurrentRange) {
            settled = true;
            break;
        }
        unsigned next = r;
        if (I > m_io.fullScale(r)) {
            if (r == 0) {
                settled = true;
                break;
            }
            next = (r > 1 && m_io.fullScale(r - 1) == m_io.fullScale(r)) ? r - 2 : r - 1;
        } else {
            unsigned best = r;
            double prev = m_io.fullScale(r);
            for (unsigned u = r + 1; u <= 5; ++u) {
                const double fs = m_io.fullScale(u);
                if (fs == prev)
                    continue;
                prev = fs;
                if (0.9 * fs <= I)
                    break;
                best = u;
            }
            if (best == r) {
                settled = true;
                break;
            }
            next = best;
        }
        if (attempt == kRangeAttempts - 1)
            break;
        if (!m_io.setRange(next, P))
            return false;
        r = next;
    }
    if (!settled) {
        alert(P, QStringLiteral("Failed to find optimum measuring range."));
        return false;
    }

    // Data-scan range.
    unsigned dataRange = std::min<quint32>(c.userChosenCMRange, ConfigParam::maxCurrentRange);
    if (c.useAutoCMRange) {
        const double expected = I * c.ionCurrentScalingFactor;
        qDebug() << "Maximum expected Current =" << expected;
        dataRange = 0;
        for (unsigned u = 5; u >= 1; --u)
            if (expected < 0.9 * m_io.fullScale(u)) {
                dataRange = u;
                break;
            }
    }
    fileRecords(out, dataRange, true, perPoint, run.voltageStart);
    for (int k = 0; k < m_records.size(); ++k)
        if (ScanRecord* rec = record(k)) {
            rec->currentRange = dataRange;
            rec->dCurrentRange = m_io.fullScale(dataRange);
            rec->gainAutoSwitchVoltage = kNaN;
        }

    if (I > m_io.fullScale(r))
        alert(P, QStringLiteral("Ion current saturate (V:%1[V], I:%2[A], CR:%3).")
                     .arg(fixed12(run.voltageStart), fixed12(mean))
                     .arg(r));
    return true;
}

unsigned ScanSequence::fitDataRange(unsigned range, double largest)
{
    const unsigned fitted = CurrentRange::holding(range, largest, cfg().autoCRMargin,
                                                  [this](unsigned r) { return m_io.fullScale(r); });
    if (fitted != range) {
        qDebug() << "Largest current of the initial scan" << largest << "needs range" << fitted;
        for (int k = 0; k < m_records.size(); ++k)
            if (ScanRecord* rec = record(k)) {
                rec->currentRange = fitted;
                rec->dCurrentRange = m_io.fullScale(fitted);
            }
    }
    return fitted;
}

// ---------------------------------------------------------------- simple initial scan

void ScanSequence::estimatePotentials(ScanRecord& rec)
{
    // Floating potential: the first rise of the current through zero; plasma
    // potential: the steepest rise above it (windowed derivative).
    const IvTrace& t = rec.initScan;
    const int k = std::max(1, int(cfg().initScanDerivativePoints));
    rec.initScanDerivative = curve::derivative(t, k);
    rec.initScanDerivative.duration = rec.initScan.duration;
    const double offset = cfg().offsetCurrent;
    double vf = kNaN;
    for (int i = 1; i < t.size(); ++i) {
        const double a = t.current(i - 1) + offset, b = t.current(i) + offset;
        if (a < 0 && b >= 0) {
            vf = curve::zeroCrossing(t.voltage(i - 1), a, t.voltage(i), b);
            break;
        }
    }
    double vp = kNaN, best = -std::numeric_limits<double>::infinity();
    const IvTrace& d = rec.initScanDerivative;
    for (int j = 0; j < d.size(); ++j)
        if (std::isfinite(vf) && d.voltage(j) > vf && d.current(j) > best) {
            best = d.current(j);
            vp = d.voltage(j);
        }
    rec.dcCScanVoltageStart = vf;
    rec.dcCScanVoltageEnd = vp;
}

bool ScanSequence::simpleInitScan()
{
    const char* P = AlertPrefix::SimpleInitScan;
    qDebug() << " MainWin::simple Init Scan called";
    ConfigParam& c = cfg();
    m_io.seam().setState(AppState::eSimpleInitScan);
    if (!m_io.stopRunning(P))
        return false;
    if (!(c.probeMode == 3 || c.probeMode == 5)) {
        c.initScanRunParam.voltageStart = c.dataScanRunParam.voltageStart;
        c.initScanRunParam.voltageStep = c.dataScanRunParam.voltageStep;
        c.initScanRunParam.voltageEnd = c.dataScanRunParam.voltageEnd;
    }
    const ScanRunParam& run = c.initScanRunParam;
    SyncParam sync = c.sync;
    if (!m_io.setScanParameters(run, sync)) {
        alert(P, QStringLiteral("Failed to set scan parameters."));
        return false;
    }
    unsigned range = recordRange();
    if (!m_io.setRange(range, P) || !m_io.setDefVoltage(run.voltageStart, P))
        return false;
    ScanReadout out;
    if (!m_io.readOne(P, SweepReader::kSweepSliceMs, SweepShape(), out))
        return false;
    fileRecords(out, range, false, {}, 0);
    if (c.useAutoCMRange) {
        double largest = 0;
        for (unsigned k = 0; k < out.syncPoints; ++k)
            for (unsigned s = 0; s < out.steps; ++s)
                largest = std::max(largest, std::fabs(out.data[(2 * k + 1) * out.steps + s]));
        range = fitDataRange(range, largest);
    }

    const unsigned n = out.steps;
    for (unsigned k = 0; k < out.syncPoints && int(k) < m_records.size(); ++k) {
        ScanRecord* rec = record(int(k));
        rec->initScan.clear();
        const double* v = out.data + 2 * k * n;
        const double* i = v + n;
        for (unsigned s = 0; s < n; ++s)
            rec->initScan.append(i[s], v[s]);
        rec->initScan.duration = out.trailer * 1e-6;
    }

    // Gain switch: the voltage the unit realised at the last step before the
    // current first reaches the sensitive range's limit.
    double gain = kNaN;
    if (c.useAutoCMRange && evenRange(range)) {
        const double threshold = m_io.fullScale(range + 1) * c.autoCRMargin;
        int first = -1;
        for (unsigned s = 0; s < n && first < 0; ++s)
            for (unsigned k = 0; k < out.syncPoints; ++k)
                if (std::fabs(out.data[(2 * k + 1) * n + s]) >= threshold) {
                    first = int(s);
                    break;
                }
        if (first > 0)
            gain = out.data[first - 1];
    }
    for (int k = 0; k < m_records.size(); ++k)
        if (ScanRecord* rec = record(k)) {
            rec->gainAutoSwitchVoltage = gain;
            rec->dcCScanVoltageStart = kNaN;
            rec->dcCScanVoltageEnd = kNaN;
        }
    if (m_sync)
        return true;
    if (ScanRecord* rec = record(0))
        estimatePotentials(*rec);
    return true;
}

// ---------------------------------------------------------------- smart initial scan

bool ScanSequence::smartInitScan()
{
    const char* P = AlertPrefix::SmartInitScan;
    RIRavaVCntrl& ctrl = m_io.controller();
    ConfigParam& c = cfg();
    m_io.seam().setState(AppState::eSmartInitScan);
    if (!m_io.stopRunning(P))
        return false;
    double V = c.ionCurrentScanRunParam.voltageStart;
    unsigned r = recordRange();
    const double ionI = record(0) ? record(0)->ionCurrent[0] : 0.0;
    if (c.useAutoCMRange && evenRange(r))
        r += 1;
    if (!m_io.setRange(r, P))
        return false;
    c.initScanRunParam.voltageStart = V;
    c.initScanRunParam.voltageStep = 1;
    c.initScanRunParam.voltageEnd = V;
    SyncParam sync = c.sync;
    if (!m_io.setScanParameters(c.initScanRunParam, sync)) {
        alert(P, QStringLiteral("Failed to set scan parameters."));
        return false;
    }

    bool coarse = true, floatingFound = false, slopeTracking = true, success = false;
    double maxD = 0;
    int floatIdx = -1, maxIdx = -1;
    const int kDeriv = std::max(1, int(c.initScanDerivativePoints));
    ScanRecord* rec = record(0);
    if (rec) {
        rec->initScan.clear();
        rec->initScanDerivative.clear();
    }
    QVector<double> walkV, walkI; // (V, I) of the walk, offset included
    for (;;) {
        if (!ctrl.setScanVoltages(V, 1, V)) {
            alert(P, QStringLiteral("Failed to set scan voltages (retVal = %1).").arg(0));
            break;
        }
        if (!m_io.setDefVoltage(V, P))
            break;
        SweepShape shape;
        shape.oneStep = true;
        shape.oneSyncPoint = true;
        ScanReadout out;
        // Through the job thread like every sweep: Abort and the window stay live.
        if (!m_io.readOne(P, SweepReader::kSweepSliceMs, shape, out))
            break;
        if (!rec) {
            fileRecords(out, r, false, {}, 0);
            rec = record(0);
            if (!rec)
                break;
        }
        double I = out.data[1];
        if (I > m_io.fullScale(r)) {
            if (c.useAutoCMRange && (r == 1 || r == 3 || r == 5)) {
                r -= 1;
                if (!m_io.setRange(r, P))
                    break;
                continue;
            }
            alert(P, QStringLiteral("Measured ion current saturate (V:%1[V], I:%2[A], CR:%3).")
                         .arg(fixed12(V), fixed12(I))
                         .arg(r));
            rec->initScan.append(I, V);
            break;
        }
        rec->initScan.append(I, V);
        I += c.offsetCurrent;
        walkV.append(V);
        walkI.append(I);

        double next;
        if (coarse) {
            if (I < 0) {
                next = V + c.initScanLargeVoltageStep;
            } else {
                const bool stepBack = rec->initScan.size() > 1;
                const double base = stepBack ? V - c.initScanLargeVoltageStep : V;
                next = base + c.initScanSmallVoltageStep;
                coarse = false;
                // The overshooting point leaves the walk: the fine steps measure its
                // voltage again in order. Left in, it sat out of voltage order in the
                // derivative, and in a steep plasma its current (past the knee) set a
                // maximum that ended the fine walk long before the plasma potential.
                if (stepBack) {
                    rec->initScan.points.removeLast();
                    walkV.removeLast();
                    walkI.removeLast();
                }
            }
        } else {
            if (!floatingFound && I > 0) {
                rec->dcCScanVoltageStart = V;
                floatIdx = rec->initScan.size() - 1;
                floatingFound = true;
            }
            rec->initScanDerivative = curve::derivative(rec->initScan, kDeriv);
            if (floatingFound && !rec->initScanDerivative.isEmpty()) {
                const double d = rec->initScanDerivative.points.last().current;
                if (slopeTracking) {
                    if (I > std::fabs(c.initScanIonCurrentDrop * ionI) * 0.01) {
                        maxD = d;
                        maxIdx = rec->initScan.size() - 1;
                        rec->dcCScanVoltageEnd = V;
                        slopeTracking = false;
                    }
                } else if (d > maxD) {
                    maxD = d;
                    maxIdx = rec->initScan.size() - 1;
                    rec->dcCScanVoltageEnd = V;
                } else if (d < c.initScanDerivativeDrop * 0.01 * maxD) {
                    success = true;
                    break;
                }
            }
            next = V + c.initScanSmallVoltageStep;
        }
        if (!(std::fabs(next) <= c.initScanMaxVoltage)) {
            alert(P, QStringLiteral("Voltage reached maximum (V:%1[V]).").arg(next));
            break;
        }
        V = next;
    }
    const bool stopped = m_io.stopConfirmed(P);
    rec = record(0);
    c.initScanRunParam.voltageEnd = V;
    if (!rec)
        return false;
    if (!success || !stopped) {
        if (!floatingFound)
            rec->dcCScanVoltageStart = kNaN;
        rec->dcCScanVoltageEnd = kNaN;
        return false;
    }
    if (!floatingFound) {
        rec->dcCScanVoltageStart = kNaN;
        return false;
    }
    // kTe: slope of V against ln(I) from half-way between the floating point
    // and the steepest rise up to the steepest rise.
    const int from = (floatIdx + maxIdx) / 2;
    QVector<double> x, y;
    for (int j = std::max(0, from); j <= maxIdx && j < walkI.size(); ++j)
        if (walkI[j] > 0) {
            x.append(std::log(walkI[j]));
            y.append(walkV[j]);
        }
    double kTe = kNaN;
    if (x.size() >= 2) {
        LinearFit fit;
        fit.init(x, y);
        kTe = fit.slope();
    }
    if (!(std::isfinite(kTe) && kTe > 0)) {
        alert(P, QStringLiteral("Failed to calculate kTe."));
        return false;
    }
    ScanRunParam& d = c.dataScanRunParam;
    d.voltageStart = rec->dcCScanVoltageStart - kTe;
    d.voltageStep = std::fabs(kTe / 10);
    d.voltageEnd = rec->dcCScanVoltageEnd + kTe;
    if (c.useAutoCMRange) {
        // The data scans must hold what the walk measured and what the sweep
        // meets beyond it, not only the ion current's estimate.
        double largest = 0;
        int last = 0;
        for (int j = 0; j < rec->initScan.size(); ++j) {
            largest = std::max(largest, std::fabs(rec->initScan.current(j)));
            if (rec->initScan.voltage(j) > rec->initScan.voltage(last))
                last = j;
        }
        fitDataRange(recordRange(), CurrentRange::expectedLargest(largest, rec->initScan.voltage(last),
                                                                  rec->initScan.current(last), d.voltageEnd, kTe));
    }
    if (c.initScanOptimiseForEEDF) {
        const EepfTable& t = m_data->eepfTable();
        double top = 0, finest = 1000;
        for (const EepfRow& row : t.rows) {
            top = std::max(top, row.energy + row.resolution);
            finest = std::min(finest, row.resolution);
        }
        d.voltageStart = std::min(d.voltageStart, rec->dcCScanVoltageEnd - top);
        d.voltageStep = std::min(d.voltageStep, finest);
    }
    return true;
}

// ---------------------------------------------------------------- DC correction

bool ScanSequence::dcCorrectionScan()
{
    const char* P = AlertPrefix::DcCorrectionScan;
    RIRavaVCntrl& ctrl = m_io.controller();
    ConfigParam& c = cfg();
    m_io.seam().setState(AppState::eDcCorrectionScan);
    if (!m_io.stopRunning(P))
        return false;
    ScanRecord* rec = record(0);
    if (!rec) {
        alert(P, QStringLiteral("No initial scan to correct."));
        return false;
    }
    const unsigned range = recordRange();
    if (!m_io.setRange(range, P))
        return false;
    SyncParam sync = c.sync;
    if (!m_io.setScanParameters(c.dcCScanRunParam, sync)) {
        alert(P, QStringLiteral("Failed to set scan parameters."));
        return false;
    }
    const double vf = rec->dcCScanVoltageStart, vp = rec->dcCScanVoltageEnd;
    if (!std::isfinite(vf) || !std::isfinite(vp)) {
        alert(P, QStringLiteral("No floating and plasma potential estimates (Vf:%1[V], Vp:%2[V]).").arg(vf).arg(vp));
        return false;
    }
    if (c.dcCScanSteps == 0) {
        alert(P, QStringLiteral("The number of DC correction steps is 0."));
        return false;
    }
    // Pass 1 ends at half the plasma potential when that lies between the
    // estimates, else half-way between them.
    const double half = 0.5 * vp;
    const double mid = (half > std::min(vf, vp) && half < std::max(vf, vp)) ? half : 0.5 * (vf + vp);
    const double step = (mid - vf) / c.dcCScanSteps;
    rec->dcInitScans.clear();
    QVector<int> passOf; // pass of each DC sweep
    const double gain = rec->gainAutoSwitchVoltage;
    for (int pass = 1; pass <= 2; ++pass) {
        const double a = pass == 1 ? vf : mid;
        const double b = pass == 1 ? mid : vp;
        c.dcCScanRunParam.voltageStart = a;
        c.dcCScanRunParam.voltageStep = step;
        c.dcCScanRunParam.voltageEnd = b;
        const bool highGain = c.useAutoCMRange && a < gain && gain < b;
        const bool set = highGain ? ctrl.setScanVoltages(a, step, b, gain, true) : ctrl.setScanVoltages(a, step, b);
        if (!set) {
            alert(P, QStringLiteral("Failed to set scan voltages (retVal = %1).").arg(0));
            return false;
        }
        if (!m_io.start(P))
            return false;
        if (!m_io.setDefVoltage(pass == 1 ? mid : c.voltageIdle, P)) {
            m_io.stopConfirmed(P);
            return false;
        }
        for (quint32 s = 0; s < c.dcCScanSweeps; ++s) {
            ScanReadout out;
            SweepShape shape;
            shape.oneSyncPoint = true;
            if (!m_io.read(P, SweepReader::kSweepSliceMs, shape, out)) {
                m_io.stopConfirmed(P);
                return false;
            }
            rec = record(0);
            TimedTrace t;
            for (unsigned j = 0; j < out.steps; ++j)
                t.append(out.data[out.steps + j], out.data[j]);
            t.duration = highGain ? 1.0 : 0.0; // the high-gain flag
            rec->dcInitScans.append(t);
            passOf.append(pass);
        }
        if (!m_io.stopConfirmed(P))
            return false;
    }

    if (std::isnan(rec->gainAutoSwitchVoltage) && c.useAutoCMRange && evenRange(rec->currentRange)) {
        const double threshold = m_io.fullScale(rec->currentRange + 1) * c.autoCRMargin;
        double highest = kNaN;
        bool reached = false;
        for (int pass = 1; pass <= 2 && !reached; ++pass) {
            int points = 0;
            for (int s = 0; s < passOf.size(); ++s)
                if (passOf[s] == pass)
                    points = std::max(points, rec->dcInitScans[s].size());
            for (int j = 0; j < points && !reached; ++j)
                for (int s = 0; s < passOf.size(); ++s) {
                    if (passOf[s] != pass || j >= rec->dcInitScans[s].size())
                        continue;
                    const IvPoint& pt = rec->dcInitScans[s].points[j];
                    if (std::fabs(pt.current) >= threshold) {
                        reached = true;
                        break;
                    }
                    if (!(pt.voltage <= highest))
                        highest = pt.voltage;
                }
        }
        for (int k = 0; k < m_records.size(); ++k)
            if (ScanRecord* r = record(k))
                r->gainAutoSwitchVoltage = highest;
    }
    return true;
}

// ---------------------------------------------------------------- data scans

bool ScanSequence::dataScan()
{
    const char* P = AlertPrefix::DataScan;
    RIRavaVCntrl& ctrl = m_io.controller();
    ConfigParam& c = cfg();
    // A position without records yet (no ion-current phase) uses the
    // user's range and no gain switch.
    const unsigned range = recordRange();
    const double gain = recordGainSwitch();
    if (!m_io.stopRunning(P))
        return false;
    m_scansDone = 0;
    const quint32 cycles = c.dataScanThrowScans + c.dataScanRunScans;
    // Kept sweeps at the range's full scale.
    const ScanRunParam& dr = c.dataScanRunParam;
    const bool switching = c.useAutoCMRange && !m_icMonitor && evenRange(range) && dr.voltageStart < gain
                           && gain < dr.voltageEnd;
    CurrentRange::FullScaleWatch fullScale(range, m_io.fullScale(range),
                                           m_io.fullScale(switching ? range + 1 : range), switching, gain);
    // A data scan cut short keeps the sweeps it accumulated and says so.
    const auto noteCutShort = qScopeGuard([this, &c] {
        const int wanted = int(c.dataScanRunScans);
        for (int k = 0; k < m_records.size(); ++k) {
            ScanRecord* rec = record(k);
            if (!rec || rec->accumulated.count() == 0 || rec->accumulated.count() >= wanted)
                continue;
            const QString note = QStringLiteral("%1 after %2 of %3 sweeps")
                                     .arg(m_io.aborted() ? QStringLiteral("aborted") : QStringLiteral("failed"))
                                     .arg(rec->accumulated.count())
                                     .arg(wanted);
            rec->measurementAlert =
                rec->measurementAlert.isEmpty() ? note : rec->measurementAlert + QStringLiteral("; ") + note;
        }
    });
    for (quint32 cycle = 0; cycle < cycles; ++cycle) {
        if (!m_timed && !clean(P))
            return false;
        if (!ctrl.isScanRunning()) {
            ScanRunParam run = c.dataScanRunParam;
            if (m_icMonitor) {
                run.voltageStart = c.ic.voltage;
                run.voltageEnd = c.ic.voltage;
                run.voltageStep = 1;
                run.firstStepDelay = 1;
                run.nextStepDelay = 1;
            }
            SyncParam sync = c.sync;
            if (!m_io.setScanParameters(run, sync)) {
                alert(P, QStringLiteral("Failed to set scan parameters."));
                return false;
            }
            if (!m_io.setRange(range, P))
                return false;
            if (c.useAutoCMRange && run.voltageStart < gain && gain < run.voltageEnd
                && !ctrl.setScanVoltages(run.voltageStart, run.voltageStep, run.voltageEnd, gain, true)) {
                alert(P, QStringLiteral("Failed to set scan voltages (retVal = %1).").arg(0));
                return false;
            }
            if (!m_io.start(P))
                return false;
        }
        m_io.seam().setState(AppState::eDataScan);
        ScanReadout out;
        if (!m_io.read(P, SweepReader::kDataSliceMs, SweepShape(), out))
            return false;
        if (cycle == 0)
            fileRecords(out, range, false, {}, 0); // only those the position lacks
        if (cycle >= c.dataScanThrowScans) {
            const int n = int(out.steps);
            for (unsigned k = 0; k < out.syncPoints && int(k) < m_records.size(); ++k) {
                ScanRecord* rec = record(int(k));
                if (!rec)
                    continue;
                const double* v = out.data + 2 * k * out.steps;
                const QString worse = fullScale.check(int(k), v, v + n, n);
                if (!worse.isEmpty()) {
                    rec->measurementAlert = worse;
                    if (fullScale.firstAlert())
                        alert(P, worse);
                }
                rec->accumulated.add(out.data + 2 * k * out.steps, n);
                m_observer->scanChanged(m_records[int(k)].group, m_records[int(k)].index);
            }
        }
        ++m_scansDone;
    }
    return m_io.stopConfirmed(P);
}
