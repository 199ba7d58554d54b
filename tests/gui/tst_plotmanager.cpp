// The session window: results grid, views, frames, trends, files and the close prompt.
#include "AnalysisOverlay.h"
#include "ConfigParam.h"
#include "CursorPair.h"
#include "CursorPicker.h"
#include "GraphExport.h"
#include "DataAnalyzer.h"
#include "SessionConfig.h"
#include "PlotData.h"
#include "PlotErrorBarCurve.h"
#include "OptInResults.h"
#include "PlotManager.h"
#include "ResultRecord.h"
#include "PrompterFixture.h"
#include "ScriptedPrompter.h"
#include "SessionFill.h"
#include "SessionMaker.h"
#include "ThreeTracePlotter.h"
#include "AppText.h"
#include "GraphForm.h"
#include "FrameNavigator.h"
#include "FitRestorer.h"
#include "MapPlot.h"
#include <qwt_plot_spectrogram.h>
#include "TraceChooser.h"
#include "TraceOverlay.h"
#include "LangmuirSettingsWidget.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <qwt_plot_zoomer.h>
#include <qwt_scale_widget.h>
#include <qwt_scale_div.h>
#include <qwt_scale_draw.h>
#include <QCheckBox>
#include <QListWidget>
#include <QLabel>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QCloseEvent>
#include <QFileInfo>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QMenu>
#include <QContextMenuEvent>
#include <QTimer>
#include <QtTest>
#include <cmath>

namespace {
ScanRecord plainScan(int type, double position, double time)
{
    ScanRecord r;
    r.scanType = type;
    r.position = position;
    r.temporalPosition = time;
    r.date = QDateTime::fromSecsSinceEpoch(1700000000 + qint64(position * 10 + time), Qt::UTC);
    return r;
}
} // namespace

class TestPlotManager : public QObject, PrompterFixture::Prompted<>
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup() { tearDown(); }
    void emptySessionShowsDashes();
    void resultsGridTexts();
    void frameSliderClamps();
    void navigationByKeys();
    void trendSkipsFramesWithoutTheTrace();
    void trendWithinFrame();
    void timeSlicesOnly_data();
    void timeSlicesOnly();
    void trendAxisIsReadable();
    void viewSelectionRules();
    void overlapSingleDerivativeRange();
    void eepfFallbackRange_data();
    void eepfFallbackRange();
    void curvesFollowTheFrame();
    void saveNeverOverwrites();
    void loadRefusedAndUnopenable();
    void loadedSettingsStayWithTheFile();
    void shippedExampleSession();
    void closePrompt_data();
    void closePrompt();
    void untouchedSessionClosesWithoutQuestion();
    void warningsText();
    void reanalyseAppliesCropAndSettings();
    void axisDoubleClickOpensScaleForm();
    void everyCurveHasAnOwner();
    void configurationOutlivesTheSession();
    void olderSessionFileLoadsItsOwnRecord();
    void compensationSurvivesCancel();
    void logScaleDropsNonPositivePoints();
    void emptyGraphsSayNoData_data();
    void emptyGraphsSayNoData();
    void viewSwitchAndNewDataRescale();
    void analysisDrawnOnTheCurve_data();
    void analysisDrawnOnTheCurve();
    void eepfAnalysisDrawn();
    void resultsCopyAsText();
    void exportGraphFromTheWindow();
    void twoCursorsReadKTe();
    void overlayTracesWithLegend();
    void mapOfPositionAndTime();
    void fitsRestoredOnlyWhereNothingChanged();

};

namespace {
QCheckBox* boxNamed(const QWidget& w, const QString& text)
{
    for (QCheckBox* b : w.findChildren<QCheckBox*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

ScanRecord ivScan(const QVector<double>& v, const QVector<double>& i)
{
    ScanRecord r = plainScan(ScanRecord::eOtherRun, 0, 0);
    r.corrected.V = v;
    r.corrected.I = i;
    return r;
}

std::pair<double, double> yAxis(const ThreeTracePlotter* p)
{
    const QwtScaleDiv div = p->axisScaleDiv(QwtPlot::yLeft);
    return {div.lowerBound(), div.upperBound()};
}
} // namespace

void TestPlotManager::initTestCase()
{
    isolate();
    QCoreApplication::setOrganizationName("QuendrixTest");
    QCoreApplication::setApplicationName("plot-manager-test");
}

void TestPlotManager::init()
{
    QSettings().clear(); // every session window starts from the store defaults
    installPrompter();
}

void TestPlotManager::emptySessionShowsDashes()
{
    PlotManager pm;
    pm.show();
    for (int v = 0; v < PlotManager::eViewCount; ++v) {
        pm.setView(PlotManager::View(v));
        QCOMPARE(pm.view(), PlotManager::View(v));
    }
    for (int q = 0; q < 14; ++q) {
        QCOMPARE(pm.valueText(q), QString("<font color=red>---</font>"));
        QCOMPARE(pm.errorText(q), QString("<font color=green>---</font>"));
    }
    pm.frameSlider()->setValue(5);
    QCOMPARE(pm.traceIndex(), 0);
    QCOMPARE(pm.curve(PlotManager::eTimeResolve)->count(), 0);
}

void TestPlotManager::resultsGridTexts()
{
    PlotManager pm;
    ScanRecord r = plainScan(ScanRecord::eOtherRun, 0, 0);
    r.result.setValue(ResultRecord::eVp, 12.345);
    r.result.setError(ResultRecord::eVp, 0.5);
    r.result.setValue(ResultRecord::eLdebye, 1.5e-4); // shown in um
    r.result.setError(ResultRecord::eLdebye, 1.5e-5);
    r.result.setValue(ResultRecord::eIsat, -2.5e-4);  // shown in mA
    r.result.setError(ResultRecord::eIsat, NAN);
    r.result.setValue(ResultRecord::eKTe, 0.0);
    r.result.setError(ResultRecord::eKTe, 1.0);
    pm.addScan(r, false);
    QCOMPARE(pm.valueText(0), QString("<font color=red>12.3</font>"));
    QCOMPARE(pm.errorText(0), QString("<font color=green>4.1 %</font>"));
    QCOMPARE(pm.valueText(7), QString("<font color=red>150</font>"));
    QCOMPARE(pm.errorText(7), QString("<font color=green>10 %</font>"));
    QCOMPARE(pm.valueText(11), QString("<font color=red>-0.25</font>"));
    QCOMPARE(pm.errorText(11), QString("<font color=green>---</font>"));
    QCOMPARE(pm.errorText(2), QString("<font color=green>---</font>")); // value 0
    QCOMPARE(pm.valueText(1), QString("<font color=red>---</font>"));   // never computed
    QVERIFY(pm.isModified());
    QVERIFY(!pm.optInResults()->isVisibleTo(&pm)); // no opt-in values, no rows

    // The rows of an opt-in analysis that ran, and only those.
    ScanRecord fit = r;
    fit.result.setExtra(ResultRecord::eNiFit, 2e16);
    fit.result.setExtra(ResultRecord::eNiFitError, 2e15);
    fit.result.setExtra(ResultRecord::eIonRegime, 2);
    PlotManager withFit;
    withFit.addScan(fit, false);
    const OptInResults* rows = withFit.optInResults();
    QVERIFY(rows->isVisibleTo(&withFit));
    QVERIFY(rows->rowShown(ResultRecord::eNiFit) && !rows->rowShown(ResultRecord::eTeCold));
    QCOMPARE(rows->errorText(ResultRecord::eNiFit), QString("<font color=green>10 %</font>"));
    QCOMPARE(rows->valueText(ResultRecord::eIonRegime), QString("Laframboise"));
    QCOMPARE(rows->valueText(ResultRecord::eIonExponent), QString("<font color=red>---</font>"));

    // A decimal-comma locale changes nothing in the grid.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    PlotManager de;
    de.addScan(r, false);
    QLocale::setDefault(QLocale::c());
    QCOMPARE(de.valueText(0), QString("<font color=red>12.3</font>"));
    QCOMPARE(de.errorText(0), QString("<font color=green>4.1 %</font>"));
    QCOMPARE(de.valueText(11), QString("<font color=red>-0.25</font>"));
}

void TestPlotManager::frameSliderClamps()
{
    PlotManager pm;
    for (int i = 0; i < 4; ++i) {
        ScanRecord r = plainScan(ScanRecord::eOtherRun, 0, 0);
        r.resolvedTime = 10.0 * i;
        pm.addScan(r, false);
    }
    QCOMPARE(pm.frameSlider()->maximum(), 3);
    QMetaObject::invokeMethod(&pm, "setTimeValue", Q_ARG(int, 9));
    QCOMPARE(pm.traceIndex(), 3);
    QCOMPARE(pm.timeText(), QString("30.000 [<span>&mu;</span>s]"));
    QMetaObject::invokeMethod(&pm, "setTimeValue", Q_ARG(int, -2));
    QCOMPARE(pm.traceIndex(), 0);
}

// Three positions of twelve time slices each, moved through as a user does:
// arrow, Page and Home keys on the sliders, a click on a groove, a number
// typed into a spin box. Each label sits on the slider that moves it.
void TestPlotManager::navigationByKeys()
{
    PlotManager pm;
    for (int g = 0; g < 3; ++g)
        for (int s = 0; s < 12; ++s) {
            ScanRecord r = plainScan(ScanRecord::eSpatialRun, 5.0 * g, 0);
            r.resolvedTime = 2.5 * s;
            pm.addScan(r, false);
        }
    pm.resize(1200, 800);
    pm.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pm));
    QCOMPARE(pm.data()->groupCount(), 3);
    pm.setGroupIndex(0);
    pm.frameSlider()->setValue(0);
    QCOMPARE(pm.timeText(), QString("0.000 [<span>&mu;</span>s]"));
    QCOMPARE(pm.positionText(), QString("0.0 [mm]"));
    auto labelAt = [&](const QString& text) -> QWidget* {
        for (QLabel* l : pm.findChildren<QLabel*>())
            if (l->text() == text)
                return l;
        return nullptr;
    };
    auto y = [&](QWidget* w) { return w->mapTo(&pm, QPoint()).y(); };
    QWidget* position = labelAt(pm.positionText());
    QWidget* time = labelAt(pm.timeText());
    QVERIFY(position && time);
    QVERIFY(y(position) < y(pm.groupNavigator()) && y(pm.groupNavigator()) < y(time));
    QVERIFY(y(time) < y(pm.traceNavigator()));

