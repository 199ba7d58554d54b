#pragma once
// "Export Data": chooses the sections and the separator of an export; the
// choices persist in the export settings file.
#include "ExportSettings.h"

#include <QDialog>

class QCheckBox;
class QDialogButtonBox;
class QLineEdit;

class ExportOptions : public QDialog
{
    Q_OBJECT
public:
    explicit ExportOptions(QWidget* parent = nullptr, bool doubleProbeSession = false,
                           const QString& settingsFile = ExportSettings::defaultFileName());

    ExportSettings settings() const { return m_settings; }

    enum Box { eHeader, eResults, eEepf, eIvData, eDerivative, eSecondDerivative, eCorrected, eErrors,
               eElectronCurrent, eBoxCount };
    QCheckBox* box(Box b) const { return m_box[b]; }
    QLineEdit* separatorEdit() const { return m_separator; }
    QDialogButtonBox* buttonBox() const { return m_buttons; }
    bool okEnabled() const;

public slots:
    void IVDataChange(bool on);
    void DataCheck();
    void OnOK();

private:
    ExportSettings m_settings;
    QString m_file;
    QCheckBox* m_box[eBoxCount];
    QLineEdit* m_separator;
    QDialogButtonBox* m_buttons;
};
