#include "CurveSet.h"

#include "PlotErrorBarCurve.h"

#include <qwt_symbol.h>

#include <algorithm>
#include <cmath>

CurveSet::CurveSet(const QStringList& titles)
    : m_series(size_t(titles.size())), m_errLow(size_t(titles.size())), m_errHigh(size_t(titles.size())),
      m_shownY(size_t(titles.size()))
{
    for (const QString& t : titles) {
        m_curves.push_back(std::make_unique<PlotErrorBarCurve>(t));
        m_curves.back()->setRenderHint(QwtPlotItem::RenderAntialiased, false);
    }
}

CurveSet::~CurveSet() = default;

void CurveSet::feed(int id, const PlotData::Series& s, const QVector<double>* yErrLow,
                    const QVector<double>* yErrHigh, bool logAxis)
{
    const size_t i = size_t(id);
    m_series[i] = s;
    m_errLow[i] = yErrLow && yErrLow->size() == s.size() ? *yErrLow : QVector<double>();
    m_errHigh[i] = yErrHigh && yErrHigh->size() == s.size() ? *yErrHigh : QVector<double>();
    const PlotData::Series& own = m_series[i];
    // A log axis cannot draw zero or negative values: they leave gaps.
    if (logAxis)
        m_shownY[i] = AxisRange::positiveOnly(own.y.constData(), own.size());
    else
        m_shownY[i].clear();
    const double* y = logAxis ? m_shownY[i].data() : own.y.constData();
    // The curve keeps raw pointers into these vectors: hand them over after every change.
    m_curves[i]->setSamplesWithErrors(own.x.constData(), y, own.size(), nullptr, nullptr,
                                      m_errLow[i].isEmpty() ? nullptr : m_errLow[i].constData(),
                                      m_errHigh[i].isEmpty() ? nullptr : m_errHigh[i].constData());
}

void CurveSet::setStyle(int id, const QColor& colour, double width, bool markers, bool errorBars)
{
    PlotErrorBarCurve* c = curve(id);
    c->setStyle(QwtPlotCurve::Lines);
    c->setPen(QPen(colour, width));
    QColor bar = colour;
    bar.setAlpha(150);
    c->setErrorPen(QPen(bar, 1));
    c->setSymbol(new QwtSymbol(markers ? QwtSymbol::Ellipse : QwtSymbol::NoSymbol, QBrush(colour), QPen(colour),
                               QSize(5, 5)));
    c->setShowYErrors(errorBars);
    c->setCapSize(3);
}

void CurveSet::detachAll()
{
    for (auto& c : m_curves)
        c->detach();
}

AxisRange::Range CurveSet::yRange(const QwtPlot* plot, bool log) const
{
    std::vector<AxisRange::Values> values;
    std::vector<std::vector<double>> barEnds;
    for (size_t i = 0; i < m_curves.size(); ++i) {
        const PlotErrorBarCurve* c = m_curves[i].get();
        if (c->plot() != plot || c->count() == 0)
            continue;
        const int n = c->count();
        const double* y = m_shownY[i].empty() ? m_series[i].y.constData() : m_shownY[i].data();
        values.push_back({y, n});
        if (!c->showYErrors() || m_errLow[i].isEmpty())
            continue;
        // The bars are drawn too: their ends count (those of drawn points only).
        const QVector<double>& high = m_errHigh[i].isEmpty() ? m_errLow[i] : m_errHigh[i];
        std::vector<double> lo(static_cast<size_t>(n)), hi(static_cast<size_t>(n));
        for (int k = 0; k < n; ++k) {
            lo[size_t(k)] = y[k] - std::fabs(m_errLow[i][k]);
            hi[size_t(k)] = y[k] + std::fabs(high[k]);
        }
        barEnds.push_back(std::move(lo));
        barEnds.push_back(std::move(hi));
    }
    for (const std::vector<double>& v : barEnds)
        values.push_back({v.data(), int(v.size())});
    return AxisRange::of(values, log);
}

AxisRange::Range CurveSet::xRange(const std::vector<const QwtPlot*>& plots) const
{
    std::vector<AxisRange::Values> values;
    for (size_t i = 0; i < m_curves.size(); ++i)
        if (m_curves[i]->count() > 0 && std::find(plots.begin(), plots.end(), m_curves[i]->plot()) != plots.end())
            values.push_back({m_series[i].x.constData(), m_series[i].size()});
    return AxisRange::of(values, false);
}
