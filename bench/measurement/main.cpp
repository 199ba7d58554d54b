// A measurement run of 200 kept 400-point data scans on the simulated unit at
// speed 0 (its scans are ready at once), into a shown session window: the
// program's own cost per kept scan (sequence, read, accumulation, analysis,
// the window's update), and the longest the event loop went without
// handling a posted event meanwhile.
#include "PlotManager.h"
#include "RunRig.h"
#include "SessionJournals.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QEvent>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <atomic>

namespace {
// Posts one event at a time and measures how long each waits to be handled.
class StallProbe : public QObject
{
public:
    static constexpr QEvent::Type kType = QEvent::Type(QEvent::User + 17);
    double maxMs = 0;
    bool running = true;

    void post()
    {
        m_posted.start();
        QCoreApplication::postEvent(this, new QEvent(kType));
    }
    bool event(QEvent* e) override
    {
        if (e->type() != kType)
            return QObject::event(e);
        maxMs = std::max(maxMs, m_posted.nsecsElapsed() / 1e6);
        if (running)
            post();
        return true;
    }

private:
    QElapsedTimer m_posted;
};
} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("QuendrixBench");
    QCoreApplication::setApplicationName("bench_measurement");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    RunRig rig(0);
    if (!rig.connected) {
        QTextStream(stderr) << "bench_measurement: the simulated unit did not connect\n";
        return 1;
    }
    ScanSequence& sequence = rig.sequence;
    PlotManager pm;
    pm.resize(1400, 900);
    pm.show();
    pm.setView(PlotManager::eViewScan);
    RunSessionObserver observer;
    observer.setSession(&pm);
    // The run keeps its journal as the program does.
    QTemporaryDir journalDir;
    SessionJournals journals(journalDir.filePath("recovery"));
    observer.setJournals(&journals);
    sequence.setSession(pm.data(), &observer);

    SingleProbeConfigParam cfg;
    cfg.useSmartScan = false;
    cfg.dataScanRunScans = 200;
    cfg.dcCScanSweeps = 2;
    // 400 points; short integration so that the simulated unit's own sample
    // generation stays small beside the program's cost.
    for (ScanRunParam* r : {&cfg.dataScanRunParam, &cfg.initScanRunParam, &cfg.dcCScanRunParam,
                            &cfg.ionCurrentScanRunParam}) {
        r->integrationTime = 1;
        r->firstStepDelay = 1;
        r->nextStepDelay = 1;
    }
    cfg.dataScanRunParam.voltageStart = -30;
    cfg.dataScanRunParam.voltageStep = 0.1;
    cfg.dataScanRunParam.voltageEnd = 9.85; // 400 points as the unit realises them

    StallProbe probe;
    double runMs = 0;
    bool ok = false;
    QTimer::singleShot(0, [&] {
        probe.post();
        QElapsedTimer t;
        t.start();
        ok = sequence.runScan(cfg);
        runMs = t.nsecsElapsed() / 1e6;
        probe.running = false;
        app.quit();
    });
    app.exec();
    // The data scans' record is the one that accumulated the kept scans.
    const ScanRecord* s = nullptr;
    DataAnalyzer* data = pm.data();
    for (int g = 0; g < data->groupCount(); ++g)
        for (int i = 0; i < data->scansOfGroup(g).size(); ++i) {
            const ScanRecord* r = data->scan(g, i);
            if (!s || r->accumulated.count() > s->accumulated.count())
                s = r;
        }
    if (!ok || !s || s->accumulated.count() != 200 || s->accumulated.pointCount() != 400) {
        QTextStream(stderr) << "bench_measurement: the run failed (ok " << ok << ", kept "
                            << (s ? s->accumulated.count() : -1) << ", points "
                            << (s ? s->accumulated.pointCount() : -1) << "): "
                            << rig.alerts.join("; ") << "\n";
        return 1;
    }
    QTextStream out(stdout);
    out << "run_overhead_ms: " << QString::number(runMs / 200, 'f', 3) << "\n";
    out << "gui_stall_max_ms: " << QString::number(probe.maxMs, 'f', 2) << "\n";
    return 0;
}
