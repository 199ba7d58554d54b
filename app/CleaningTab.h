#pragma once
// "Cleaning": automatic cleaning between scans and the probe-tip cleaning itself.
#include "ConfigTab.h"

class QCheckBox;
class QDoubleSpinBox;
class QSpinBox;

class CleaningTab : public ConfigTab
{
    Q_OBJECT
public:
    explicit CleaningTab(ConfigBinder& binder, QWidget* parent = nullptr);

    void updateEnables(const ConfigParam* record, bool enabled) override;

private:
    QCheckBox* m_autoClean;
    QSpinBox* m_cleanPeriod;
    QDoubleSpinBox* m_cleanVoltage;
    QDoubleSpinBox* m_cleanLevel;
    QSpinBox* m_cleanDuration;
    QSpinBox* m_cleanRelax;
};
