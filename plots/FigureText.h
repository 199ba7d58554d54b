#pragma once
// The words of the session window's graphs, without widgets: titles that name
// the quantity drawn ("Vp over time") and axis titles in one style, the name
// and then the unit in brackets as the results grid writes it ("Ne [m^-3]").
#include <QString>

namespace FigureText {

enum TrendAxis { eOverPosition, eOverTime, eOverPulse };

// Axis title of a result quantity (0 .. 13): "kTe [eV]", "M".
QString quantityAxis(int quantity);
// Plain name of a result quantity: "kTe", "Ne (EEPF)".
QString quantityName(int quantity);
// "Vp over position", "Vp over time" (timed run, s), "Vp over the pulse"
// (time slices, us).
QString trendTitle(int quantity, TrendAxis axis);
QString trendXAxis(TrendAxis axis);
// The unit in plain text ("m^-3", "\u00b5m"), for readouts; empty for none.
QString quantityUnit(int quantity);
// "Ne over position and time".
QString mapTitle(int quantity);

} // namespace FigureText
