#include "OptInResults.h"

#include "AppText.h"

#include <QGridLayout>
#include <QLabel>
#include <cmath>

namespace {

struct RowText {
    int value, error;
    const char* name;
    const char* unit;
};
const RowText kRows[] = {
    {ResultRecord::eNiFit, ResultRecord::eNiFitError, "Ni fit", "[m<sup>-3</sup>]"},
    {ResultRecord::eIonExponent, ResultRecord::eIonExponentError, "Ion exp.", "[]"},
    {ResultRecord::eIonRegime, -1, "Ion regime", ""},
    {ResultRecord::eTwoTFlag, -1, "Temperatures", ""},
    {ResultRecord::eTeCold, ResultRecord::eTeColdError, "kTe cold", "[eV]"},
    {ResultRecord::eTeHot, ResultRecord::eTeHotError, "kTe hot", "[eV]"},
    {ResultRecord::eHotFraction, ResultRecord::eHotFractionError, "Hot fraction", "[]"},
};

} // namespace

OptInResults::OptInResults(QWidget* parent) : QWidget(parent)
{
    auto* g = new QGridLayout(this);
    g->setContentsMargins(0, 0, 0, 0);
    g->setVerticalSpacing(1);
    int row = 0;
    for (const RowText& t : kRows) {
        Row r;
        r.value = t.value;
        r.error = t.error;
        r.name = new QLabel(QString::fromLatin1(t.name));
        r.valueLabel = new QLabel;
        r.valueLabel->setMinimumWidth(75);
        r.unit = new QLabel(QString::fromLatin1(t.unit));
        r.unit->setTextFormat(Qt::RichText);
        r.errorLabel = new QLabel;
        r.errorLabel->setTextFormat(Qt::RichText);
        r.percent = new QLabel(t.error >= 0 ? QStringLiteral("[%]") : QString());
        // Column 0 stays free, as the trend buttons' column of the grid above.
        g->addWidget(r.name, row, 1);
        g->addWidget(r.valueLabel, row, 2);
        g->addWidget(r.unit, row, 3);
        g->addWidget(r.errorLabel, row, 4);
        g->addWidget(r.percent, row, 5);
        m_rows.append(r);
        ++row;
    }
    g->setColumnMinimumWidth(0, 20);
    showRecord(nullptr);
}

QString OptInResults::regimeText(double regime)
{
    if (regime == 1)
        return QStringLiteral("OML");
    if (regime == 2)
        return QStringLiteral("Laframboise");
    if (regime == 3)
        return QStringLiteral("Bohm");
    if (regime == 4)
        return QStringLiteral("OML (lower bound)");
    return QStringLiteral("---");
}

QString OptInResults::flagText(double flag)
{
    if (flag == 2)
        return QStringLiteral("two");
    if (flag == 1)
        return QStringLiteral("one");
    if (flag == 0)
        return QStringLiteral("failed");
    return QStringLiteral("---");
}

void OptInResults::showRecord(const ResultRecord* r)
{
    bool any = false;
    for (Row& row : m_rows) {
        const bool shown = r && r->hasGroup(ResultRecord::groupOf(row.value));
        for (QLabel* l : {row.name, row.valueLabel, row.unit, row.errorLabel, row.percent})
            l->setVisible(shown);
        if (!shown)
            continue;
        any = true;
        const double v = r->extra(row.value);
        if (row.value == ResultRecord::eIonRegime)
            row.valueLabel->setText(regimeText(v));
        else if (row.value == ResultRecord::eTwoTFlag)
            row.valueLabel->setText(flagText(v));
        else
            row.valueLabel->setText(AppText::valueText(v));
        row.errorLabel->setText(row.error >= 0 ? AppText::errorText(v, r->extra(row.error)) : QString());
    }
    setVisible(any);
}

const OptInResults::Row* OptInResults::rowOf(int extra) const
{
    for (const Row& r : m_rows)
        if (r.value == extra)
            return &r;
    return nullptr;
}

QString OptInResults::valueText(int extra) const
{
    const Row* r = rowOf(extra);
    return r ? r->valueLabel->text() : QString();
}

QString OptInResults::errorText(int extra) const
{
    const Row* r = rowOf(extra);
    return r ? r->errorLabel->text() : QString();
}

bool OptInResults::rowShown(int extra) const
{
    const Row* r = rowOf(extra);
    return r && !r->valueLabel->isHidden();
}
