#pragma once
// The curves of the session window and the data they show. A curve keeps raw
// pointers into its series, so both live here and change together; the
// ranges are those of the values as drawn (a log axis draws positive ones).
#include "AxisRange.h"
#include "PlotData.h"

#include <QColor>
#include <QStringList>
#include <memory>
#include <vector>

class PlotErrorBarCurve;
class QwtPlot;

class CurveSet
{
public:
    explicit CurveSet(const QStringList& titles);
    ~CurveSet();

    int count() const { return int(m_curves.size()); }
    PlotErrorBarCurve* curve(int id) const { return m_curves[size_t(id)].get(); }
    const PlotData::Series& series(int id) const { return m_series[size_t(id)]; }

    // logAxis: the curve shows only the positive values (gaps elsewhere);
    // the series itself (clipboard) keeps them all.
    void feed(int id, const PlotData::Series& s, const QVector<double>* yErrLow = nullptr,
              const QVector<double>* yErrHigh = nullptr, bool logAxis = false);
    void clear(int id) { feed(id, PlotData::Series()); }
    void detachAll();
    // A line of this colour and width, with markers and error bars or without.
    void setStyle(int id, const QColor& colour, double width, bool markers, bool errorBars);

    // Over the curves of this set attached to a plot, with the drawn error bars.
    AxisRange::Range yRange(const QwtPlot* plot, bool log) const;
    // Over the curves attached to any of these plots (graphs that line up).
    AxisRange::Range xRange(const std::vector<const QwtPlot*>& plots) const;

private:
    std::vector<std::unique_ptr<PlotErrorBarCurve>> m_curves;
    std::vector<PlotData::Series> m_series;
    std::vector<QVector<double>> m_errLow, m_errHigh;
    std::vector<std::vector<double>> m_shownY; // positive values only, for a log axis
};
