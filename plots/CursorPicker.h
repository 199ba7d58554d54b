#pragma once
// The cursor readout of one graph: while the mouse moves over the canvas it
// finds the nearest drawn point (in pixels, so zoom and log scale count as
// the user sees them) and shows its coordinates in a tracker label beside the
// cursor; readout() carries the same text to the status bar.
#include <qwt_plot_picker.h>

#include <QHash>
#include <QString>

class QwtPlotCurve;

class CursorPicker : public QwtPlotPicker
{
    Q_OBJECT
public:
    explicit CursorPicker(QWidget* canvas);

    // Names and units of a curve's coordinates ("U", "V", "I", "A"); a curve
    // without them is read with the plot's axis titles.
    void describe(const QwtPlotCurve* curve, const QString& xName, const QString& xUnit, const QString& yName,
                  const QString& yUnit);

    struct Nearest {
        const QwtPlotCurve* curve = nullptr;
        int index = -1;
        QPointF point;
    };
    // The drawn point nearest to a canvas position, within maxPixels.
    Nearest nearest(const QPoint& pos, double maxPixels = 40.0) const;
    // The readout text of a point of a curve ("U = -3.2 V   I = 1.05e-3 A").
    QString text(const QwtPlotCurve* curve, const QPointF& p) const;
    // Names and units of a curve's coordinates: x name, x unit, y name, y unit.
    QStringList names(const QwtPlotCurve* curve) const;

signals:
    // The readout of the point under the cursor; empty when there is none.
    void readout(const QString& text);

protected:
    QwtText trackerText(const QPoint& pos) const override;
    // Rings the point that is read, beside the label.
    void drawTracker(QPainter* painter) const override;
    QRect trackerRect(const QFont& font) const override;
    void widgetLeaveEvent(QEvent* event) override;

private:
    struct Names {
        QString xName, xUnit, yName, yUnit;
    };
    QHash<const QwtPlotCurve*, Names> m_names;
    mutable QString m_last;
    mutable QPoint m_pointPixel;
    mutable bool m_hasPoint = false;
};
