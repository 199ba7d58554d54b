// Renders the main window with a loaded session in each view to PNG files, so
// that a person can look at them. Run under an X server (see README).
#include "ConfigParamPanel.h"
#include "DataAnalyzer.h"
#include "MainWin.h"
#include "PlotManager.h"
#include "EEDF_Dialog.h"
#include "GraphExport.h"
#include "ThreeTracePlotter.h"
#include "ExportOptions.h"
#include "LangmuirSettingsWidget.h"
#include "LinearDriver.h"
#include "ProbeModeSelector.h"
#include "ScriptDialog.h"
#include "ScriptedPrompter.h"
#include "MainWinScan.h"
#include "ScanSequence.h"
#include "SessionMaker.h"
#include "SimControl.h"
#include "SimMeasurement.h"
#include "DriverLog.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <SimMotors.h>
#include <QRadioButton>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QMouseEvent>
#include <QCursor>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QTextStream>
#include <QTimer>
#include <cmath>

namespace {
void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

bool shoot(QWidget& w, const QString& path)
{
    settle();
    QPixmap pix;
    if (QScreen* screen = w.screen(); screen && qgetenv("QT_QPA_PLATFORM") != "offscreen")
        pix = screen->grabWindow(w.winId());
    if (pix.isNull() || pix.size().isEmpty())
        pix = w.grab();
    const bool ok = pix.save(path);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << "\n";
    return ok;
}
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QString outDir = QStringLiteral("screenshots");
    QString file;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--out") && i + 1 < args.size())
            outDir = args[++i];
        else
            file = QFileInfo(args[i]).absoluteFilePath();
    }
    QDir().mkpath(outDir);
    QCoreApplication::setOrganizationName(QStringLiteral("Quendrix"));
    QCoreApplication::setApplicationName(QStringLiteral("Quendrix Langmuir screenshots"));

    MainWin w;
    w.resize(1400, 900);
    w.show();
    settle();
    PlotManager* pm = nullptr;
    if (!file.isEmpty()) {
        if (!w.openSessionFile(file)) {
            QTextStream(stderr) << "cannot open " << file << "\n";
            return 1;
        }
        pm = w.currentSession();
    } else {
        // No file given: a synthetic time-resolved session.
        pm = w.currentSession();
        QMetaObject::invokeMethod(&w, "startNewSession");
        pm = w.currentSession();
        SessionMaker::Options o;
        o.scansPerGroup = 24;
        SessionMaker::fill(*pm->data(), o);
        pm->refreshAll();
    }
    pm->frameSlider()->setValue(std::min(3, pm->frameSlider()->maximum()));
    int ok = 0;
    pm->setView(PlotManager::eViewScan);
    ok += shoot(w, outDir + "/1-iv-and-derivatives.png");
    pm->quantityBox(1)->setChecked(false);
    pm->quantityBox(2)->setChecked(false);
    ok += shoot(w, outDir + "/2-iv.png");
    pm->quantityBox(1)->setChecked(true);
    pm->quantityBox(2)->setChecked(true);
    pm->setView(PlotManager::eViewPrescan);
    ok += shoot(w, outDir + "/3-prescan.png");
    pm->setView(PlotManager::eViewEepf);
    ok += shoot(w, outDir + "/4-eepf-log.png");
    pm->trendButton(2)->click(); // kTe
    pm->setView(pm->data()->groupCount() > 1 ? PlotManager::eViewTrends : PlotManager::eViewTimeResolve);
    ok += shoot(w, outDir + "/5-trend-kTe.png");
    pm->trendButton(4)->click(); // Ne
    ok += shoot(w, outDir + "/6-trend-Ne.png");
    // The analysis drawn on the curve (a file keeps results, not fits: analysed
    // again), a trend with error bars, the cursor readout and the graph export.
    pm->analyseSession();
    pm->frameSlider()->setValue(std::min(3, pm->frameSlider()->maximum()));
    QCheckBox* logScale = nullptr;
    for (QCheckBox* b : pm->findChildren<QCheckBox*>())
        if (b->text() == QLatin1String("log scale"))
            logScale = b;
    pm->setView(PlotManager::eViewScan);
    pm->quantityBox(1)->setChecked(false);
    pm->quantityBox(2)->setChecked(false);
    ok += shoot(w, outDir + "/16-iv-analysis.png");
    logScale->setChecked(true);
    ok += shoot(w, outDir + "/17-iv-analysis-log.png");
    // The cursor over the IV curve near Vp: tracker label and status bar.
    {
        ThreeTracePlotter* graph = pm->plot(0);
        const ScanRecord* shown = pm->data()->scan(pm->groupIndex(), pm->traceIndex());
        const double vp = shown ? shown->result.value(ResultRecord::eVp) : 0.0;
        double iAt = 1e-3;
        if (shown)
            for (int i = 0; i < shown->corrected.V.size(); ++i)
                if (shown->corrected.V[i] <= vp)
                    iAt = shown->corrected.I[i];
        const QPoint at(qRound(graph->canvasMap(QwtPlot::xBottom).transform(vp)),
                        qRound(graph->canvasMap(QwtPlot::yLeft).transform(iAt)));
        QWidget* canvas = graph->canvas();
        QCursor::setPos(canvas->mapToGlobal(at));
        QMouseEvent move(QEvent::MouseMove, at, canvas->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(canvas, &move);
        ok += shoot(w, outDir + "/18-cursor-readout.png");
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(canvas, &leave);
    }
    logScale->setChecked(false);
    pm->quantityBox(1)->setChecked(true);
    pm->quantityBox(2)->setChecked(true);
    pm->setView(PlotManager::eViewScan);
    {
        GraphExport::Options o;
        o.fileName = QDir(outDir).absoluteFilePath(QStringLiteral("session-iv.pdf"));
        o.format = GraphExport::ePdf;
        GraphExportDialog exportDialog(o, &w);
        exportDialog.show();
        settle();
        ok += shoot(exportDialog, outDir + "/20-export-graph.png");
        exportDialog.hide();
    }
    // Connected to the simulated unit (the probe dialog answered with "With DC Reference").
    ScriptedPrompter prompter;
    prompter.dialogHandlers << [](QDialog* d) {
        auto* sel = qobject_cast<ProbeModeSelector*>(d);
        if (!sel)
            return int(QDialog::Rejected);
        sel->button(ProbeModeSelector::eWithDcRef)->click();
        return sel->result();
    };
    Prompter::setInstance(&prompter);
    // A linear drive on the unit's serial line, a few millimetres from home.
    qsim::MotorConfig motor;
    motor.family = qsim::MotorFamily::OpticsFocus;
    motor.startSteps = 300;
    motor.mmPerStep = 0.001;   // the slope the controller is given below
    qsim::attachMotorController(0, motor);
    w.action("Connect")->trigger();
    QMetaObject::invokeMethod(&w, "updateSyncFreq");
    pm->setView(PlotManager::eViewScan);
    ok += shoot(w, outDir + "/7-connected.png");

    // The scan configuration panel of the connected session, every tab (advanced mode).
    int tabsShot = 0;
    if (ConfigParamPanel* panel = w.configPanel(w.currentSession())) {
        QMetaObject::invokeMethod(&w, "setAdvMode");
        panel->show();
        for (int i = 0; i < panel->tabs()->count(); ++i) {
            panel->selectTab(i);
            const QString tab = panel->tabs()->tabText(i).toLower().replace(' ', '-');
            tabsShot += shoot(*panel, outDir + QStringLiteral("/12-config-%1-%2.png").arg(i).arg(tab));
        }
        panel->hide();
        QMetaObject::invokeMethod(&w, "setAdvMode");
    }
    // A measurement under way: Scan on the simulated plasma, pictured while
    // the data scans accumulate.
    bool running = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        PlotManager* live = w.currentSession();
        const ScanRecord* s = live ? live->data()->scan(0, 0) : nullptr;
        if (!running && w.isRunActive() && w.appState() == 10 && s && s->accumulated.count() >= 2) {
            running = true;
            live->setView(PlotManager::eViewScan);
            ok += shoot(w, outDir + "/12-running-measurement.png");
        }
    });
    poll.start();
    w.action("Scan")->trigger();
    poll.stop();

    // A spatial run across a density profile on a simulated linear drive.
    w.action("Disconnect")->trigger();
    qsim::Config world = qsim::currentConfig();
    world.speedFactor = 200;
    world.modules[0].motor.family = qsim::MotorFamily::PM600;
    world.modules[0].motor.mmPerStep = 0.001;   // the slope the controller is given below
    world.measurement.plasma.profileCentreMm = 10;
    world.measurement.plasma.profileWidthMm = 6;
    qsim::reset(world);
    setDriverDelayScale(1.0 / 200);
    prompter.dialogHandlers.clear();
    prompter.dialogHandlers << [](QDialog* d) {
        auto* sel = qobject_cast<ProbeModeSelector*>(d);
        if (!sel)
            return int(QDialog::Rejected);
        sel->button(ProbeModeSelector::eWithDcRef)->click();
        return sel->result();
    };
    w.action("Connect")->trigger();
    RIRavaVCntrl& ctrl = w.controller();
    ctrl.setLinearDriveSlope(0.001);
    ctrl.setLinearDriveIntercept(0);
    PlotManager* spatial = w.currentSession();
    SingleProbeConfigParam cfg;
    cfg.spat.bUseSpatScan = true;
    cfg.spat.start = 0;
    cfg.spat.end = 20;
    cfg.spat.step = 2;
    cfg.useSmartScan = false;
    cfg.dataScanRunScans = 3;
    cfg.dcCScanSweeps = 2;
    RunSessionObserver observer;
    observer.setSession(spatial);
    w.sequence()->setSession(spatial->data(), &observer);
    w.sequence()->runScan(cfg);
    spatial->refreshAll();
    spatial->trendButton(4)->click(); // Ne
    spatial->setView(PlotManager::eViewTrends);
    ok += shoot(w, outDir + "/13-spatial-trend-Ne.png");
    // A timed series of noisy sweeps: its trend with the errors of each point.
    QMetaObject::invokeMethod(&w, "startNewSession");
    if (PlotManager* timed = w.currentSession(); timed != spatial) {
        SessionMaker::Options o;
        o.kind = SessionMaker::eTimed;
        o.groups = 12;
        o.scansPerGroup = 1;
        SessionMaker::fill(*timed->data(), o);
        timed->refreshAll();
        for (QCheckBox* b : timed->findChildren<QCheckBox*>())
            if (b->text() == QLatin1String("Show Error bars"))
                b->setChecked(true);
        timed->trendButton(10)->click(); // kTe of the EEPF
        timed->setView(PlotManager::eViewTrends);
        ok += shoot(w, outDir + "/19-trend-error-bars.png");
    }
    Prompter::setInstance(nullptr);

    // The dialogs, each on its own.
    auto dialog = [&](QWidget& d, const QString& name) {
        d.show();
        settle();
        ok += shoot(d, outDir + "/" + name);
        d.hide();
    };
    ProbeModeSelector probe(&w);
    dialog(probe, "8-probe-mode.png");
    EEDF_Dialog table(&w);
    table.setWindowTitle("Edit Default EEPF Table");
    table.setTable(EepfTable::defaultTable());
    dialog(table, "9-eepf-table.png");
    LangmuirSettingsWidget settings;
    settings.load(pm->data()->analysisSettings());
    dialog(settings, "10-process-settings.png");
    ExportOptions exportOptions(&w, false, outDir + "/ExportSettings.xml");
    dialog(exportOptions, "11-export-options.png");
    // The Move dialog with the drive initialised, and its configuration dialog.
    Prompter::setInstance(&prompter);
    LinearDriver* drive = w.linearDriver();
    drive->initialise(true);
    drive->positionBox()->setValue(42.5);
    dialog(*drive, "12-move-dialog.png");
    ALDconfig driveConfig(&w);
    driveConfig.setValues(0.01, drive->railLength(), 50, false, 10);
    dialog(driveConfig, "13-drive-configuration.png");
    // The job window: a refused job (left) and one running its fifth line.
    ScriptDialog refused(&w);
    refused.setLines({"# a voltage scan, saved", "setscanvoltages(-40, 20, 0.25)", "sleep(0)", "scan",
                      "setscanvoltages(50,-100,1)", "save(example-job.ldf)"});
    refused.setErrors({"", "", "Argument 1 must be an integer between 1 and 600", "",
                       "Test run caught error. The start must lie below the end, at least one step apart.",
                       "Argument 1, this file already exists."});
    refused.resize(520, 260);
    dialog(refused, "14-job-refused.png");
    ScriptDialog runningJob(&w);
    runningJob.setLines({"message(Example job: a time-averaged and a time-resolved measurement)", "setidlevoltage(0)",
                      "setscanvoltages(-40, 20, 0.25)", "setcurrentrange(0)", "usetimeaveraged", "scan",
                      "settimeresolved(100, 900, 100, 1)", "scan", "usetimeaveraged", "save(example-job.ldf)"});
    runningJob.setRunning(true);
    runningJob.setRunningLine(5);
    runningJob.resize(520, 300);
    dialog(runningJob, "15-job-running.png");
    prompter.answers << QMessageBox::No; // leave the drive where it is on closing
    for (PlotManager* s : w.sessions())
        s->setModified(false);
    w.close();
    Prompter::setInstance(nullptr);
    return ok == 22 && tabsShot == 7 ? 0 : 1;
}
