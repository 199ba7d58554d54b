#include "FigureStyle.h"

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_text.h>

namespace {
const int kAxes[2] = {QwtPlot::xBottom, QwtPlot::yLeft};

void setTitleFont(QwtPlot* p, const QFont& f)
{
    QwtText t = p->title();
    t.setFont(f);
    p->QwtPlot::setTitle(t);
}

void setAxisTitleFont(QwtPlot* p, int axis, const QFont& f)
{
    QwtText t = p->axisTitle(axis);
    t.setFont(f);
    p->setAxisTitle(axis, t);
}
} // namespace

FigureStyle::FigureStyle(const QList<QwtPlot*>& plots, int fontPt, double lineWidth)
{
    if (fontPt <= 0 && lineWidth <= 0)
        return;
    for (QwtPlot* p : plots) {
        Saved s;
        s.plot = p;
        for (int i = 0; i < 2; ++i) {
            s.axisFont[i] = p->axisFont(kAxes[i]);
            s.axisTitle[i] = p->axisTitle(kAxes[i]);
        }
        s.title = p->title();
        for (QwtPlotItem* item : p->itemList(QwtPlotItem::Rtti_PlotCurve)) {
            auto* c = static_cast<QwtPlotCurve*>(item);
            s.pens.append({c, c->pen()});
        }
        m_saved.append(s);
        if (fontPt > 0) {
            QFont f = s.axisFont[0];
            f.setPointSize(fontPt);
            QFont title = f;
            title.setPointSize(fontPt + 1);
            for (int i = 0; i < 2; ++i) {
                p->setAxisFont(kAxes[i], f);
                setAxisTitleFont(p, kAxes[i], title);
            }
            title.setBold(true);
            setTitleFont(p, title);
        }
        if (lineWidth > 0)
            for (const auto& c : s.pens) {
                QPen pen = c.second;
                pen.setWidthF(lineWidth);
                c.first->setPen(pen);
            }
    }
}

FigureStyle::~FigureStyle()
{
    for (const Saved& s : m_saved) {
        for (int i = 0; i < 2; ++i) {
            s.plot->setAxisFont(kAxes[i], s.axisFont[i]);
            s.plot->setAxisTitle(kAxes[i], s.axisTitle[i]);
        }
        s.plot->QwtPlot::setTitle(s.title);
        for (const auto& c : s.pens)
            c.first->setPen(c.second);
        s.plot->replot();
    }
}
