#include "ViewControls.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QPushButton>

ViewControls::ViewControls(QWidget* parent) : QGroupBox(QStringLiteral("Plot Graphs Controls"), parent)
{
    auto* fl = new QGridLayout(this);
    static const char* const viewNames[kViews] = {"View Prescan", "View Scan",   "View EEPF",
                                                  "View Time Resolve", "View Trends", "View Map"};
    for (int v = 0; v < kViews; ++v) {
        m_view[v] = new QCheckBox(QString::fromLatin1(viewNames[v]));
        fl->addWidget(m_view[v], v, 0);
        connect(m_view[v], &QCheckBox::toggled, this, [this, v](bool on) {
            if (m_exclusive)
                return;
            if (on) {
                // One view at a time.
                m_exclusive = true;
                for (int o = 0; o < kViews; ++o)
                    if (o != v)
                        m_view[o]->setChecked(false);
                m_exclusive = false;
            }
            emit changed();
        });
    }
    m_view[1]->setChecked(true);
    static const char* const qNames[3] = {"Current", "1st Derivative", "2nd Derivative"};
    for (int i = 0; i < 3; ++i) {
        m_quantity[i] = new QCheckBox(QString::fromLatin1(qNames[i]));
        m_quantity[i]->setChecked(true);
        fl->addWidget(m_quantity[i], i, 1);
        connect(m_quantity[i], &QCheckBox::toggled, this, &ViewControls::changed);
    }
    m_overlap = new QCheckBox(QStringLiteral("Graph Overlap"));
    m_log = new QCheckBox(QStringLiteral("log scale"));
    m_errorBars = new QCheckBox(QStringLiteral("Show Error bars"));
    m_dataPoints = new QCheckBox(QStringLiteral("Show data points"));
    m_showAnalysis = new QCheckBox(QStringLiteral("Show analysis"));
    m_showAnalysis->setToolTip(tr("Draw Vf, Vp, the knee, the ion-saturation region and the fits on the IV "
                                  "graph, the mean energy and the Maxwellian on the EEPF graph"));
    m_showAnalysis->setChecked(true);
    m_view[5]->setToolTip(tr("The result chosen in the grid over position and time (a spatial "
                             "time-resolved run)"));
    fl->addWidget(m_overlap, 3, 1);
    fl->addWidget(m_log, 4, 1);
    fl->addWidget(m_dataPoints, 5, 1);
    fl->addWidget(m_errorBars, 6, 0);
    fl->addWidget(m_showAnalysis, 6, 1);
    m_overlayButton = new QPushButton(QStringLiteral("Overlay Traces..."));
    m_overlayButton->setToolTip(tr("Draw other traces of the session over the IV graph"));
    fl->addWidget(m_overlayButton, 7, 0, 1, 2);
    connect(m_overlayButton, &QPushButton::clicked, this, &ViewControls::overlayRequested);
    for (QCheckBox* b : {m_overlap, m_log, m_errorBars, m_dataPoints, m_showAnalysis})
        connect(b, &QCheckBox::toggled, this, &ViewControls::styleChanged);
}
