#pragma once
// The look of graphs for a figure: while an object lives, the graphs carry the
// font size and line width chosen for an export (titles a point larger than
// the tick labels); the graphs get their own look back when it goes.
#include <QFont>
#include <QList>
#include <QPen>
#include <QVector>
#include <qwt_text.h>

class QwtPlot;
class QwtPlotCurve;

class FigureStyle
{
public:
    // fontPt 0 and lineWidth 0 keep what the window shows.
    FigureStyle(const QList<QwtPlot*>& plots, int fontPt, double lineWidth);
    ~FigureStyle();
    FigureStyle(const FigureStyle&) = delete;
    FigureStyle& operator=(const FigureStyle&) = delete;

private:
    struct Saved {
        QwtPlot* plot;
        QFont axisFont[2];
        QwtText axisTitle[2], title; // whole: a title without a font of its own takes the widget's
        QVector<QPair<QwtPlotCurve*, QPen>> pens;
    };
    QList<Saved> m_saved;
};
