// Renders the main window with a loaded session in each view to PNG files, so
// that a person can look at them. Run under an X server (see README).
// --guide writes only the user guide's pictures, under the guide's names;
// --list-guide prints those names; --size WxH sets the main window's size. Settings, logs and exported files go to a
// folder of its own, so that the pictures never show the user's settings.
#include "ConfigParamPanel.h"
#include "DataAnalyzer.h"
#include "MainWin.h"
#include "PlotManager.h"
#include "EEDF_Dialog.h"
#include "GraphExport.h"
#include "ThreeTracePlotter.h"
#include "CursorPair.h"
#include "GraphForm.h"
#include "FitRestorer.h"
#include "TraceChooser.h"
#include <QListWidget>
#include "ExportOptions.h"
#include "LangmuirSettingsWidget.h"
#include "LinearDriver.h"
#include "ProbeModeSelector.h"
#include "ScriptDialog.h"
#include "ScriptedPrompter.h"
#include "RunSessionObserver.h"
#include "ScanSequence.h"
#include "SessionMaker.h"
#include "SimControl.h"
#include "SimMeasurement.h"
#include "DriverLog.h"
#include "JobScript.h"

#include <QAction>
#include <QPushButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTabBar>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>
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
#include <QTemporaryDir>
#include <QTimer>
#include <QElapsedTimer>
#include <QWindow>
#include <QMap>
#include <cmath>

