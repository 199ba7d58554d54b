#include "ExportOptions.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ExportOptions::ExportOptions(QWidget* parent, bool doubleProbeSession, const QString& settingsFile)
    : QDialog(parent), m_file(settingsFile)
{
    setWindowTitle(QStringLiteral("Export Data"));
    m_settings.load(m_file); // a missing or foreign file keeps the defaults
    m_settings.doubleProbeSession = doubleProbeSession;

    static const char* const labels[eBoxCount] = {"Header Information", "Result Parameters", "EEPF Data", "IV Data",
                                                  "First Derivative", "Second Derivative", "Corrected Curve",
                                                  "Errors", "I - Model Ii"};
    auto* group = new QGroupBox(QStringLiteral("Export Options"));
    auto* gl = new QVBoxLayout(group);
    for (int b = 0; b < eBoxCount; ++b)
        m_box[b] = new QCheckBox(QString::fromLatin1(labels[b]));
    // The IV columns sit indented under IV Data; Errors comes last.
    for (Box b : {eHeader, eResults, eEepf, eIvData})
        gl->addWidget(m_box[b]);
    for (Box b : {eDerivative, eSecondDerivative, eCorrected, eElectronCurrent}) {
        auto* row = new QHBoxLayout;
        row->addSpacing(20);
        row->addWidget(m_box[b]);
        gl->addLayout(row);
    }
    gl->addWidget(m_box[eErrors]);
    const ExportSettings& s = m_settings;
    m_box[eHeader]->setChecked(s.header);
    m_box[eResults]->setChecked(s.results);
    m_box[eEepf]->setChecked(s.eepf);
    m_box[eIvData]->setChecked(s.ivData);
    m_box[eDerivative]->setChecked(s.derivative);
    m_box[eSecondDerivative]->setChecked(s.secondDerivative);
    m_box[eCorrected]->setChecked(s.doubleProbeCorrected);
    m_box[eErrors]->setChecked(s.errors);
    m_box[eElectronCurrent]->setChecked(s.electronCurrent);

    m_separator = new QLineEdit(s.separator);
    m_separator->setMaxLength(4);
    auto* sepRow = new QHBoxLayout;
    sepRow->addWidget(new QLabel(QStringLiteral("Separator:")));
    sepRow->addWidget(m_separator);
    sepRow->addStretch(1);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(sepRow);
    lay->addWidget(group);
    lay->addWidget(m_buttons);

    if (doubleProbeSession) {
        m_box[eEepf]->setChecked(false);
        m_box[eEepf]->setEnabled(false);
        m_box[eDerivative]->hide();
        m_box[eSecondDerivative]->hide();
        m_box[eElectronCurrent]->hide();
    } else {
        m_box[eCorrected]->hide();
    }

    connect(m_box[eIvData], &QCheckBox::toggled, this, &ExportOptions::IVDataChange);
    for (Box b : {eIvData, eEepf, eResults})
        connect(m_box[b], &QCheckBox::toggled, this, &ExportOptions::DataCheck);
    connect(m_separator, &QLineEdit::textChanged, this, &ExportOptions::DataCheck);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(this, &QDialog::accepted, this, &ExportOptions::OnOK);
    IVDataChange(m_box[eIvData]->isChecked());
    DataCheck();
}

void ExportOptions::IVDataChange(bool on)
{
    for (Box b : {eDerivative, eSecondDerivative, eCorrected, eElectronCurrent})
        m_box[b]->setEnabled(on);
}

void ExportOptions::DataCheck()
{
    const bool data = m_box[eIvData]->isChecked() || m_box[eEepf]->isChecked() || m_box[eResults]->isChecked();
    // An empty separator would run every column together.
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(data && !m_separator->text().isEmpty());
}

bool ExportOptions::okEnabled() const
{
    return m_buttons->button(QDialogButtonBox::Ok)->isEnabled();
}

void ExportOptions::OnOK()
{
    ExportSettings& s = m_settings;
    s.separator = m_separator->text();
    s.header = m_box[eHeader]->isChecked();
    s.results = m_box[eResults]->isChecked();
    s.ivData = m_box[eIvData]->isChecked();
    s.derivative = m_box[eDerivative]->isChecked();
    s.secondDerivative = m_box[eSecondDerivative]->isChecked();
    s.doubleProbeCorrected = m_box[eCorrected]->isChecked();
    s.errors = m_box[eErrors]->isChecked();
    s.electronCurrent = m_box[eElectronCurrent]->isChecked();
    // A double-probe session never exports an EEPF; the stored choice stays.
    if (!s.doubleProbeSession)
        s.eepf = m_box[eEepf]->isChecked();
    s.save(m_file);
}
