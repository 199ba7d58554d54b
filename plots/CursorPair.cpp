#include "CursorPair.h"

#include "CursorPicker.h"

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_textlabel.h>
#include <qwt_symbol.h>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <cmath>

namespace {
// A press and release this close together is a click, not a zoom drag.
constexpr int kClickPixels = 3;
// A click this close to a pinned cursor removes it.
constexpr double kHitPixels = 8.0;
const QColor kColours[2] = {QColor(0, 120, 0), QColor(170, 0, 170)};
} // namespace

CursorPair::CursorPair(QwtPlot* plot, CursorPicker* picker) : QObject(plot), m_plot(plot), m_picker(picker)
{
    for (int i = 0; i < 2; ++i) {
        m_mark[i] = std::make_unique<QwtPlotMarker>(i == 0 ? QStringLiteral("Cursor A") : QStringLiteral("Cursor B"));
        m_mark[i]->setLineStyle(QwtPlotMarker::Cross);
        m_mark[i]->setLinePen(QPen(kColours[i], 1, Qt::DotLine));
        m_mark[i]->setSymbol(new QwtSymbol(QwtSymbol::Diamond, QBrush(Qt::NoBrush), QPen(kColours[i], 1.5), QSize(9, 9)));
        QwtText name(i == 0 ? QStringLiteral("A") : QStringLiteral("B"));
        name.setColor(kColours[i]);
        m_mark[i]->setLabel(name);
        m_mark[i]->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);
        m_mark[i]->setZ(40);
        m_mark[i]->setItemAttribute(QwtPlotItem::Legend, false);
    }
    m_label = std::make_unique<QwtPlotTextLabel>();
    m_label->setZ(95);
    m_label->setMargin(4);
    plot->canvas()->installEventFilter(this);
    plot->canvas()->setFocusPolicy(Qt::ClickFocus);
    plot->canvas()->setMouseTracking(true);
}

CursorPair::~CursorPair() = default;

int CursorPair::pinnedCount() const
{
    return (m_mark[0]->plot() ? 1 : 0) + (m_mark[1]->plot() ? 1 : 0);
}

QPointF CursorPair::pinned(int which) const
{
    return m_mark[which]->value();
}

bool CursorPair::pinAt(const QPoint& pos)
{
    // On a pinned cursor: remove it.
    const QwtScaleMap xMap = m_plot->canvasMap(QwtPlot::xBottom), yMap = m_plot->canvasMap(QwtPlot::yLeft);
    for (int i = 0; i < 2; ++i) {
        if (!m_mark[i]->plot())
            continue;
        const QPointF v = m_mark[i]->value();
        if (std::hypot(xMap.transform(v.x()) - pos.x(), yMap.transform(v.y()) - pos.y()) <= kHitPixels) {
            m_mark[i]->detach();
            m_curve[i] = nullptr;
            update();
            return false;
        }
    }
    const CursorPicker::Nearest n = m_picker->nearest(pos);
    if (!n.curve)
        return false;
    const int slot = !m_mark[0]->plot() ? 0 : 1;
    m_mark[slot]->setValue(n.point);
    m_curve[slot] = n.curve;
    m_mark[slot]->attach(m_plot);
    update();
    return true;
}

void CursorPair::clear()
{
    for (int i = 0; i < 2; ++i) {
        m_mark[i]->detach();
        m_curve[i] = nullptr;
    }
    update();
}

void CursorPair::setEFolding(bool on)
{
    if (on == m_eFolding)
        return;
    m_eFolding = on;
    update();
}

void CursorPair::copy() const
{
    if (!m_readout.isEmpty())
        QApplication::clipboard()->setText(m_readout);
}

void CursorPair::update()
{
    QString text;
    if (m_mark[0]->plot() && m_mark[1]->plot()) {
        const QPointF a = m_mark[0]->value(), b = m_mark[1]->value();
        const QStringList l = m_picker->names(m_curve[1] ? m_curve[1] : m_curve[0]);
        text = CursorDelta::text(CursorDelta::between(a.x(), a.y(), b.x(), b.y()), {l[0], l[1], l[2], l[3]},
                                 m_eFolding);
    }
    if (text != m_readout) {
        m_readout = text;
        QwtText t(text);
        t.setRenderFlags(Qt::AlignHCenter | Qt::AlignBottom);
        t.setBackgroundBrush(QColor(255, 255, 255, 220));
        t.setBorderPen(QPen(QColor(150, 150, 150)));
        QFont f = t.font();
        f.setPointSize(8);
        t.setFont(f);
        m_label->setText(t);
        if (text.isEmpty())
            m_label->detach();
        else
            m_label->attach(m_plot);
        emit readoutChanged(text);
    }
    m_plot->replot();
}

bool CursorPair::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_plot->canvas())
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton)
            m_pressAt = e->pos();
        break;
    }
    case QEvent::MouseButtonRelease: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton && (e->pos() - m_pressAt).manhattanLength() <= kClickPixels)
            pinAt(e->pos());
        break;
    }
    case QEvent::MouseMove:
        m_mouseAt = static_cast<QMouseEvent*>(event)->pos();
        break;
    case QEvent::KeyPress: {
        auto* e = static_cast<QKeyEvent*>(event);
        if (e->matches(QKeySequence::Copy) && !m_readout.isEmpty()) {
            copy();
            return true;
        }
        if (e->key() == Qt::Key_Delete && pinnedCount() > 0) {
            clear();
            return true;
        }
        if (e->key() == Qt::Key_M && e->modifiers() == Qt::NoModifier) {
            pinAt(m_mouseAt);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return false;
}