    QSlider* frames = pm.positionSlider();
    frames->setFocus();
    QTest::keyClick(frames, Qt::Key_Right);
    QCOMPARE(pm.groupIndex(), 1);
    QCOMPARE(pm.positionText(), QString("5.0 [mm]"));
    QCOMPARE(pm.groupNavigator()->spinBox()->value(), 1);
    QTest::keyClick(frames, Qt::Key_End);
    QCOMPARE(pm.positionText(), QString("10.0 [mm]"));

    QSlider* slices = pm.frameSlider();
    slices->setFocus();
    QCOMPARE(slices->pageStep(), 2);
    QTest::keyClick(slices, Qt::Key_PageUp);
    QCOMPARE(pm.traceIndex(), 2);
    QTest::keyClick(slices, Qt::Key_Right);
    QCOMPARE(pm.traceIndex(), 3);
    QCOMPARE(pm.timeText(), QString("7.500 [<span>&mu;</span>s]"));
    QTest::keyClick(slices, Qt::Key_Home);
    QCOMPARE(pm.timeText(), QString("0.000 [<span>&mu;</span>s]"));
    // A click on the groove right of the handle moves towards it.
    QTest::mouseClick(slices, Qt::LeftButton, {}, QPoint(slices->width() - 3, slices->height() / 2));
    QVERIFY(pm.traceIndex() > 0);
    QCOMPARE(pm.traceNavigator()->spinBox()->value(), pm.traceIndex());
    QSpinBox* spin = pm.traceNavigator()->spinBox();
    spin->selectAll();
    QTest::keyClicks(spin, "11");
    QTest::keyClick(spin, Qt::Key_Return);
    QCOMPARE(pm.traceIndex(), 11);
    QCOMPARE(slices->value(), 11);
    QCOMPARE(pm.timeText(), QString("27.500 [<span>&mu;</span>s]"));
    QCOMPARE(pm.positionText(), QString("10.0 [mm]"));
}

void TestPlotManager::trendSkipsFramesWithoutTheTrace()
{
    // Three spatial frames holding 3, 1 and 3 scans.
    DataAnalyzer d;
    const int counts[3] = {3, 1, 3};
    for (int g = 0; g < 3; ++g)
        for (int s = 0; s < counts[g]; ++s) {
            ScanRecord r = plainScan(ScanRecord::eSpatialRun, 5.0 * g, 0);
            r.result.setValue(ResultRecord::eVp, 100.0 * g + s);
            d.addScan(r);
        }
    QCOMPARE(d.groupCount(), 3);
    PlotData::Series s = PlotData::trendAcrossFrames(d, 2, 0);
    QCOMPARE(s.x, (QVector<double>{0.0, 10.0}));
    QCOMPARE(s.y, (QVector<double>{2.0, 202.0}));
    s = PlotData::trendAcrossFrames(d, 0, 0);
    QCOMPARE(s.x, (QVector<double>{0.0, 5.0, 10.0}));
    QVERIFY(PlotData::trendAcrossFrames(d, 5, 0).x.isEmpty()); // no frame has it
    QVERIFY(PlotData::trendAcrossFrames(d, -1, 0).x.isEmpty());

    PlotManager pm;
    for (int g = 0; g < 3; ++g)
        for (const ScanRecord& r : d.scansOfGroup(g))
            pm.addScan(r, false);
    pm.frameSlider()->setValue(2);
    pm.trendButton(0)->click();
    QCOMPARE(pm.view(), PlotManager::eViewTrends);
    QCOMPARE(pm.curve(PlotManager::eTimeResolve)->count(), 2);
    QCOMPARE(pm.plot(0)->titleText(), QString("Vp over position"));
    QCOMPARE(pm.plot(0)->axisTitle(QwtPlot::xBottom).text(), QString("Position [mm]"));
    QCOMPARE(pm.plot(0)->axisTitle(QwtPlot::yLeft).text(), QString("Vp [V]"));
    const auto div = pm.plot(0)->axisScaleDiv(QwtPlot::xBottom);
    const double m = ((10.0 - 0.0) / 2 + 1e-7) * 0.05;
    QCOMPARE(div.lowerBound(), -m);
    QCOMPARE(div.upperBound(), 10.0 + m);
    // Moving to the frame that lacks trace 2 keeps the trend and never reads past its scans.
    pm.setGroupIndex(1);
    QCOMPARE(pm.traceIndex(), 0);
}

void TestPlotManager::trendWithinFrame()
{
    PlotManager pm;
    fillSession(pm, 5, 80);
    pm.trendButton(2)->click(); // kTe
    QCOMPARE(pm.view(), PlotManager::eViewTimeResolve);
    PlotErrorBarCurve* c = pm.curve(PlotManager::eTimeResolve);
    QCOMPARE(c->count(), 5);
    QCOMPARE(c->sample(4).x(), 40.0);
    QCOMPARE(c->sample(1).y(), ResultQuantity::displayValue(pm.data()->scansOfGroup(0)[1].result, 2));
    QCOMPARE(pm.plot(0)->axisTitle(QwtPlot::xBottom).text(), QString("Time [<span>&mu;</span>s]"));
    QCOMPARE(pm.plot(0)->titleText(), QString("kTe over the pulse"));
    QCOMPARE(pm.plot(0)->axisTitle(QwtPlot::yLeft).text(), QString("kTe [eV]"));
    // View Trends on one frame of time slices shows the slices.
    pm.setView(PlotManager::eViewTrends);
    QCOMPARE(c->count(), 5);
    QCOMPARE(pm.plot(0)->titleText(), QString("kTe over the pulse"));
    QVERIFY(!pm.plot(0)->noDataShown());

    // One scan only: nothing drawn, and the graph says why.
    PlotManager single;
    single.addScan(plainScan(ScanRecord::eOtherRun, 0, 0), false);
    single.trendButton(0)->click();
    QCOMPARE(single.curve(PlotManager::eTimeResolve)->count(), 0);
    QCOMPARE(single.plot(0)->axisTitle(QwtPlot::yLeft).text(), QString("Vp [V]"));
    QVERIFY(single.plot(0)->noDataShown());
    QVERIFY(single.plot(0)->noDataText().contains("two or more"));
    single.setView(PlotManager::eViewTrends);
    QCOMPARE(single.plot(0)->noDataText(), QString("Trends need a time or spatial run with two or more frames, "
                                                   "or a time-resolved run (View Time Resolve)"));
}

void TestPlotManager::timeSlicesOnly_data()
{
    // Resolved times of the scans of one frame, in filing order; the trace
    // shown, the times drawn by View Time Resolve and the Time label of the trace.
    QTest::addColumn<QVector<double>>("times");
    QTest::addColumn<int>("trace");
    QTest::addColumn<QVector<double>>("drawn");
    QTest::addColumn<QString>("label");
    const QString none = "--- [<span>&mu;</span>s]";
    QTest::newRow("time-averaged scan first") << QVector<double>{0, 0, 10, 20} << 0 << QVector<double>{0, 10, 20}
                                              << none;
    QTest::newRow("time-averaged scan last") << QVector<double>{5, 10, 0} << 2 << QVector<double>{5, 10} << none;
    QTest::newRow("two runs, trace in the first")
        << QVector<double>{0, 10, 0, 10, 20} << 1 << QVector<double>{0, 10} << "10.000 [<span>&mu;</span>s]";
    QTest::newRow("two runs, trace in the second") << QVector<double>{0, 10, 0, 10, 20} << 3
                                                   << QVector<double>{0, 10, 20} << "10.000 [<span>&mu;</span>s]";
    QTest::newRow("time-averaged scans only") << QVector<double>{0, 0} << 0 << QVector<double>{} << none;
    QTest::newRow("time-averaged scan before a delayed run")
        << QVector<double>{0, 5, 15, 25} << 0 << QVector<double>{5, 15, 25} << none;
    QTest::newRow("first time slice") << QVector<double>{0, 2.5, 5} << 0 << QVector<double>{0, 2.5, 5}
                                      << "0.000 [<span>&mu;</span>s]";
}

