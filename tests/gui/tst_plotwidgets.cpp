#include "CursorDelta.h"
#include "CursorPair.h"
#include "CursorPicker.h"
#include "GraphExport.h"
#include "GraphForm.h"
#include "PlotErrorBarCurve.h"
#include "ThreeTracePlotter.h"

#include <qwt_plot_zoomer.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_map.h>
#include <qwt_scale_widget.h>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QLineEdit>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

namespace {
const double NaN = std::nan("");

// Paints a curve onto a 100 x 100 image; data units equal pixels (y upwards).
QImage render(const PlotErrorBarCurve& c)
{
    QImage img(100, 100, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    QwtScaleMap xm, ym;
    xm.setPaintInterval(0, 100);
    xm.setScaleInterval(0, 100);
    ym.setPaintInterval(100, 0);
    ym.setScaleInterval(0, 100);
    c.drawSeries(&p, xm, ym, QRectF(0, 0, 100, 100), 0, -1);
    p.end();
    return img;
}
bool ink(const QImage& img, int x, int y)
{
    return img.pixel(x, y) != QColor(Qt::white).rgb();
}
QRgb at(const QImage& img, int x, int y)
{
    return img.pixel(x, y);
}
} // namespace

class TestPlotWidgets : public QObject
{
    Q_OBJECT
private slots:
    void boundsSkipNonFinite();
    void boundsWithErrors();
    void boundingRectFollowsSwitches();
    void verticalBarsAndCaps();
    void noBarsAtNonFiniteSamplesOrErrors();
    void horizontalBarsSwapWithNegativeErrors();
    void lineBreaksAtNaN();
    void lineDrawnOverBars();
    void settersOnlyNotifyOnChange();
    void plotterSwitches();
    void zoomBaseRestoresAutoScale();
    void leftAxisDoubleClick();
    void graphForm();
    void cursorReadsNearestPoint_data();
    void cursorReadsNearestPoint();
    void cursorDelta_data();
    void cursorDelta();
    void twoCursorsByClickAndKey();
    void legendOnlyWithSeveralCurves();
    void exportFormats_data();
    void exportFormats();
    void exportNeverLeavesAHalfFile();
    void figureFontAndLineWidth();
};

void TestPlotWidgets::boundsSkipNonFinite()
{
    const double x[3] = {1, 2, 3};
    const double y[3] = {NaN, NaN, NaN};
    PlotErrorBarCurve c;
    c.setSamplesPlain(x, y, 3);
    QCOMPARE(c.bound(PlotErrorBarCurve::eYMin), 0.0);
    QCOMPARE(c.bound(PlotErrorBarCurve::eYMax), 1.0);
    QCOMPARE(c.bound(PlotErrorBarCurve::eXMin), 1.0);
    QCOMPARE(c.bound(PlotErrorBarCurve::eXMax), 3.0);

    const double y2[4] = {NaN, 5, -INFINITY, 2};
    const double x2[4] = {NaN, NaN, NaN, NaN};
    c.setSamplesPlain(x2, y2, 4);
    QCOMPARE(c.bound(PlotErrorBarCurve::eXMin), 0.0);
    QCOMPARE(c.bound(PlotErrorBarCurve::eXMax), 1.0);
    QCOMPARE(c.bound(PlotErrorBarCurve::eYMin), 2.0);
    QCOMPARE(c.bound(PlotErrorBarCurve::eYMax), 5.0);

    c.setSamplesPlain(nullptr, nullptr, 5);
    QCOMPARE(c.count(), 0);
    QCOMPARE(c.bound(PlotErrorBarCurve::eXMax), 1.0);
}

void TestPlotWidgets::boundsWithErrors()
{
    const double x[3] = {1, 2, 3};
    const double y[3] = {10, 20, 30};
    const double xe[3] = {0.5, 0.5, 0.5};
    const double xeh[3] = {1, 1, 4};
    const double ye[3] = {1, NaN, -2};
    PlotErrorBarCurve c;
    c.setSamplesWithErrors(x, y, 3, xe, xeh, ye, nullptr);
    QCOMPARE(c.bound(PlotErrorBarCurve::eXMinErr), 0.5);
    QCOMPARE(c.bound(PlotErrorBarCurve::eXMaxErr), 7.0);
    QCOMPARE(c.bound(PlotErrorBarCurve::eYMinErr), 9.0);  // 30 - (-2) = 32 is not a minimum
    QCOMPARE(c.bound(PlotErrorBarCurve::eYMaxErr), 28.0); // errors are not made absolute
}

void TestPlotWidgets::boundingRectFollowsSwitches()
{
    const double x[2] = {0, 10};
    const double y[2] = {5, 15};
    const double e[2] = {1, 2};
    PlotErrorBarCurve c;
    c.setSamplesWithErrors(x, y, 2, e, nullptr, e, nullptr);
    QCOMPARE(c.boundingRect(), QRectF(0, 5, 10, 10));
    c.setShowXErrors(true);
    QCOMPARE(c.boundingRect(), QRectF(-1, 5, 13, 10));
    c.setShowYErrors(true);
    QCOMPARE(c.boundingRect(), QRectF(-1, 4, 13, 13));
}

void TestPlotWidgets::verticalBarsAndCaps()
{
    const double x[1] = {20};
    const double y[1] = {50};
    const double ye[1] = {10};
    PlotErrorBarCurve c;
    c.setSamplesWithErrors(x, y, 1, nullptr, nullptr, ye, nullptr);
    c.setErrorPen(QPen(Qt::black, 0));
    c.setShowYErrors(true);
    QImage img = render(c);
    for (int py = 40; py <= 60; ++py)
        QVERIFY2(ink(img, 20, py), qPrintable(QString("bar pixel %1").arg(py)));
    QVERIFY(!ink(img, 20, 35));
    QVERIFY(ink(img, 15, 40) && ink(img, 25, 40) && ink(img, 15, 60)); // caps of half-length 5
    QVERIFY(!ink(img, 13, 40));

    c.setCapSize(0);
    img = render(c);
    QVERIFY(ink(img, 20, 45));
    QVERIFY(!ink(img, 15, 40));

    const double neg[1] = {-10};
    c.setSamplesWithErrors(x, y, 1, nullptr, nullptr, neg, nullptr);
    img = render(c);
    QVERIFY(ink(img, 20, 40) && ink(img, 20, 60)); // same bar as a positive error
}

void TestPlotWidgets::noBarsAtNonFiniteSamplesOrErrors()
{
    const double x[3] = {20, 50, 80};
    const double y[3] = {50, NaN, 50};
    const double ye[3] = {10, 10, NaN};
    PlotErrorBarCurve c;
    c.setSamplesWithErrors(x, y, 3, nullptr, nullptr, ye, nullptr);
    c.setErrorPen(QPen(Qt::black, 0));
    c.setShowYErrors(true);
    const QImage img = render(c);
    QVERIFY(ink(img, 20, 45));
    for (int py = 0; py < 100; ++py) {
        QVERIFY2(!ink(img, 50, py), "bar at a NaN sample");
        QVERIFY2(!ink(img, 80, py), "bar with a NaN error");
    }
}

void TestPlotWidgets::horizontalBarsSwapWithNegativeErrors()
{
    const double x[1] = {50};
    const double y[1] = {50};
    const double xe[1] = {-10};
    PlotErrorBarCurve c;
    c.setSamplesWithErrors(x, y, 1, xe, nullptr, nullptr, nullptr);
    c.setErrorPen(QPen(Qt::black, 0));
    c.setShowXErrors(true);
    c.setCapSize(3);
    const QImage img = render(c);
    // ends swapped: from 60 to 40, still the same segment with caps at both ends
    QVERIFY(ink(img, 40, 50) && ink(img, 60, 50) && ink(img, 45, 50));
    QVERIFY(ink(img, 40, 47) && ink(img, 60, 53));
    QVERIFY(!ink(img, 35, 50));
}

void TestPlotWidgets::lineBreaksAtNaN()
{
    const double x[5] = {10, 20, 30, 40, 50};
    const double y[5] = {50, 50, NaN, 50, 50};
    PlotErrorBarCurve c;
    c.setSamplesPlain(x, y, 5);
    c.setStyle(QwtPlotCurve::Lines);
    c.setPen(QPen(Qt::red, 0));
    const QImage img = render(c);
    QVERIFY(ink(img, 15, 50));
    QVERIFY(ink(img, 45, 50));
    QVERIFY2(!ink(img, 25, 50) && !ink(img, 30, 50) && !ink(img, 35, 50), "line bridged the NaN sample");
}

void TestPlotWidgets::lineDrawnOverBars()
{
    const double x[3] = {0, 10, 30};
    const double y[3] = {50, 50, 50};
    const double ye[3] = {10, 10, 10};
    PlotErrorBarCurve c;
    c.setSamplesWithErrors(x, y, 3, nullptr, nullptr, ye, nullptr);
    c.setStyle(QwtPlotCurve::Lines);
    c.setPen(QPen(Qt::red, 0));
    c.setErrorPen(QPen(Qt::black, 0));
    c.setShowYErrors(true);
    c.setCapSize(0);
    QImage img = render(c);
    QCOMPARE(at(img, 10, 50), QColor(Qt::red).rgb());
    QCOMPARE(at(img, 10, 45), QColor(Qt::black).rgb());
    c.setCurveBelowBars(true);
    img = render(c);
    QCOMPARE(at(img, 10, 50), QColor(Qt::black).rgb());
}

void TestPlotWidgets::settersOnlyNotifyOnChange()
{
    ThreeTracePlotter plot("P");
    auto* c = new PlotErrorBarCurve;
    c->attach(&plot);
    c->setItemAttribute(QwtPlotItem::AutoScale, true);
    plot.setAutoReplot(false);
    QCOMPARE(c->capSize(), 5);
    QVERIFY(!c->curveBelowBars());
    QCOMPARE(c->style(), QwtPlotCurve::NoCurve);
    c->setCapSize(5);
    c->setShowXErrors(false);
    QCOMPARE(c->capSize(), 5);
    c->setCapSize(2);
    QCOMPARE(c->capSize(), 2);
}

void TestPlotWidgets::plotterSwitches()
{
    ThreeTracePlotter plot("Plot 1");
    QCOMPARE(plot.title().text(), QString("Plot 1"));
    QVERIFY(plot.axisAutoScale(QwtPlot::xBottom) && plot.axisAutoScale(QwtPlot::yLeft));
    plot.logScale(true);
    QVERIFY(dynamic_cast<QwtLogScaleEngine*>(plot.axisScaleEngine(QwtPlot::yLeft)));
    plot.logScale(false);
    QVERIFY(dynamic_cast<QwtLinearScaleEngine*>(plot.axisScaleEngine(QwtPlot::yLeft)));
    plot.setAxesShown(false);
    QVERIFY(!plot.axisEnabled(QwtPlot::yLeft) && !plot.axisEnabled(QwtPlot::xBottom));
    QVERIFY(plot.title().text().isEmpty());
    plot.setTitle("Other");
    QVERIFY(plot.title().text().isEmpty()); // stored, shown again with the axes
    plot.setAxesShown(true);
    QCOMPARE(plot.title().text(), QString("Other"));
    QVERIFY(plot.axisEnabled(QwtPlot::yLeft));
    QVERIFY(plot.minimumWidth() == 450);
}

void TestPlotWidgets::zoomBaseRestoresAutoScale()
{
    ThreeTracePlotter plot("Z");
    const double x[3] = {0, 1, 2};
    const double y[3] = {0, 4, 2};
    auto* c = new PlotErrorBarCurve;
    c->setSamplesPlain(x, y, 3);
    c->attach(&plot);
    plot.resize(500, 300);
    plot.show();
    plot.replot();
    plot.zoomer()->setZoomBase(false);
    plot.zoomer()->zoom(QRectF(0.5, 1, 0.5, 1));
    QCOMPARE(plot.zoomer()->zoomRectIndex(), 1u);
    QVERIFY(!plot.axisAutoScale(QwtPlot::yLeft));
    plot.zoomer()->zoom(0);
    QCOMPARE(plot.zoomer()->zoomRectIndex(), 0u);
    QVERIFY(plot.axisAutoScale(QwtPlot::yLeft));
    QVERIFY(plot.axisAutoScale(QwtPlot::xBottom));
}

void TestPlotWidgets::leftAxisDoubleClick()
{
    ThreeTracePlotter plot("D");
    plot.resize(500, 300);
    plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plot));
    QSignalSpy spy(&plot, &ThreeTracePlotter::leftAxisDoubleClick);
    QwtScaleWidget* axis = plot.axisWidget(QwtPlot::yLeft);
    QTest::mouseDClick(axis, Qt::LeftButton, Qt::NoModifier, axis->rect().center());
    QCOMPARE(spy.count(), 1);
    QTest::mouseDClick(plot.canvas(), Qt::LeftButton, Qt::NoModifier, plot.canvas()->rect().center());
    QCOMPARE(spy.count(), 1);
}

