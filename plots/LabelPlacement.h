#pragma once
// Where the labels of vertical marker lines go so that none covers another,
// without widgets. Each label stands beside its line (right or left of it) at
// the top or the bottom of the canvas; it takes the first of its places, in
// its order of preference and then further out from its line, that stays
// inside the canvas and meets no label placed before it.
#include <QRectF>
#include <QVector>
#include <Qt>

namespace LabelPlacement {

struct Label {
    double x = 0; // pixel of the line
    QSizeF size;  // of the label as drawn
    bool preferBottom = false;
};

struct Place {
    Qt::Alignment align = Qt::AlignRight | Qt::AlignTop;
    double gap = 2; // pixels between the line and the label
};

QRectF rectFor(const Label& l, const Place& p, const QRectF& canvas);
QVector<Place> place(const QVector<Label>& labels, const QRectF& canvas);

} // namespace LabelPlacement
