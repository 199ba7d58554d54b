#include "ProbeCleaner.h"

#include "AppState.h"
#include "ConfigParam.h"
#include "DataAnalyzer.h"
#include "MeasurementSeam.h"
#include "RIRavaVCntrl.h"
#include "SessionConfig.h"
#include "SweepReader.h"

#include <algorithm>
#include <cmath>

namespace {
const char* const P = AlertPrefix::CleanProbe;

QString fixed12(double v)
{
    return QStringLiteral("%1").arg(v, 12, 'f', 8);
}
} // namespace

// ---------------------------------------------------------------- duty

CleaningDuty::Setting CleaningDuty::setting(double adcFreq) const
{
    Setting s;
    const double d = std::isfinite(duty) ? std::clamp(duty, 0.0, 1.0) : kStartDuty;
    // The shorter of the two levels, never below kMinParts.
    const int shortParts =
        std::clamp(static_cast<int>(std::lround(std::min(d, 1.0 - d) * kParts)), kMinParts, kParts / 2);
    const int longParts = kParts - shortParts;
    const int window = std::min(kWindowParts, shortParts);
    // Above half the cycle the stronger level is the longer one.
    const int strongParts = d <= 0.5 ? shortParts : longParts;
    s.cleanParts = cleanIsStronger ? strongParts : kParts - strongParts;
    s.idleParts = kParts - s.cleanParts;
    s.firstDelay = static_cast<unsigned>(s.idleParts - window);
    s.nextDelay = static_cast<unsigned>(s.cleanParts - window);
    const double n = std::round(adcFreq * window * kSampleSecondsPerPart);
    s.samples = (std::isfinite(n) && n >= 1) ? static_cast<unsigned>(std::min(n, 4294967295.0)) : 1u;
    return s;
}

double CleaningDuty::power(double v0, double i0, double vc, double ic) const
{
    const Setting s = setting(0);
    return (s.idleParts * std::fabs(v0 * i0) + s.cleanParts * std::fabs(vc * ic)) / kParts;
}

bool CleaningDuty::update(double target, bool targetChanged, double v0, double i0, double vc, double ic)
{
    if (!(target > 0) || !std::isfinite(target))
        return false;
    const double p = power(v0, i0, vc, ic);
    if (!targetChanged && p >= 0.95 * target && p <= 1.05 * target)
        return false;
    const double idle = std::fabs(v0 * i0), clean = std::fabs(vc * ic);
    const double strongest = std::max(idle, clean);
    if (!(strongest > 0) || !std::isfinite(strongest))
        return false;
    const double next = std::clamp(target / strongest, 0.0, 1.0);
    if (!std::isfinite(next))
        return false;
    const bool cleanStronger = clean >= idle;
    if (cleanStronger == cleanIsStronger && std::fabs(next - duty) <= 0.03 * duty)
        return false;
    cleanIsStronger = cleanStronger;
    duty = next;
    return true;
}

// ---------------------------------------------------------------- cleaner

ProbeCleaner::ProbeCleaner(SweepReader& reader) : m_reader(reader)
{
    m_lastClean = m_reader.seam().nowMs() - kStartAgeMs;
}

void ProbeCleaner::markCleaned()
{
    m_lastClean = m_reader.seam().nowMs();
}

double ProbeCleaner::targetPower(double radius, double length, double level)
{
    return 2.0 * radius * M_PI * length * level * 100000.0;
}

double ProbeCleaner::referenceCurrent(const DataAnalyzer& session, bool singleProbe, bool timeResolved)
{
    if (!singleProbe)
        return 0.0;
    double ref = 0.0;
    bool found = false;
    for (int g = 0; g < session.groupCount(); ++g) {
        for (const ScanRecord& s : session.scansOfGroup(g)) {
            const double i = s.ionCurrent[0];
            if (!std::isfinite(i))
                continue;
            // Time-averaged: the last scan's; time-resolved: the smallest.
            if (!timeResolved || !found || i < ref)
                ref = i;
            found = true;
        }
    }
    return ref;
}

ProbeCleaner::Context ProbeCleaner::contextFor(const DataAnalyzer& session, const ConfigParam& cfg, bool connected,
                                               bool advanced)
{
    Context c;
    c.connected = connected;
    c.probeRadius = session.analysisSettings().probeRadius;
    c.probeLength = session.analysisSettings().probeLength;
    c.doubleProbe = SessionConfig::isDoubleProbeMode(session.configs().probeMode());
    c.referenceCurrent = referenceCurrent(session, !c.doubleProbe, cfg.sync.bUseSyncScan);
    c.advanced = advanced;
    return c;
}

