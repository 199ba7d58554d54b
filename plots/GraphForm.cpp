#include "GraphForm.h"

#include "ThreeTracePlotter.h"

#include <qwt_plot.h>
#include <qwt_scale_div.h>
#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QDoubleValidator>

GraphForm::GraphForm(QWidget* parent)
    : QWidget(parent, Qt::Tool)
{
    setWindowTitle(tr("Y-axis Scale"));
    m_min = new QLineEdit(this);
    m_max = new QLineEdit(this);
    m_auto = new QCheckBox(tr("Automatic Scale"), this);
    m_close = new QPushButton(tr("Close"), this);
    auto* form = new QFormLayout;
    form->addRow(tr("Minimum"), m_min);
    form->addRow(tr("Maximum"), m_max);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(form);
    lay->addWidget(m_auto);
    lay->addWidget(m_close);
    connect(m_close, &QPushButton::clicked, this, &QWidget::hide);
}

void GraphForm::connectEdits(bool on)
{
    if (on) {
        connect(m_auto, &QCheckBox::toggled, this, &GraphForm::setPlotScale);
        connect(m_min, &QLineEdit::editingFinished, this, &GraphForm::setPlotScale);
        connect(m_max, &QLineEdit::editingFinished, this, &GraphForm::setPlotScale);
    } else {
        disconnect(m_auto, nullptr, this, nullptr);
        disconnect(m_min, nullptr, this, nullptr);
        disconnect(m_max, nullptr, this, nullptr);
    }
}

void GraphForm::attachPlot(QwtPlot* plot, int axis)
{
    m_plot = plot;
    m_axis = axis == QwtPlot::xBottom ? QwtPlot::xBottom : QwtPlot::yLeft;
    setWindowTitle(m_axis == QwtPlot::xBottom ? tr("X-axis Scale") : tr("Y-axis Scale"));
    connectEdits(false);
    if (plot) {
        // The session's graphs keep a fixed range of their own; other plots
        // have only Qwt's auto-scale state.
        const auto* graph = qobject_cast<ThreeTracePlotter*>(plot);
        m_auto->setChecked(graph ? !graph->hasUserRange(m_axis) : plot->axisAutoScale(m_axis));
        const QwtScaleDiv& d = plot->axisScaleDiv(m_axis);
        m_minimum = d.lowerBound();
        m_maximum = d.upperBound();
        m_min->setText(QString::number(m_minimum, 'g'));
        m_max->setText(QString::number(m_maximum, 'g'));
    }
    connectEdits(true);
}

void GraphForm::setPlotScale()
{
    if (!m_plot)
        return;
    bool okMin = false, okMax = false;
    const double mn = m_min->text().toDouble(&okMin);
    const double mx = m_max->text().toDouble(&okMax);
    auto* graph = qobject_cast<ThreeTracePlotter*>(m_plot);
    if (m_auto->isChecked()) {
        // Back to the range of the data shown (on a log axis, of what it can draw).
        if (graph)
            graph->clearUserRange(m_axis);
        else
            m_plot->setAxisAutoScale(m_axis, true);
    } else {
        // A text that is not a number keeps the last good bound.
        if (okMin)
            m_minimum = mn;
        if (okMax)
            m_maximum = mx;
        if (graph)
            graph->setUserRange(m_axis, m_minimum, m_maximum); // kept over redraws and frame changes
        else
            m_plot->setAxisScale(m_axis, m_minimum, m_maximum);
    }
    m_plot->replot();
}
