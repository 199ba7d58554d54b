#ifndef SESSIONEXPORT_H
#define SESSIONEXPORT_H

// The text export of a session for spreadsheets: the section writers (each given
// a stream and a separator), the whole export file, and the clipboard text of
// displayed curves. Numbers never depend on the user's locale.

#include <QString>
#include <QStringList>
#include <QVector>

class DataAnalyzer;
class QTextStream;
struct ExportSettings;

namespace SessionExport {

// The session describes a double probe (its configuration's probe kind).
bool isDoubleProbe(const DataAnalyzer &session);

void writeHeader(const DataAnalyzer &session, QTextStream &out, const QString &sep);
void writeResults(const DataAnalyzer &session, QTextStream &out, const QString &sep, bool errors);
// Single-probe sessions only; the caller decides (writeSections does).
void writeEepf(const DataAnalyzer &session, QTextStream &out, const QString &sep);

struct IvColumns {
    bool derivative = false;
    bool secondDerivative = false;
    bool correctedCurve = false;  // double-probe sessions only
    bool electronCurrent = false; // single-probe sessions only
};
void writeIvData(const DataAnalyzer &session, QTextStream &out, const QString &sep, const IvColumns &columns);
void writeErrors(const DataAnalyzer &session, QTextStream &out, const QString &sep);

// Every chosen section in the fixed order: header, results, EEPF, IV data, errors.
void writeSections(const DataAnalyzer &session, const ExportSettings &options, QTextStream &out);

enum class FileResult { Ok, OpenFailed, WriteFailed };
// Writes through a temporary file that replaces `fileName` only when complete.
FileResult writeFile(const DataAnalyzer &session, const ExportSettings &options, const QString &fileName,
                     QString *errorText = nullptr);

// Clipboard copy of displayed curves: tab-separated headings, then one row per
// point up to the longest column (a shorter column leaves its cell empty).
enum class Graph { IV, FirstDerivative, SecondDerivative, Eepf };
enum class Leading { None, Position, Time };
QStringList clipboardHeadings(Graph graph, Leading leading = Leading::None);
QString clipboardText(const QStringList &headings, const QVector<QVector<double>> &columns);

} // namespace SessionExport

#endif // SESSIONEXPORT_H