bool ProbeCleaner::applyDuty()
{
    RIRavaVCntrl& c = m_reader.controller();
    MeasurementSeam& seam = m_reader.seam();
    const CleaningDuty::Setting s = m_duty.setting(m_reader.adcFreq());
    if (!c.setSettlingDelays(0, s.firstDelay, s.nextDelay, 0)) {
        seam.alert(P + QStringLiteral("Failed to set settling delays (retVal = %1).").arg(0));
        return false;
    }
    if (!c.setAverageHW(s.samples, 0)) {
        seam.alert(P + QStringLiteral("Failed to set 'Samples Per Step' (retVal = %1).").arg(0));
        return false;
    }
    c.setAverage(1);
    return true;
}

QString ProbeCleaner::statusText(double ic, double power, double target, bool advanced) const
{
    QString t = QStringLiteral(" (I = %1[mA] - Power = %2[W] (Target %3[W])")
                    .arg(ic * 1000.0, 0, 'f', 3)
                    .arg(power, 0, 'f', 3)
                    .arg(target, 0, 'f', 3);
    if (advanced)
        t += QStringLiteral(" - Current Range = %1 - Duty Cycle = %2%")
                 .arg(m_reader.controller().getMeasuringRange())
                 .arg(m_duty.duty * 100.0, 0, 'f', 1);
    return t;
}

bool ProbeCleaner::cleanPass(const ConfigParam& cfg, const Context& ctx, double target)
{
    RIRavaVCntrl& c = m_reader.controller();
    MeasurementSeam& seam = m_reader.seam();
    const qint64 end = seam.nowMs() + qint64(std::max(0, cfg.clean.duration)) * 1000;
    bool first = true;
    do {
        if (!c.isScanRunning() && !m_reader.start(P))
            return false;
        ScanReadout out;
        SweepShape shape;
        shape.oneSyncPoint = true;
        if (!m_reader.read(P, SweepReader::kSweepSliceMs, shape, out))
            return false;
        if (out.steps != 2) {
            seam.alert(P + QStringLiteral("Failed to read data from scan (wrong data format df:%1, dp:%2).")
                               .arg(out.syncPoints)
                               .arg(out.steps));
            return false;
        }
        // Row 0 holds the two voltages, row 1 the two currents.
        const double v0 = out.data[0], vc = out.data[1];
        const double raw0 = out.data[2], rawc = out.data[3];
        // Saturation is the front end's: judged on the currents as measured.
        const unsigned range = c.getMeasuringRange();
        const bool idleLarger = std::fabs(raw0) > std::fabs(rawc);
        const double iMax = idleLarger ? raw0 : rawc;
        if (std::fabs(iMax) > m_reader.fullScale(range)) {
            if (range == 0) {
                seam.alert(P + QStringLiteral("Ion current saturate (V:%1[V], I:%2[A], CR:0).")
                                   .arg(fixed12(idleLarger ? v0 : vc), fixed12(iMax)));
                return false;
            }
            // The least sensitive range, and measure again (a change of pair settles first).
            if (!m_reader.stopConfirmed(P) || !m_reader.setRange(0, P))
                return false;
            continue;
        }
        const double i0 = raw0 - ctx.referenceCurrent, ic = rawc - ctx.referenceCurrent;
        const double p = m_duty.power(v0, i0, vc, ic);
        m_powers.append(p);
        const bool changed = m_duty.update(target, first, v0, i0, vc, ic);
        first = false;
        seam.setState(AppState::eCleaning);
        seam.appendStateText(statusText(ic, p, target, ctx.advanced));
        if (changed && (!m_reader.stopConfirmed(P) || !applyDuty()))
            return false;
    } while (seam.nowMs() < end);
    return true;
}

