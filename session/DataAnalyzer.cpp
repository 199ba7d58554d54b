#include "DataAnalyzer.h"

#include <QThread>

#include <atomic>
#include <thread>
#include <vector>

DataAnalyzer::DataAnalyzer(QObject* parent)
    : QObject(parent), table_(EepfTable::defaultTable())
{
}

DataAnalyzer::~DataAnalyzer() = default;

void DataAnalyzer::addScan(const ScanRecord& scan)
{
    ScanGroup* target = nullptr;
    if (!groups_.isEmpty()) {
        if (scan.scanType == ScanRecord::eTimedRun) {
            for (ScanGroup& g : groups_)
                if (g.temporalPosition == scan.temporalPosition) {
                    target = &g;
                    break;
                }
        } else if (scan.scanType == ScanRecord::eSpatialRun) {
            for (ScanGroup& g : groups_)
                if (g.position == scan.position) {
                    target = &g;
                    break;
                }
        } else {
            target = &groups_.first();
        }
    }
    if (!target) {
        ScanGroup g;
        g.position = scan.position;
        g.temporalPosition = scan.temporalPosition;
        groups_.append(g);
        target = &groups_.last();
    }
    target->scans.append(scan);
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

void DataAnalyzer::clearScans() { groups_.clear(); }

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
