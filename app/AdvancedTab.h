#pragma once
// "Advanced": the current measuring range, settling times, idle voltage,
// current offset and thrown traces. Advanced mode shows the settling times,
// the offset and the thrown traces.
#include "ConfigTab.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;

class AdvancedTab : public ConfigTab
{
    Q_OBJECT
public:
    explicit AdvancedTab(ConfigBinder& binder, QWidget* parent = nullptr);

    void updateEnables(const ConfigParam* record, bool enabled) override;
    void setAdvancedMode(bool enabled);
    // Full-scale currents of the measuring ranges; `record` picks the entry shown.
    void setCurrentRanges(const double* iRange, int count, const ConfigParam* record);
    QComboBox* currentRangeBox() const { return m_cmRange; }

signals:
    void idleVoltageChanged();
    void throwTraceChanged();

private:
    QCheckBox* m_optimizeRange;
    QComboBox* m_cmRange;
    QSpinBox* m_firstDelay;
    QSpinBox* m_nextDelay;
    QDoubleSpinBox* m_idleVoltage;
    QDoubleSpinBox* m_offsetCurrent;
    QSpinBox* m_throwTrace;
    QWidget* m_advancedWidgets[3] = {};
};