void TestPlotManager::timeSlicesOnly()
{
    QFETCH(QVector<double>, times);
    QFETCH(int, trace);
    QFETCH(QVector<double>, drawn);
    QFETCH(QString, label);
    PlotManager pm;
    for (double t : times) {
        ScanRecord r = plainScan(ScanRecord::eOtherRun, 0, 0);
        r.resolvedTime = t;
        r.result.setValue(ResultRecord::eVp, 10.0 + t);
        r.result.setError(ResultRecord::eVp, -0.5); // errors are magnitudes
        pm.addScan(r, false);
    }
    const DataAnalyzer& d = *pm.data();
    QCOMPARE(d.groupCount(), 1);
    const PlotData::Series s = PlotData::trendWithinFrame(d, 0, 0, trace);
    QCOMPARE(s.x, drawn);
    QCOMPARE(s.err, QVector<double>(drawn.size(), 0.5));
    pm.frameSlider()->setValue(trace);
    QCOMPARE(pm.timeText(), label);
    pm.setView(PlotManager::eViewTimeResolve);
    QCOMPARE(pm.curve(PlotManager::eTimeResolve)->dataSize(), size_t(drawn.size() >= 2 ? drawn.size() : 0));
}

// A trend of values that differ in the fifth digit: the axis spans +-1 % of
// the value (more with error bars) and its labels all differ.
void TestPlotManager::trendAxisIsReadable()
{
    PlotManager pm;
    pm.show();
    const double vp[3] = {10.37222, 10.37224, 10.37221};
    for (int g = 0; g < 3; ++g) {
        ScanRecord r = plainScan(ScanRecord::eTimedRun, 0, 10.0 * g);
        r.result.setValue(ResultRecord::eVp, vp[g]);
        r.result.setError(ResultRecord::eVp, 0.3);
        pm.addScan(r, false);
    }
    boxNamed(pm, "Show Error bars")->setChecked(false);
    pm.trendButton(0)->click();
    QCOMPARE(pm.view(), PlotManager::eViewTrends);
    ThreeTracePlotter* p = pm.plot(0);
    auto y = yAxis(p);
    QVERIFY2(y.second - y.first >= 0.02 * 10.3722 - 1e-6 && y.first < 10.37221 && y.second > 10.37224,
             qPrintable(QString("%1 %2").arg(y.first).arg(y.second)));
    QStringList labels;
    for (double t : p->axisScaleDiv(QwtPlot::yLeft).ticks(QwtScaleDiv::MajorTick))
        labels << p->axisScaleDraw(QwtPlot::yLeft)->label(t).text();
    QVERIFY(labels.size() >= 2);
    QCOMPARE(labels.removeDuplicates(), 0);
    // Error bars drawn: the axis holds them.
    boxNamed(pm, "Show Error bars")->setChecked(true);
    QVERIFY(pm.curve(PlotManager::eTimeResolve)->showYErrors());
    y = yAxis(p);
    QVERIFY(y.first <= 10.37221 - 0.3 && y.second >= 10.37224 + 0.3);
}

void TestPlotManager::viewSelectionRules()
{
    PlotManager pm;
    pm.show();
    pm.setView(PlotManager::eViewEepf);
    QVERIFY(!pm.viewButton(PlotManager::eViewScan)->isChecked()); // one view at a time
    pm.viewButton(PlotManager::eViewEepf)->setChecked(false);
    QVERIFY(pm.viewButton(PlotManager::eViewPrescan)->isChecked()); // the first comes back
    QCOMPARE(pm.view(), PlotManager::eViewPrescan);
    for (int i = 0; i < 3; ++i)
        pm.quantityBox(i)->setChecked(false);
    QVERIFY(pm.quantityBox(0)->isChecked());
    pm.setView(PlotManager::eViewScan);
    QCOMPARE(pm.plot(0)->titleText(), QString("Probe Current vs Probe Voltage"));
    QVERIFY(pm.plot(0)->isVisible());
    QVERIFY(!pm.plot(1)->isVisible()); // its check box is off
    pm.quantityBox(1)->setChecked(true);
    QVERIFY(pm.plot(1)->isVisible());
    pm.setView(PlotManager::eViewEepf);
    QVERIFY(pm.plot(0)->isLogScale());
    QCOMPARE(pm.plot(0)->titleText(), QString("EEPF vs Energy"));
    QVERIFY(!pm.plot(1)->isVisible());
    pm.setView(PlotManager::eViewScan);
    QVERIFY(!pm.plot(0)->isLogScale());
}

void TestPlotManager::overlapSingleDerivativeRange()
{
    PlotManager pm;
    pm.show();
    fillSession(pm, 1, 120);
    QCheckBox* overlap = boxNamed(pm, "Graph Overlap");
    QVERIFY(overlap);
    overlap->setChecked(true);
    pm.quantityBox(0)->setChecked(false);
    pm.quantityBox(2)->setChecked(false);
    QCOMPARE(pm.plot(0)->axisTitle(QwtPlot::yLeft).text(), QString("dI/dU [A/V]"));
    QVERIFY(!pm.plot(1)->isVisible() && !pm.plot(2)->isVisible());
    const PlotErrorBarCurve* d1 = pm.curve(PlotManager::eScan1D1);
    QVERIFY(d1->count() > 10);
    const double lo = d1->bound(PlotErrorBarCurve::eYMin), hi = d1->bound(PlotErrorBarCurve::eYMax);
    const auto div = pm.plot(0)->axisScaleDiv(QwtPlot::yLeft);
    QCOMPARE(div.lowerBound(), lo - 0.1 * (hi - lo));
    QCOMPARE(div.upperBound(), hi + 0.1 * (hi - lo));
}

void TestPlotManager::eepfFallbackRange_data()
{
    QTest::addColumn<QVector<double>>("eepf");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::newRow("at the floor") << QVector<double>{1e9, 1e9, 1e9} << 1e10 << 1e14;
    QTest::newRow("below 1e9") << QVector<double>{5e8, 2e8, 1e8} << 1e10 << 1e14;
    QTest::newRow("zero maximum") << QVector<double>{0, 0, 0} << 1e10 << 1e14;
    QTest::newRow("negative") << QVector<double>{-5, -3, -1} << 1e10 << 1e14;
    QTest::newRow("all nan") << QVector<double>{NAN, NAN, NAN} << 1e10 << 1e14;
    QTest::newRow("1e15 decade") << QVector<double>{2e15, 1e14, 1e13} << 1e12 << 1e16;
}

void TestPlotManager::eepfFallbackRange()
{
    QFETCH(QVector<double>, eepf);
    PlotManager pm;
    pm.show();
    ScanRecord r = plainScan(ScanRecord::eOtherRun, 0, 0);
    r.eepf.energy = {1, 2, 3};
    r.eepf.EEDF = eepf;
    r.eepf.EEDF_error = {0, 0, 0};
    r.eepf.EEDF_low_error = {0, 0, 0};
    pm.addScan(r, false);
    pm.setView(PlotManager::eViewEepf);
    const auto div = pm.plot(0)->axisScaleDiv(QwtPlot::yLeft);
    QTEST(div.lowerBound(), "low");
    QTEST(div.upperBound(), "high");
}

void TestPlotManager::curvesFollowTheFrame()
{
    // The curves hold raw pointers: after every frame change they must show
    // the new frame's data, never the old vectors.
    PlotManager pm;
    pm.show();
    fillSession(pm, 4, 60);
    pm.setView(PlotManager::eViewScan);
    for (int t : {2, 0, 3}) {
        pm.frameSlider()->setValue(t);
        const ScanRecord& scan = pm.data()->scansOfGroup(0)[t];
        const PlotErrorBarCurve* c = pm.curve(PlotManager::eCompensatedIV);
        QCOMPARE(c->count(), scan.corrected.V.size());
        for (int i : {0, c->count() / 2, c->count() - 1}) {
            QCOMPARE(c->sample(i).x(), scan.corrected.V[i]);
            QCOMPARE(c->sample(i).y(), scan.corrected.I[i]);
        }
        QCOMPARE(pm.valueText(0), AppText::valueText(scan.result.value(ResultRecord::eVp)));
    }
    pm.setView(PlotManager::eViewEepf);
    pm.frameSlider()->setValue(1);
    const ScanRecord& s1 = pm.data()->scansOfGroup(0)[1];
    QCOMPARE(pm.curve(PlotManager::eScan2Eepf)->count(), s1.eepf.energy.size());
    QCOMPARE(pm.curve(PlotManager::eScan2Eepf)->sample(0).y(), s1.eepf.EEDF[0]);
}

void TestPlotManager::saveNeverOverwrites()
{
    PlotManager pm;
    fillSession(pm, 2, 50);
    const QString run = m_dir.filePath("run.ldf");
    QString dialogPath;
    pm.setDialogPathStore(&dialogPath);
    m_prompter->saveNames << run;
    QVERIFY(pm.saveSession()); // no file yet: asks for a name
    QVERIFY(QFileInfo::exists(run));
    QCOMPARE(dialogPath, m_dir.path());
    QCOMPARE(pm.sessionTitle(), QString("run.ldf"));
    QVERIFY(pm.isSaved() && !pm.isModified());
    const QByteArray first = [&] { QFile f(run); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    QVERIFY(!pm.isWindowModified());
    pm.setModified(true);
    QVERIFY(pm.isWindowModified()); // the title's modified mark
    QVERIFY(pm.saveSession());
    QCOMPARE(pm.data()->fileName(), m_dir.filePath("run_1.ldf"));
    QVERIFY(!pm.isWindowModified());
    QVERIFY(pm.saveSession());
    QCOMPARE(pm.data()->fileName(), m_dir.filePath("run_1_1.ldf"));
    QFile f(run);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), first); // the first file was never touched
    // A file that has disappeared: save as; a name without suffix gets ".ldf",
    // and the dialog starts at the session's file.
    QFile::remove(m_dir.filePath("run_1_1.ldf"));
    m_prompter->saveNames << m_dir.filePath("again");
    QVERIFY(pm.saveSession());
    QCOMPARE(pm.data()->fileName(), m_dir.filePath("again.ldf"));
    QCOMPARE(m_prompter->fileStarts.last(), m_dir.filePath("run_1_1.ldf"));
    // Round trip: a new window reads what was written.
    PlotManager back;
    QVERIFY(back.load(m_dir.filePath("again.ldf")));
    QCOMPARE(back.data()->scanCount(), 2);
    QCOMPARE(back.sessionTitle(), QString("again.ldf"));
    QVERIFY(back.isSaved() && !back.isModified());
}

