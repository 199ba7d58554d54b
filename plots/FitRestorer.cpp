#include "FitRestorer.h"

#include "AnalysisDriver.h"
#include "DataAnalyzer.h"

#include <QElapsedTimer>
#include <QTimer>

FitRestorer::FitRestorer(DataAnalyzer* data, QObject* parent) : QObject(parent), m_data(data), m_timer(new QTimer(this))
{
    m_timer->setInterval(0); // whenever the event loop is idle
    connect(m_timer, &QTimer::timeout, this, &FitRestorer::step);
}

void FitRestorer::start()
{
    m_pending.clear();
    for (int g = 0; g < m_data->groupCount(); ++g) {
        const QVector<ScanRecord>& scans = m_data->scansOfGroup(g);
        for (int i = 0; i < scans.size(); ++i)
            if (!scans[i].fit.valid && !scans[i].corrected.isEmpty() && scans[i].accumulated.count() > 0)
                m_pending.append(Pending{g, i, scans[i].corrected.I});
    }
    if (m_pending.isEmpty())
        m_timer->stop();
    else
        m_timer->start();
}

bool FitRestorer::isRunning() const
{
    return !m_pending.isEmpty();
}

void FitRestorer::step()
{
    QElapsedTimer slice;
    slice.start();
    bool any = false;
    while (!m_pending.isEmpty() && slice.elapsed() < kSliceMs) {
        const Pending p = m_pending.takeFirst();
        ScanRecord* s = m_data->scan(p.group, p.index);
        if (!s || s->fit.valid || s->corrected.I != p.storedI)
            continue; // analysed again meanwhile, or another scan now
        ScanRecord copy = *s;
        driver::analyseScan(copy, m_data->analysisSettings(), m_data->eepfTable(), m_data->analysisConfig());
        if (!copy.fit.valid)
            continue;
        s->fit = copy.fit;
        s->electronCurrent = copy.electronCurrent;
        any = true;
    }
    if (m_pending.isEmpty())
        m_timer->stop();
    if (any)
        emit restored();
}
