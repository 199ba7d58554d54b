#pragma once
// "Trigger": starting each scan on the unit's external trigger input. The
// group stays closed on a unit without the input.
#include "ConfigTab.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;

class TriggerTab : public ConfigTab
{
    Q_OBJECT
public:
    explicit TriggerTab(ConfigBinder& binder, QWidget* parent = nullptr);

    void updateEnables(const ConfigParam* record, bool enabled) override;
    void setAvailable(bool available) { m_available = available; }
    QWidget* triggerGroup() const;
    QCheckBox* useTriggerBox() const { return m_useTrigger; }
    // A delay typed but not yet confirmed goes into the record.
    void takePendingDelay(ConfigParam& record) const;

private:
    bool m_available = false;
    QGroupBox* m_triggerGroup;
    QCheckBox* m_useTrigger;
    QRadioButton* m_fallingEdge;
    QRadioButton* m_risingEdge;
    QLineEdit* m_triggerDelay;
};
