#pragma once
// One navigation row of the session window: a slider and a spin box beside it
// that move together over 0 .. count-1. The slider moves by a click on its
// groove, the arrow keys (one step) and the Page keys (a tenth of the range);
// the spin box takes a typed number. The window reads value() and listens to
// valueChanged; userMoved tells a user's move from the window's own.
#include <QWidget>

class QSlider;
class QSpinBox;

class FrameNavigator : public QWidget
{
    Q_OBJECT
public:
    explicit FrameNavigator(const QString& toolTip, QWidget* parent = nullptr);

    QSlider* slider() const { return m_slider; }
    QSpinBox* spinBox() const { return m_spin; }
    // The number of places to move over (at least one).
    void setCount(int count);
    int count() const;
    int value() const;
    // Moves both without a userMoved.
    void setValue(int value);
    static int pageStep(int count);

signals:
    void valueChanged(int value);
    void userMoved();

private:
    QSlider* m_slider;
    QSpinBox* m_spin;
};
