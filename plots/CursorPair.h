#pragma once
// Two pinned cursors on one graph, as on a scope: a click on the canvas pins
// cursor A at the drawn point nearest to it, the next click cursor B (later
// clicks move B); a click on a pinned cursor removes it, and so does Delete
// (all of them). The "M" key pins at the point under the mouse. With both
// pinned, a readout of their differences, the slope and (on a current graph)
// the e-folding voltage sits on the canvas and is exported with the graph;
// Ctrl+C on the canvas copies it.
#include "CursorDelta.h"

#include <QObject>
#include <QPointF>
#include <memory>

class CursorPicker;
class QwtPlot;
class QwtPlotCurve;
class QwtPlotMarker;
class QwtPlotTextLabel;

class CursorPair : public QObject
{
    Q_OBJECT
public:
    CursorPair(QwtPlot* plot, CursorPicker* picker);
    ~CursorPair() override;

    int pinnedCount() const;
    QPointF pinned(int which) const; // 0 = A, 1 = B
    // Pins at the drawn point nearest to a canvas position (a click does).
    bool pinAt(const QPoint& canvasPos);
    void clear();
    // The e-folding voltage belongs to current graphs only.
    void setEFolding(bool on);
    // Empty unless both cursors are pinned.
    QString readout() const { return m_readout; }
    void copy() const;

signals:
    void readoutChanged(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void update();

    QwtPlot* m_plot;
    CursorPicker* m_picker;
    std::unique_ptr<QwtPlotMarker> m_mark[2];
    const QwtPlotCurve* m_curve[2] = {nullptr, nullptr};
    std::unique_ptr<QwtPlotTextLabel> m_label;
    bool m_eFolding = false;
    QString m_readout;
    QPoint m_pressAt;
    QPoint m_mouseAt;
};
