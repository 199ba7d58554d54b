#include "CursorPicker.h"

#include <qwt_picker_machine.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_map.h>
#include <QLocale>
#include <QPainter>
#include <QRegularExpression>
#include <QTextDocumentFragment>
#include <cmath>

namespace {
// Axis titles are rich text ("EEPF [m<sup>-3</sup>...]"): the readout is plain.
QString plain(const QString& rich)
{
    return QTextDocumentFragment::fromHtml(rich).toPlainText().simplified();
}

QString number(double v)
{
    QLocale l;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l.toString(v, 'g', 5);
}
} // namespace

CursorPicker::CursorPicker(QWidget* canvas)
    : QwtPlotPicker(QwtPlot::xBottom, QwtPlot::yLeft, QwtPicker::NoRubberBand, QwtPicker::AlwaysOn, canvas)
{
    setStateMachine(new QwtPickerTrackerMachine);
    setTrackerPen(QPen(Qt::black));
    setTrackerFont(QFont(QStringLiteral("DejaVu Sans"), 8));
}

void CursorPicker::describe(const QwtPlotCurve* curve, const QString& xName, const QString& xUnit,
                            const QString& yName, const QString& yUnit)
{
    m_names.insert(curve, Names{xName, xUnit, yName, yUnit});
}

CursorPicker::Nearest CursorPicker::nearest(const QPoint& pos, double maxPixels) const
{
    Nearest best;
    const QwtPlot* p = plot();
    if (!p)
        return best;
    double bestDist = maxPixels;
    for (QwtPlotItem* item : p->itemList(QwtPlotItem::Rtti_PlotCurve)) {
        auto* c = static_cast<QwtPlotCurve*>(item);
        if (!c->isVisible() || c->dataSize() == 0)
            continue;
        const QwtScaleMap xMap = p->canvasMap(c->xAxis());
        const QwtScaleMap yMap = p->canvasMap(c->yAxis());
        for (size_t i = 0; i < c->dataSize(); ++i) {
            const QPointF s = c->sample(int(i));
            if (!std::isfinite(s.x()) || !std::isfinite(s.y()) || (yMap.transformation() && s.y() <= 0))
                continue;
            const double dx = xMap.transform(s.x()) - pos.x();
            const double dy = yMap.transform(s.y()) - pos.y();
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d < bestDist) {
                bestDist = d;
                best = Nearest{c, int(i), s};
            }
        }
    }
    return best;
}

QStringList CursorPicker::names(const QwtPlotCurve* curve) const
{
    Names n = m_names.value(curve);
    if (n.xName.isEmpty() && plot()) {
        n.xName = plain(plot()->axisTitle(QwtPlot::xBottom).text());
        n.yName = plain(plot()->axisTitle(QwtPlot::yLeft).text());
    }
    return {n.xName, n.xUnit, n.yName, n.yUnit};
}

QString CursorPicker::text(const QwtPlotCurve* curve, const QPointF& p) const
{
    const QStringList l = names(curve);
    const Names n{l[0], l[1], l[2], l[3]};
    auto part = [](const QString& name, double v, const QString& unit) {
        return unit.isEmpty() ? QStringLiteral("%1 = %2").arg(name, number(v))
                              : QStringLiteral("%1 = %2 %3").arg(name, number(v), unit);
    };
    return part(n.xName, p.x(), n.xUnit) + QStringLiteral("   ") + part(n.yName, p.y(), n.yUnit);
}

QwtText CursorPicker::trackerText(const QPoint& pos) const
{
    const Nearest n = nearest(pos);
    const QString t = n.curve ? text(n.curve, n.point) : QString();
    m_hasPoint = n.curve != nullptr;
    if (m_hasPoint)
        m_pointPixel = QPoint(qRound(plot()->canvasMap(n.curve->xAxis()).transform(n.point.x())),
                              qRound(plot()->canvasMap(n.curve->yAxis()).transform(n.point.y())));
    if (t != m_last) {
        m_last = t;
        emit const_cast<CursorPicker*>(this)->readout(t);
    }
    QwtText label(t);
    label.setBackgroundBrush(QColor(255, 255, 225, 230));
    label.setBorderPen(QPen(QColor(120, 120, 120)));
    return label;
}

QRect CursorPicker::trackerRect(const QFont& font) const
{
    // The overlay shows only this rectangle: the ring must lie inside it.
    const QRect text = QwtPlotPicker::trackerRect(font);
    if (text.isEmpty() || !m_hasPoint)
        return text;
    return text.united(QRect(m_pointPixel - QPoint(7, 7), QSize(15, 15)));
}

void CursorPicker::drawTracker(QPainter* painter) const
{
    const QRect textRect = QwtPlotPicker::trackerRect(painter->font());
    if (textRect.isEmpty())
        return;
    trackerText(trackerPosition()).draw(painter, textRect);
    if (!m_hasPoint)
        return;
    painter->save();
    painter->setPen(QPen(Qt::black, 1.5));
    painter->setBrush(Qt::NoBrush);
    painter->drawEllipse(m_pointPixel, 5, 5);
    painter->restore();
}

void CursorPicker::widgetLeaveEvent(QEvent* event)
{
    QwtPlotPicker::widgetLeaveEvent(event);
    if (!m_last.isEmpty()) {
        m_last.clear();
        emit readout(QString());
    }
}