void TestPlotManager::loadedSettingsStayWithTheFile()
{
    const QString file = m_dir.filePath("heavy.ldf");
    {
        PlotManager pm;
        LangmuirSettings s = pm.data()->analysisSettings();
        s.ionMass = 131; // xenon, only in this file
        pm.data()->setAnalysisSettings(s);
        pm.addScan(plainScan(ScanRecord::eOtherRun, 0, 0), false);
        QVERIFY(pm.save(file));
    }
    {
        PlotManager loaded;
        QVERIFY(loaded.load(file));
        QCOMPARE(loaded.data()->analysisSettings().ionMass, 131.0);
        QCOMPARE(loaded.singleSettings().ionMass, 131.0);
    }
    PlotManager fresh; // the user's defaults are untouched by the file
    QCOMPARE(fresh.singleSettings().ionMass, 40.0);
}

void TestPlotManager::loadRefusedAndUnopenable()
{
    PlotManager pm;
    QVERIFY(!pm.load(m_dir.filePath("missing.ldf")));
    QCOMPARE(m_prompter->asked.size(), 1);
    QVERIFY(m_prompter->asked.first().text.startsWith("Cannot open file ["));
    QCOMPARE(m_prompter->asked.first().icon, QMessageBox::Critical);
    const QString v4 = m_dir.filePath("v4.ldf");
    QFile f(v4);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<?xml version=\"1.0\"?><measuredData sensor=\"Langmuir Probe\" version=\"4\"/>");
    f.close();
    m_prompter->asked.clear();
    QVERIFY(!pm.load(v4));
    // The reader's reason, in a box.
    QCOMPARE(m_prompter->asked.size(), 1);
    QCOMPARE(m_prompter->asked.first().icon, QMessageBox::Critical);
    QCOMPARE(m_prompter->asked.first().text,
             QStringLiteral("Cannot read file [%1]\nSession file version 4 is not supported.\n").arg(v4));
    const QString cut = m_dir.filePath("cut.ldf");
    QFile c(cut);
    QVERIFY(c.open(QIODevice::WriteOnly));
    c.write("<?xml version=\"1.0\"?>\n<measuredData sensor=\"Langmuir Probe\" version=\"3\">\n<header>");
    c.close();
    m_prompter->asked.clear();
    QVERIFY(!pm.load(cut));
    QCOMPARE(m_prompter->asked.size(), 1);
    QVERIFY2(QRegularExpression("^Cannot read file \\[.*cut\\.ldf\\]\nReading stopped.* on line 3: "
                                "Premature end of document\\.\n$")
                 .match(m_prompter->asked.first().text)
                 .hasMatch(),
             qPrintable(m_prompter->asked.first().text));
    // Cut off in its last scan: the complete scans load, analysed, as a
    // modified session, and a box says so.
    QFile example(QStringLiteral(LP_EXAMPLE_SESSION));
    QVERIFY(example.open(QIODevice::ReadOnly));
    QByteArray doc = example.readAll();
    DataAnalyzer whole;
    QVERIFY(SessionFile::load(whole, QStringLiteral(LP_EXAMPLE_SESSION)));
    const int kept = whole.scanCount() - 1;
    doc.truncate(doc.lastIndexOf("<results>"));
    QVERIFY(c.open(QIODevice::WriteOnly | QIODevice::Truncate));
    c.write(doc);
    c.close();
    m_prompter->asked.clear();
    QVERIFY(pm.load(cut));
    QCOMPARE(pm.data()->scanCount(), kept);
    QVERIFY(pm.isModified());
    QCOMPARE(m_prompter->texts(), QStringList{QStringLiteral("%1\nThe file ends early: %2 complete scans recovered.")
                                                  .arg(cut)
                                                  .arg(kept)});
    // Saving into a folder that does not exist fails with the write message.
    QVERIFY(!pm.save(m_dir.filePath("no/such/folder/x.ldf")));
    QVERIFY(m_prompter->asked.last().text.startsWith("Cannot write file ["));
}

void TestPlotManager::closePrompt_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("saveAs");
    QTest::addColumn<bool>("closes");
    QTest::newRow("cancel") << int(QMessageBox::Cancel) << QString() << false;
    QTest::newRow("discard") << int(QMessageBox::Discard) << QString() << true;
    QTest::newRow("save cancelled") << int(QMessageBox::Save) << QString() << false;
    QTest::newRow("save failed then cancelled") << int(QMessageBox::Save) << "/no/such/folder/x.ldf" << false;
    QTest::newRow("save done") << int(QMessageBox::Save) << "prompt.ldf" << true;
}

void TestPlotManager::closePrompt()
{
    QFETCH(int, answer);
    QFETCH(QString, saveAs);
    PlotManager pm;
    pm.setWindowTitle("Session 7");
    pm.addScan(plainScan(ScanRecord::eOtherRun, 0, 0), false);
    QSignalSpy spy(&pm, &PlotManager::close);
    m_prompter->answers << QMessageBox::StandardButton(answer);
    if (!saveAs.isEmpty())
        m_prompter->saveNames << (saveAs.startsWith('/') ? saveAs : m_dir.filePath(saveAs));
    QCloseEvent e;
    QApplication::sendEvent(&pm, &e);
    QCOMPARE(m_prompter->asked.first().text, QString("Session : 'Session 7' has been modified."));
    QCOMPARE(m_prompter->asked.first().informative, QString("Do you want to save changes?"));
    QTEST(e.isAccepted(), "closes");
    QTEST(spy.count() == 1, "closes");
}

void TestPlotManager::untouchedSessionClosesWithoutQuestion()
{
    PlotManager pm;
    QSignalSpy spy(&pm, &PlotManager::close);
    QCloseEvent e;
    QApplication::sendEvent(&pm, &e);
    QVERIFY(e.isAccepted());
    QCOMPARE(spy.count(), 1);
    QVERIFY(m_prompter->asked.isEmpty());
}

void TestPlotManager::warningsText()
{
    PlotManager pm;
    pm.addScan(plainScan(ScanRecord::eOtherRun, 0, 0), false);
    QCOMPARE(pm.warningsText(), QString("Analysis for this time frame has not run yet."));
    ScanRecord bad = plainScan(ScanRecord::eOtherRun, 0, 0);
    bad.error = "Vf not found";
    pm.addScan(bad, false);
    pm.frameSlider()->setValue(1);
    QCOMPARE(pm.warningsText(), QString("Vf not found"));
}

void TestPlotManager::reanalyseAppliesCropAndSettings()
{
    PlotManager pm;
    fillSession(pm, 2, 120);
    const int full = pm.data()->scansOfGroup(0)[0].corrected.V.size();
    QVERIFY(full > 100);
    auto* start = pm.findChild<QSpinBox*>("startCrop");
    QPushButton* reanalyse = nullptr;
    for (QPushButton* b : pm.findChildren<QPushButton*>())
        if (b->text() == "Reanalyse")
            reanalyse = b;
    QVERIFY(start && reanalyse);
    start->setValue(10);
    QCOMPARE(pm.data()->analysisSettings().startCrop, 10);
    reanalyse->click();
    QCOMPARE(pm.data()->scansOfGroup(0)[0].corrected.V.size(), full - 10);
    QVERIFY(pm.isModified());

    // F7's widget: Apply hands the record to the session (crop counts stay).
    pm.showSettings();
    LangmuirSettingsWidget* w = pm.settingsWidget();
    QVERIFY(w && w->isVisible());
    QCOMPARE(w->windowTitle(), QString("Process Settings"));
    w->field(LangmuirSettingsWidget::eIonMass)->setText("4");
    w->applyButton()->click();
    QCOMPARE(pm.data()->analysisSettings().ionMass, 4.0);
    QCOMPARE(pm.data()->analysisSettings().startCrop, 10);
    QCOMPARE(pm.singleSettings().ionMass, 4.0);
    QVERIFY(!w->isVisible());
}

namespace {
GraphForm* openForm()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<GraphForm*>(w); f && f->isVisible())
            return f;
    return nullptr;
}

std::pair<double, double> xAxis(const ThreeTracePlotter* p)
{
    const QwtScaleDiv div = p->axisScaleDiv(QwtPlot::xBottom);
    return {div.lowerBound(), div.upperBound()};
}

// Types a range into the open form as a user does: untick, type, Return.
void typeRange(GraphForm* form, const QString& low, const QString& high)
{
    form->autoScaleBox()->setChecked(false);
    for (auto [edit, text] : {std::make_pair(form->minimumEdit(), low), std::make_pair(form->maximumEdit(), high)}) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
}
} // namespace

