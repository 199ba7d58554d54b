#include "AppImages.h"

#include <QPainter>
#include <QPainterPath>
#include <QLinearGradient>
#include <cmath>

namespace AppImages {
namespace {
QPixmap blank(const QSize& s)
{
    QPixmap p(s);
    p.fill(Qt::transparent);
    return p;
}

void drawTip(QPainter& g, QRectF r, bool sphere)
{
    // Ceramic holder with a wire tip (or a ball) towards the right.
    g.setPen(QPen(QColor(60, 60, 60), 1.5));
    g.setBrush(QColor(225, 225, 215));
    g.drawRoundedRect(QRectF(r.left(), r.center().y() - 6, r.width() * 0.55, 12), 3, 3);
    const double x0 = r.left() + r.width() * 0.55;
    if (sphere) {
        g.setBrush(QColor(190, 120, 40));
        g.drawEllipse(QPointF(x0 + 14, r.center().y()), 11, 11);
    } else {
        g.setPen(QPen(QColor(190, 120, 40), 3));
        g.drawLine(QPointF(x0, r.center().y()), QPointF(r.right() - 4, r.center().y()));
    }
}
} // namespace

QPixmap probePicture(Probe p, const QSize& size)
{
    QPixmap pix = blank(size);
    QPainter g(&pix);
    g.setRenderHint(QPainter::Antialiasing);
    const QRectF r(4, 4, size.width() - 8, size.height() - 8);
    g.setPen(QPen(QColor(40, 70, 120), 1));
    g.setBrush(QColor(235, 242, 252));
    g.drawRoundedRect(r, 6, 6);
    const double h = r.height();
    switch (p) {
    case eSingleNoRef:
    case eSingleRef:
        drawTip(g, QRectF(r.left() + 6, r.top() + h * 0.2, r.width() - 12, h * 0.4), false);
        if (p == eSingleRef) {
            g.setPen(QPen(QColor(30, 120, 30), 2));
            g.drawLine(QPointF(r.left() + 10, r.bottom() - 10), QPointF(r.right() - 10, r.bottom() - 10));
            g.drawText(QRectF(r.left(), r.bottom() - 28, r.width(), 16), Qt::AlignCenter, "DC ref");
        }
        break;
    case eDouble:
        drawTip(g, QRectF(r.left() + 6, r.top() + h * 0.15, r.width() - 12, h * 0.35), false);
        drawTip(g, QRectF(r.left() + 6, r.top() + h * 0.5, r.width() - 12, h * 0.35), false);
        break;
    case eSpherical:
        drawTip(g, QRectF(r.left() + 6, r.top() + h * 0.3, r.width() - 40, h * 0.4), true);
        break;
    case eMach: {
        drawTip(g, QRectF(r.left() + 6, r.top() + h * 0.3, r.width() - 12, h * 0.4), false);
        g.setPen(QPen(QColor(160, 30, 30), 2));
        g.drawLine(QPointF(r.center().x() + 10, r.top() + 8), QPointF(r.center().x() + 10, r.bottom() - 8));
        g.drawText(QRectF(r.left(), r.bottom() - 20, r.width() * 0.5, 16), Qt::AlignCenter, "flow");
        break;
    }
    }
    return pix;
}

// The logo's IV-curve mark in a box of height h starting at x0.
static void drawCurveMark(QPainter& g, double x0, double y0, double h)
{
    QPainterPath path;
    path.moveTo(x0 + h * 0.1, y0 + h * 0.8);
    for (int i = 0; i <= 40; ++i) {
        const double t = i / 40.0;
        path.lineTo(x0 + h * 0.1 + t * h * 0.8, y0 + h * 0.8 - h * 0.6 / (1.0 + std::exp(-12.0 * (t - 0.6))));
    }
    g.setPen(QPen(QColor(255, 190, 40), h * 0.06, Qt::SolidLine, Qt::RoundCap));
    g.drawPath(path);
}

QPixmap iconPicture(int size)
{
    QPixmap pix = blank(QSize(size, size));
    QPainter g(&pix);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(20, 40, 80));
    g.drawRoundedRect(QRectF(0.04 * size, 0.04 * size, 0.92 * size, 0.92 * size), 0.18 * size, 0.18 * size);
    drawCurveMark(g, 0.05 * size, 0.08 * size, 0.9 * size);
    return pix;
}

QPixmap logo(const QSize& size)
{
    QPixmap pix = blank(size);
    QPainter g(&pix);
    g.setRenderHint(QPainter::Antialiasing);
    const double w = size.width(), h = size.height();
    // An IV-curve mark beside the name.
    drawCurveMark(g, 0, 0, h);
    QFont f("DejaVu Sans");
    f.setBold(true);
    f.setPixelSize(int(h * 0.25));
    g.setFont(f);
    g.setPen(Qt::white);
    g.drawText(QRectF(h, 0, w - h, h * 0.62), Qt::AlignLeft | Qt::AlignBottom, "QUENDRIX");
    f.setBold(false);
    f.setPixelSize(int(h * 0.18));
    g.setFont(f);
    g.drawText(QRectF(h, h * 0.62, w - h, h * 0.3), Qt::AlignLeft | Qt::AlignTop, "Langmuir");
    return pix;
}

static QIcon circleIcon(const QColor& c, const QString& letter)
{
    QPixmap pix = blank(QSize(32, 32));
    QPainter g(&pix);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(Qt::NoPen);
    g.setBrush(c);
    g.drawEllipse(QRectF(2, 2, 28, 28));
    g.setPen(Qt::white);
    QFont f("DejaVu Sans");
    f.setBold(true);
    f.setPixelSize(18);
    g.setFont(f);
    g.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, letter);
    return QIcon(pix);
}

QIcon connectIcon() { return circleIcon(QColor(30, 150, 60), "C"); }
QIcon dataFileIcon() { return circleIcon(QColor(40, 90, 170), "D"); }
QIcon appIcon()
{
    QIcon icon;
    for (int s : {16, 32, 64, 256})
        icon.addPixmap(iconPicture(s));
    return icon;
}

QIcon warningIcon()
{
    QPixmap pix = blank(QSize(32, 32));
    QPainter g(&pix);
    g.setRenderHint(QPainter::Antialiasing);
    QPolygonF tri;
    tri << QPointF(16, 2) << QPointF(30, 29) << QPointF(2, 29);
    g.setPen(QPen(QColor(120, 80, 0), 1.5));
    g.setBrush(QColor(255, 200, 0));
    g.drawPolygon(tri);
    g.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::RoundCap));
    g.drawLine(QPointF(16, 11), QPointF(16, 20));
    g.drawPoint(QPointF(16, 25));
    return QIcon(pix);
}
} // namespace AppImages
