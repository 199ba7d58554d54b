#pragma once
// What the data server serves: an immutable copy of the active session's
// curves and results, published by the GUI thread after each change and read
// by the server's thread. The curve lists are shared with the session (copy
// on write), so a publication copies no curve, and a scan that the session
// changes (a write detaches its list) is seen by the list's new address.
#include "ResultRecord.h"

#include <QByteArray>
#include <QVector>
#include <memory>

class DataAnalyzer;
struct ScanRecord;

struct ServedScan {
    double position = 0; // the group's
    double time = 0;     // resolved time
    QVector<double> V, I;
    ResultRecord result;
    // The scan's rows in the data reply, built by the server's thread on
    // first use; no other thread touches it.
    mutable QByteArray text;

    ServedScan(const ScanRecord& scan, double groupPosition);
    bool sameAs(const ScanRecord& scan, double groupPosition) const;
};

struct ServedData {
    using Group = QVector<std::shared_ptr<const ServedScan>>;
    QVector<Group> groups;
    quint64 generation = 0;
};

// Turns the session into ServedData on the GUI thread, sharing the entries of
// the scans that did not change with the previous publication.
class ServedDataBuilder
{
public:
    // The previous data when nothing changed, else new data (null session: no groups).
    std::shared_ptr<const ServedData> update(const DataAnalyzer* session);

private:
    bool unchanged(const DataAnalyzer* session) const;

    std::shared_ptr<const ServedData> m_last;
    quint64 m_generation = 0;
};

// Rows 5 of the data body. Builds the scans' text where missing: the
// server's thread only.
QByteArray servedGroupsText(const ServedData& data);
