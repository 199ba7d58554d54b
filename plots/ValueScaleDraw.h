#pragma once
// Axis labels with as many significant digits as the tick spacing needs, so
// that neighbouring ticks never read the same ("10.3722" five times).
#include <qwt_scale_draw.h>

class ValueScaleDraw : public QwtScaleDraw
{
public:
    // A logarithmic axis labels its decades in the plain short form.
    void setLogarithmic(bool on);
    QwtText label(double value) const override;

private:
    bool m_log = false;
};
