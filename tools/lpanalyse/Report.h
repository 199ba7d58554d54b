#pragma once
// Output of the command-line analyser: every analysed scan with its 16 result pairs, its
// error text and optionally its EEPF lists, as JSON or CSV (numbers with six significant
// digits, whatever the locale; not-a-number as null in JSON and nan in CSV).

#include "ScanRecord.h"

#include <QByteArray>
#include <QString>
#include <QVector>

struct ReportEntry {
    QString file;
    int group = 0;
    int scan = 0;
    const ScanRecord* record = nullptr;
};

namespace report {
QByteArray json(const QVector<ReportEntry>& entries, bool withEepf);
QByteArray csv(const QVector<ReportEntry>& entries, bool withEepf);
} // namespace report
