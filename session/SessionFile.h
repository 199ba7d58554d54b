#ifndef SESSIONFILE_H
#define SESSIONFILE_H

// The session file (".ldf", XML, layout version 3): writer and reader of a whole
// DataAnalyzer. Called by the session window's save and load and by tools.

#include "ConfigParam.h"
#include "LangmuirSettings.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <memory>

class DataAnalyzer;
class QIODevice;
class QXmlStreamWriter;
struct ScanRecord;

namespace SessionFile {

constexpr int currentVersion = 3;

// Writes the whole document to an open device; the device's file name (when it
// is a file) becomes the session's fileName first. False when the XML writer
// or the device reported an error.
bool write(DataAnalyzer &session, QIODevice &device);

// What a read found beside the session: whether the document was cut off (a
// journal, or a file whose writing stopped) and how many scans it held.
struct ReadReport {
    bool cutOff = false;
    int scans = 0;
    QDateTime written; // the header's date and time (invalid when it has none)
};
// "The file ends early: 3 complete scans recovered." for a cut-off read, else empty.
QString recoveredText(const ReadReport &report);

// Reads a document. True when the whole document was consumed and the session
// now holds its content; a document that merely ends early (after its EEPF
// table) counts too, with the scans complete up to the cut (`report`). On
// false the session is left exactly as it was and `errorText` (if given) says
// why: not a session file, a version that is not supported (1 and 2 are
// declined too), or the element and line where reading stopped.
bool read(DataAnalyzer &session, QIODevice &device, QString *errorText = nullptr, ReadReport *report = nullptr);

// Saves through a temporary file that replaces `fileName` only when everything
// was written, so a failure never leaves a truncated file where a good one stood.
// On failure `errorText` (if given) tells why.
bool save(DataAnalyzer &session, const QString &fileName, QString *errorText = nullptr);

// Opens and reads `fileName`; on false `errorText` says why (the file cannot be
// opened, or the reader's reason).
bool load(DataAnalyzer &session, const QString &fileName, QString *errorText = nullptr,
          ReadReport *report = nullptr);

// The pieces of a document for a writer that appends scans as they come (the
// journal): the declaration, the open root element, header, settings and EEPF
// table; then one scan element.
void writeHead(QXmlStreamWriter &xml, const DataAnalyzer &session);
void writeScan(QXmlStreamWriter &xml, const ScanRecord &scan);

// The records a file's configuration and analysis-settings maps stand for, as the reader
// takes them: the configuration's kind follows its probe mode, fields the map lacks take
// that kind's defaults; the settings start from `base`.
std::unique_ptr<ConfigParam> configFromMap(const QMap<QString, QString> &map);
LangmuirSettings settingsFromMaps(QMap<QString, QString> settingsMap, const QMap<QString, QString> &configMap,
                                  const LangmuirSettings &base);

} // namespace SessionFile

#endif // SESSIONFILE_H
