#pragma once
// What two cursors on a graph read, without widgets: the differences between
// their points, the slope between them and, on a current graph, the
// e-folding voltage dU / d(ln I) (kTe by eye on the exponential part of an IV).
#include <QString>

namespace CursorDelta {

struct Names {
    QString x, xUnit, y, yUnit; // "U", "V", "I", "A"
};

struct Result {
    double dx = 0, dy = 0;
    double slope = 0;     // dy / dx; NaN for dx = 0
    double eFolding = 0;  // dx / (ln yB - ln yA); NaN unless both y > 0 and they differ
};

Result between(double xA, double yA, double xB, double yB);
// "ΔU = 4.2 V   ΔI = 0.0013 A   ΔI/ΔU = 0.00031 A/V" and, when asked and
// defined, "   ΔU/Δln I = 2.95 V"; numbers with four significant digits,
// written the same in every locale (the text goes to the clipboard).
QString text(const Result& r, const Names& n, bool withEFolding);

} // namespace CursorDelta
