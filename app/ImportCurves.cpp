#include "ImportCurves.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>
#include <QVBoxLayout>

ImportCurvesDialog::ImportCurvesDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Import Curves"));
    m_decimalComma = new QCheckBox(QStringLiteral("Decimal comma (--decimal-comma)"));
    m_decimalComma->setToolTip(tr("The files write decimals with a comma; fields are then separated by ';', tabs "
                                  "or blanks"));
    m_sort = new QCheckBox(QStringLiteral("Sort by voltage (--sort)"));
    m_sort->setToolTip(tr("Sort the samples by voltage and average samples of equal voltage"));
    m_sweeps = new QSpinBox;
    m_sweeps->setRange(2, 1000000);
    m_sweeps->setValue(2);
    m_sweeps->setToolTip(tr("Number of sweeps the deviation columns stand for (--sweeps)"));
    m_mode = new QComboBox;
    m_mode->addItem(QStringLiteral("Single probe"), 0);
    m_mode->addItem(QStringLiteral("Single probe with DC reference"), 1);
    m_mode->addItem(QStringLiteral("Spherical probe"), 4);
    m_mode->addItem(QStringLiteral("Double probe"), 3);
    m_mode->addItem(QStringLiteral("Mach probe"), 5);
    m_robust = new QCheckBox(QStringLiteral("Noise-robust analysis (--robust)"));
    m_robust->setToolTip(tr("Single noisy sweeps: noise estimate, smoothing, refined Vf (the setting "
                            "noiseRobust); for this session only"));
    auto* form = new QFormLayout;
    form->addRow(m_decimalComma);
    form->addRow(m_sort);
    form->addRow(QStringLiteral("Sweeps per deviation (--sweeps):"), m_sweeps);
    form->addRow(QStringLiteral("Probe mode (--mode):"), m_mode);
    form->addRow(m_robust);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(form);
    lay->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

ivtext::ImportOptions ImportCurvesDialog::options() const
{
    ivtext::ImportOptions o;
    o.decimalComma = m_decimalComma->isChecked();
    o.sort = m_sort->isChecked();
    o.sweeps = m_sweeps->value();
    return o;
}

bool ImportCurvesDialog::noiseRobust() const
{
    return m_robust->isChecked();
}

int ImportCurvesDialog::probeMode() const
{
    return m_mode->currentData().toInt();
}
