#pragma once
// Other traces of the session drawn over the IV graph with the one shown:
// several positions of a spatial run, time slices, frames. Each chosen trace
// keeps its colour (by the order of choosing) on screen and in figures, and
// is named in the legend by where and when it was measured.
#include "AxisRange.h"

#include <QColor>
#include <QVector>
#include <memory>

class CurveSet;
class DataAnalyzer;
class PlotErrorBarCurve;
class QwtPlot;

class TraceOverlay
{
public:
    static constexpr int kMaxTraces = 12;
    struct Key {
        int group = 0, index = 0;
        bool operator==(const Key& o) const { return group == o.group && index == o.index; }
    };

    TraceOverlay();
    ~TraceOverlay();

    // At most kMaxTraces, in the order chosen.
    void setChosen(const QVector<Key>& keys);
    const QVector<Key>& chosen() const { return m_chosen; }
    // Attaches the chosen traces that the session holds (a log axis draws
    // their positive values).
    void show(QwtPlot* plot, const DataAnalyzer& data, bool logAxis);
    void detach();
    int shownCount() const;
    // The y range of the traces attached to a plot, as drawn.
    AxisRange::Range yRange(const QwtPlot* plot, bool log) const;
    const PlotErrorBarCurve* curve(int i) const;
    static QColor colour(int i);

private:
    QVector<Key> m_chosen;
    std::unique_ptr<CurveSet> m_curves;
};
