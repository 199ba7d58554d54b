#include "FitRestorer.h"

#include "AnalysisDriver.h"
#include "DataAnalyzer.h"

#include <QtConcurrent/QtConcurrentRun>

FitRestorer::FitRestorer(DataAnalyzer* data, QObject* parent) : QObject(parent), m_data(data)
{
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &FitRestorer::finished);
}

FitRestorer::~FitRestorer()
{
    // The worker holds only its own copies; the session outlives the wait.
    m_watcher.waitForFinished();
}

void FitRestorer::start()
{
    m_watcher.waitForFinished();
    QVector<Job> jobs;
    for (int g = 0; g < m_data->groupCount(); ++g) {
        const QVector<ScanRecord>& scans = m_data->scansOfGroup(g);
        for (int i = 0; i < scans.size(); ++i)
            if (!scans[i].fit.valid && !scans[i].corrected.isEmpty() && scans[i].accumulated.count() > 0)
                jobs.append(Job{g, i, scans[i].corrected.I, scans[i]});
    }
    if (jobs.isEmpty())
        return;
    // Copies made here, on the session's thread: the worker shares nothing with it.
    const LangmuirSettings settings = m_data->analysisSettings();
    const EepfTable table = m_data->eepfTable();
    const ScanAnalysisConfig cfg = m_data->analysisConfig();
    m_watcher.setFuture(QtConcurrent::run([jobs, settings, table, cfg]() mutable {
        for (Job& j : jobs)
            driver::analyseScan(j.scan, settings, table, cfg);
        return jobs;
    }));
}

void FitRestorer::finished()
{
    bool any = false;
    for (const Job& j : m_watcher.result()) {
        ScanRecord* s = m_data->scan(j.group, j.index);
        if (!s || s->fit.valid || s->corrected.I != j.storedI || !j.scan.fit.valid)
            continue; // analysed again meanwhile, or another scan now
        s->fit = j.scan.fit;
        s->electronCurrent = j.scan.electronCurrent;
        any = true;
    }
    if (any)
        emit restored();
}
