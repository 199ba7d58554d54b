#pragma once
// "Multi Scan": runs over probe positions (the linear drive), over time and
// the ion-current monitoring. The position boxes span what the drive allows.
#include "ConfigTab.h"

class QCheckBox;
class QDoubleSpinBox;

class MultiScanTab : public ConfigTab
{
    Q_OBJECT
public:
    explicit MultiScanTab(ConfigBinder& binder, QWidget* parent = nullptr);

    void updateEnables(const ConfigParam* record, bool enabled) override;

    // Re-reads the limits the drive dialog stored.
    void readPositionLimits();
    // The position boxes span the rail once its length is known, else the stored limits.
    void applyPositionLimits();
    void setRailLength(double length);
    double railLength() const { return m_railLength; }

private:
    double m_posMinimum = 0.0;
    double m_posMaximum = 100.0;
    double m_railLength = 0.0; // 0: not known (limits from the drive settings)

    QCheckBox* m_spatial;
    QDoubleSpinBox* m_posStart;
    QDoubleSpinBox* m_posStep;
    QDoubleSpinBox* m_posEnd;
    QCheckBox* m_useRetract;
    QDoubleSpinBox* m_posRetract;
    QCheckBox* m_timed;
    QDoubleSpinBox* m_timeStart;
    QDoubleSpinBox* m_timeStep;
    QDoubleSpinBox* m_timeEnd;
    QCheckBox* m_ionMonitor;
    QDoubleSpinBox* m_icDuration;
    QDoubleSpinBox* m_icVoltage;
};
