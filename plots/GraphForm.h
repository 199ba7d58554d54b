#pragma once
// Small form that sets the range of one axis of a plot, the left or the
// bottom one (opened by a double click on that axis).
#include <QWidget>

class QwtPlot;
class QLineEdit;
class QCheckBox;
class QPushButton;

class GraphForm : public QWidget
{
    Q_OBJECT
public:
    explicit GraphForm(QWidget* parent = nullptr);
    // axis: QwtPlot::yLeft or QwtPlot::xBottom.
    void attachPlot(QwtPlot* plot, int axis = 0);
    QwtPlot* plot() const { return m_plot; }
    int axis() const { return m_axis; }
    QLineEdit* minimumEdit() const { return m_min; }
    QLineEdit* maximumEdit() const { return m_max; }
    QCheckBox* autoScaleBox() const { return m_auto; }
    QPushButton* closeButton() const { return m_close; }

public slots:
    void setPlotScale();

private:
    void connectEdits(bool on);

    QwtPlot* m_plot = nullptr;
    int m_axis = 0;
    QLineEdit* m_min;
    QLineEdit* m_max;
    QCheckBox* m_auto;
    QPushButton* m_close;
    double m_minimum = 0.0;
    double m_maximum = 1.0;
};