// The x axis spans the voltages drawn, not the configured sweep; a double
// click on either axis opens its range form; a typed range stays over frames
// and views until Automatic Scale returns to the data's.
void TestPlotManager::axisDoubleClickOpensScaleForm()
{
    PlotManager pm;
    pm.data()->configuration().dataScanRunParam.voltageStart = -50;
    pm.data()->configuration().dataScanRunParam.voltageEnd = 60;
    pm.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pm));
    QVERIFY(!openForm());
    pm.addScan(ivScan({-21.6, -5, 13.3}, {-2e-4, 1e-4, 3e-3}), false);
    pm.addScan(ivScan({-20, -5, 12}, {-1e-4, 1e-4, 2e-3}), false);
    pm.setView(PlotManager::eViewScan);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(xAxis(pm.plot(i)), std::make_pair(-21.6, 13.3));

    QwtScaleWidget* left = pm.plot(1)->axisWidget(QwtPlot::yLeft);
    QTest::mouseDClick(left, Qt::LeftButton, Qt::NoModifier, left->rect().center());
    GraphForm* form = openForm();
    QVERIFY(form);
    QCOMPARE(form->plot(), static_cast<QwtPlot*>(pm.plot(1)));
    QCOMPARE(form->windowTitle(), QString("Y-axis Scale"));
    QwtScaleWidget* bottom = pm.plot(0)->axisWidget(QwtPlot::xBottom);
    QTest::mouseDClick(bottom, Qt::LeftButton, Qt::NoModifier, bottom->rect().center());
    QCOMPARE(openForm(), form);
    QCOMPARE(form->plot(), static_cast<QwtPlot*>(pm.plot(0)));
    QCOMPARE(form->windowTitle(), QString("X-axis Scale"));
    QVERIFY(form->autoScaleBox()->isChecked());
    QCOMPARE(form->minimumEdit()->text(), QString("-21.6"));
    typeRange(form, "-10", "5");
    QCOMPARE(xAxis(pm.plot(0)), std::make_pair(-10.0, 5.0));
    // Another frame, a round through the EEPF: the typed range stays.
    pm.frameSlider()->setValue(1);
    pm.setView(PlotManager::eViewEepf);
    pm.setView(PlotManager::eViewScan);
    QCOMPARE(xAxis(pm.plot(0)), std::make_pair(-10.0, 5.0));
    QCOMPARE(xAxis(pm.plot(1)), std::make_pair(-20.0, 12.0)); // only the graph set by hand
    form->autoScaleBox()->setChecked(true);
    QCOMPARE(xAxis(pm.plot(0)), std::make_pair(-20.0, 12.0));
    // Zooming in and back out comes home to the data's range.
    pm.plot(0)->zoomer()->zoom(QRectF(-5, 0, 5, 1e-3));
    pm.plot(0)->zoomer()->zoom(0);
    QCOMPARE(xAxis(pm.plot(0)), std::make_pair(-20.0, 12.0));
    emit pm.plot(2)->leftAxisDoubleClick();
    QCOMPARE(form->plot(), static_cast<QwtPlot*>(pm.plot(2)));
    pm.hideToolWindows();
    QVERIFY(!form->isVisible());
    // Nothing drawn: the configured sweep.
    PlotManager empty;
    empty.data()->configuration().dataScanRunParam.voltageStart = -50;
    empty.data()->configuration().dataScanRunParam.voltageEnd = 60;
    empty.refreshAll();
    QCOMPARE(xAxis(empty.plot(0)), std::make_pair(-50.0, 60.0));
}

void TestPlotManager::shippedExampleSession()
{
    // The example the run command opens: a time-resolved session of the
    // simulated pulsed plasma, analysed, with a trend that follows the pulse.
    PlotManager pm;
    QVERIFY(pm.load(QStringLiteral(LP_EXAMPLE_SESSION)));
    QCOMPARE(pm.data()->groupCount(), 1);
    QVERIFY(pm.data()->scanCount() >= 10);
    for (const ScanRecord& s : pm.data()->scansOfGroup(0)) {
        QVERIFY(std::isfinite(s.result.value(ResultRecord::eVp)));
        QVERIFY(s.result.value(ResultRecord::eKTe) > 0.5 && s.result.value(ResultRecord::eKTe) < 10);
    }
    pm.trendButton(4)->click(); // Ne over the SYNC period
    const PlotErrorBarCurve* c = pm.curve(PlotManager::eTimeResolve);
    QCOMPARE(c->count(), pm.data()->scanCount());
    QVERIFY(c->bound(PlotErrorBarCurve::eYMax) > 1.5 * c->bound(PlotErrorBarCurve::eYMin));
}

// The window owns its curves, attached to a plot or not: none outlives it.
void TestPlotManager::everyCurveHasAnOwner()
{
    const int before = PlotErrorBarCurve::liveCount();
    {
        PlotManager pm;
        pm.show();
        QCOMPARE(PlotErrorBarCurve::liveCount(),
                 before + PlotManager::eCurveCount + AnalysisOverlay::eLineCount + TraceOverlay::kMaxTraces);
        for (int v = 0; v < PlotManager::eViewCount; ++v)
            pm.setView(PlotManager::View(v));
    }
    QCOMPARE(PlotErrorBarCurve::liveCount(), before);
}

void TestPlotManager::configurationOutlivesTheSession()
{
    SingleProbeConfigParam single;
    single.voltageIdle = -80;
    DoubleProbeConfigParam dbl;
    dbl.dcCScanSweeps = 7;
    SingleProbeConfigParam editedSingle;
    DoubleProbeConfigParam editedDouble;
    {
        PlotManager pm;
        pm.seedConfigs(single, dbl);
        QCOMPARE(pm.activeConfig().voltageIdle, -80.0);
        pm.activeConfig().sync.bUseSyncScan = true;
        pm.activeConfig().sync.resolution = 2.5;
        pm.activeConfig().clean.relaxTime = 45;
        pm.activeConfig().timed.bUseTimedScan = true;
        pm.activeConfig().timed.start = 3;
        pm.activeConfig().timed.step = 7.5;
        pm.activeConfig().timed.end = 600;
        pm.activeConfig().spat.useRetract = true;
        pm.activeConfig().spat.retractPosition = 120;
        pm.setSwProbeMode(5);
        QVERIFY(pm.isDoubleProbeSession());
        QCOMPARE(pm.activeConfig().dcCScanSweeps, 7u);
        pm.activeConfig().dataScanRunParam.voltageEnd = 33;
        // What a run changes in its working copy stays out of the records.
        pm.configs().refreshWorkingCopy().dataScanRunParam.voltageEnd = -1;
        editedSingle = pm.configs().single();
        editedDouble = pm.configs().doubleProbe();
    }
    // The next start of the program reads what the session left.
    SingleProbeConfigParam single2;
    single2.readSettings();
    DoubleProbeConfigParam double2;
    double2.readSettings();
    single2.probeMode = editedSingle.probeMode;
    double2.probeMode = editedDouble.probeMode;
    double2.useDoubleProbe = editedDouble.useDoubleProbe;
    QCOMPARE(single2.toMap(), editedSingle.toMap());
    QCOMPARE(double2.toMap(), editedDouble.toMap());
    QCOMPARE(double2.dataScanRunParam.voltageEnd, 33.0);
    QCOMPARE(single2.timed.step, 7.5);
    QVERIFY(single2.spat.useRetract);
    QCOMPARE(single2.spat.retractPosition, 120.0);
}

void TestPlotManager::olderSessionFileLoadsItsOwnRecord()
{
    // The shipped example was written before timed-run and retract settings
    // were kept: it loads with its own values and the kind's defaults for the
    // rest, whatever the session held before.
    PlotManager pm;
    pm.activeConfig().timed.bUseTimedScan = true;
    pm.activeConfig().spat.useRetract = true;
    pm.activeConfig().clean.scanRunParam.voltageStart = 12;
    QVERIFY(pm.load(QStringLiteral(LP_EXAMPLE_SESSION)));
    QFile f(QStringLiteral(LP_EXAMPLE_SESSION));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    QVERIFY(!text.contains("timedParam_"));
    const ConfigParam& c = pm.activeConfig();
    const SingleProbeConfigParam kind;
    QCOMPARE(c.timed.bUseTimedScan, kind.timed.bUseTimedScan);
    QCOMPARE(c.timed.step, kind.timed.step);
    QCOMPARE(c.spat.useRetract, kind.spat.useRetract);
    QVERIFY(c.clean.scanRunParam == kind.clean.scanRunParam);
    // Every key the file carries comes back with the file's text.
    const QMap<QString, QString> m = c.toMap();
    int found = 0;
    for (auto it = m.cbegin(); it != m.cend(); ++it) {
        if (text.contains(QStringLiteral("<%1>%2</%1>").arg(it.key(), it.value())))
            ++found;
    }
    QCOMPARE(found, 78); // every key of the file
    QVERIFY(c.sync.bUseSyncScan); // a time-resolved session
}

void TestPlotManager::compensationSurvivesCancel()
{
    PlotManager pm;
    pm.showSettings();
    QVERIFY(!pm.data()->analysisSettings().correctDC);
    QCheckBox* dc = nullptr;
    for (QCheckBox* b : pm.settingsWidget()->findChildren<QCheckBox*>())
        if (b->text() == "Compensate for plasma resistance")
            dc = b;
    QVERIFY(dc);
    dc->setChecked(true);
    for (QPushButton* b : pm.settingsWidget()->findChildren<QPushButton*>())
        if (b->text() == "Cancel")
            b->click();
    QVERIFY(pm.singleSettings().correctDC);
    QVERIFY(pm.data()->analysisSettings().correctDC);
}

