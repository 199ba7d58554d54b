#pragma once
// "Process Settings": edits the probe geometry, gas and cross-section fields
// of an analysis settings record. The session window owns the record and
// takes the widget's copy after Apply.
#include "LangmuirSettings.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class LangmuirSettingsWidget : public QWidget
{
    Q_OBJECT
public:
    explicit LangmuirSettingsWidget(QWidget* parent = nullptr);

    void load(const LangmuirSettings& settings);
    const LangmuirSettings& settings() const { return m_settings; }

    enum Field { eRadius, eHolder, eLength, eResistance, eIonMass, eTemperature, ePressure, eSigmaN, eSigmaEn,
                 eKFactor, eFieldCount };
    QLineEdit* field(Field f) const { return m_edit[f]; }
    QComboBox* pressureUnits() const { return m_units; }
    QComboBox* vpMethod() const { return m_vpMethod; }
    QCheckBox* dcCompensation() const { return m_dc; }
    QCheckBox* noiseRobust() const { return m_robust; }
    QCheckBox* ionDensityFit() const { return m_ionFit; }
    QCheckBox* twoTemperature() const { return m_twoTemperature; }
    QCheckBox* statisticalErrors() const { return m_statistical; }
    QPushButton* applyButton() const { return m_apply; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* defaultsButton() const { return m_defaults; }

    // The one number reader of this widget (validation and Apply alike): the
    // user's locale, then the C locale.
    static double readNumber(const QString& text, bool* ok);

signals:
    void probeResChanged(int value);
    void applied();
    // The compensation box takes effect at once, Cancel or not.
    void compensationChanged(bool on);

public slots:
    void validateLangmuirSettings();
    void setPressureUnits();
    void setProbeRes();
    void dcCorrectionChanged(int state);
    void cancelClose();
    void acceptClose();
    void resetDefaults();

private:
    void showSettings();
    bool acceptable(Field f, const QString& text) const;
    QString shown(Field f) const;
    void validateField(Field f);
    double pressureShown() const;
    double storedValue(Field f, double shownValue) const;

    LangmuirSettings m_settings;
    QLineEdit* m_edit[eFieldCount];
    QComboBox* m_units;
    QComboBox* m_vpMethod;
    QCheckBox* m_dc;
    QCheckBox* m_robust;
    QCheckBox* m_ionFit;
    QCheckBox* m_twoTemperature;
    QCheckBox* m_statistical;
    QPushButton* m_apply;
    QPushButton* m_cancel;
    QPushButton* m_defaults;
};
