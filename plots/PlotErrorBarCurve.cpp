#include "PlotErrorBarCurve.h"

#include <qwt_symbol.h>
#include <qwt_scale_map.h>
#include <QPainter>
#include <cmath>
#include <atomic>

namespace {
int px(double v, double fallback = 0.0)
{
    // Half away from zero; clamp so that huge transforms cannot overflow int.
    // A value a log scale cannot map (<= 0) falls back to the canvas edge.
    if (!std::isfinite(v))
        v = fallback;
    v = std::max(-1e9, std::min(1e9, v));
    return int(std::lround(v));
}
} // namespace

namespace {
std::atomic<int> g_liveCurves{0};
}

int PlotErrorBarCurve::liveCount()
{
    return g_liveCurves.load();
}

PlotErrorBarCurve::~PlotErrorBarCurve()
{
    --g_liveCurves;
}

PlotErrorBarCurve::PlotErrorBarCurve(const QString& title)
    : QwtPlotCurve(title)
{
    ++g_liveCurves;
    setStyle(QwtPlotCurve::NoCurve);
    setSymbol(new QwtSymbol(QwtSymbol::NoSymbol));
    m_errorPen = pen();
}

double PlotErrorBarCurve::minOf(const double* v, int n)
{
    if (!v || n < 1)
        return 0.0;
    bool any = false;
    double m = 0.0;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(v[i]))
            continue;
        if (!any || v[i] < m)
            m = v[i];
        any = true;
    }
    return any ? m : 0.0;
}

double PlotErrorBarCurve::maxOf(const double* v, int n)
{
    if (!v || n < 1)
        return 1.0;
    bool any = false;
    double m = 1.0;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(v[i]))
            continue;
        if (!any || v[i] > m)
            m = v[i];
        any = true;
    }
    return any ? m : 1.0;
}

double PlotErrorBarCurve::minWithError(const double* v, const double* e, int n)
{
    if (!e)
        return minOf(v, n);
    if (!v || n < 1)
        return 0.0;
    bool any = false;
    double m = 0.0;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(v[i]) || !std::isfinite(e[i]))
            continue;
        const double d = v[i] - e[i];
        if (!any || d < m)
            m = d;
        any = true;
    }
    return any ? m : minOf(v, n);
}

double PlotErrorBarCurve::maxWithError(const double* v, const double* e, int n)
{
    if (!e)
        return maxOf(v, n);
    if (!v || n < 1)
        return 1.0;
    bool any = false;
    double m = 1.0;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(v[i]) || !std::isfinite(e[i]))
            continue;
        const double d = v[i] + e[i];
        if (!any || d > m)
            m = d;
        any = true;
    }
    return any ? m : maxOf(v, n);
}

void PlotErrorBarCurve::computeBounds()
{
    const int n = m_count;
    m_bounds[eXMin] = minOf(m_x, n);
    m_bounds[eXMax] = maxOf(m_x, n);
    m_bounds[eYMin] = minOf(m_y, n);
    m_bounds[eYMax] = maxOf(m_y, n);
    if (m_xErr) {
        m_bounds[eXMinErr] = minWithError(m_x, m_xErr, n);
        m_bounds[eXMaxErr] = maxWithError(m_x, m_xErrHigh ? m_xErrHigh : m_xErr, n);
    } else {
        m_bounds[eXMinErr] = m_bounds[eXMin];
        m_bounds[eXMaxErr] = m_bounds[eXMax];
    }
    if (m_yErr) {
        m_bounds[eYMinErr] = minWithError(m_y, m_yErr, n);
        m_bounds[eYMaxErr] = maxWithError(m_y, m_yErrHigh ? m_yErrHigh : m_yErr, n);
    } else {
        m_bounds[eYMinErr] = m_bounds[eYMin];
        m_bounds[eYMaxErr] = m_bounds[eYMax];
    }
}

void PlotErrorBarCurve::setSamplesWithErrors(const double* x, const double* y, int count,
                                             const double* xErr, const double* xErrHigh,
                                             const double* yErr, const double* yErrHigh)
{
    m_count = (x && y && count > 0) ? count : 0;
    m_x = x;
    m_y = y;
    m_xErr = xErr;
    m_xErrHigh = xErrHigh;
    m_yErr = yErr;
    m_yErrHigh = yErrHigh;
    computeBounds();
    // The curve keeps raw pointers: every data change must come through here.
    setRawSamples(m_x, m_y, m_count);
}

void PlotErrorBarCurve::setSamplesPlain(const double* x, const double* y, int count)
{
    setSamplesWithErrors(x, y, count, nullptr, nullptr, nullptr, nullptr);
}

void PlotErrorBarCurve::setShowXErrors(bool on)
{
    if (on == m_showXErrors)
        return;
    m_showXErrors = on;
    itemChanged();
}

void PlotErrorBarCurve::setShowYErrors(bool on)
{
    if (on == m_showYErrors)
        return;
    m_showYErrors = on;
    itemChanged();
}

void PlotErrorBarCurve::setCapSize(int pixels)
{
    if (pixels == m_capSize)
        return;
    m_capSize = pixels;
    itemChanged();
}

void PlotErrorBarCurve::setCurveBelowBars(bool on)
{
    if (on == m_curveBelowBars)
        return;
    m_curveBelowBars = on;
    itemChanged();
}