QTEST_MAIN(TestPlotManager)
#include "tst_plotmanager.moc"

// On a log axis the IV graph leaves out what it cannot draw and spans
// 0.1 x the smallest to 2 x the largest positive current.
void TestPlotManager::logScaleDropsNonPositivePoints()
{
    PlotManager pm;
    pm.show();
    pm.addScan(ivScan({-20, -10, 0, 5, 10, 20}, {-1e-3, -1e-4, 0.0, 2e-5, 1e-3, 4e-2}), false);
    pm.setView(PlotManager::eViewScan);
    boxNamed(pm, "Show Error bars")->setChecked(false);
    QCOMPARE(yAxis(pm.plot(0)), std::make_pair(-1e-3, 4e-2));
    boxNamed(pm, "log scale")->setChecked(true);
    QVERIFY(pm.plot(0)->isLogScale());
    const PlotErrorBarCurve* c = pm.curve(PlotManager::eCompensatedIV);
    QCOMPARE(c->count(), 6);
    for (int k : {0, 1, 2})
        QVERIFY(std::isnan(c->sample(k).y()));
    QCOMPARE(c->sample(3).y(), 2e-5);
    const auto y = yAxis(pm.plot(0));
    QCOMPARE(y.first, 2e-6);
    QCOMPARE(y.second, 8e-2);
    QVERIFY(!pm.plot(0)->noDataShown());
    // The clipboard still gets the whole curve.
    QVERIFY(pm.clipboardText().contains(QStringLiteral("-20\t-0.001")));
    // Only negative currents: nothing to draw on a log axis, and it says so.
    pm.addScan(ivScan({-20, -10}, {-1e-3, -1e-4}), false);
    pm.frameSlider()->setValue(1);
    QVERIFY(pm.plot(0)->noDataShown());
    QCOMPARE(yAxis(pm.plot(0)), std::make_pair(1.0, 10.0));
    boxNamed(pm, "log scale")->setChecked(false);
    QVERIFY(!pm.plot(0)->noDataShown());
    QCOMPARE(yAxis(pm.plot(0)), std::make_pair(-1e-3, -1e-4));
}

void TestPlotManager::emptyGraphsSayNoData_data()
{
    QTest::addColumn<int>("view");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::newRow("prescan") << int(PlotManager::eViewPrescan) << 0.0 << 1.0;
    QTest::newRow("scan") << int(PlotManager::eViewScan) << 0.0 << 1.0;
    QTest::newRow("eepf") << int(PlotManager::eViewEepf) << 1e10 << 1e14;
    QTest::newRow("time resolve") << int(PlotManager::eViewTimeResolve) << 0.0 << 1.0;
    QTest::newRow("trends") << int(PlotManager::eViewTrends) << 0.0 << 1.0;
}

void TestPlotManager::emptyGraphsSayNoData()
{
    QFETCH(int, view);
    PlotManager pm;
    pm.show();
    // A scan without curves or results (e.g. an aborted one), shown with its NaN results.
    pm.addScan(plainScan(ScanRecord::eOtherRun, 0, 0), false);
    pm.addScan(plainScan(ScanRecord::eOtherRun, 0, 1), false);
    pm.setView(PlotManager::eViewEepf);
    pm.setView(PlotManager::View(view));
    QVERIFY(pm.plot(0)->noDataShown());
    QTEST(yAxis(pm.plot(0)).first, "low");
    QTEST(yAxis(pm.plot(0)).second, "high");
    const QwtScaleDiv x = pm.plot(0)->axisScaleDiv(QwtPlot::xBottom);
    QVERIFY(std::isfinite(x.lowerBound()) && x.lowerBound() < x.upperBound());
}

// A new view, and new data, set the axes to what is shown now and drop the zoom.
void TestPlotManager::viewSwitchAndNewDataRescale()
{
    PlotManager pm;
    pm.show();
    ScanRecord r = ivScan({-10, 0, 10}, {-2e-4, 1e-4, 3e-3});
    r.eepf.energy = {1, 2, 3};
    r.eepf.EEDF = {3e16, 2e16, 1e15};
    r.eepf.EEDF_error = {0, 0, 0};
    r.eepf.EEDF_low_error = {0, 0, 0};
    pm.addScan(r, false);
    boxNamed(pm, "Show Error bars")->setChecked(false);
    pm.setView(PlotManager::eViewScan);
    ThreeTracePlotter* p = pm.plot(0);
    QCOMPARE(yAxis(p), std::make_pair(-2e-4, 3e-3));
    p->zoomer()->zoom(QRectF(-5, 0, 5, 1e-3));
    QCOMPARE(p->zoomer()->zoomRectIndex(), 1u);

    pm.setView(PlotManager::eViewEepf);
    QCOMPARE(p->zoomer()->zoomRectIndex(), 0u);
    QCOMPARE(yAxis(p), std::make_pair(1e13, 1e17));
    QCOMPARE(p->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 1.0);
    QCOMPARE(p->axisScaleDiv(QwtPlot::xBottom).upperBound(), 3.0);
    QVERIFY(!p->noDataShown());

    pm.setView(PlotManager::eViewScan);
    QCOMPARE(yAxis(p), std::make_pair(-2e-4, 3e-3));
    p->zoomer()->zoom(QRectF(-5, 0, 5, 1e-3));
    // A new scan record arrives: the graph follows it and the zoom is gone.
    pm.addScan(ivScan({-10, 0, 10}, {-5e-4, 1e-4, 8e-3}), false);
    pm.frameSlider()->setValue(1);
    QCOMPARE(p->zoomer()->zoomRectIndex(), 0u);
    QCOMPARE(yAxis(p), std::make_pair(-5e-4, 8e-3));
    // Zooming out to the base comes back to the data's range, not the engine's.
    p->zoomer()->zoom(QRectF(-5, 0, 5, 1e-3));
    p->zoomer()->zoom(0);
    QCOMPARE(yAxis(p), std::make_pair(-5e-4, 8e-3));
}

void TestPlotManager::analysisDrawnOnTheCurve_data()
{
    QTest::addColumn<bool>("log");
    QTest::newRow("linear") << false;
    QTest::newRow("log") << true;
}

// What the analysis found is drawn from what it kept: markers at its results,
// its ion region, a retardation line that follows the electron current, its
// ion model; switched off, none of it.
void TestPlotManager::analysisDrawnOnTheCurve()
{
    QFETCH(bool, log);
    PlotManager pm;
    pm.show();
    fillSession(pm, 1);
    boxNamed(pm, "log scale")->setChecked(log);
    pm.setView(PlotManager::eViewScan);
    const ScanRecord& s = pm.data()->scansOfGroup(0)[0];
    QVERIFY(s.fit.valid);
    const AnalysisOverlay* ov = pm.overlay();
    const struct {
        AnalysisOverlay::Mark mark;
        int pair;
        const char* name;
    } marks[] = {{AnalysisOverlay::eVf, ResultRecord::eVf, "Vf = "},
                 {AnalysisOverlay::eVp, ResultRecord::eVp, "Vp = "},
                 {AnalysisOverlay::eKnee, ResultRecord::eVsat, "Vsat = "}};
    for (const auto& m : marks) {
        QCOMPARE(ov->markValue(m.mark), s.result.value(m.pair));
        QVERIFY2(ov->markLabel(m.mark).startsWith(m.name), qPrintable(ov->markLabel(m.mark)));
    }
    QVERIFY(ov->regionShown());
    QCOMPARE(ov->regionLow(), s.fit.ionRegionLow);
    QCOMPARE(ov->regionHigh(), s.fit.ionRegionHigh);
    // The retardation line exp((V - b) / kTe) lies within a few % of I - I_ion where it was fitted.
    QVERIFY(ov->lineShown(AnalysisOverlay::eRetardFit));
    QVERIFY(std::fabs(s.fit.retardSlope - s.result.value(ResultRecord::eKTe)) < 0.02 * s.fit.retardSlope);
    int compared = 0;
    for (const IvPoint& q : s.electronCurrent.points) {
        if (q.voltage < s.fit.retardLow || q.voltage > s.fit.retardHigh)
            continue;
        const double fitted = s.fit.retardCurrent(q.voltage);
        QVERIFY2(std::fabs(fitted / q.current - 1) < 0.1,
                 qPrintable(QString("%1 V: %2 vs %3").arg(q.voltage).arg(fitted).arg(q.current)));
        ++compared;
    }
    QVERIFY(compared >= 3);
    const PlotErrorBarCurve* ret = ov->line(AnalysisOverlay::eRetardFit);
    const QPointF a = ret->sample(0), b = ret->sample(int(ret->dataSize()) - 1);
    QVERIFY(std::fabs((std::log(b.y()) - std::log(a.y())) / (b.x() - a.x()) * s.fit.retardSlope - 1) < 1e-9);
    // The ion model: negative below Vp, so a log axis has none of it to draw.
    QCOMPARE(ov->lineShown(AnalysisOverlay::eIonModel), !log);
    QVERIFY(s.fit.ionCurrent(s.corrected.V.first()) < 0);
    QCOMPARE(s.fit.ionCurrent(s.fit.Vp + 1), 0.0);
    QVERIFY(ov->lineShown(AnalysisOverlay::eElectronCurrent));
    QVERIFY(pm.plot(0)->legendShown());
    // The three labels, drawn, cover none of each other, even on a short graph.
    for (int height : {700, 260}) {
        pm.resize(1000, height);
        QCoreApplication::processEvents();
        pm.plot(0)->replot();
        const QRectF vf = ov->labelRect(AnalysisOverlay::eVf), vp = ov->labelRect(AnalysisOverlay::eVp),
                     knee = ov->labelRect(AnalysisOverlay::eKnee);
        QVERIFY(!vf.isEmpty() && !vp.isEmpty() && !knee.isEmpty());
        QVERIFY(!vp.intersects(knee) && !vf.intersects(vp) && !vf.intersects(knee));
        QVERIFY(pm.plot(0)->canvas()->rect().contains(vp.toAlignedRect()));
    }
    boxNamed(pm, "Show analysis")->setChecked(false);
    QVERIFY(ov->markLabel(AnalysisOverlay::eVp).isEmpty());
    QVERIFY(!ov->regionShown() && !ov->lineShown(AnalysisOverlay::eRetardFit));
    // A scan read from a file keeps its results, not its fits: markers at
    // once, the fits once derived again in the background; the session and
    // its file stay as they were.
    boxNamed(pm, "Show analysis")->setChecked(true);
    const QString file = m_dir.filePath("overlay.ldf");
    QVERIFY(pm.save(file));
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    PlotManager back;
    QVERIFY(back.load(file));
    back.setView(PlotManager::eViewScan);
    QVERIFY(!back.overlay()->markLabel(AnalysisOverlay::eVp).isEmpty());
    QVERIFY(!back.overlay()->regionShown()); // the fits arrive through the event loop
    const ResultRecord stored = back.data()->scansOfGroup(0)[0].result;
    QTRY_VERIFY(back.overlay()->regionShown());
    QVERIFY(back.overlay()->lineShown(AnalysisOverlay::eRetardFit));
    QCOMPARE(back.overlay()->regionLow(), s.fit.ionRegionLow);
    QVERIFY(!back.isModified());
    for (int k = 0; k < 14; ++k)
        QCOMPARE(ResultQuantity::value(back.data()->scansOfGroup(0)[0].result, k), ResultQuantity::value(stored, k));
    QVERIFY(saved.seek(0));
    QCOMPARE(saved.readAll(), bytes);
}

