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

} // namespace engine
