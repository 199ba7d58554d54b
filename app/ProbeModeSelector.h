#pragma once
// Modal dialog of every connect: the user picks the attached probe type, which
// yields the hardware and the software probe mode. It cannot end without a choice.
#include <QDialog>

class QButtonGroup;
class QRadioButton;
class QCloseEvent;
class QKeyEvent;

class ProbeModeSelector : public QDialog
{
    Q_OBJECT
public:
    enum Choice { eWithoutDcRef, eWithDcRef, eDouble, eSpherical, eMach };
    explicit ProbeModeSelector(QWidget* parent = nullptr, bool doubleProbeAvailable = true);

    int hwProbeMode() const { return m_hwProbeMode; }
    int swProbeMode() const { return m_swProbeMode; }
    QRadioButton* button(Choice c) const;

public slots:
    void selectMode();
    void reject() override; // Esc and the window's close: ignored

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    QRadioButton* m_buttons[5];
    QButtonGroup* m_group;
    int m_hwProbeMode = 0;
    int m_swProbeMode = 0;
};
