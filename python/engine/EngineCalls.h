#pragma once
// What lpdata's compiled module asks of the program: a curve analysed as lpanalyse analyses a
// text file, and the scans of a session re-analysed as lpanalyse re-analyses a session file,
// through the same driver. Plain C++ and Qt; the module only converts to and from Python.

#include "AnalysisDriver.h"
#include "EepfTable.h"
#include "IvText.h"
#include "LangmuirSettings.h"
#include "ScanRecord.h"

#include <QMap>
#include <QPair>
#include <QString>
#include <QVector>

namespace engine {

// Settings by session-file name and value text, applied in order.
using SettingTexts = QVector<QPair<QString, QString>>;

// Applies each setting with the record's own parser, then the noise-robust switch; on a
// refusal returns false with "name=text: <the record's reason>" in error.
bool applySettings(LangmuirSettings& s, const SettingTexts& texts, bool robust, QString& error);

// The analysis configuration lpanalyse gives a text file in this probe mode.
ScanAnalysisConfig curveConfig(int mode);

// The scan lpanalyse makes of a text file with these columns (deviations empty when absent),
// analysed. Checks what lpanalyse's reader checks (equal lengths, finite numbers, sweeps);
// on bad input returns false with the reason in error and analyses nothing.
bool analyseCurve(const IvText& iv, int sweeps, const LangmuirSettings& s, const EepfTable& table,
                  const ScanAnalysisConfig& cfg, ScanRecord& out, QString& error);

// Re-analyses the scans of a session in place as lpanalyse re-analyses a session file: the
// records its file's configuration and settings maps stand for (the reader's rules), the
// settings on top, the probe mode when one is given (mode < 0: the session's own), then the
// session's parallel driver on `threads` threads (<= 0: all cores; results do not depend on
// the count). `used` receives the settings in force. On a refused setting returns false with
// the reason in error and analyses nothing.
bool reanalyse(const QMap<QString, QString>& configMap, const QMap<QString, QString>& settingsMap,
               const SettingTexts& texts, bool robust, int mode, const EepfTable& table, int threads,
               QVector<ScanRecord>& scans, LangmuirSettings& used, QString& error);

// A scan's analysis inputs as the caller holds them: borrowed arrays (kept alive and unchanged
// by the caller while reanalyse runs), turned into a record by the thread that analyses it, so
// the copying runs in parallel too.
struct Span {
    const double* data = nullptr;
    int size = 0;
    QVector<double> toVector() const { return size > 0 ? QVector<double>(data, data + size) : QVector<double>(); }
};
struct ScanSource {
    Span sumV, sumI, sumVsq, sumIsq; // running sums of `count` sweeps
    int count = 0;
    Span V, I, stdV, stdI;           // the corrected curve (kept when there are no sums)
    Span initV, initI;               // the initial scan
    double initDuration = 0;
    struct Trace {
        Span V, I;
        double duration = 0;
    };
    QVector<Trace> dcInitScans;
    double ionCurrent[2] = {0, 0};   // current (A), voltage (V) of the reading
    QString measurementAlert;
    ScanRecord record() const;
};
// The same as above on scans given as sources; `out` receives the analysed records in order.
bool reanalyse(const QMap<QString, QString>& configMap, const QMap<QString, QString>& settingsMap,
               const SettingTexts& texts, bool robust, int mode, const EepfTable& table, int threads,
               const QVector<ScanSource>& scans, QVector<ScanRecord>& out, LangmuirSettings& used,
               QString& error);

} // namespace engine
