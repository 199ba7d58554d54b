#include "ResultsGrid.h"

#include "AppText.h"
#include "FrameNavigator.h"
#include "ResultRecord.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <cmath>

namespace {
// Rows: name, unit, quantity number.
struct GridRow {
    int row;
    const char* name;
    const char* unit;
    int quantity;
};
const GridRow kGridRows[14] = {
    {1, "Vp", "[V]", 0},
    {2, "Vf", "[V]", 1},
    {3, "kTe", "[eV]", 2},
    {4, "Je", "[A/m<sup>2</sup>]", 3},
    {5, "Ne", "[m<sup>-3</sup>]", 4},
    {6, "Jp", "[A/m<sup>2</sup>]", 5},
    {7, "Ni", "[m<sup>-3</sup>]", 6},
    {8, "Ld", "[&micro;m]", 7},
    {9, "I<sub>sat</sub>", "[mA]", 11},
    {10, "M", "[]", 12},
    {11, "Vd", "[ms-1]", 13},
    {14, "Ne", "[m<sup>-3</sup>]", 8},
    {15, "E", "[eV]", 9},
    {16, "kTe", "[eV]", 10},
};

QFrame* separator()
{
    auto* f = new QFrame;
    f->setFrameShape(QFrame::HLine);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}

bool valid(int q)
{
    return q >= 0 && q < 14;
}
} // namespace

ResultsGrid::ResultsGrid(QWidget* parent) : QWidget(parent)
{
    // A click gives the grid the focus, so that Copy (Ctrl+C) takes the results.
    setFocusPolicy(Qt::ClickFocus);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setToolTip(tr("Click, then Ctrl+C copies the results as tab-separated text"));
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu menu;
        menu.addAction(QStringLiteral("Copy Results"), this, &ResultsGrid::copyRequested);
        menu.exec(mapToGlobal(pos));
    });
    setObjectName(QStringLiteral("resultsGrid"));
    auto* g = new QGridLayout(this);
    g->setVerticalSpacing(1);
    g->addWidget(new QLabel(QStringLiteral("<font color=blue>Value</font>")), 0, 2);
    g->addWidget(new QLabel(QStringLiteral("<font color=blue>Error</font>")), 0, 4);
    auto* trends = new QButtonGroup(this);
    trends->setExclusive(true);
    for (const GridRow& r : kGridRows) {
        const int q = r.quantity;
        m_trendRadio[q] = new QRadioButton;
        m_trendRadio[q]->setToolTip(tr("Show the trend of this result"));
        trends->addButton(m_trendRadio[q], q);
        m_valueLabel[q] = new QLabel;
        m_errorLabel[q] = new QLabel;
        m_valueLabel[q]->setMinimumWidth(75);
        g->addWidget(m_trendRadio[q], r.row, 0);
        auto* name = new QLabel(QString::fromLatin1(r.name));
        name->setTextFormat(Qt::RichText);
        auto* unit = new QLabel(QString::fromLatin1(r.unit));
        unit->setTextFormat(Qt::RichText);
        m_valueLabel[q]->setTextFormat(Qt::RichText);
        m_errorLabel[q]->setTextFormat(Qt::RichText);
        g->addWidget(name, r.row, 1);
        g->addWidget(m_valueLabel[q], r.row, 2);
        g->addWidget(unit, r.row, 3);
        g->addWidget(m_errorLabel[q], r.row, 4);
        g->addWidget(new QLabel(QStringLiteral("[%]")), r.row, 5);
    }
    m_trendRadio[0]->setChecked(true);
    g->addWidget(new QLabel(QStringLiteral("<font color=blue>Trace No.</font>")), 12, 1, 1, 2);
    m_traceNumber = new QLabel(AppText::traceNumberText(0));
    g->addWidget(m_traceNumber, 12, 3, 1, 2);
    g->addWidget(separator(), 13, 0, 1, 6);
    g->addWidget(separator(), 17, 0, 1, 6);
    // Each label sits on the slider that moves it: the frames (positions or
    // time steps), then the traces of a frame (time slices).
    g->addWidget(new QLabel(QStringLiteral("<font color=blue>Position:</font>")), 18, 1, 1, 2);
    m_positionLabel = new QLabel(QStringLiteral("--- [mm]"));
    g->addWidget(m_positionLabel, 18, 3, 1, 3);
    m_groupNav = new FrameNavigator(tr("Frame (position or time step)"));
    g->addWidget(m_groupNav, 19, 0, 1, 6);
    g->addWidget(new QLabel(QStringLiteral("<font color=blue>Time:</font>")), 20, 1, 1, 2);
    m_timeLabel = new QLabel(QStringLiteral("--- [<span>&mu;</span>s]"));
    g->addWidget(m_timeLabel, 20, 3, 1, 3);
    m_traceNav = new FrameNavigator(tr("Trace within the frame (time slice)"));
    g->addWidget(m_traceNav, 21, 0, 1, 6);
    g->setColumnMinimumWidth(1, 60);
    g->setColumnMinimumWidth(3, 50);
    g->setColumnStretch(5, 1);
}

QRadioButton* ResultsGrid::trendButton(int quantity) const
{
    return valid(quantity) ? m_trendRadio[quantity] : nullptr;
}

void ResultsGrid::showRecord(const ResultRecord* result)
{
    for (int q = 0; q < 14; ++q) {
        if (!result) {
            m_valueLabel[q]->setText(AppText::valueText(NAN));
            m_errorLabel[q]->setText(AppText::errorText(NAN, NAN));
            continue;
        }
        const double v = ResultQuantity::value(*result, q);
        const double e = ResultQuantity::error(*result, q);
        m_valueLabel[q]->setText(AppText::valueText(ResultQuantity::displayValue(*result, q)));
        m_errorLabel[q]->setText(AppText::errorText(v, e));
    }
}

void ResultsGrid::setTraceNumber(int trace)
{
    m_traceNumber->setText(AppText::traceNumberText(trace));
}

void ResultsGrid::setPlace(const QString& position, const QString& time)
{
    m_positionLabel->setText(position);
    m_timeLabel->setText(time);
}

QString ResultsGrid::valueText(int quantity) const
{
    return valid(quantity) ? m_valueLabel[quantity]->text() : QString();
}

QString ResultsGrid::errorText(int quantity) const
{
    return valid(quantity) ? m_errorLabel[quantity]->text() : QString();
}

QString ResultsGrid::positionText() const
{
    return m_positionLabel->text();
}

QString ResultsGrid::timeText() const
{
    return m_timeLabel->text();
}
