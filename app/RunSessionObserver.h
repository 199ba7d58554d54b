#pragma once
// Forwards a run's records to the session window it fills and to the
// session's journal; nothing when that window is gone.
#include "ScanSequence.h"

#include <QPointer>

class PlotManager;
class SessionJournals;

class RunSessionObserver : public RunObserver
{
public:
    void setSession(PlotManager* pm) { m_pm = pm; }
    void setJournals(SessionJournals* journals) { m_journals = journals; }
    void runBegins() override;
    void runEnded() override;
    void scanFiled(int group, int index) override;
    void scanChanged(int group, int index) override;
    void positionEnded() override;
    void removingScans(const QVector<DataAnalyzer::Location>& locations) override;

private:
    QPointer<PlotManager> m_pm;
    SessionJournals* m_journals = nullptr;
};
