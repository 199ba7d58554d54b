#include "LabelPlacement.h"

namespace LabelPlacement {

namespace {
constexpr double kSpacing = 2; // from the line, and from the canvas edge
constexpr int kShifts = 4; // beside the line, then up to three label widths further out
} // namespace

QRectF rectFor(const Label& l, const Place& p, const QRectF& canvas)
{
    const double left = (p.align & Qt::AlignLeft) ? l.x - p.gap - l.size.width() : l.x + p.gap;
    const double top =
        (p.align & Qt::AlignBottom) ? canvas.bottom() - kSpacing - l.size.height() : canvas.top() + kSpacing;
    return QRectF(QPointF(left, top), l.size);
}

QVector<Place> place(const QVector<Label>& labels, const QRectF& canvas)
{
    QVector<Place> out;
    QVector<QRectF> taken;
    for (const Label& l : labels) {
        const Qt::Alignment first = l.preferBottom ? Qt::AlignBottom : Qt::AlignTop;
        const Qt::Alignment second = l.preferBottom ? Qt::AlignTop : Qt::AlignBottom;
        const Qt::Alignment sides[4] = {Qt::AlignRight | first, Qt::AlignLeft | first, Qt::AlignRight | second,
                                        Qt::AlignLeft | second};
        Place chosen{sides[0], kSpacing};
        bool found = false;
        for (int k = 0; k < kShifts && !found; ++k)
            for (Qt::Alignment a : sides) {
                const Place p{a, kSpacing + k * (l.size.width() + kSpacing)};
                const QRectF r = rectFor(l, p, canvas);
                bool free = canvas.contains(r);
                for (const QRectF& t : taken)
                    free = free && !t.intersects(r);
                if (free) {
                    chosen = p;
                    found = true;
                    break;
                }
            }
        out.append(chosen);
        taken.append(rectFor(l, chosen, canvas));
    }
    return out;
}

} // namespace LabelPlacement