void TestPlotManager::eepfAnalysisDrawn()
{
    PlotManager pm;
    pm.show();
    fillSession(pm, 1);
    pm.setView(PlotManager::eViewEepf);
    const ScanRecord& s = pm.data()->scansOfGroup(0)[0];
    const AnalysisOverlay* ov = pm.overlay();
    QCOMPARE(ov->markValue(AnalysisOverlay::eMeanEnergy), s.result.value(ResultRecord::eEedfAvgEnergy));
    QVERIFY(ov->lineShown(AnalysisOverlay::eMaxwellian));
    // The Maxwellian of the EEPF's density and kTe: n 2/sqrt(pi) kTe^-3/2 exp(-E/kTe).
    const double kTe = s.result.value(ResultRecord::eEedfKTe), ne = s.result.value(ResultRecord::eEedfNe);
    const PlotErrorBarCurve* m = ov->line(AnalysisOverlay::eMaxwellian);
    const QPointF p = m->sample(1);
    const double expected = ne * 2 / std::sqrt(M_PI) * std::pow(kTe, -1.5) * std::exp(-p.x() / kTe);
    QVERIFY(std::fabs(p.y() / expected - 1) < 1e-12);
    QVERIFY(m->title().text().contains("kTe"));
}

void TestPlotManager::resultsCopyAsText()
{
    PlotManager pm;
    ScanRecord r = plainScan(ScanRecord::eOtherRun, 0, 0);
    r.result.setValue(ResultRecord::eVp, 10.5);
    r.result.setError(ResultRecord::eVp, -0.21);
    r.result.setValue(ResultRecord::eLdebye, 2.5e-5); // shown in um
    r.result.setError(ResultRecord::eLdebye, 1e-6);
    pm.addScan(r, false);
    // The same text under a decimal-comma locale: spreadsheets paste one format.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString text = pm.resultsText();
    QLocale::setDefault(before);
    QCOMPARE(text, pm.resultsText());
    const QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), QString("Quantity\tValue\tError (%)"));
    QCOMPARE(lines.size(), 16); // heading, 14 quantities, trace
    QCOMPARE(lines.at(1), QString::fromUtf8("Vp\t10.50 \u00b1 0.21 V\t2.0 %"));
    QCOMPARE(lines.at(2), QString("Vf\t---\t---"));
    QCOMPARE(lines.at(8), QString::fromUtf8("Ld\t25.0 \u00b1 1.0 \u00b5m\t4.0 %"));
    QCOMPARE(lines.last(), QString("Trace\t0"));
    // Every row has the same three cells.
    for (int i = 0; i < 15; ++i)
        QCOMPARE(lines.at(i).count('\t'), 2);
}

void TestPlotManager::exportGraphFromTheWindow()
{
    PlotManager pm;
    pm.show();
    fillSession(pm, 1);
    QCOMPARE(pm.shownPlots().size(), 3); // current and both derivatives
    QSignalSpy note(&pm, &PlotManager::statusMessage);
    const QString file = m_dir.filePath("figure");
    // First a folder that does not exist: a box says why and the dialog comes again.
    for (const QString& name : {m_dir.filePath("missing/figure"), file})
        m_prompter->dialogHandlers << [name](QDialog* d) {
            auto* dlg = qobject_cast<GraphExportDialog*>(d);
            if (!dlg)
                return int(QDialog::Rejected);
            dlg->formatBox()->setCurrentIndex(dlg->formatBox()->findData(int(GraphExport::eSvg)));
            dlg->fileEdit()->setText(name);
            return int(QDialog::Accepted);
        };
    // From the graph's menu, as a user opens it: a right click where nothing is zoomed.
    QStringList entries;
    QTimer::singleShot(0, &pm, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        for (QAction* a : menu->actions())
            entries << a->text();
        menu->actions().first()->trigger();
        menu->close();
    });
    QWidget* canvas = pm.shownPlots().first()->canvas();
    const QPoint at(canvas->width() / 2, canvas->height() / 2);
    QTest::mousePress(canvas, Qt::RightButton, {}, at);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, canvas->mapToGlobal(at));
    QApplication::sendEvent(canvas, &menuEvent);
    QCOMPARE(entries, QStringList({"Export Graph...", "Copy Graph", "Print Graph..."}));
    QCOMPARE(m_prompter->asked.size(), 1);
    QVERIFY(m_prompter->asked.first().text.startsWith("Cannot write file [" + m_dir.filePath("missing/figure.svg")));
    QVERIFY(QFileInfo::exists(file + ".svg"));
    QCOMPARE(note.size(), 1);
    QCOMPARE(note.first().first().toString(),
             QString("Exported graph to %1").arg(QDir::toNativeSeparators(file + ".svg")));
}

// Two clicks on the exponential part of an IV read its e-folding voltage:
// kTe by eye, near what the analysis found. Another view drops the cursors.
void TestPlotManager::twoCursorsReadKTe()
{
    PlotManager pm;
    pm.resize(1200, 800);
    pm.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pm));
    fillSession(pm, 1);
    boxNamed(pm, "Show analysis")->setChecked(false);
    boxNamed(pm, "log scale")->setChecked(true);
    pm.setView(PlotManager::eViewScan);
    ThreeTracePlotter* p = pm.plot(0);
    p->replot();
    const ScanRecord& s = pm.data()->scansOfGroup(0)[0];
    const double vp = s.result.value(ResultRecord::eVp), kTe = s.result.value(ResultRecord::eKTe);
    auto pixelAt = [&](double volts) {
        int best = 0;
        for (int i = 0; i < s.corrected.V.size(); ++i)
            if (std::fabs(s.corrected.V[i] - volts) < std::fabs(s.corrected.V[best] - volts))
                best = i;
        return QPoint(qRound(p->canvasMap(QwtPlot::xBottom).transform(s.corrected.V[best])),
                      qRound(p->canvasMap(QwtPlot::yLeft).transform(s.corrected.I[best])));
    };
    QTest::mouseClick(p->canvas(), Qt::LeftButton, {}, pixelAt(vp - 3 * kTe));
    QTest::mouseClick(p->canvas(), Qt::LeftButton, {}, pixelAt(vp - 0.5 * kTe));
    CursorPair* pair = pm.cursorPair(0);
    QCOMPARE(pair->pinnedCount(), 2);
    const QPointF a = pair->pinned(0), b = pair->pinned(1);
    QVERIFY(std::fabs(a.x() - (vp - 3 * kTe)) < 1 && std::fabs(b.x() - (vp - 0.5 * kTe)) < 1);
    const double eFolding = (b.x() - a.x()) / std::log(b.y() / a.y());
    QVERIFY2(std::fabs(eFolding / kTe - 1) < 0.25, qPrintable(QString("%1 vs %2").arg(eFolding).arg(kTe)));
    QVERIFY2(pair->readout().endsWith(QString::fromUtf8("\u0394U/\u0394ln I = %1 V").arg(eFolding, 0, 'g', 4)),
             qPrintable(pair->readout()));
    // The graph's menu copies it.
    QString copied;
    QTimer::singleShot(0, &pm, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        for (QAction* act : menu->actions())
            if (act->text() == "Copy Cursor Readout")
                act->trigger();
        copied = QApplication::clipboard()->text();
        menu->close();
    });
    QApplication::clipboard()->clear();
    const QPoint at(5, 5);
    QTest::mousePress(p->canvas(), Qt::RightButton, {}, at);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, p->canvas()->mapToGlobal(at));
    QApplication::sendEvent(p->canvas(), &menuEvent);
    QCOMPARE(copied, pair->readout());
    // On the derivative graph there is no e-folding voltage.
    ThreeTracePlotter* d = pm.plot(1);
    d->replot();
    const PlotErrorBarCurve* d1 = pm.curve(PlotManager::eScan1D1);
    for (int i : {int(d1->dataSize()) / 3, int(d1->dataSize()) / 2}) {
        const QPointF q = d1->sample(i);
        QTest::mouseClick(d->canvas(), Qt::LeftButton, {},
                          QPoint(qRound(d->canvasMap(QwtPlot::xBottom).transform(q.x())),
                                 qRound(d->canvasMap(QwtPlot::yLeft).transform(q.y()))));
    }
    QCOMPARE(pm.cursorPair(1)->pinnedCount(), 2);
    QVERIFY(!pm.cursorPair(1)->readout().contains("ln"));
    pm.setView(PlotManager::eViewEepf);
    QCOMPARE(pair->pinnedCount(), 0);
}