void TestPlotWidgets::graphForm()
{
    GraphForm form;
    form.setPlotScale(); // no plot: nothing happens
    QCOMPARE(form.windowTitle(), QString("Y-axis Scale"));
    ThreeTracePlotter plot("G");
    plot.setRanges(0, 1, 2, 5); // the range of the data shown
    plot.replot();
    form.attachPlot(&plot);
    QVERIFY(form.autoScaleBox()->isChecked()); // the user fixed nothing yet
    QCOMPARE(form.minimumEdit()->text(), QString("2"));
    QCOMPARE(form.maximumEdit()->text(), QString("5"));
    form.autoScaleBox()->setChecked(false); // toggled() applies the form
    QVERIFY(plot.hasUserYRange());
    form.minimumEdit()->setText("1e-3");
    form.maximumEdit()->setText("9");
    form.setPlotScale();
    QCOMPARE(plot.axisScaleDiv(QwtPlot::yLeft).lowerBound(), 1e-3);
    QCOMPARE(plot.axisScaleDiv(QwtPlot::yLeft).upperBound(), 9.0);
    // New data or another frame redraws the graph: the user's range stays.
    plot.setRanges(0, 1, 100, 200);
    QCOMPARE(plot.axisScaleDiv(QwtPlot::yLeft).lowerBound(), 1e-3);
    QCOMPARE(plot.axisScaleDiv(QwtPlot::yLeft).upperBound(), 9.0);
    form.maximumEdit()->setText("junk");
    form.setPlotScale();
    QCOMPARE(plot.axisScaleDiv(QwtPlot::yLeft).upperBound(), 9.0);
    form.attachPlot(&plot);
    QVERIFY(!form.autoScaleBox()->isChecked());
    // Automatic Scale returns to the data's range, not to Qwt's own.
    form.autoScaleBox()->setChecked(true);
    QVERIFY(!plot.hasUserYRange());
    QCOMPARE(plot.axisScaleDiv(QwtPlot::yLeft).lowerBound(), 100.0);
    QCOMPARE(plot.axisScaleDiv(QwtPlot::yLeft).upperBound(), 200.0);

    // Any other plot has only Qwt's auto-scale switch.
    QwtPlot plain;
    plain.setAxisScale(QwtPlot::yLeft, 2, 5);
    plain.replot();
    form.attachPlot(&plain);
    QVERIFY(!form.autoScaleBox()->isChecked());
    form.autoScaleBox()->setChecked(true);
    QVERIFY(plain.axisAutoScale(QwtPlot::yLeft));
}


