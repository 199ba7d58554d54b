#pragma once
// "Acquisition": time-averaged or time-resolved acquisition, the averaging
// counts, and the estimates (SYNC frequency, scan, step and trace times).
#include "ConfigTab.h"
#include "ScanEstimate.h"

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

class AcquisitionTab : public ConfigTab
{
    Q_OBJECT
public:
    explicit AcquisitionTab(ConfigBinder& binder, QWidget* parent = nullptr);

    void updateEnables(const ConfigParam* record, bool enabled) override;

    void showSync(const ScanEstimate::Display& sync);
    // Without a valid estimate the three times show "-".
    void showTimes(double runSeconds, double pointSeconds, double traceSeconds, bool valid);

    QString syncText() const;
    QString scanTimeText() const;
    QString stepTimeText() const;
    QString traceTimeText() const;

signals:
    void resync();

private:
    QRadioButton* m_timeAveraged;
    QRadioButton* m_timeResolved;
    QDoubleSpinBox* m_integrationTime;
    QDoubleSpinBox* m_resolution;
    QDoubleSpinBox* m_acqStart;
    QDoubleSpinBox* m_acqEnd;
    QCheckBox* m_wholePeriod;
    QCheckBox* m_integrateSample;
    QSpinBox* m_avgPerStep;
    QSpinBox* m_traceAverage;
    QSpinBox* m_scansToRun;
    QLabel* m_syncValue;
    QLabel* m_syncUnit;
    QPushButton* m_resync;
    QLabel* m_scanTime[2];
    QLabel* m_stepTime[2];
    QLabel* m_traceTime[2];
};