// Other positions of a spatial run ticked in "Overlay Traces" are drawn over
// the IV graph, named by their positions in the legend, each in its colour,
// also in an exported figure; Clear takes them away.
void TestPlotManager::overlayTracesWithLegend()
{
    PlotManager pm;
    pm.resize(1200, 800);
    pm.show();
    SessionMaker::Options o;
    o.kind = SessionMaker::eSpatial;
    o.groups = 4;
    o.scansPerGroup = 1;
    o.points = 80;
    SessionMaker::fill(*pm.data(), o);
    pm.refreshAll();
    pm.setView(PlotManager::eViewScan);
    const int legendBefore = pm.plot(0)->legendEntryCount();
    QPushButton* open = nullptr;
    for (QPushButton* b : pm.findChildren<QPushButton*>())
        if (b->text() == "Overlay Traces...")
            open = b;
    QVERIFY(open);
    open->click();
    TraceChooser* chooser = pm.traceChooser();
    QVERIFY(chooser && chooser->isVisible());
    QCOMPARE(chooser->list()->count(), 4);
    QCOMPARE(chooser->list()->item(3)->text(), QString("15.0 mm"));
    chooser->list()->item(3)->setCheckState(Qt::Checked);
    chooser->list()->item(1)->setCheckState(Qt::Checked);
    const TraceOverlay* traces = pm.traces();
    QCOMPARE(traces->shownCount(), 2);
    QCOMPARE(traces->curve(0)->title().text(), QString("15.0 mm"));
    QCOMPARE(traces->curve(1)->title().text(), QString("5.0 mm"));
    QCOMPARE(traces->curve(0)->pen().color(), TraceOverlay::colour(0));
    QCOMPARE(traces->curve(0)->plot(), static_cast<QwtPlot*>(pm.plot(0)));
    QCOMPARE(traces->curve(0)->dataSize(), size_t(pm.data()->scansOfGroup(3)[0].corrected.V.size()));
    QCOMPARE(pm.plot(0)->legendEntryCount(), legendBefore + 2);
    // Another position shown: the overlays stay.
    pm.setGroupIndex(2);
    QCOMPARE(traces->shownCount(), 2);
    // In the figure, by name and colour.
    GraphExport::Options fig;
    fig.fileName = m_dir.filePath("overlay.svg");
    fig.format = GraphExport::eSvg;
    QVERIFY(GraphExport::write(pm.shownPlots(), fig));
    QFile svg(fig.fileName);
    QVERIFY(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    QVERIFY(text.contains("15.0 mm") && text.contains("5.0 mm"));
    QVERIFY(text.contains(TraceOverlay::colour(0).name().toLatin1()));
    QVERIFY(text.contains(TraceOverlay::colour(1).name().toLatin1()));
    chooser->clearButton()->click();
    QCOMPARE(traces->shownCount(), 0);
    QCOMPARE(pm.plot(0)->legendEntryCount(), legendBefore);
}

// A spatial time-resolved run as a map: each cell the value of its scan, a
// colour bar, the cursor's readout, a figure; without one of the two axes the
// graph says which.
void TestPlotManager::mapOfPositionAndTime()
{
    PlotManager pm;
    pm.resize(1200, 800);
    pm.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pm));
    SessionMaker::Options o;
    o.kind = SessionMaker::eSpatialTimeResolved;
    o.groups = 5;
    o.scansPerGroup = 6;
    o.points = 80;
    SessionMaker::fill(*pm.data(), o);
    pm.refreshAll();
    pm.trendButton(4)->click(); // Ne
    boxNamed(pm, "View Map")->click();
    QCOMPARE(pm.view(), PlotManager::eViewMap);
    MapPlot* map = pm.mapPlot();
    QVERIFY(map->isVisible());
    QCOMPARE(pm.shownPlots(), QList<QwtPlot*>{map});
    QCOMPARE(map->titleText(), QString("Ne over position and time"));
    QCOMPARE(map->map().positions, (QVector<double>{0, 5, 10, 15, 20}));
    QCOMPARE(map->map().times, (QVector<double>{0, 10, 20, 30, 40, 50}));
    QVERIFY(map->axisEnabled(QwtPlot::yRight));
    QCOMPARE(map->axisTitle(QwtPlot::yRight).text(), QString("Ne [m<sup>-3</sup>]"));
    const ScanRecord& s = pm.data()->scansOfGroup(3)[2]; // 15 mm, 20 us
    const double ne = ResultQuantity::displayValue(s.result, 4);
    QVERIFY(ne > 0);
    QCOMPARE(map->spectrogram()->data()->value(15.0, 20.0), ne);
    QCOMPARE(map->spectrogram()->data()->value(16.4, 24.0), ne); // the cell spans halfway to its neighbours
    QVERIFY(std::isnan(map->spectrogram()->data()->value(30.0, 20.0)));
    // The colour bar spans the values of the map.
    QCOMPARE(map->axisScaleDiv(QwtPlot::yRight).lowerBound(), map->map().low());
    QCOMPARE(map->axisScaleDiv(QwtPlot::yRight).upperBound(), map->map().high());
    map->replot();
    const QPoint at(qRound(map->canvasMap(QwtPlot::xBottom).transform(15.0)),
                    qRound(map->canvasMap(QwtPlot::yLeft).transform(20.0)));
    QCOMPARE(map->readoutAt(at), QString::fromUtf8("x = 15.0 mm   t = 20.000 \u00b5s   Ne = %1 m^-3").arg(ne, 0, 'g', 4));
    // Another result from the grid: the map follows.
    pm.trendButton(2)->click();
    QCOMPARE(pm.view(), PlotManager::eViewMap);
    QCOMPARE(map->spectrogram()->data()->value(15.0, 20.0), s.result.value(ResultRecord::eKTe));
    GraphExport::Options fig;
    fig.fileName = m_dir.filePath("map.png");
    QVERIFY(GraphExport::write(pm.shownPlots(), fig));
    QVERIFY(!QImage(fig.fileName).isNull());

    // One axis only: the graph says which is missing.
    PlotManager slices;
    fillSession(slices, 4, 60);
    slices.setView(PlotManager::eViewMap);
    QVERIFY(slices.mapPlot()->noDataShown());
    QCOMPARE(slices.mapPlot()->noDataText(), QString("A map needs a spatial run with two or more positions: this session has none"));
    PlotManager profile;
    o.kind = SessionMaker::eSpatial;
    o.scansPerGroup = 1;
    o.analyse = false;
    SessionMaker::fill(*profile.data(), o);
    profile.refreshAll();
    profile.setView(PlotManager::eViewMap);
    QCOMPARE(profile.mapPlot()->noDataText(),
             QString("A map needs time-resolved scans: this spatial run has no time slices "
                     "(View Trends draws its profile)"));
}

// The fits derived again in the background go only into scans that are still
// unfitted: a Reanalyse with another crop before they arrive keeps its own.
// A window closed before they are all in leaves nothing behind.
void TestPlotManager::fitsRestoredOnlyWhereNothingChanged()
{
    PlotManager pm;
    fillSession(pm, 24, 200);
    const QString file = m_dir.filePath("restore.ldf");
    QVERIFY(pm.save(file));
    {
        PlotManager closing;
        QVERIFY(closing.load(file));
        QCoreApplication::processEvents(); // some of the fits, not all
    }
    PlotManager back;
    QVERIFY(back.load(file));
    QVERIFY(!back.data()->scansOfGroup(0)[5].fit.valid);
    back.findChild<QSpinBox*>("startCrop")->setValue(20);
    back.analyseSession(); // before any event: the restored fits are not in yet
    const IvFit mine = back.data()->scansOfGroup(0)[5].fit;
    const int cropped = back.data()->scansOfGroup(0)[5].electronCurrent.points.size();
    QVERIFY(mine.valid);
    QCOMPARE(cropped, back.data()->scansOfGroup(0)[5].corrected.V.size());
    QTRY_VERIFY(!back.fitRestorer()->isRunning());
    QCoreApplication::processEvents();
    const IvFit after = back.data()->scansOfGroup(0)[5].fit;
    QCOMPARE(after.ionRegionLow, mine.ionRegionLow);
    QCOMPARE(after.retardSlope, mine.retardSlope);
    QCOMPARE(after.Vp, mine.Vp);
    QCOMPARE(back.data()->scansOfGroup(0)[5].electronCurrent.points.size(), cropped);
}
