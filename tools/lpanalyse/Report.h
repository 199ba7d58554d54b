#pragma once
// Output of the command-line analyser: every analysed scan with its 16 result pairs, its
// error text and optionally its EEPF lists, as JSON or CSV, whatever the locale. JSON numbers
// read back exactly; CSV numbers have six significant digits unless asked otherwise.
// Not-a-number and infinite values are null in JSON; CSV writes nan, inf and -inf.
// Scans of session files carry their position (mm; not-a-number where the file has the
// marker for "no drive"), time (s) and resolved time (us); text inputs have none.

#include "ScanRecord.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QVector>

struct ReportEntry {
    QString file;
    int group = 0;
    int scan = 0;
    const ScanRecord* record = nullptr;
    bool located = false; // from a session file: position, time and resolved time are known
};

namespace report {
// Significant digits of the CSV numbers: 1 to 17, or this for the shortest exact text.
constexpr int kShortest = QLocale::FloatingPointShortest;

QByteArray json(const QVector<ReportEntry>& entries, bool withEepf);
QByteArray csv(const QVector<ReportEntry>& entries, bool withEepf, int precision = 6);
// For people: per scan kTe, Vp, Vf and Ne, each with its error to two significant digits
// ("kTe 2.95 ± 0.12 eV"), and the scan's messages.
QByteArray summary(const QVector<ReportEntry>& entries);
} // namespace report
