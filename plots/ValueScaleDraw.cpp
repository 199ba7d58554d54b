#include "ValueScaleDraw.h"

#include "AxisRange.h"

#include <qwt_scale_div.h>
#include <QLocale>
#include <cmath>

void ValueScaleDraw::setLogarithmic(bool on)
{
    m_log = on;
    invalidateCache();
}

QwtText ValueScaleDraw::label(double value) const
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    const QList<double> ticks = scaleDiv().ticks(QwtScaleDiv::MajorTick);
    if (m_log || ticks.size() < 2)
        return locale.toString(value, 'g', 6);
    const double step = std::fabs(ticks.at(1) - ticks.at(0));
    // Zero computed as the sum of steps comes out as 1e-17.
    if (std::fabs(value) < step * 1e-9)
        value = 0.0;
    const double largest = std::max(std::fabs(scaleDiv().lowerBound()), std::fabs(scaleDiv().upperBound()));
    return locale.toString(value, 'g', AxisRange::tickDigits(largest, step));
}
