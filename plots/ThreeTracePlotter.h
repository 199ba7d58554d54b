#pragma once
// A QwtPlot with grid, zoomer, log-scale switch and an axes on/off switch.
// The session window creates three of them and feeds their curves.
#include <qwt_plot.h>
#include <QRectF>

class QwtPlotGrid;
class QwtPlotLegendItem;
class QwtPlotTextLabel;
class QwtPlotZoomer;

class ThreeTracePlotter : public QwtPlot
{
    Q_OBJECT
public:
    explicit ThreeTracePlotter(const QString& title, QWidget* parent = nullptr);
    explicit ThreeTracePlotter(QWidget* parent = nullptr);

    void setTitle(const QString& title);
    QString titleText() const { return m_title; }
    void setAxesShown(bool shown);
    bool axesShown() const { return m_axesShown; }
    bool isLogScale() const { return m_log; }
    QwtPlotZoomer* zoomer() const { return m_zoomer; }
    QwtPlotGrid* grid() const { return m_grid; }

    // Sets both axes to the ranges of what the plot now shows and makes them
    // the zoomer's base, so that a new view or new data never leave a stale
    // zoom or range behind; returning from a zoom comes back to them.
    void setRanges(double xLow, double xHigh, double yLow, double yHigh);
    bool hasHomeRanges() const { return m_hasHome; }
    // An axis range the user fixed (scale form), for xBottom or yLeft: kept
    // over every redraw, frame and view change until cleared, which returns
    // to the range of the data shown.
    void setUserRange(int axis, double low, double high);
    void clearUserRange(int axis);
    bool hasUserRange(int axis) const { return m_user[slot(axis)]; }
    void setUserYRange(double low, double high) { setUserRange(QwtPlot::yLeft, low, high); }
    void clearUserYRange() { clearUserRange(QwtPlot::yLeft); }
    bool hasUserYRange() const { return hasUserRange(QwtPlot::yLeft); }
    // The range the data shown asked for (before any user range).
    double homeLow(int axis) const { return m_home[2 * slot(axis)]; }
    double homeHigh(int axis) const { return m_home[2 * slot(axis) + 1]; }
    // The "no data" note in the middle of the canvas, and what it says
    // ("no data" unless a view tells why its graph is empty).
    void showNoData(bool on);
    bool noDataShown() const;
    void setNoDataText(const QString& text);
    QString noDataText() const;
    // A legend inside the canvas while two or more curves with data are
    // drawn; only those curves are listed. Called after the curves changed.
    void updateLegend();
    bool legendShown() const;
    int legendEntryCount() const;
    // Where the legend sits: where the view's curves leave room.
    void setLegendAlignment(Qt::Alignment a);

public slots:
    void logScale(bool on);
    void checkZoom(const QRectF& rect);

signals:
    void leftAxisDoubleClick();
    void bottomAxisDoubleClick();
    // A right click that did not zoom out (at the base zoom, or off the canvas).
    void contextMenuRequested(const QPoint& globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();

    QwtPlotGrid* m_grid = nullptr;
    QwtPlotZoomer* m_zoomer = nullptr;
    QwtPlotTextLabel* m_noData = nullptr;
    QwtPlotLegendItem* m_legend = nullptr;
    double m_home[4] = {0, 1, 0, 1};
    bool m_hasHome = false;
    static int slot(int axis) { return axis == QwtPlot::xBottom ? 0 : 1; }
    bool m_user[2] = {false, false};
    double m_userRange[4] = {0, 1, 0, 1};
    // The range in force: the user's when fixed, else the data's.
    double rangeLow(int axis) const { return m_user[slot(axis)] ? m_userRange[2 * slot(axis)] : homeLow(axis); }
    double rangeHigh(int axis) const
    {
        return m_user[slot(axis)] ? m_userRange[2 * slot(axis) + 1] : homeHigh(axis);
    }
    QString m_title;
    bool m_axesShown = true;
    bool m_log = false;
    unsigned m_zoomAtPress = 0;
};
