#pragma once
// "Voltages": the data scan's voltage sweep, set by hand or by the prescans.
#include "ConfigTab.h"

class QCheckBox;
class QDoubleSpinBox;

class VoltagesTab : public ConfigTab
{
    Q_OBJECT
public:
    explicit VoltagesTab(ConfigBinder& binder, QWidget* parent = nullptr);

    void updateEnables(const ConfigParam* record, bool enabled) override;

signals:
    // A sweep voltage was edited (the panel keeps the last sweep for the next start).
    void voltagesChanged();

private:
    QCheckBox* m_optimizeVoltages;
    QDoubleSpinBox* m_voltStart;
    QDoubleSpinBox* m_voltStep;
    QDoubleSpinBox* m_voltEnd;
};
