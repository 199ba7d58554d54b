#include "ErrorText.h"

#include <cmath>

namespace errortext {

namespace {

// Places of the last of two significant digits of x > 0, after rounding (9.96 -> 10).
int lastPlaceOfTwo(double x)
{
    int place = int(std::floor(std::log10(x))) - 1;
    if (std::round(x / std::pow(10.0, place)) >= 100)
        ++place;
    return place;
}

double roundTo(double x, int place)
{
    // Dividing by a power of ten that is exact keeps 0.0014 from coming out 0.0013999.
    return place < 0 ? std::round(x * std::pow(10.0, -place)) / std::pow(10.0, -place)
                     : std::round(x / std::pow(10.0, place)) * std::pow(10.0, place);
}

QString fixed(double x, int place)
{
    const double r = roundTo(x, place);
    return QString::number(r == 0 ? 0.0 : r, 'f', place < 0 ? -place : 0); // no "-0.00"
}

// x in exponent form with its last digit at `place`.
QString exponent(double x, int place)
{
    const double r = roundTo(x, place) + 0.0;
    const int e = r == 0 ? place : int(std::floor(std::log10(std::fabs(r))));
    return QString::number(r, 'e', std::max(0, e - place));
}

} // namespace

QString percent(double value, double error)
{
    if (!std::isfinite(value) || !std::isfinite(error) || value == 0)
        return QStringLiteral("---");
    const double p = std::fabs(error / value) * 100.0;
    if (p < 0.001)
        return QStringLiteral("< 0.001 %");
    return fixed(p, lastPlaceOfTwo(p)) + QStringLiteral(" %");
}

QString valueWithError(double value, double error, const QString& unit)
{
    const QString tail = unit.isEmpty() ? QString() : QLatin1Char(' ') + unit;
    if (!std::isfinite(value))
        return QStringLiteral("---");
    if (!std::isfinite(error) || !(error > 0))
        return QString::number(value, 'g', 6) + tail;
    error = std::fabs(error);
    const int place = lastPlaceOfTwo(error);
    const double big = std::max(std::fabs(value), error);
    static const QString pm = QStringLiteral(" \u00b1 ");
    if (big < 1e5 && big >= 1e-3 && place >= -9)
        return fixed(value, place) + pm + fixed(error, place) + tail;
    return exponent(value, place) + pm + exponent(error, place) + tail;
}

} // namespace errortext
