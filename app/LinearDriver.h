#pragma once
// The Move dialog: INITIALIZE and MOVE (each becomes the abort button while
// it runs), the target position as spin box and slider, the actual position,
// the status, the parameter table window and the configuration dialog. The
// drive logic lives in LinearDriveControl; this class only shows it.
#include "LinearDriveControl.h"

#include <QDialog>
#include <QPointer>

class QDoubleSpinBox;
class QLabel;
class QProgressDialog;
class QPushButton;
class QSlider;
class QTableWidget;
class RIRavaVCntrl;

class LinearDriver : public QDialog
{
    Q_OBJECT
public:
    LinearDriver(RIRavaVCntrl* controller, QStringList* alerts, QWidget* parent = nullptr);
    ~LinearDriver() override;

    LinearDriveControl& control() { return *m_control; }
    bool initialise(bool quiet);
    bool moveToPosition(double position);
    double actualPosition() const { return m_control->actualPosition(); }
    bool isInitialised() const { return m_control->isInitialised(); }
    double railLength() const { return m_control->railLength(); }
    // The home question, then not initialised (connect, disconnect, closing).
    void reset();

    // For tests and screenshots.
    QPushButton* initButton() const { return m_initButton; }
    QPushButton* moveButton() const { return m_moveButton; }
    QDoubleSpinBox* positionBox() const { return m_posBox; }
    QSlider* positionSlider() const { return m_posSlider; }
    QLabel* statusLabel() const { return m_status; }
    QLabel* actualLabel() const { return m_actual; }
    QTableWidget* parameterTable() const { return m_table; }

public slots:
    void initSlot();
    void moveSlot();
    void setPosBoxSlot();
    void setPosSliderSlot();
    void showErrorMsg();
    void showConfigPanel();
    void updateParameter(int row, int column);
    void configALD();

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void applySettingsToWidgets();
    void fillTable();
    void setPositionControlsEnabled(bool on);
    void onBusy(bool busy);

    LinearDriveControl* m_control;
    SliderMap m_map;
    bool m_closeWhenIdle = false;
    bool m_fillingTable = false;

    QDoubleSpinBox* m_posBox;
    QSlider* m_posSlider;
    QLabel* m_actual;
    QLabel* m_status;
    QPushButton* m_initButton;
    QPushButton* m_moveButton;
    QPushButton* m_configButton;
    QPushButton* m_tableButton;
    QTableWidget* m_table; // its own window: "Config Panel"
    QPointer<QProgressDialog> m_homeProgress;
};

// "Linear Driver Configuration": home inverted, speed, rail length, homing
// speed and slope, with the controller families' default slopes.
class ALDconfig : public QDialog
{
    Q_OBJECT
public:
    explicit ALDconfig(QWidget* parent = nullptr);

    void setValues(double slope, double railLength, double velocityPercent, bool homeInverted, double homingSpeed);
    double slope() const;
    double railLength() const;
    double velocityPercent() const;
    bool homeInverted() const;
    double homingSpeed() const;
    // "Linear drive": search (true) or none.
    void setDriveSearch(bool search);
    bool driveSearch() const;

    // Default slopes of the controller-type entries.
    static double defaultSlope(int entry);
    static QStringList typeEntries();

public slots:
    void setDefaultSlopeVal(int entry);

private:
    class QCheckBox* m_homeInverted;
    class QDoubleSpinBox* m_speed;
    class QSpinBox* m_rail;
    QDoubleSpinBox* m_homingSpeed;
    class QLineEdit* m_slope;
    QCheckBox* m_useDefault;
    class QComboBox* m_type;
    QComboBox* m_search;
    double m_slopeValue = 0;
};
