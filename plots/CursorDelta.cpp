#include "CursorDelta.h"

#include <QStringList>
#include <cmath>

namespace CursorDelta {

Result between(double xA, double yA, double xB, double yB)
{
    Result r;
    r.dx = xB - xA;
    r.dy = yB - yA;
    r.slope = r.dx != 0 ? r.dy / r.dx : NAN;
    const double dLn = (yA > 0 && yB > 0) ? std::log(yB) - std::log(yA) : NAN;
    r.eFolding = (std::isfinite(dLn) && dLn != 0) ? r.dx / dLn : NAN;
    return r;
}

namespace {
QString number(double v)
{
    return std::isfinite(v) ? QString::number(v, 'g', 4) : QStringLiteral("---");
}

QString part(const QString& name, double v, const QString& unit)
{
    return unit.isEmpty() ? QStringLiteral("%1 = %2").arg(name, number(v))
                          : QStringLiteral("%1 = %2 %3").arg(name, number(v), unit);
}

QString ratioUnit(const QString& num, const QString& den)
{
    if (den.isEmpty())
        return num;
    return (num.isEmpty() ? QStringLiteral("1") : num) + QLatin1Char('/') + den;
}
} // namespace

QString text(const Result& r, const Names& n, bool withEFolding)
{
    const QString delta = QStringLiteral("\u0394");
    QStringList parts;
    parts << part(delta + n.x, r.dx, n.xUnit) << part(delta + n.y, r.dy, n.yUnit)
          << part(delta + n.y + QLatin1Char('/') + delta + n.x, r.slope, ratioUnit(n.yUnit, n.xUnit));
    if (withEFolding && std::isfinite(r.eFolding))
        parts << part(delta + n.x + QStringLiteral("/") + delta + QStringLiteral("ln ") + n.y, r.eFolding, n.xUnit);
    return parts.join(QStringLiteral("   "));
}

} // namespace CursorDelta