void TestPlotWidgets::cursorReadsNearestPoint_data()
{
    QTest::addColumn<bool>("log");
    QTest::addColumn<bool>("zoomed");
    QTest::newRow("linear") << false << false;
    QTest::newRow("log") << true << false;
    QTest::newRow("zoomed") << false << true;
}

// The readout takes the point nearest on screen, wherever zoom and log scale put it.
void TestPlotWidgets::cursorReadsNearestPoint()
{
    QFETCH(bool, log);
    QFETCH(bool, zoomed);
    const double x[] = {1, 2, 3, 4};
    const double y[] = {10, 100, 1000, 10000};
    ThreeTracePlotter p(QStringLiteral("t"));
    p.resize(500, 400);
    PlotErrorBarCurve c(QStringLiteral("IV"));
    c.setSamplesPlain(x, y, 4);
    c.attach(&p);
    p.show();
    if (log)
        p.logScale(true);
    p.setRanges(0, 5, log ? 5 : 0, 11000);
    if (zoomed)
        p.zoomer()->zoom(QRectF(2.5, 500, 1.0, 600)); // only the third point inside
    p.replot();
    CursorPicker cursor(p.canvas());
    cursor.describe(&c, QStringLiteral("U"), QStringLiteral("V"), QStringLiteral("I"), QStringLiteral("A"));
    const QPoint at(qRound(p.canvasMap(QwtPlot::xBottom).transform(3)) + 4,
                    qRound(p.canvasMap(QwtPlot::yLeft).transform(1000)) - 3);
    const CursorPicker::Nearest n = cursor.nearest(at);
    QCOMPARE(n.index, 2);
    QCOMPARE(cursor.text(n.curve, n.point), QStringLiteral("U = 3 V   I = 1000 A"));
    // Far from every point: nothing to read.
    QCOMPARE(cursor.nearest(QPoint(-500, -500)).index, -1);
    // A curve without names is read with the axis titles.
    p.setAxisTitle(QwtPlot::xBottom, QStringLiteral("Time (s)"));
    p.setAxisTitle(QwtPlot::yLeft, QStringLiteral("E [eV<sup>2</sup>]"));
    PlotErrorBarCurve other(QStringLiteral("other"));
    QCOMPARE(cursor.text(&other, QPointF(2, 5)), QStringLiteral("Time (s) = 2   E [eV2] = 5"));
}

