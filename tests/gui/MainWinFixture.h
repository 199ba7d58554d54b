// Common ground of the main-window tests that measure on the simulated unit:
// the program's own settings store kept in the test's folder, a unit at
// speed 0 with a short run stored, and a probe-mode answer for Connect.
#pragma once

#include "ConfigParam.h"
#include "DriverLog.h"
#include "MainWin.h"
#include "PlotManager.h"
#include "ProbeModeSelector.h"
#include "PrompterFixture.h"
#include "SimControl.h"
#include "WorkerThread.h"

#include <QAction>
#include <QCoreApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <functional>

namespace MainWinFixture {

// Before each test: a fresh unit at speed 0 and a store holding only `cfg`.
inline void resetUnitAndStore(const SingleProbeConfigParam& cfg)
{
    setDriverDelayScale(0);
    qsim::Config c;
    c.speedFactor = 0;
    qsim::reset(c);
    QCoreApplication::setOrganizationName("Quendrix");
    QCoreApplication::setApplicationName("Quendrix Langmuir");
    QSettings().clear();
    QSettings store;
    cfg.writeSettings(store);
}

// A unit at its real pace: reads take their time, the window is live during a run.
inline void realPace()
{
    qsim::Config c;
    c.speedFactor = 1;
    qsim::reset(c);
}

// Runs `act` once, the first time the window reaches `state` during a run.
inline void atState(MainWin& w, int state, std::function<void()> act)
{
    auto* t = new QTimer(&w);
    t->setInterval(5);
    QObject::connect(t, &QTimer::timeout, &w, [&w, t, state, act] {
        if (w.isRunActive() && w.appState() == state) {
            t->stop();
            t->deleteLater();
            act();
        }
    });
    t->start();
}

// Answers the probe-mode dialog of Connect (a single probe unless told).
inline std::function<int(QDialog*)> chooseSingle(ProbeModeSelector::Choice choice = ProbeModeSelector::eWithoutDcRef)
{
    return [choice](QDialog* d) {
        auto* sel = qobject_cast<ProbeModeSelector*>(d);
        if (!sel)
            return int(QDialog::Rejected);
        sel->button(choice)->click();
        return sel->result();
    };
}

// The steps of every main-window test class, as a second base beside
// QObject: its initTestCase calls isolate(), its init installPrompter() or
// reset(), its cleanup tearDown().
template <typename P = ScriptedPrompter> class Bench : public PrompterFixture::Prompted<P>
{
protected:
    using PrompterFixture::Prompted<P>::m_prompter;
    using PrompterFixture::Prompted<P>::installPrompter;

    void reset(const SingleProbeConfigParam& cfg)
    {
        resetUnitAndStore(cfg);
        installPrompter();
    }

    // Connects a single probe; the notes of connecting are not kept.
    void connectUnit(MainWin& w, ProbeModeSelector::Choice choice = ProbeModeSelector::eWithoutDcRef)
    {
        m_prompter->dialogHandlers << chooseSingle(choice);
        w.action("Connect")->trigger();
        QVERIFY2(w.alertList().isEmpty(), qPrintable(w.alertList().join('\n')));
        QVERIFY(w.currentSession()->isLive());
        // The drive search that follows in the background ends too (the
        // module's counts and the drive are then the tests' own).
        QTRY_VERIFY(!w.driveSearchPending());
        m_prompter->asked.clear();
    }
};

} // namespace MainWinFixture
