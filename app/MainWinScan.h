#pragma once
// The main window's side of the measurement procedures: the seam that turns
// their alerts, states and boxes into the window's, and the observer that
// hands a run's records to its session window.
#include "MeasurementSeam.h"
#include "ScanSequence.h"

#include <QElapsedTimer>
#include <QPointer>
#include <functional>

class PlotManager;
class SessionJournals;

class MainWinSeam : public MeasurementSeam
{
public:
    struct Hooks {
        std::function<void(const QString&)> alert;
        std::function<QStringList()> alerts;
        std::function<void()> clearAlerts;
        std::function<void(int)> setState;
        std::function<void(const QString&)> appendStateText;
        std::function<void(const QStringList&)> log;
        QWidget* parent = nullptr;
    };
    explicit MainWinSeam(Hooks hooks) : m_hooks(std::move(hooks)) { m_clock.start(); }

    void alert(const QString& line) override { m_hooks.alert(line); }
    QStringList alerts() const override { return m_hooks.alerts(); }
    void clearAlerts() override { m_hooks.clearAlerts(); }
    void setState(int state) override { m_hooks.setState(state); }
    void appendStateText(const QString& text) override { m_hooks.appendStateText(text); }
    void critical(const QString& title, const QString& text) override;
    void information(const QString& title, const QString& text) override;
    bool question(const QString& title, const QString& text) override;
    void log(const QStringList& lines) override { m_hooks.log(lines); }
    void processEvents() override;
    void sleepMs(int ms) override;
    qint64 nowMs() override { return m_clock.elapsed(); }

private:
    Hooks m_hooks;
    QElapsedTimer m_clock;
};

// Forwards a run's records to the session window it fills and to the
// session's journal; nothing when that window is gone.
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
