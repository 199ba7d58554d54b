#pragma once
// A Qwt curve over caller-owned arrays that draws x/y error bars with caps and
// leaves gaps at non-finite samples. The session window owns the arrays.
#include <qwt_plot_curve.h>
#include <QPen>

class PlotErrorBarCurve : public QwtPlotCurve
{
public:
    explicit PlotErrorBarCurve(const QString& title = QString());
    ~PlotErrorBarCurve() override;
    // Curves alive in the process (leak checks).
    static int liveCount();

    // Arrays are not copied: they must outlive their use by this curve.
    void setSamplesWithErrors(const double* x, const double* y, int count,
                              const double* xErr, const double* xErrHigh,
                              const double* yErr, const double* yErrHigh);
    void setSamplesPlain(const double* x, const double* y, int count);

    void setShowXErrors(bool on);
    bool showXErrors() const { return m_showXErrors; }
    void setShowYErrors(bool on);
    bool showYErrors() const { return m_showYErrors; }
    void setCapSize(int pixels);
    int capSize() const { return m_capSize; }
    void setCurveBelowBars(bool on);
    bool curveBelowBars() const { return m_curveBelowBars; }
    void setAutoMargin(bool on);
    bool autoMargin() const { return m_autoMargin; }
    void setErrorPen(const QPen& pen) { m_errorPen = pen; }
    QPen errorPen() const { return m_errorPen; }

    enum Bound { eXMin, eXMax, eYMin, eYMax, eXMinErr, eXMaxErr, eYMinErr, eYMaxErr };
    double bound(Bound b) const { return m_bounds[b]; }
    int count() const { return m_count; }

    QRectF boundingRect() const override;
    void drawSeries(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                    const QRectF& canvasRect, int from, int to) const override;

    // Extremes that skip non-finite values (exposed for the session window and tests).
    static double minOf(const double* v, int n);
    static double maxOf(const double* v, int n);
    static double minWithError(const double* v, const double* e, int n);
    static double maxWithError(const double* v, const double* e, int n);

protected:
    void drawCurve(QPainter* painter, int style, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                   const QRectF& canvasRect, int from, int to) const override;
    void drawSymbols(QPainter* painter, const QwtSymbol& symbol, const QwtScaleMap& xMap,
                     const QwtScaleMap& yMap, const QRectF& canvasRect, int from, int to) const override;

private:
    void computeBounds();
    QwtScaleMap marginMap(const QwtScaleMap& yMap) const;
    void drawRun(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                 const QRectF& canvasRect, int from, int to) const;
    bool sampleFinite(int i) const;

    bool m_autoMargin = false;
    const double* m_x = nullptr;
    const double* m_y = nullptr;
    const double* m_xErr = nullptr;
    const double* m_xErrHigh = nullptr;
    const double* m_yErr = nullptr;
    const double* m_yErrHigh = nullptr;
    int m_count = 0;
    double m_bounds[8] = {0, 1, 0, 1, 0, 1, 0, 1};
    bool m_showXErrors = false;
    bool m_showYErrors = false;
    int m_capSize = 5;
    bool m_curveBelowBars = false;
    QPen m_errorPen;
};
