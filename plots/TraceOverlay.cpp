#include "TraceOverlay.h"

#include "CurveSet.h"
#include "DataAnalyzer.h"
#include "PlotData.h"
#include "PlotErrorBarCurve.h"

#include <qwt_plot.h>
#include <qwt_symbol.h>

namespace {
QStringList titles()
{
    QStringList t;
    for (int i = 0; i < TraceOverlay::kMaxTraces; ++i)
        t << QStringLiteral("Trace %1").arg(i + 1);
    return t;
}
} // namespace

TraceOverlay::TraceOverlay() : m_curves(std::make_unique<CurveSet>(titles()))
{
    for (int i = 0; i < kMaxTraces; ++i) {
        PlotErrorBarCurve* c = m_curves->curve(i);
        c->setStyle(QwtPlotCurve::Lines);
        c->setPen(QPen(colour(i), 1.2));
        c->setSymbol(new QwtSymbol(QwtSymbol::NoSymbol));
        c->setZ(15); // under the shown trace
    }
}

TraceOverlay::~TraceOverlay() = default;

QColor TraceOverlay::colour(int i)
{
    // Told apart in print and by most colour-blind readers.
    static const QColor palette[kMaxTraces] = {
        QColor(0, 114, 178),  QColor(230, 159, 0),  QColor(0, 158, 115),  QColor(204, 121, 167),
        QColor(86, 180, 233), QColor(213, 94, 0),   QColor(120, 120, 120), QColor(0, 0, 0),
        QColor(140, 86, 75),  QColor(23, 190, 207), QColor(188, 189, 34),  QColor(148, 103, 189)};
    return palette[((i % kMaxTraces) + kMaxTraces) % kMaxTraces];
}

void TraceOverlay::setChosen(const QVector<Key>& keys)
{
    m_chosen = keys.mid(0, kMaxTraces);
}

void TraceOverlay::detach()
{
    m_curves->detachAll();
}

void TraceOverlay::show(QwtPlot* plot, const DataAnalyzer& data, bool logAxis)
{
    detach();
    for (int i = 0; i < m_chosen.size(); ++i) {
        const Key& k = m_chosen[i];
        const QVector<ScanRecord>& scans = data.scansOfGroup(k.group);
        if (k.index < 0 || k.index >= scans.size())
            continue;
        const ScanRecord& s = scans[k.index];
        PlotData::Series series;
        series.x = s.corrected.V;
        series.y = s.corrected.I;
        if (series.x.size() != series.y.size() || series.x.isEmpty())
            continue;
        m_curves->feed(i, series, nullptr, nullptr, logAxis);
        m_curves->curve(i)->setTitle(PlotData::traceName(data, k.group, k.index));
        m_curves->curve(i)->attach(plot);
    }
}

int TraceOverlay::shownCount() const
{
    int n = 0;
    for (int i = 0; i < kMaxTraces; ++i)
        n += m_curves->curve(i)->plot() ? 1 : 0;
    return n;
}

const PlotErrorBarCurve* TraceOverlay::curve(int i) const
{
    return m_curves->curve(i);
}

AxisRange::Range TraceOverlay::yRange(const QwtPlot* plot, bool log) const
{
    return m_curves->yRange(plot, log);
}