void TestPlotWidgets::cursorDelta_data()
{
    QTest::addColumn<QPointF>("a");
    QTest::addColumn<QPointF>("b");
    QTest::addColumn<bool>("eFolding");
    QTest::addColumn<QString>("text");
    const QString d = QString::fromUtf8("\u0394");
    QTest::newRow("exponential, e-folding 3 V")
        << QPointF(0, 1e-3) << QPointF(3, std::exp(1.0) * 1e-3) << true
        << QString("%1U = 3 V   %1I = 0.001718 A   %1I/%1U = 0.0005728 A/V   %1U/%1ln I = 3 V").arg(d);
    QTest::newRow("falling, B left of A")
        << QPointF(2, 4e-3) << QPointF(-2, 1e-3) << true
        << QString("%1U = -4 V   %1I = -0.003 A   %1I/%1U = 0.00075 A/V   %1U/%1ln I = 2.885 V").arg(d);
    QTest::newRow("current through zero: no e-folding")
        << QPointF(-10, -1e-4) << QPointF(0, 1e-4) << true
        << QString("%1U = 10 V   %1I = 0.0002 A   %1I/%1U = 2e-05 A/V").arg(d);
    QTest::newRow("a derivative graph: none asked")
        << QPointF(0, 1) << QPointF(1, 2) << false << QString("%1U = 1 V   %1I = 1 A   %1I/%1U = 1 A/V").arg(d);
    QTest::newRow("same voltage: no slope")
        << QPointF(1, 1) << QPointF(1, 2) << true
        << QString("%1U = 0 V   %1I = 1 A   %1I/%1U = --- A/V   %1U/%1ln I = 0 V").arg(d);
}

