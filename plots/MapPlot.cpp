#include "MapPlot.h"

#include <qwt_color_map.h>
#include <qwt_plot_picker.h>
#include <qwt_picker_machine.h>
#include <qwt_plot_spectrogram.h>
#include <qwt_raster_data.h>
#include <qwt_scale_widget.h>
#include <cmath>
#include <limits>

namespace {
// Each cell of the grid spans halfway to its neighbours.
double edge(const QVector<double>& axis, bool upper)
{
    const int n = axis.size();
    if (n == 0)
        return 0;
    if (n == 1)
        return axis[0] + (upper ? 0.5 : -0.5);
    return upper ? axis[n - 1] + 0.5 * (axis[n - 1] - axis[n - 2]) : axis[0] - 0.5 * (axis[1] - axis[0]);
}

class MapRaster : public QwtRasterData
{
public:
    explicit MapRaster(const MapData& m) : m_map(m)
    {
        setInterval(Qt::XAxis, QwtInterval(edge(m.positions, false), edge(m.positions, true)));
        setInterval(Qt::YAxis, QwtInterval(edge(m.times, false), edge(m.times, true)));
        const double lo = m.low(), hi = m.high();
        setInterval(Qt::ZAxis, std::isfinite(lo) ? QwtInterval(lo, hi > lo ? hi : lo + 1) : QwtInterval(0, 1));
    }
    double value(double x, double y) const override
    {
        if (!interval(Qt::XAxis).contains(x) || !interval(Qt::YAxis).contains(y))
            return std::numeric_limits<double>::quiet_NaN();
        const int p = m_map.positionIndex(x), t = m_map.timeIndex(y);
        return (p < 0 || t < 0) ? std::numeric_limits<double>::quiet_NaN() : m_map.at(p, t);
    }

private:
    MapData m_map;
};

QwtLinearColorMap* colourMap()
{
    // Dark blue to yellow through red: ordered in lightness, readable in grey.
    auto* c = new QwtLinearColorMap(QColor(20, 20, 110), QColor(250, 230, 40));
    c->addColorStop(0.35, QColor(120, 30, 150));
    c->addColorStop(0.65, QColor(220, 60, 60));
    return c;
}
} // namespace

class MapPlot::Picker : public QwtPlotPicker
{
public:
    explicit Picker(MapPlot* owner)
        : QwtPlotPicker(QwtPlot::xBottom, QwtPlot::yLeft, NoRubberBand, AlwaysOn, owner->canvas()), m_owner(owner)
    {
        setStateMachine(new QwtPickerTrackerMachine);
    }

protected:
    QwtText trackerText(const QPoint& pos) const override
    {
        const QString t = m_owner->readoutAt(pos);
        if (t != m_last) {
            m_last = t;
            emit m_owner->readout(t);
        }
        QwtText label(t);
        label.setBackgroundBrush(QColor(255, 255, 225, 230));
        label.setBorderPen(QPen(QColor(120, 120, 120)));
        return label;
    }

private:
    MapPlot* m_owner;
    mutable QString m_last;
};

MapPlot::MapPlot(QWidget* parent) : ThreeTracePlotter(QStringLiteral("Map"), parent)
{
    m_spectrogram = new QwtPlotSpectrogram;
    m_spectrogram->setRenderThreadCount(1); // small grids: threads cost more than they give
    m_spectrogram->setColorMap(colourMap());
    m_spectrogram->attach(this);
    setAxisTitle(QwtPlot::xBottom, QStringLiteral("Position [mm]"));
    setAxisTitle(QwtPlot::yLeft, QStringLiteral("Time [<span>&mu;</span>s]"));
    QwtScaleWidget* bar = axisWidget(QwtPlot::yRight);
    bar->setColorBarEnabled(true);
    bar->setColorBarWidth(14);
    setAxisFont(QwtPlot::yRight, axisFont(QwtPlot::yLeft));
    m_picker = new Picker(this);
    setMap(MapData(), QString(), QString(), QString());
}

MapPlot::~MapPlot() = default;

void MapPlot::setMap(const MapData& map, const QString& name, const QString& unit, const QString& axisTitle)
{
    m_map = map;
    m_name = name;
    m_unit = unit;
    auto* raster = new MapRaster(map);
    m_spectrogram->setData(raster); // takes it
    const QwtInterval z = raster->interval(Qt::ZAxis);
    enableAxis(QwtPlot::yRight, map.isValid());
    axisWidget(QwtPlot::yRight)->setColorMap(z, colourMap());
    setAxisScale(QwtPlot::yRight, z.minValue(), z.maxValue());
    setAxisTitle(QwtPlot::yRight, axisTitle);
    m_spectrogram->setVisible(map.isValid());
    setNoDataText(map.isValid() ? QStringLiteral("no data") : map.missing);
    showNoData(!map.isValid());
    if (map.isValid())
        setRanges(raster->interval(Qt::XAxis).minValue(), raster->interval(Qt::XAxis).maxValue(),
                  raster->interval(Qt::YAxis).minValue(), raster->interval(Qt::YAxis).maxValue());
    else
        setRanges(0, 1, 0, 1);
}

QString MapPlot::readoutAt(const QPoint& pos) const
{
    if (!m_map.isValid())
        return QString();
    const double x = canvasMap(QwtPlot::xBottom).invTransform(pos.x());
    const double y = canvasMap(QwtPlot::yLeft).invTransform(pos.y());
    const double v = m_spectrogram->data()->value(x, y);
    if (!std::isfinite(v))
        return QString();
    const int p = m_map.positionIndex(x), t = m_map.timeIndex(y);
    const QString value = QString::number(v, 'g', 4) + (m_unit.isEmpty() ? QString() : QLatin1Char(' ') + m_unit);
    return QStringLiteral("x = %1 mm   t = %2 %3   %4 = %5")
        .arg(QString::number(m_map.positions[p], 'f', 1), QString::number(m_map.times[t], 'f', 3),
             QString::fromUtf8("\u00b5s"), m_name, value);
}
