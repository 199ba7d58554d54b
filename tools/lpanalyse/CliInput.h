#pragma once
// Inputs of the command-line analyser: delimited IV text files, settings files, and the
// scan record built from an IV text. Errors name the file and line.

#include "LangmuirSettings.h"
#include "ScanRecord.h"

#include <QString>
#include <QVector>

struct IvText {
    QVector<double> V, I, stdV, stdI; // stdV / stdI empty when the file has no such column
};

namespace cli {

// Parses delimited text: one sample per line, fields separated by a tab, ';', ',' or blanks;
// '#' starts a comment line; an optional first header line names the columns (voltage,
// current, std_voltage, std_current). Without a header the columns are V, I [, stdV, stdI]
// (three columns: V, I, stdI). decimalComma reads "1,5" as 1.5 (then ',' is no separator).
// On error returns false with "<name>:<line>: <reason>" in error.
bool parseIvText(const QByteArray& text, const QString& name, bool decimalComma, IvText& out,
                 QString& error);

// "name = value" lines (session-file names of the analysis settings), '#' comments.
bool parseSettingsText(const QByteArray& text, const QString& name, LangmuirSettings& s,
                       QString& error);

// A scan whose running sums reproduce the means and deviations of the text as `sweeps`
// accumulated sweeps (1 when the text has no deviations).
ScanRecord scanFromIvText(const IvText& iv, int sweeps);

} // namespace cli