// The readout of two cursors, the same in every locale.
void TestPlotWidgets::cursorDelta()
{
    QFETCH(QPointF, a);
    QFETCH(QPointF, b);
    QFETCH(bool, eFolding);
    QFETCH(QString, text);
    const CursorDelta::Names n{"U", "V", "I", "A"};
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString got = CursorDelta::text(CursorDelta::between(a.x(), a.y(), b.x(), b.y()), n, eFolding);
    QLocale::setDefault(before);
    QCOMPARE(got, text);
}

// A click pins A, the next B, a click on a pinned cursor removes it, "M"
// pins under the mouse, Delete removes both, Ctrl+C copies the readout; a
// drag zooms and pins nothing.
void TestPlotWidgets::twoCursorsByClickAndKey()
{
    const double x[] = {-4, -2, 0, 2, 4};
    const double y[] = {1e-4, 2e-4, 4e-4, 8e-4, 1.6e-3};
    ThreeTracePlotter p(QStringLiteral("t"));
    p.resize(600, 400);
    PlotErrorBarCurve c(QStringLiteral("IV"));
    c.setSamplesPlain(x, y, 5);
    c.attach(&p);
    p.setRanges(-5, 5, 0, 2e-3);
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    p.replot();
    CursorPicker picker(p.canvas());
    picker.describe(&c, "U", "V", "I", "A");
    CursorPair pair(&p, &picker);
    pair.setEFolding(true);
    QSignalSpy changed(&pair, &CursorPair::readoutChanged);
    auto pixel = [&](int i) {
        return QPoint(qRound(p.canvasMap(QwtPlot::xBottom).transform(x[i])),
                      qRound(p.canvasMap(QwtPlot::yLeft).transform(y[i])));
    };
    QWidget* canvas = p.canvas();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, pixel(1) + QPoint(3, -2));
    QCOMPARE(pair.pinnedCount(), 1);
    QCOMPARE(pair.pinned(0), QPointF(-2, 2e-4));
    QVERIFY(pair.readout().isEmpty());
    QTest::mouseClick(canvas, Qt::LeftButton, {}, pixel(4));
    QCOMPARE(pair.pinnedCount(), 2);
    const QString expected =
        CursorDelta::text(CursorDelta::between(-2, 2e-4, 4, 1.6e-3), {"U", "V", "I", "A"}, true);
    QCOMPARE(pair.readout(), expected);
    QVERIFY(pair.readout().endsWith(QString::fromUtf8("ln I = 2.885 V"))); // 6 V over three doublings
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.last().first().toString(), expected);
    canvas->setFocus();
    QApplication::clipboard()->clear();
    QTest::keyClick(canvas, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), expected);
    // A click on A removes it; "M" over the third point pins it as A again.
    QTest::mouseClick(canvas, Qt::LeftButton, {}, pixel(1));
    QCOMPARE(pair.pinnedCount(), 1);
    QVERIFY(pair.readout().isEmpty());
    QTest::mouseMove(canvas, pixel(2));
    QTest::keyClick(canvas, Qt::Key_M);
    QCOMPARE(pair.pinnedCount(), 2);
    QCOMPARE(pair.pinned(0), QPointF(0, 4e-4));
    // A drag zooms; it pins nothing.
    QTest::mousePress(canvas, Qt::LeftButton, {}, pixel(0));
    QTest::mouseMove(canvas, pixel(3));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, pixel(3));
    QCOMPARE(pair.pinned(1), QPointF(4, 1.6e-3));
    QTest::keyClick(canvas, Qt::Key_Delete);
    QCOMPARE(pair.pinnedCount(), 0);
    QVERIFY(pair.readout().isEmpty());
}

