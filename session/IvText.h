#pragma once
// IV curves from delimited text files (what lpanalyse reads and the application
// imports), settings files, and the scan record built from an IV text. Errors
// name the file and line.

#include "LangmuirSettings.h"
#include "ScanRecord.h"

#include <QString>
#include <QVector>

class DataAnalyzer;
class QIODevice;

struct IvText {
    QVector<double> V, I, stdV, stdI; // stdV / stdI empty when the file has no such column
};

namespace ivtext {

// Limits that keep an endless or binary input from exhausting memory.
constexpr qint64 kMaxLineBytes = 1 << 20;
constexpr int kMaxSamples = 10000000;

// Parses delimited text: one sample per line, fields separated by a tab, ';', ',' or blanks;
// '#' starts a comment line; an optional first header line names the columns (voltage,
// current, std_voltage, std_current), each optionally with its unit ("I [mA]", "V_kV": V or
// A with the prefix n, u, µ, m or k; values are converted to V and A). Without a header the
// columns are V, I [, stdV, stdI] (three columns: V, I, stdI). decimalComma reads "1,5" as 1.5
// (then ',' is no separator). Every value of these columns must be finite.
// On error returns false with "<name>:<line>: <reason>" in error. A comment line
// "# sweeps: N" (or "= N") states the sweeps the deviations stand for; statedSweeps, when
// given, receives N (0 when the text states none).
bool parseIvText(QIODevice& in, const QString& name, bool decimalComma, IvText& out,
                 QString& error, int maxSamples = kMaxSamples, int* statedSweeps = nullptr);
bool parseIvText(const QByteArray& text, const QString& name, bool decimalComma, IvText& out,
                 QString& error);

// Index of the first sample whose voltage is below its predecessor's, or -1.
int firstDescendingSample(const IvText& iv);

// Sorts the samples by voltage (stable) and merges samples of equal voltage into one: mean
// current, root mean square of the deviations.
void sortByVoltage(IvText& iv);

// "name = value" lines (session-file names of the analysis settings), '#' comments.
bool parseSettingsText(const QByteArray& text, const QString& name, LangmuirSettings& s,
                       QString& error);

// Probe modes by name or number, as lpanalyse's --mode takes them: single (0), reference (1,
// single probe with DC reference), double (3), spherical (4), mach (5); case is ignored.
bool parseProbeMode(const QString& text, int& mode);
// "unknown probe mode "<text>" (single, reference, double, spherical, mach)"
QString unknownProbeModeText(const QString& text);

// Smallest number of sweeps the deviation columns of a text may stand for.
constexpr int kMinSweeps = 2;

// A scan whose running sums reproduce the means and deviations of the text as `sweeps`
// accumulated sweeps (1 when the text has no deviations, or only zeros: a curve whose noise
// is unknown, not one without noise).
ScanRecord scanFromIvText(const IvText& iv, int sweeps);

// "<name>: the voltage falls at sample <n>" (n counted from 1): the note for a
// file whose samples are not sorted by voltage.
QString descendingNote(const QString& name, int index);

// Reading text files into a session, one scan per file (in the first frame).
struct ImportOptions {
    bool decimalComma = false;
    bool sort = false;
    int sweeps = 2; // sweeps the deviation columns stand for
};
// Reads every file before adding anything: on the first bad file returns
// false with its message in error and leaves the session as it was. notes
// receives a descendingNote for each unsorted file that was not sorted.
bool importFiles(const QStringList& files, const ImportOptions& o, DataAnalyzer& into, QStringList& notes,
                 QString& error);
// Adds every file it can read, each scan named by its file (sourceName), in
// the order given; failures receives "file: reason" for each of the others.
// Returns the number of scans added.
int importEach(const QStringList& files, const ImportOptions& o, DataAnalyzer& into, QStringList& notes,
               QStringList& failures);

} // namespace ivtext
