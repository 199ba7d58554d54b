#include "RunSessionObserver.h"

#include "PlotManager.h"
#include "SessionJournals.h"

void RunSessionObserver::runBegins()
{
    if (m_pm)
        m_pm->beginRun();
}

void RunSessionObserver::runEnded()
{
    if (m_pm)
        m_pm->endRun();
    // Whatever the run filed is final now, also after an abort or a failure.
    if (m_pm && m_journals)
        m_journals->recordsFinished(m_pm);
}

void RunSessionObserver::scanFiled(int group, int index)
{
    if (m_pm)
        m_pm->scanFiled(group, index);
    if (m_pm && m_journals)
        m_journals->scanFiled(m_pm, group, index);
}

void RunSessionObserver::positionEnded()
{
    if (m_pm && m_journals)
        m_journals->recordsFinished(m_pm);
}

void RunSessionObserver::removingScans(const QVector<DataAnalyzer::Location>& locations)
{
    if (m_pm && m_journals)
        m_journals->removingScans(m_pm, locations);
}

void RunSessionObserver::scanChanged(int group, int index)
{
    if (m_pm)
        m_pm->scanChanged(group, index);
}
