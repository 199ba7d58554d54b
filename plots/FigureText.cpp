#include "FigureText.h"

namespace FigureText {

namespace {
struct Quantity {
    const char* name;
    const char* unit; // rich text, as the results grid writes it; empty: none
};
// By quantity number (the results' order).
const Quantity kQuantities[14] = {
    {"Vp", "V"},
    {"Vf", "V"},
    {"kTe", "eV"},
    {"Je", "A/m<sup>2</sup>"},
    {"Ne", "m<sup>-3</sup>"},
    {"Jp", "A/m<sup>2</sup>"},
    {"Ni", "m<sup>-3</sup>"},
    {"Ld", "&micro;m"},
    {"Ne (EEPF)", "m<sup>-3</sup>"},
    {"E (EEPF)", "eV"},
    {"kTe (EEPF)", "eV"},
    {"Isat", "mA"},
    {"M", ""},
    {"Vd", "m s<sup>-1</sup>"},
};

bool valid(int q)
{
    return q >= 0 && q < 14;
}
} // namespace

QString quantityName(int quantity)
{
    return valid(quantity) ? QString::fromLatin1(kQuantities[quantity].name) : QStringLiteral("Y");
}

QString quantityAxis(int quantity)
{
    if (!valid(quantity))
        return QStringLiteral("Y");
    const Quantity& q = kQuantities[quantity];
    return *q.unit ? QStringLiteral("%1 [%2]").arg(QString::fromLatin1(q.name), QString::fromLatin1(q.unit))
                   : QString::fromLatin1(q.name);
}

QString trendTitle(int quantity, TrendAxis axis)
{
    switch (axis) {
    case eOverPosition: return QStringLiteral("%1 over position").arg(quantityName(quantity));
    case eOverTime: return QStringLiteral("%1 over time").arg(quantityName(quantity));
    default: return QStringLiteral("%1 over the pulse").arg(quantityName(quantity));
    }
}

QString trendXAxis(TrendAxis axis)
{
    switch (axis) {
    case eOverPosition: return QStringLiteral("Position [mm]");
    case eOverTime: return QStringLiteral("Time [s]");
    default: return QStringLiteral("Time [<span>&mu;</span>s]");
    }
}

QString quantityUnit(int quantity)
{
    static const char* const plain[14] = {"V",  "V",    "eV", "A/m^2", "m^-3", "A/m^2", "m^-3",
                                          "\u00b5m", "m^-3", "eV", "eV", "mA", "", "m/s"};
    return valid(quantity) ? QString::fromUtf8(plain[quantity]) : QString();
}

QString mapTitle(int quantity)
{
    return QStringLiteral("%1 over position and time").arg(quantityName(quantity));
}

} // namespace FigureText