bool ProbeCleaner::cleanProbeTip(const ConfigParam& cfg, const Context& ctx)
{
    RIRavaVCntrl& c = m_reader.controller();
    MeasurementSeam& seam = m_reader.seam();
    const double v0 = cfg.voltageIdle, vc = cfg.clean.voltage;
    // Refusals come before any controller call.
    if (!ctx.connected) {
        seam.alert(P + QStringLiteral("VESK Device is not connected."));
        return false;
    }
    if (!(ctx.probeLength > 0) || !(ctx.probeRadius > 0) || !std::isfinite(ctx.probeLength)
        || !std::isfinite(ctx.probeRadius)) {
        seam.alert(P + QStringLiteral("Probe length and radius must be above 0 to set the cleaning power "
                                      "(length %1 mm, radius %2 mm; Process Settings, F7).")
                           .arg(ctx.probeLength * 1000.0)
                           .arg(ctx.probeRadius * 1000.0));
        return false;
    }
    if (!std::isfinite(v0) || !std::isfinite(vc) || v0 == vc) {
        seam.alert(P + QStringLiteral("The cleaning voltage (%1 V) must differ from the idle voltage (%2 V).")
                           .arg(vc)
                           .arg(v0));
        return false;
    }
    seam.setState(AppState::eCleaning);
    m_duty = CleaningDuty();
    m_powers.clear();
    const unsigned startRange = c.getMeasuringRange();

    // A plain sweep of two steps: the idle level first, then the cleaning level.
    bool ok = m_reader.stopRunning(P);
    if (ok && !c.setScanType(false, false, false)) {
        seam.alert(P + QStringLiteral("Failed to set scan type (retVal = %1).").arg(0));
        ok = false;
    }
    if (ok && !c.setScanVoltages(v0, vc - v0, vc)) {
        seam.alert(P + QStringLiteral("Failed to set scan voltages (retVal = %1).").arg(0));
        ok = false;
    }
    ok = ok && m_reader.setDefVoltage(v0, P) && applyDuty();

    const double target = targetPower(ctx.probeRadius, ctx.probeLength, cfg.clean.power);
    if (ok && !ctx.doubleProbe) {
        ok = cleanPass(cfg, ctx, target);
    } else if (ok) {
        // Tip by tip: drive, then return.
        if (!c.selectProbeMode(VESK_HW::eDrive)) {
            seam.alert(P + QStringLiteral("Failed to select drive probe mode."));
            ok = false;
        }
        ok = ok && cleanPass(cfg, ctx, target) && m_reader.stopConfirmed(P);
        if (ok) {
            if (!c.selectProbeMode(VESK_HW::eReturn)) {
                seam.alert(P + QStringLiteral("Failed to select return probe mode."));
                ok = false;
            }
        }
        ok = ok && cleanPass(cfg, ctx, target);
    }

    // Whatever happened: no scan, the idle voltage, the range of before and
    // a double probe back in its measuring mode. The idle voltage follows a
    // confirmed stop (a scanning unit does not take it); its write is tried
    // twice like the stop.
    if (!m_reader.stopRunning(P)) {
        ok = false;
    } else if (!c.setDefVoltage(v0) && !c.setDefVoltage(v0)) {
        seam.alert(P + QStringLiteral("Failed to set default voltage (retVal = %1).").arg(0));
        ok = false;
    }
    if (c.getMeasuringRange() != startRange)
        c.setMeasuringRange(startRange);
    if (ctx.doubleProbe && !c.selectProbeMode(VESK_HW::eDouble)) {
        seam.alert(P + QStringLiteral("Failed to select double probe mode."));
        ok = false;
    }
    if (ok)
        markCleaned();
    return ok;
}

bool ProbeCleaner::cleanIfDue(const ConfigParam& cfg, const Context& ctx)
{
    MeasurementSeam& seam = m_reader.seam();
    const QString prefix = QString::fromLatin1(AlertPrefix::ProbeTipAutoClean);
    if (cfg.clean.autoClean && seam.nowMs() - m_lastClean > qint64(cfg.clean.period) * 1000) {
        if (!cleanProbeTip(cfg, ctx)) {
            seam.alert(prefix + QStringLiteral("Failed to clean probe tip."));
            return false;
        }
    }
    const qint64 relaxMs = qint64(std::max(0, cfg.clean.relaxTime)) * 1000;
    for (;;) {
        const qint64 left = relaxMs - (seam.nowMs() - m_lastClean);
        if (left <= 0)
            break;
        seam.setState(AppState::eRelaxation);
        seam.appendStateText(QStringLiteral("( %1 seconds)").arg(qRound(double(left) / 1000.0), 4));
        // Short slices inside: Abort ends the wait at once.
        if (!m_reader.waitWithEvents(std::min<qint64>(left, kRelaxSliceMs))) {
            seam.alert(prefix + QStringLiteral("Failed to wait for relaxation time to expire (Process aborted)."));
            return false;
        }
    }
    return true;
}