namespace {
// The drive search follows a connect in the background: the pictures show
// the window once it has ended (the panel is held until then).
void finishDriveSearch(MainWin& w)
{
    while (w.driveSearchPending())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// The pictures of the user guide (docs/guide/images/NAME.png), by the name of
// the state rendered for each. The build renders the guide from these.
const QMap<QString, QString>& guidePictures()
{
    static const QMap<QString, QString> names = {
        {"1-iv-and-derivatives", "session-iv"},
        {"4-eepf-log", "eepf"},
        {"5-trend-kTe", "trend"},
        {"7-connected", "connected"},
        {"8-probe-mode", "probe-mode"},
        {"10-process-settings", "process-settings"},
        {"11-export-options", "export"},
        {"12-config-0-acquisition", "config-acquisition"},
        {"12-config-1-multi-scan", "config-multi-scan"},
        {"12-move-dialog", "move-dialog"},
        {"12-running-measurement", "running-measurement"},
        {"13-spatial-trend-Ne", "spatial-trend"},
        {"14-job-refused", "job-refused"},
        {"15-job-running", "job-running"},
        {"16-iv-analysis", "iv-analysis"},
        {"17-iv-analysis-log", "iv-analysis-log"},
        {"18-cursor-readout", "cursor-readout"},
        {"19-trend-error-bars", "trend-error-bars"},
        {"20-export-graph", "graph-export"},
        {"21-opt-in-results", "opt-in-results"},
        {"22-axis-range", "axis-range"},
        {"23-two-cursors", "two-cursors"},
        {"24-overlay-traces", "overlay-traces"},
        {"25-map", "map"},
        {"26-figure", "figure"},
    };
    return names;
}

QString g_outDir;
bool g_guide = false;
QStringList g_written;
QString g_texts; // pictures.txt: what each guide picture shows, in words

QString plain(const QString& text)
{
    return Qt::mightBeRichText(text) ? QTextDocumentFragment::fromHtml(text).toPlainText().trimmed() : text;
}

// The texts a picture shows, widget by widget: a record of its content that
// fonts and screens do not change, so that a test can tell a stale committed
// copy from one rendered elsewhere.
QString describe(QWidget& top)
{
    QStringList out;
    if (!top.windowTitle().isEmpty())
        out << QStringLiteral("title: ") + top.windowTitle();
    QList<QWidget*> widgets{&top};
    widgets += top.findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (w != &top && (!w->isVisibleTo(&top) || w->visibleRegion().isEmpty()))
            continue; // hidden, or scrolled out of the picture
        if (w->objectName() == QLatin1String("frameTime") || w->objectName() == QLatin1String("processTime"))
            continue; // clock readings: another run shows other ones
        const QString off = w->isEnabled() ? QString() : QStringLiteral(" (disabled)");
        if (auto* l = qobject_cast<QLabel*>(w); l && !l->text().isEmpty())
            out << QStringLiteral("label: ") + plain(l->text());
        else if (auto* b = qobject_cast<QAbstractButton*>(w); b && (!b->text().isEmpty() || b->isCheckable()))
            out << QStringLiteral("button: ") + b->text() + (b->isCheckable() && b->isChecked() ? "  [x]" : "") + off;
        else if (auto* e = qobject_cast<QLineEdit*>(w); e && !qobject_cast<QAbstractSpinBox*>(w->parent()))
            out << QStringLiteral("field: ") + e->text() + off;
        else if (auto* sb = qobject_cast<QAbstractSpinBox*>(w))
            out << QStringLiteral("field: ") + sb->text() + off;
        else if (auto* c = qobject_cast<QComboBox*>(w))
            out << QStringLiteral("choice: ") + c->currentText() + off;
        else if (auto* t = qobject_cast<QTabBar*>(w))
            for (int i = 0; i < t->count(); ++i)
                out << QStringLiteral("tab: ") + t->tabText(i) + (i == t->currentIndex() ? "  [current]" : "");
        else if (auto* tb = qobject_cast<QTextEdit*>(w))
            out << QStringLiteral("text: ") + tb->toPlainText().replace('\n', QStringLiteral(" | "));
        else if (auto* m = qobject_cast<QMenuBar*>(w))
            for (QAction* a : m->actions())
                out << QStringLiteral("menu: ") + a->text();
        else if (auto* plot = qobject_cast<QwtPlot*>(w)) {
            out << QStringLiteral("graph: ") + plain(plot->title().text());
            for (int axis : {QwtPlot::xBottom, QwtPlot::yLeft})
                if (plot->axisEnabled(axis))
                    out << QStringLiteral("  axis: ") + plain(plot->axisTitle(axis).text());
            for (const QwtPlotItem* item : plot->itemList())
                if (auto* curve = dynamic_cast<const QwtPlotCurve*>(item); curve && curve->isVisible()) {
                    // The drawn data in brief: a curve gone flat or empty shows.
                    const QRectF r = curve->dataSize() ? curve->boundingRect() : QRectF();
                    out << QStringLiteral("  curve: %1 (%2 points, x %3 to %4, y %5 to %6)")
                               .arg(plain(curve->title().text()))
                               .arg(curve->dataSize())
                               .arg(r.left(), 0, 'g', 3).arg(r.right(), 0, 'g', 3)
                               .arg(r.top(), 0, 'g', 3).arg(r.bottom(), 0, 'g', 3);
                } else if (item->isVisible() && !item->title().isEmpty())
                    out << QStringLiteral("  item: ") + plain(item->title().text());
                else if (auto* marker = dynamic_cast<const QwtPlotMarker*>(item);
                         marker && marker->isVisible() && !marker->label().isEmpty())
                    out << QStringLiteral("  marker: ") + plain(marker->label().text());
        }
    }
    return out.join(QLatin1Char('\n'));
}

// Pictures whose content depends on timing (the moment a running scan is
// caught): rendered, but not described.
bool describable(const QString& name)
{
    return name != QLatin1String("running-measurement");
}

// Saves the picture of a state; with --guide only a guide picture, under its
// guide name (the others count as done).
bool shoot(QWidget& w, const QString& state)
{
    QString name = state;
    if (g_guide) {
        name = guidePictures().value(state);
        if (name.isEmpty())
            return true;
    }
    const QString path = g_outDir + QLatin1Char('/') + name + QStringLiteral(".png");
    // A window just shown is grabbed once the server shows it, painted:
    // before, the grab holds what lies beneath.
    QElapsedTimer waited;
    waited.start();
    while (w.windowHandle() && !w.windowHandle()->isExposed() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    w.repaint();
    QGuiApplication::sync();
    settle();
    QPixmap pix;
    if (QScreen* screen = w.screen(); screen && qgetenv("QT_QPA_PLATFORM") != "offscreen")
        pix = screen->grabWindow(w.winId());
    if (pix.isNull() || pix.size().isEmpty())
        pix = w.grab();
    const bool ok = pix.save(path);
    if (ok)
        g_written << name;
    if (ok && g_guide && describable(name))
        g_texts += QStringLiteral("## %1.png\n%2\n\n").arg(name, describe(w));
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << "\n";
    return ok;
}
} // namespace

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "--list-guide") == 0) {
            QTextStream out(stdout);
            QStringList names = guidePictures().values();
            names.sort();
            for (const QString& n : names)
                out << n << ".png\n";
            return 0;
        }
    // A store, logs and files of their own: the same pictures on every machine.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(var, QFile::encodeName(home.path() + QLatin1Char('/') + QLatin1String(var)));
    QApplication app(argc, argv);
    QString outDir = QStringLiteral("screenshots");
    QSize windowSize(1400, 900);
    QString file;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--out") && i + 1 < args.size())
            outDir = args[++i];
        else if (args[i] == QLatin1String("--guide"))
            g_guide = true;
        else if (args[i] == QLatin1String("--size") && i + 1 < args.size()) {
            const QString size = args[++i];
            windowSize = QSize(size.section('x', 0, 0).toInt(), size.section('x', 1, 1).toInt());
        }
        else
            file = QFileInfo(args[i]).absoluteFilePath();
    }
    QDir().mkpath(outDir);
    g_outDir = QDir(outDir).absolutePath();
    QDir::setCurrent(home.path());
    QCoreApplication::setOrganizationName(QStringLiteral("Quendrix"));
    QCoreApplication::setApplicationName(QStringLiteral("Quendrix Langmuir screenshots"));

    MainWin w;
    w.resize(windowSize);
    w.show();
    // The pointer starts in the middle of the screen, over a graph: its
    // readout would show in every picture.
    const QPoint away(1590, 990);
    QCursor::setPos(away);
    settle();
    PlotManager* pm = nullptr;
    if (!file.isEmpty()) {
        if (!w.openSessionFile(file)) {
            QTextStream(stderr) << "cannot open " << file << "\n";
            return 1;
        }
        pm = w.currentSession();
        // The fits come in the background: every picture shows them all.
        while (pm->fitRestorer()->isRunning())
            QCoreApplication::processEvents();
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
    ok += shoot(w, "1-iv-and-derivatives");
    pm->quantityBox(1)->setChecked(false);
    pm->quantityBox(2)->setChecked(false);
    ok += shoot(w, "2-iv");
    pm->quantityBox(1)->setChecked(true);
    pm->quantityBox(2)->setChecked(true);
    pm->setView(PlotManager::eViewPrescan);
    ok += shoot(w, "3-prescan");
    pm->setView(PlotManager::eViewEepf);
    ok += shoot(w, "4-eepf-log");
    pm->trendButton(2)->click(); // kTe
    pm->setView(pm->data()->groupCount() > 1 ? PlotManager::eViewTrends : PlotManager::eViewTimeResolve);
    ok += shoot(w, "5-trend-kTe");
    pm->trendButton(4)->click(); // Ne
    ok += shoot(w, "6-trend-Ne");
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
    ok += shoot(w, "16-iv-analysis");
    logScale->setChecked(true);
    ok += shoot(w, "17-iv-analysis-log");
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
        ok += shoot(w, "18-cursor-readout");
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(canvas, &leave);
        QCursor::setPos(away);
    }
    // Two cursors on the exponential part of the IV (log scale): their
    // differences, the slope and the e-folding voltage.
    {
        ThreeTracePlotter* graph = pm->plot(0);
        graph->replot();
        const ScanRecord* shown = pm->data()->scan(pm->groupIndex(), pm->traceIndex());
        if (shown) {
            const double vp = shown->result.value(ResultRecord::eVp), kTe = shown->result.value(ResultRecord::eKTe);
            for (double at : {vp - 3 * kTe, vp - 0.5 * kTe}) {
                int best = 0;
                for (int i = 0; i < shown->corrected.V.size(); ++i)
                    if (std::fabs(shown->corrected.V[i] - at) < std::fabs(shown->corrected.V[best] - at))
                        best = i;
                pm->cursorPair(0)->pinAt(QPoint(qRound(graph->canvasMap(QwtPlot::xBottom).transform(shown->corrected.V[best])),
                                                qRound(graph->canvasMap(QwtPlot::yLeft).transform(shown->corrected.I[best]))));
            }
        }
        ok += shoot(w, "23-two-cursors");
        pm->cursorPair(0)->clear();
    }
    // The opt-in analyses' values below the results grid, switched on as a user
    // does (Process Settings: the two boxes, Apply, then Analyse); off again after.
    {
        auto setOptIns = [&](bool on) {
            pm->showSettings();
            LangmuirSettingsWidget* settings = pm->settingsWidget();
            for (QCheckBox* b : settings->findChildren<QCheckBox*>())
                if (b->text() == QLatin1String("Ion density from the ion branch")
                    || b->text() == QLatin1String("Two electron temperatures"))
                    b->setChecked(on);
            for (QPushButton* b : settings->findChildren<QPushButton*>())
                if (b->text() == QLatin1String("Apply"))
                    b->click();
            settings->hide();
            pm->analyseSession();
        };
        setOptIns(true);
        ok += shoot(w, "21-opt-in-results");
        setOptIns(false);
    }
    logScale->setChecked(false);
    pm->quantityBox(1)->setChecked(true);
    pm->quantityBox(2)->setChecked(true);
    pm->setView(PlotManager::eViewScan);
    // An axis set by hand: the X-axis Scale form of the IV graph.
    {
        GraphForm form(&w);
        form.attachPlot(pm->plot(0), QwtPlot::xBottom);
        form.autoScaleBox()->setChecked(false);
        form.minimumEdit()->setText(QStringLiteral("-15"));
        form.maximumEdit()->setText(QStringLiteral("15"));
        form.setPlotScale();
        form.show();
        settle();
        ok += shoot(form, "22-axis-range");
        form.autoScaleBox()->setChecked(true);
        form.hide();
    }
    {
        GraphExport::Options o;
        o.fileName = QStringLiteral("session-iv.pdf");
        o.format = GraphExport::ePdf;
        GraphExportDialog exportDialog(o, &w);
        exportDialog.show();
        settle();
        ok += shoot(exportDialog, "20-export-graph");
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
    finishDriveSearch(w);
    QMetaObject::invokeMethod(&w, "updateSyncFreq");
    pm->setView(PlotManager::eViewScan);
    ok += shoot(w, "7-connected");

    // The scan configuration panel of the connected session, every tab (advanced mode).
    int tabsShot = 0;
    if (ConfigParamPanel* panel = w.configPanel(w.currentSession())) {
        QMetaObject::invokeMethod(&w, "setAdvMode");
        panel->show();
        for (int i = 0; i < panel->tabs()->count(); ++i) {
            panel->selectTab(i);
            const QString tab = panel->tabs()->tabText(i).toLower().replace(' ', '-');
            tabsShot += shoot(*panel, QStringLiteral("12-config-%1-%2").arg(i).arg(tab));
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
            ok += shoot(w, "12-running-measurement");
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
    finishDriveSearch(w);
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
    ok += shoot(w, "13-spatial-trend-Ne");
    // Four positions of the profile overlaid on the IV graph, ticked in Overlay Traces.
    spatial->setView(PlotManager::eViewScan);
    for (QPushButton* b : spatial->findChildren<QPushButton*>())
        if (b->text() == QLatin1String("Overlay Traces..."))
            b->click();
    if (TraceChooser* chooser = spatial->traceChooser()) {
        for (int i : {0, 3, 6, 9})
            if (i < chooser->list()->count())
                chooser->list()->item(i)->setCheckState(Qt::Checked);
        chooser->hide();
    }
    ok += shoot(w, "24-overlay-traces");
    // A synthetic spatial time-resolved run as a map of Ne over position and time,
    // and the same graph as a figure at 12 pt with 2 pt lines.
    QMetaObject::invokeMethod(&w, "startNewSession");
    if (PlotManager* mapped = w.currentSession(); mapped != spatial) {
        SessionMaker::Options o;
        o.kind = SessionMaker::eSpatialTimeResolved;
        o.groups = 9;
        o.scansPerGroup = 16;
        o.points = 80;
        SessionMaker::fill(*mapped->data(), o);
        mapped->refreshAll();
        mapped->trendButton(4)->click(); // Ne
        mapped->setView(PlotManager::eViewMap);
        ok += shoot(w, "25-map");
        mapped->setView(PlotManager::eViewTrends);
        GraphExport::Options fig;
        fig.fileName = home.filePath(QStringLiteral("figure.png"));
        fig.widthMm = 120;
        fig.heightMm = 80;
        fig.dpi = 110;
        fig.fontPt = 12;
        fig.lineWidth = 2;
        if (GraphExport::write(mapped->shownPlots(), fig)) {
            QLabel figure;
            figure.setWindowTitle(QStringLiteral("Exported figure: 120 x 80 mm, 12 pt, 2 pt lines"));
            figure.setPixmap(QPixmap(fig.fileName));
            figure.adjustSize();
            figure.show();
            settle();
            ok += shoot(figure, "26-figure");
            figure.hide();
        }
        mapped->setModified(false);
    }
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
        ok += shoot(w, "19-trend-error-bars");
    }
    Prompter::setInstance(nullptr);

    // The dialogs, each on its own.
    auto dialog = [&](QWidget& d, const QString& name) {
        d.show();
        settle();
        ok += shoot(d, name);
        d.hide();
    };
    ProbeModeSelector probe(&w);
    dialog(probe, "8-probe-mode");
    EEDF_Dialog table(&w);
    table.setWindowTitle("Edit Default EEPF Table");
    table.setTable(EepfTable::defaultTable());
    dialog(table, "9-eepf-table");
    LangmuirSettingsWidget settings;
    settings.load(pm->data()->analysisSettings());
    dialog(settings, "10-process-settings");
    ExportOptions exportOptions(&w, false, home.filePath(QStringLiteral("ExportSettings.xml")));
    dialog(exportOptions, "11-export-options");
    // The Move dialog with the drive initialised, and its configuration dialog.
    Prompter::setInstance(&prompter);
    LinearDriver* drive = w.linearDriver();
    drive->initialise(true);
    drive->positionBox()->setValue(42.5);
    dialog(*drive, "12-move-dialog");
    ALDconfig driveConfig(&w);
    driveConfig.setValues(0.01, drive->railLength(), 50, false, 10);
    dialog(driveConfig, "13-drive-configuration");
    // The job window: a refused job (left) and one running its fifth line.
    // The errors are the test pass's own, the running job is the example job.
    ScriptDialog refused(&w);
    {
        QFile(home.filePath(QStringLiteral("example-job.ldf"))).open(QIODevice::WriteOnly);
        BatchJob job(w.jobHost(),
                     QStringLiteral("# a voltage scan, saved\nsetscanvoltages(-40, 20, 0.25)\nsleep(0)\nscan\n"
                                    "setscanvoltages(50,-100,1)\nsave(example-job.ldf)"),
                     home.path());
        refused.setLines(job.lines());
        ok += !job.test(); // refused, as pictured
        refused.setErrors(job.errors());
    }
    refused.resize(520, 260);
    dialog(refused, "14-job-refused");
    ScriptDialog runningJob(&w);
    {
        QString text, why;
        if (!BatchJob::readFile(QStringLiteral(LP_EXAMPLE_JOB), &text, &why))
            QTextStream(stderr) << LP_EXAMPLE_JOB << ": " << why << "\n";
        const BatchJob job(w.jobHost(), text);
        runningJob.setLines(job.lines());
        runningJob.setRunning(true);
        runningJob.setRunningLine(std::max(0, job.lines().indexOf(QStringLiteral("scan"))));
        ok += !text.isEmpty();
    }
    runningJob.resize(520, 300);
    dialog(runningJob, "15-job-running");
    prompter.answers << QMessageBox::No; // leave the drive where it is on closing
    for (PlotManager* s : w.sessions())
        s->setModified(false);
    w.close();
    Prompter::setInstance(nullptr);
    if (g_guide) {
        QFile texts(g_outDir + QStringLiteral("/pictures.txt"));
        if (!texts.open(QIODevice::WriteOnly | QIODevice::Text)
            || texts.write("# What each picture of the guide shows (lpscreens --guide)\n\n" + g_texts.toUtf8()) < 0)
            ok = 0;
    }
    // A state renamed here must not leave a guide picture unrendered.
    for (const QString& name : guidePictures())
        if (g_guide && !g_written.contains(name)) {
            QTextStream(stderr) << "guide picture " << name << ".png not rendered\n";
            ok = 0;
        }
    return ok == 30 && tabsShot == 7 ? 0 : 1;
}
