#include "DataAnalyzer.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

DataAnalyzer::DataAnalyzer(QObject* parent)
    : QObject(parent), table_(EepfTable::defaultTable())
{
}

DataAnalyzer::~DataAnalyzer() = default;

namespace {

// Hash key of a double under exact comparison: -0 and +0 compare equal, so they share a key;
// a not-a-number equals nothing, so it has none (false).
bool keyOf(double v, quint64& key)
{
    if (std::isnan(v))
        return false;
    if (v == 0)
        v = 0; // +0 for -0
    std::memcpy(&key, &v, sizeof key);
    return true;
}

int lookup(const QHash<quint64, int>& index, double v)
{
    quint64 key;
    return keyOf(v, key) ? index.value(key, -1) : -1;
}

void remember(QHash<quint64, int>& index, double v, int group)
{
    quint64 key;
    if (keyOf(v, key) && !index.contains(key))
        index.insert(key, group); // the first group with that value keeps it
}

} // namespace

DataAnalyzer::Location DataAnalyzer::addScan(const ScanRecord& scan)
{
    int target = -1;
    if (!groups_.isEmpty()) {
        if (scan.scanType == ScanRecord::eTimedRun)
            target = lookup(firstByTime_, scan.temporalPosition);
        else if (scan.scanType == ScanRecord::eSpatialRun)
            target = lookup(firstByPosition_, scan.position);
        else
            target = 0;
    }
    if (target < 0) {
        ScanGroup g;
        g.position = scan.position;
        g.temporalPosition = scan.temporalPosition;
        target = groups_.size();
        groups_.append(g);
        remember(firstByTime_, g.temporalPosition, target);
        remember(firstByPosition_, g.position, target);
    }
    groups_[target].scans.append(scan);
    return Location{target, groups_[target].scans.size() - 1};
}

const QVector<ScanRecord>& DataAnalyzer::scansOfGroup(int group) const
{
    static const QVector<ScanRecord> kEmpty;
    if (group < 0 || group >= groups_.size())
        return kEmpty;
    return groups_.at(group).scans;
}

const ScanGroup* DataAnalyzer::group(int index) const
{
    return (index < 0 || index >= groups_.size()) ? nullptr : &groups_.at(index);
}

ScanRecord* DataAnalyzer::scan(int group, int index)
{
    if (group < 0 || group >= groups_.size())
        return nullptr;
    QVector<ScanRecord>& scans = groups_[group].scans;
    if (index < 0 || index >= scans.size())
        return nullptr;
    return &scans[index];
}

int DataAnalyzer::scanCount() const
{
    int n = 0;
    for (const ScanGroup& g : groups_)
        n += g.scans.size();
    return n;
}

void DataAnalyzer::clearScans()
{
    groups_.clear();
    firstByTime_.clear();
    firstByPosition_.clear();
    savedScans_ = 0;
}

void DataAnalyzer::removeLastScans(const QVector<Location>& locations)
{
    QVector<Location> order = locations;
    // From the back, so that each removal leaves the others' places alone.
    std::sort(order.begin(), order.end(), [](const Location& a, const Location& b) {
        return a.group != b.group ? a.group > b.group : a.index > b.index;
    });
    bool groupsGone = false;
    for (const Location& at : order) {
        if (at.group < 0 || at.group >= groups_.size() || at.index != groups_[at.group].scans.size() - 1)
            continue;
        groups_[at.group].scans.removeLast();
        if (groups_[at.group].scans.isEmpty()) {
            groups_.remove(at.group);
            groupsGone = true;
        }
    }
    savedScans_ = std::min(savedScans_, scanCount());
    if (!groupsGone)
        return;
    firstByTime_.clear();
    firstByPosition_.clear();
    for (int g = 0; g < groups_.size(); ++g) {
        remember(firstByTime_, groups_[g].temporalPosition, g);
        remember(firstByPosition_, groups_[g].position, g);
    }
}

void DataAnalyzer::markSaved()
{
    savedScans_ = scanCount();
    emit saved();
}

ScanAnalysisConfig DataAnalyzer::analysisConfig() const
{
    ScanAnalysisConfig c;
    c.probeMode = configs_.active().probeMode;
    c.useReferenceProbe = configs_.active().useReferenceProbe;
    c.voltageStart = configs_.active().dataScanRunParam.voltageStart;
    c.voltageEnd = configs_.active().dataScanRunParam.voltageEnd;
    return c;
}

void DataAnalyzer::analyseAll(int threads)
{
    QVector<ScanRecord*> all;
    for (ScanGroup& g : groups_)
        for (ScanRecord& s : g.scans)
            all.append(&s);
    const ScanAnalysisConfig cfg = analysisConfig();
    const LangmuirSettings settings = settings_;
    const EepfTable table = table_;
    auto work = [&](ScanRecord* s) { driver::analyseScan(*s, settings, table, cfg); };
    if (threads <= 0)
        threads = QThread::idealThreadCount();
    if (threads <= 1 || all.size() < 2) {
        for (ScanRecord* s : all)
            work(s);
        return;
    }
    // Each scan is analysed by itself from shared read-only inputs, so the results are
    // the same as one after another.
    threads = std::min(threads, int(all.size()));
    std::atomic<int> next{0};
    auto worker = [&] {
        for (int i = next++; i < all.size(); i = next++)
            work(all.at(i));
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t)
        pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool)
        t.join();
}

void DataAnalyzer::analyseScan(int group, int index)
{
    ScanRecord* s = scan(group, index);
    if (s)
        driver::analyseScan(*s, settings_, table_, analysisConfig());
}