void PlotErrorBarCurve::setAutoMargin(bool on)
{
    if (on == m_autoMargin)
        return;
    m_autoMargin = on;
    itemChanged();
}

QRectF PlotErrorBarCurve::boundingRect() const
{
    if (m_count <= 0)
        return QRectF(1.0, 1.0, -2.0, -2.0); // invalid: ignored by autoscaling
    const double xl = m_showXErrors ? m_bounds[eXMinErr] : m_bounds[eXMin];
    const double xh = m_showXErrors ? m_bounds[eXMaxErr] : m_bounds[eXMax];
    const double yl = m_showYErrors ? m_bounds[eYMinErr] : m_bounds[eYMin];
    const double yh = m_showYErrors ? m_bounds[eYMaxErr] : m_bounds[eYMax];
    return QRectF(xl, yl, xh - xl, yh - yl);
}

QwtScaleMap PlotErrorBarCurve::marginMap(const QwtScaleMap& yMap) const
{
    QwtScaleMap m(yMap);
    if (m_autoMargin) {
        const double h = m_bounds[eYMaxErr] - m_bounds[eYMinErr];
        m.setScaleInterval(m_bounds[eYMinErr] - 0.1 * h, m_bounds[eYMaxErr] + 0.1 * h);
    }
    return m;
}

bool PlotErrorBarCurve::sampleFinite(int i) const
{
    return std::isfinite(m_x[i]) && std::isfinite(m_y[i]);
}

void PlotErrorBarCurve::drawSeries(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                                   const QRectF& canvasRect, int from, int to) const
{
    if (!painter || m_count <= 0)
        return;
    if (to < 0 || to >= m_count)
        to = m_count - 1;
    if (from < 0)
        from = 0;
    int i = from;
    while (i <= to) {
        while (i <= to && !sampleFinite(i))
            ++i;
        if (i > to)
            break;
        int j = i;
        while (j + 1 <= to && sampleFinite(j + 1))
            ++j;
        drawRun(painter, xMap, yMap, canvasRect, i, j);
        i = j + 1;
    }
}

void PlotErrorBarCurve::drawCurve(QPainter* painter, int style, const QwtScaleMap& xMap,
                                  const QwtScaleMap& yMap, const QRectF& canvasRect, int from, int to) const
{
    QwtPlotCurve::drawCurve(painter, style, xMap, yMap, canvasRect, from, to);
}

void PlotErrorBarCurve::drawSymbols(QPainter* painter, const QwtSymbol& symbol, const QwtScaleMap& xMap,
                                    const QwtScaleMap& yMap, const QRectF& canvasRect, int from, int to) const
{
    QwtPlotCurve::drawSymbols(painter, symbol, xMap, marginMap(yMap), canvasRect, from, to);
}

void PlotErrorBarCurve::drawRun(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                                const QRectF& canvasRect, int from, int to) const
{
    const QwtScaleMap ym = marginMap(yMap);
    if (!painter || m_count <= 0 || from > to)
        return;

    auto drawLine = [&] {
        // Curve line and symbols of this finite run only.
        if (style() != NoCurve) {
            painter->save();
            painter->setPen(pen());
            drawCurve(painter, style(), xMap, ym, canvasRect, from, to);
            painter->restore();
        }
        const QwtSymbol* sym = symbol();
        if (sym && sym->style() != QwtSymbol::NoSymbol) {
            painter->save();
            drawSymbols(painter, *sym, xMap, ym, canvasRect, from, to);
            painter->restore();
        }
    };

    if (m_curveBelowBars)
        drawLine();

    painter->save();
    painter->setPen(m_errorPen);
    const int cap = m_capSize;
    if (m_showXErrors) {
        const double* hi = m_xErrHigh ? m_xErrHigh : m_xErr;
        for (int i = from; i <= to; ++i) {
            const double lo = m_xErr ? m_xErr[i] : 0.0;
            const double up = hi ? hi[i] : 0.0;
            if (!std::isfinite(lo) || !std::isfinite(up))
                continue; // no bar for an unknown error
            const int x1 = px(xMap.transform(m_x[i] - lo));
            const int x2 = px(xMap.transform(m_x[i] + up));
            const int y = px(ym.transform(m_y[i]));
            painter->drawLine(x1, y, x2, y);
            if (cap > 0) {
                painter->drawLine(x1, y - cap, x1, y + cap);
                painter->drawLine(x2, y - cap, x2, y + cap);
            }
        }
    }
    if (m_showYErrors) {
        const double* hi = m_yErrHigh ? m_yErrHigh : m_yErr;
        for (int i = from; i <= to; ++i) {
            const double lo = m_yErr ? std::fabs(m_yErr[i]) : 0.0;
            const double up = hi ? std::fabs(hi[i]) : 0.0;
            if (!std::isfinite(lo) || !std::isfinite(up))
                continue;
            const int x = px(xMap.transform(m_x[i]));
            const int y1 = px(ym.transform(m_y[i] - lo), canvasRect.bottom());
            const int y2 = px(ym.transform(m_y[i] + up), canvasRect.top());
            painter->drawLine(x, y1, x, y2);
            if (cap > 0) {
                painter->drawLine(x - cap, y1, x + cap, y1);
                painter->drawLine(x - cap, y2, x + cap, y2);
            }
        }
    }
    painter->restore();

    if (!m_curveBelowBars)
        drawLine();
}