void TestPlotWidgets::legendOnlyWithSeveralCurves()
{
    const double x[] = {1, 2};
    ThreeTracePlotter p(QStringLiteral("t"));
    PlotErrorBarCurve a(QStringLiteral("a")), b(QStringLiteral("b")), empty(QStringLiteral("empty"));
    a.setSamplesPlain(x, x, 2);
    b.setSamplesPlain(x, x, 2);
    for (PlotErrorBarCurve* c : {&a, &empty})
        c->attach(&p);
    p.updateLegend();
    QVERIFY(!p.legendShown()); // one curve with data
    QVERIFY(!empty.testItemAttribute(QwtPlotItem::Legend));
    b.attach(&p);
    p.updateLegend();
    QVERIFY(p.legendShown());
    QVERIFY(a.testItemAttribute(QwtPlotItem::Legend) && b.testItemAttribute(QwtPlotItem::Legend));
    QVERIFY(!empty.testItemAttribute(QwtPlotItem::Legend));
}

namespace {
constexpr int kPrint = -1; // the print row of the export table
}

void TestPlotWidgets::exportFormats_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("magic");
    QTest::newRow("png") << int(GraphExport::ePng) << QByteArray("\x89PNG");
    QTest::newRow("svg") << int(GraphExport::eSvg) << QByteArray("<?xml");
    QTest::newRow("pdf") << int(GraphExport::ePdf) << QByteArray("%PDF");
    QTest::newRow("print") << kPrint << QByteArray("%PDF");
}

