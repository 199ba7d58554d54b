#pragma once
// "Prescan" (advanced mode): how the ion-current and initial scans find the
// sweep and the current range, or that they are left out.
#include "ConfigTab.h"

class QCheckBox;
class QDoubleSpinBox;
class QSpinBox;

class PrescanTab : public ConfigTab
{
    Q_OBJECT
public:
    explicit PrescanTab(ConfigBinder& binder, QWidget* parent = nullptr);

    void updateEnables(const ConfigParam* record, bool enabled) override;

private:
    QDoubleSpinBox* m_ionCurrentVoltage;
    QDoubleSpinBox* m_largeStep;
    QDoubleSpinBox* m_smallStep;
    QSpinBox* m_derivativeDrop;
    QSpinBox* m_ionCurrentDrop;
    QSpinBox* m_derivativePoints;
    QCheckBox* m_optimizeEepf;
    QDoubleSpinBox* m_prescanIntegration;
    QSpinBox* m_prescanAvg;
    QCheckBox* m_disablePrescans;
};
