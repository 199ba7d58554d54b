#include "EngineCalls.h"

#include "DataAnalyzer.h"
#include "SessionFile.h"

#include <QThread>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace engine {

bool applySettings(LangmuirSettings& s, const SettingTexts& texts, bool robust, QString& error)
{
    for (const auto& kv : texts) {
        QString why;
        if (!s.setField(kv.first, kv.second, &why)) {
            error = QStringLiteral("%1=%2: %3").arg(kv.first, kv.second, why);
            return false;
        }
    }
    if (robust)
        s.noiseRobust = true;
    return true;
}

ScanAnalysisConfig curveConfig(int mode)
{
    // What a fresh session holds, in the mode asked for (lpanalyse's text files).
    DataAnalyzer session;
    session.configuration().probeMode = mode;
    return session.analysisConfig();
}

namespace {

bool allFinite(const QVector<double>& v)
{
    for (double x : v)
        if (!std::isfinite(x))
            return false;
    return true;
}

} // namespace

bool analyseCurve(const IvText& iv, int sweeps, const LangmuirSettings& s, const EepfTable& table,
                  const ScanAnalysisConfig& cfg, ScanRecord& out, QString& error)
{
    const int n = iv.V.size();
    if (iv.I.size() != n || (!iv.stdV.isEmpty() && iv.stdV.size() != n)
        || (!iv.stdI.isEmpty() && iv.stdI.size() != n)) {
        error = QStringLiteral("V, I, stdV and stdI must have the same length");
        return false;
    }
    if (!allFinite(iv.V) || !allFinite(iv.I) || !allFinite(iv.stdV) || !allFinite(iv.stdI)) {
        error = QStringLiteral("every voltage, current and deviation must be a finite number");
        return false;
    }
    if (sweeps < ivtext::kMinSweeps) {
        error = QStringLiteral("sweeps: expected a whole number of at least %1").arg(ivtext::kMinSweeps);
        return false;
    }
    out = ivtext::scanFromIvText(iv, sweeps);
    driver::analyseScan(out, s, table, cfg);
    return true;
}

namespace {

// The records a session's maps stand for, the settings on top and the probe mode; the
// session then holds what the analysis reads.
bool setUp(DataAnalyzer& session, const QMap<QString, QString>& configMap, const QMap<QString, QString>& settingsMap,
           const SettingTexts& texts, bool robust, int mode, const EepfTable& table, LangmuirSettings& used,
           QString& error)
{
    session.setConfiguration(*SessionFile::configFromMap(configMap));
    used = SessionFile::settingsFromMaps(settingsMap, configMap, session.analysisSettings());
    if (!applySettings(used, texts, robust, error))
        return false;
    session.setAnalysisSettings(used);
    session.setEepfTable(table);
    if (mode >= 0)
        session.configuration().probeMode = mode;
    return true;
}

TimedTrace timedTrace(const Span& V, const Span& I, double duration)
{
    TimedTrace t;
    t.duration = duration;
    const int n = std::min(V.size, I.size);
    t.points.resize(n);
    for (int k = 0; k < n; ++k)
        t.points[k] = IvPoint{I.data[k], V.data[k]};
    return t;
}

} // namespace

ScanRecord ScanSource::record() const
{
    ScanRecord s;
    // Sums of fewer than one sweep, or of unequal lengths, mean nothing (the file reader's rule).
    if (count >= 1
        && !s.accumulated.setFromLists(sumV.toVector(), sumVsq.toVector(), sumI.toVector(), sumIsq.toVector(), count))
        s.accumulated.reset();
    s.corrected.V = V.toVector();
    s.corrected.I = I.toVector();
    s.corrected.stdV = stdV.toVector();
    s.corrected.stdI = stdI.toVector();
    s.initScan = timedTrace(initV, initI, initDuration);
    for (const Trace& t : dcInitScans)
        s.dcInitScans.append(timedTrace(t.V, t.I, t.duration));
    s.ionCurrent[0] = ionCurrent[0];
    s.ionCurrent[1] = ionCurrent[1];
    s.measurementAlert = measurementAlert;
    return s;
}

bool reanalyse(const QMap<QString, QString>& configMap, const QMap<QString, QString>& settingsMap,
               const SettingTexts& texts, bool robust, int mode, const EepfTable& table, int threads,
               const QVector<ScanSource>& scans, QVector<ScanRecord>& out, LangmuirSettings& used,
               QString& error)
{
    DataAnalyzer session;
    if (!setUp(session, configMap, settingsMap, texts, robust, mode, table, used, error))
        return false;
    const ScanAnalysisConfig cfg = session.analysisConfig();
    out = QVector<ScanRecord>(scans.size());
    ScanRecord* const records = out.data(); // detached once, before the threads
    // Each scan is made and analysed by itself from shared read-only inputs (the session
    // driver's rule), so the results do not depend on the thread count.
    auto work = [&](int i) {
        records[i] = scans.at(i).record();
        driver::analyseScan(records[i], used, table, cfg);
    };
    if (threads <= 0)
        threads = QThread::idealThreadCount();
    threads = std::max(1, std::min(threads, int(scans.size())));
    std::atomic<int> next{0};
    auto worker = [&] {
        for (int i = next++; i < scans.size(); i = next++)
            work(i);
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t)
        pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool)
        t.join();
    return true;
}

bool reanalyse(const QMap<QString, QString>& configMap, const QMap<QString, QString>& settingsMap,
               const SettingTexts& texts, bool robust, int mode, const EepfTable& table, int threads,
               QVector<ScanRecord>& scans, LangmuirSettings& used, QString& error)
{
    DataAnalyzer session;
    if (!setUp(session, configMap, settingsMap, texts, robust, mode, table, used, error))
        return false;
    // Every scan into one frame, in order: the grouping is the caller's, the analysis of a
    // scan does not depend on it.
    for (ScanRecord& s : scans) {
        s.scanType = ScanRecord::eOtherRun;
        session.addScan(s);
    }
    scans.clear();
    session.analyseAll(threads);
    scans = session.scansOfGroup(0);
    return true;
}

} // namespace engine
