#include "ThreeTracePlotter.h"

#include "ValueScaleDraw.h"

#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_legenditem.h>
#include <qwt_plot_layout.h>
#include <qwt_plot_textlabel.h>
#include <qwt_plot_zoomer.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_widget.h>
#include <qwt_picker_machine.h>
#include <QEvent>
#include <QContextMenuEvent>
#include <QMouseEvent>

ThreeTracePlotter::ThreeTracePlotter(const QString& title, QWidget* parent)
    : QwtPlot(parent), m_title(title)
{
    build();
}

ThreeTracePlotter::ThreeTracePlotter(QWidget* parent)
    : QwtPlot(parent)
{
    build();
}

void ThreeTracePlotter::build()
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(0);
    plotLayout()->setAlignCanvasToScales(true);
    setCanvasBackground(Qt::white); // the figure's paper
    setAxisAutoScale(QwtPlot::xBottom, true);
    setAxisAutoScale(QwtPlot::yLeft, true);

    m_grid = new QwtPlotGrid;
    m_grid->enableXMin(true);
    m_grid->enableYMin(true);
    QPen major(QColor(84, 84, 84, 255), 0, Qt::DashLine, Qt::SquareCap, Qt::BevelJoin);
    QPen minor(QColor(84, 84, 84, 255), 0, Qt::DotLine, Qt::SquareCap, Qt::BevelJoin);
    m_grid->setMajorPen(major);
    m_grid->setMinorPen(minor);
    m_grid->attach(this);

    m_noData = new QwtPlotTextLabel;
    QwtText note(QStringLiteral("no data"));
    note.setColor(QColor(120, 120, 120));
    note.setRenderFlags(Qt::AlignCenter);
    m_noData->setText(note);
    m_noData->setZ(100);
    m_noData->attach(this);
    m_noData->hide();

    m_legend = new QwtPlotLegendItem;
    m_legend->setAlignment(Qt::AlignRight | Qt::AlignTop);
    m_legend->setBackgroundMode(QwtPlotLegendItem::LegendBackground);
    m_legend->setBackgroundBrush(QColor(255, 255, 255, 210));
    m_legend->setBorderPen(QPen(QColor(150, 150, 150)));
    m_legend->setBorderRadius(3);
    m_legend->setMargin(2);
    m_legend->setItemSpacing(0);
    QFont legendFont = m_legend->font();
    legendFont.setPointSize(7);
    m_legend->setFont(legendFont);
    m_legend->setZ(90);
    m_legend->attach(this);
    m_legend->hide();

    m_zoomer = new QwtPlotZoomer(QwtPlot::xBottom, QwtPlot::yLeft, canvas(), true);
    m_zoomer->setRubberBandPen(QPen(Qt::darkGreen));
    m_zoomer->setTrackerMode(QwtPicker::ActiveOnly);
    m_zoomer->setEnabled(true);
    m_zoomer->setMousePattern(QwtEventPattern::MouseSelect2, Qt::RightButton, Qt::ControlModifier);
    m_zoomer->setMousePattern(QwtEventPattern::MouseSelect3, Qt::RightButton);

    setAxisScaleDraw(QwtPlot::yLeft, new ValueScaleDraw);
    setAxisScaleDraw(QwtPlot::xBottom, new ValueScaleDraw);
    QFont f("Helvetica [Cronyx]", 8);
    setAxisFont(QwtPlot::yLeft, f);
    setAxisFont(QwtPlot::xBottom, f);
    setAxisMaxMajor(QwtPlot::yLeft, 5);
    setAxisMaxMinor(QwtPlot::yLeft, 5);
    setAxisMaxMajor(QwtPlot::xBottom, 5);
    setAxisMaxMinor(QwtPlot::xBottom, 5);
    setMinimumWidth(450);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    setAxesShown(true);
    setAutoReplot(false);
    connect(m_zoomer, &QwtPlotZoomer::zoomed, this, &ThreeTracePlotter::checkZoom);
    axisWidget(QwtPlot::yLeft)->installEventFilter(this);
    axisWidget(QwtPlot::xBottom)->installEventFilter(this);
    // Installed after the zoomer's, so it sees a right press before the zoomer acts on it.
    canvas()->installEventFilter(this);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { emit contextMenuRequested(mapToGlobal(pos)); });
}

void ThreeTracePlotter::setTitle(const QString& title)
{
    m_title = title;
    if (m_axesShown)
        QwtPlot::setTitle(title);
}

void ThreeTracePlotter::setAxesShown(bool shown)
{
    m_axesShown = shown;
    enableAxis(QwtPlot::xBottom, shown);
    enableAxis(QwtPlot::yLeft, shown);
    QwtPlot::setTitle(shown ? m_title : QString());
    m_grid->enableX(shown);
    m_grid->enableY(shown);
    m_grid->enableXMin(shown);
    m_grid->enableYMin(shown);
    if (auto* c = qobject_cast<QwtPlotCanvas*>(canvas()))
        c->setPaintAttribute(QwtPlotCanvas::Opaque, !shown);
    setContentsMargins(0, 0, 0, 0);
}

