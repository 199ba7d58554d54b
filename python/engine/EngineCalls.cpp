#include "EngineCalls.h"

#include "DataAnalyzer.h"
#include "SessionFile.h"

#include <cmath>

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

bool reanalyse(const QMap<QString, QString>& configMap, const QMap<QString, QString>& settingsMap,
               const SettingTexts& texts, bool robust, int mode, const EepfTable& table, int threads,
               QVector<ScanRecord>& scans, LangmuirSettings& used, QString& error)
{
    DataAnalyzer session;
    session.setConfiguration(*SessionFile::configFromMap(configMap));
    used = SessionFile::settingsFromMaps(settingsMap, configMap, session.analysisSettings());
    if (!applySettings(used, texts, robust, error))
        return false;
    session.setAnalysisSettings(used);
    session.setEepfTable(table);
    if (mode >= 0)
        session.configuration().probeMode = mode;
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
