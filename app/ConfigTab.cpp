#include "ConfigTab.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

ConfigTab::ConfigTab(ConfigBinder& binder, QWidget* parent)
    : QWidget(parent)
    , m_binder(binder)
    , m_layout(new QVBoxLayout(this))
{
}

void ConfigTab::updateEnables(const ConfigParam* record, bool enabled)
{
    const bool on = enabled && record;
    for (QWidget* w : m_editable)
        w->setEnabled(on);
}

QGroupBox* ConfigTab::group(const QString& title, QGridLayout*& grid)
{
    auto* g = new QGroupBox(title);
    grid = new QGridLayout(g);
    grid->setColumnStretch(0, 1);
    grid->setColumnMinimumWidth(1, 110);
    return g;
}

QLabel* ConfigTab::unitLabel(const QString& unit)
{
    auto* l = new QLabel(unit);
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QStringLiteral("[h:m:s]")) + 4);
    return l;
}

void ConfigTab::tune(QAbstractSpinBox* box)
{
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    box->setAccelerated(true);
    box->setKeyboardTracking(false);
}

void ConfigTab::addGroup(QGroupBox* group, bool editable)
{
    m_layout->addWidget(group);
    if (editable)
        m_editable << group;
}

void ConfigTab::addWidget(QWidget* w)
{
    m_layout->addWidget(w);
}

void ConfigTab::finish()
{
    m_layout->addStretch(1);
}

QDoubleSpinBox* ConfigRows::dbl(const QString& label, const QString& unit, const char* name, int dec, double min,
                                double max, double step, double init)
{
    auto* box = new QDoubleSpinBox;
    box->setObjectName(QLatin1String(name));
    box->setDecimals(dec);
    if (min == min)
        box->setMinimum(min);
    box->setMaximum(max);
    if (step > 0)
        box->setSingleStep(step);
    if (init == init)
        box->setValue(init);
    ConfigTab::tune(box);
    place(label, box, unit);
    return box;
}

QSpinBox* ConfigRows::integer(const QString& label, const QString& unit, const char* name, int min, int max, int init)
{
    auto* box = new QSpinBox;
    box->setObjectName(QLatin1String(name));
    box->setRange(min, max);
    box->setSingleStep(1);
    if (init >= min)
        box->setValue(init);
    ConfigTab::tune(box);
    place(label, box, unit);
    return box;
}

void ConfigRows::place(const QString& label, QWidget* box, const QString& unit)
{
    g->addWidget(new QLabel(label), r, 0);
    g->addWidget(box, r, 1);
    g->addWidget(ConfigTab::unitLabel(unit), r, 2);
    ++r;
}

QCheckBox* ConfigRows::check(const QString& text)
{
    auto* c = new QCheckBox(text);
    g->addWidget(c, r++, 0, 1, 3);
    return c;
}