// Two graphs into one file of the chosen kind, size and resolution.
void TestPlotWidgets::exportFormats()
{
    QFETCH(int, format);
    QFETCH(QByteArray, magic);
    QTemporaryDir dir;
    const double x[] = {1, 2, 3};
    ThreeTracePlotter a(QStringLiteral("a")), b(QStringLiteral("b"));
    PlotErrorBarCurve ca(QStringLiteral("ca")), cb(QStringLiteral("cb"));
    ca.setSamplesPlain(x, x, 3);
    cb.setSamplesPlain(x, x, 3);
    ca.attach(&a);
    cb.attach(&b);
    if (format == kPrint) {
        // Print, here to a PDF printer: a page with the graphs holds more than an empty one.
        qint64 sizes[2] = {0, 0};
        for (int withGraphs = 0; withGraphs < 2; ++withGraphs) {
            const QString name = dir.filePath(QStringLiteral("print%1.pdf").arg(withGraphs));
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(name);
            GraphExport::print(withGraphs ? QList<QwtPlot*>{&a, &b} : QList<QwtPlot*>{}, &printer);
            QFile f(name);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY(f.read(magic.size()) == magic);
            sizes[withGraphs] = f.size();
        }
        QVERIFY2(sizes[1] > sizes[0] + 1000, qPrintable(QStringLiteral("%1 / %2 bytes").arg(sizes[0]).arg(sizes[1])));
        return;
    }
    GraphExport::Options o;
    o.format = GraphExport::Format(format);
    o.fileName = GraphExport::withSuffix(dir.filePath("graph"), o.format);
    QCOMPARE(GraphExport::formatOf(o.fileName, GraphExport::ePng), o.format);
    o.widthMm = 80;
    o.heightMm = 60;
    o.dpi = 150;
    QString error;
    QVERIFY2(GraphExport::write({&a, &b}, o, &error), qPrintable(error));
    QFile f(o.fileName);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.read(magic.size()) == magic);
    if (o.format == GraphExport::ePng) {
        const QImage img(o.fileName);
        QCOMPARE(img.size(), QSize(GraphExport::pixels(80, 150), GraphExport::pixels(60, 150)));
        QCOMPARE(img.size(), QSize(472, 354));
        QCOMPARE(img.dotsPerMeterX(), qRound(150 / 0.0254));
        QVERIFY(img.pixel(1, 1) == qRgb(255, 255, 255)); // a white page, not a transparent one
    }
}

