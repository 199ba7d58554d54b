#pragma once
// One tab of the scan configuration panel: its groups of label | box | unit
// rows, bound to the record through the panel's binder. The panel opens and
// closes the controls through updateEnables().
#include "ConfigParam.h"

#include <QList>
#include <QWidget>

class ConfigBinder;
class QAbstractSpinBox;
class QCheckBox;
class QDoubleSpinBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QSpinBox;
class QVBoxLayout;

class ConfigTab : public QWidget
{
    Q_OBJECT
public:
    explicit ConfigTab(ConfigBinder& binder, QWidget* parent = nullptr);

    // `record` may be null; `enabled` is the panel's enabled mode. The tab's
    // editable groups open only with both.
    virtual void updateEnables(const ConfigParam* record, bool enabled);

    // A titled group with its grid (label, box, unit columns).
    static QGroupBox* group(const QString& title, QGridLayout*& grid);
    static QLabel* unitLabel(const QString& unit);
    static void tune(QAbstractSpinBox* box);

protected:
    // Puts the group on the page; editable groups follow updateEnables().
    void addGroup(QGroupBox* group, bool editable = true);
    void addWidget(QWidget* w);
    void finish(); // the rest of the page stays empty

    ConfigBinder& m_binder;

private:
    QVBoxLayout* m_layout;
    QList<QWidget*> m_editable;
};

// Row builders of one group's grid.
struct ConfigRows {
    QGridLayout* g;
    int r = 0;

    // NaN leaves the box's own minimum, step or value.
    QDoubleSpinBox* dbl(const QString& label, const QString& unit, const char* name, int dec, double min, double max,
                        double step, double init);
    // An initial value below the minimum leaves the box's own.
    QSpinBox* integer(const QString& label, const QString& unit, const char* name, int min, int max, int init);
    void place(const QString& label, QWidget* box, const QString& unit);
    QCheckBox* check(const QString& text);
};