void ThreeTracePlotter::logScale(bool on)
{
    m_log = on;
    static_cast<ValueScaleDraw*>(axisScaleDraw(QwtPlot::yLeft))->setLogarithmic(on);
    if (on) {
        auto* e = new QwtLogScaleEngine(10);
        setAxisScaleEngine(QwtPlot::yLeft, e);
    } else {
        auto* e = new QwtLinearScaleEngine(10);
        setAxisScaleEngine(QwtPlot::yLeft, e);
    }
    replot();
}

void ThreeTracePlotter::checkZoom(const QRectF&)
{
    if (m_zoomer->zoomRectIndex() == 0) {
        if (m_hasHome) {
            // The ranges the shown data asked for, not the engine's own
            // (which would count the points a log axis cannot draw).
            for (int axis : {QwtPlot::xBottom, QwtPlot::yLeft})
                setAxisScale(axis, rangeLow(axis), rangeHigh(axis));
        } else {
            setAxisAutoScale(QwtPlot::xBottom, true);
            setAxisAutoScale(QwtPlot::yLeft, true);
        }
        replot();
        m_zoomer->setZoomBase(false);
    }
}

void ThreeTracePlotter::setRanges(double xLow, double xHigh, double yLow, double yHigh)
{
    m_home[0] = xLow;
    m_home[1] = xHigh;
    m_home[2] = yLow;
    m_home[3] = yHigh;
    m_hasHome = true;
    for (int axis : {QwtPlot::xBottom, QwtPlot::yLeft})
        setAxisScale(axis, rangeLow(axis), rangeHigh(axis));
    updateAxes(); // the zoomer takes its base from the axes' scale divisions
    m_zoomer->setZoomBase(false);
}

void ThreeTracePlotter::setUserRange(int axis, double low, double high)
{
    m_user[slot(axis)] = true;
    m_userRange[2 * slot(axis)] = low;
    m_userRange[2 * slot(axis) + 1] = high;
    setAxisScale(axis, low, high);
    updateAxes();
    m_zoomer->setZoomBase(false);
}

void ThreeTracePlotter::clearUserRange(int axis)
{
    m_user[slot(axis)] = false;
    if (m_hasHome)
        setAxisScale(axis, homeLow(axis), homeHigh(axis));
    else
        setAxisAutoScale(axis, true);
    updateAxes();
    m_zoomer->setZoomBase(false);
}

void ThreeTracePlotter::showNoData(bool on)
{
    m_noData->setVisible(on);
}

bool ThreeTracePlotter::noDataShown() const
{
    return m_noData->isVisible();
}

void ThreeTracePlotter::setNoDataText(const QString& text)
{
    QwtText note = m_noData->text();
    if (note.text() == text)
        return;
    note.setText(text);
    m_noData->setText(note);
}

void ThreeTracePlotter::updateLegend()
{
    // Rebuilt from the curves attached now: a detached curve does not tell
    // the legend item that it left.
    m_legend->clearLegend();
    int listed = 0;
    for (QwtPlotItem* item : itemList(QwtPlotItem::Rtti_PlotCurve)) {
        auto* c = static_cast<QwtPlotCurve*>(item);
        const bool drawn = c->isVisible() && c->dataSize() > 0;
        if (c->testItemAttribute(QwtPlotItem::Legend) != drawn)
            c->setItemAttribute(QwtPlotItem::Legend, drawn);
        if (drawn) {
            m_legend->updateLegend(c, c->legendData());
            ++listed;
        }
    }
    m_legend->setVisible(listed >= 2);
}

void ThreeTracePlotter::setLegendAlignment(Qt::Alignment a)
{
    m_legend->setAlignment(a);
}

int ThreeTracePlotter::legendEntryCount() const
{
    return m_legend->plotItems().size();
}

bool ThreeTracePlotter::legendShown() const
{
    return m_legend->isVisible();
}

QString ThreeTracePlotter::noDataText() const
{
    return m_noData->text().text();
}

bool ThreeTracePlotter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == axisWidget(QwtPlot::yLeft) && event->type() == QEvent::MouseButtonDblClick)
        emit leftAxisDoubleClick();
    if (watched == axisWidget(QwtPlot::xBottom) && event->type() == QEvent::MouseButtonDblClick)
        emit bottomAxisDoubleClick();
    if (watched == canvas()) {
        // The right button zooms out; only where there is nothing to zoom out does it open the menu.
        if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
            m_zoomAtPress = m_zoomer->zoomRectIndex();
        if (event->type() == QEvent::ContextMenu) {
            if (m_zoomAtPress == 0 && m_zoomer->zoomRectIndex() == 0)
                emit contextMenuRequested(static_cast<QContextMenuEvent*>(event)->globalPos());
            m_zoomAtPress = 0;
            return true;
        }
    }
    return QwtPlot::eventFilter(watched, event);
}