void TestPlotWidgets::exportNeverLeavesAHalfFile()
{
    QTemporaryDir dir;
    ThreeTracePlotter a(QStringLiteral("a"));
    GraphExport::Options o;
    o.fileName = dir.filePath("missing/folder/graph.png");
    QString error;
    QVERIFY(!GraphExport::write({&a}, o, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFileInfo::exists(o.fileName));
    // The dialog adds the format's suffix and follows a changed format.
    GraphExport::Options start;
    start.fileName = dir.filePath("fig.png");
    GraphExportDialog dlg(start);
    dlg.formatBox()->setCurrentIndex(dlg.formatBox()->findData(int(GraphExport::ePdf)));
    QCOMPARE(dlg.options().fileName, dir.filePath("fig.pdf"));
    dlg.fileEdit()->setText(dir.filePath("plain"));
    QCOMPARE(dlg.options().fileName, dir.filePath("plain.pdf"));
}

// The export dialog's font size and line width reach the figure (on a white
// canvas) and leave the graph on screen as it was.
void TestPlotWidgets::figureFontAndLineWidth()
{
    QTemporaryDir dir;
    const double x[] = {0, 10};
    const double y[] = {0, 10};
    ThreeTracePlotter plot(QStringLiteral("Vp over time"));
    plot.setAxisTitle(QwtPlot::xBottom, QStringLiteral("Time [s]"));
    plot.setAxisTitle(QwtPlot::yLeft, QStringLiteral("Vp [V]"));
    PlotErrorBarCurve c(QStringLiteral("c"));
    c.setStyle(QwtPlotCurve::Lines);
    c.setPen(QPen(Qt::red, 1));
    c.setSamplesPlain(x, y, 2);
    c.attach(&plot);
    plot.setRanges(-1, 11, -1, 11);
    plot.resize(400, 300);
    plot.show();
    plot.replot();
    const QFont axisFont = plot.axisFont(QwtPlot::xBottom);

    GraphExport::Options start;
    start.fileName = dir.filePath("styled.png");
    GraphExportDialog dlg(start);
    QCOMPARE(dlg.fontBox()->text(), QString("as shown"));
    QCOMPARE(dlg.lineWidthBox()->text(), QString("as shown"));
    for (QAbstractSpinBox* box : {static_cast<QAbstractSpinBox*>(dlg.fontBox()),
                                  static_cast<QAbstractSpinBox*>(dlg.lineWidthBox())}) {
        box->selectAll();
        QTest::keyClicks(box, box == dlg.fontBox() ? "16" : "4");
        QTest::keyClick(box, Qt::Key_Tab);
    }
    GraphExport::Options styled = dlg.options();
    QCOMPARE(styled.fontPt, 16);
    QCOMPARE(styled.lineWidth, 4.0);
    styled.dpi = 100;
    GraphExport::Options plain = styled;
    plain.fileName = dir.filePath("plain.png");
    plain.fontPt = 6;
    plain.lineWidth = 0;
    for (const GraphExport::Options& o : {styled, plain})
        QVERIFY(GraphExport::write({&plot}, o, nullptr));
    // Red pixels: the curve; black ones: the text and the axes (the grid is grey).
    auto count = [](const QImage& img, bool red) {
        int n = 0;
        for (int j = 0; j < img.height(); ++j)
            for (int i = 0; i < img.width(); ++i) {
                const QColor c = img.pixelColor(i, j);
                n += red ? (c.red() > 200 && c.green() < 80 && c.blue() < 80)
                         : (c.red() < 40 && c.green() < 40 && c.blue() < 40);
            }
        return n;
    };
    const QImage a(styled.fileName), b(plain.fileName);
    if (qEnvironmentVariableIsSet("LP_KEEP_FIGURES")) {
        a.save("/tmp/styled.png");
        b.save("/tmp/plain.png");
    }
    QCOMPARE(a.size(), b.size());
    QVERIFY2(count(a, true) > 2.5 * count(b, true), qPrintable(QString("%1 / %2").arg(count(a, true)).arg(count(b, true))));
    QVERIFY2(count(a, false) > 1.5 * count(b, false), qPrintable(QString("%1 / %2").arg(count(a, false)).arg(count(b, false))));
    // The canvas is white (grid and curve aside).
    const QRect canvas = plot.canvas()->geometry();
    const double sx = double(a.width()) / plot.width(), sy = double(a.height()) / plot.height();
    int white = 0, all = 0;
    for (int j = int(canvas.top() * sy) + 2; j < int(canvas.bottom() * sy) - 2; ++j)
        for (int i = int(canvas.left() * sx) + 2; i < int(canvas.right() * sx) - 2; ++i, ++all)
            white += a.pixelColor(i, j) == QColor(Qt::white);
    QVERIFY2(white > 0.8 * all, qPrintable(QString("%1 of %2").arg(white).arg(all)));
    // The window's graph is as it was.
    QCOMPARE(c.pen().widthF(), 1.0);
    QCOMPARE(plot.axisFont(QwtPlot::xBottom), axisFont);
    QCOMPARE(plot.axisTitle(QwtPlot::yLeft).text(), QString("Vp [V]"));
}

QTEST_MAIN(TestPlotWidgets)
#include "tst_plotwidgets.moc"
