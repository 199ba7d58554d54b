#pragma once
// Results with their errors as people read them: the error to two significant digits and the
// value to the same last digit ("8.2698 ± 0.0014 V"), and the relative error as a percentage
// of two significant digits ("0.017 %"). Machine formats keep their full precision instead.

#include <QString>

namespace errortext {

// |error / value| in percent to two significant digits: "0.017 %", "4.1 %", "12 %";
// "< 0.001 %" below that; "---" when either is not finite or the value is 0.
QString percent(double value, double error);

// "8.2698 ± 0.0014 V"; large or small magnitudes in exponent form ("9.810e+15 ± 2.5e+14
// m^-3"); without a finite, positive error the value to six significant digits ("8.2698 V");
// "---" for a value that is not finite; magnitudes from 1e-3 to 1e5 in fixed form. The unit follows after a blank when not empty.
QString valueWithError(double value, double error, const QString& unit = QString());

} // namespace errortext
