#include "FrameNavigator.h"

#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <algorithm>

FrameNavigator::FrameNavigator(const QString& toolTip, QWidget* parent) : QWidget(parent)
{
    m_slider = new QSlider(Qt::Horizontal);
    m_slider->setRange(0, 0);
    m_slider->setSingleStep(1);
    m_slider->setPageStep(1);
    m_slider->setFocusPolicy(Qt::StrongFocus); // keys after a click or Tab
    m_slider->setToolTip(toolTip);
    m_spin = new QSpinBox;
    m_spin->setRange(0, 0);
    m_spin->setToolTip(toolTip);
    m_spin->setKeyboardTracking(false); // a typed "12" is one move, not two
    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(m_slider, 1);
    lay->addWidget(m_spin);
    connect(m_slider, &QSlider::valueChanged, this, [this](int v) {
        {
            const QSignalBlocker quiet(m_spin);
            m_spin->setValue(v);
        }
        emit valueChanged(v);
    });
    connect(m_slider, &QAbstractSlider::actionTriggered, this, &FrameNavigator::userMoved);
    connect(m_spin, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int v) {
        if (v == m_slider->value())
            return;
        emit userMoved();
        m_slider->setValue(v);
    });
}

int FrameNavigator::pageStep(int count)
{
    return std::max(1, (count + 9) / 10);
}

void FrameNavigator::setCount(int count)
{
    const int last = std::max(0, count - 1);
    const QSignalBlocker quiet(m_spin);
    m_spin->setRange(0, last);
    m_slider->setPageStep(pageStep(count));
    m_slider->setRange(0, last); // may clamp the value: valueChanged follows
    m_spin->setValue(m_slider->value());
}

int FrameNavigator::count() const
{
    return m_slider->maximum() + 1;
}

int FrameNavigator::value() const
{
    return m_slider->value();
}

void FrameNavigator::setValue(int value)
{
    m_slider->setValue(value);
}
