#pragma once
// EEPF by the Druyvesteyn relation at the energies of an EEPF table, each with its own
// smoothing width, and its integrals (density, mean energy, temperature).

#include "EepfTable.h"
#include "IvAnalysis.h"

#include <QVector>

struct EepfResult {
    QVector<double> energy, eepf, errorUpper, errorLower; // one entry per evaluated row
    TimedTrace electronCurve; // the IV curve less the modelled ion current
    bool hasIntegrals = false; // false: no entries; Ne and its error are 0, the rest untouched
    double ne = 0, neError = 0;
    bool hasMean = false;      // Ne not 0: mean energy and kTe set
    bool hasMeanError = false; // and its error below Ne: their errors set
    double avgEnergy = qQNaN(), avgEnergyError = qQNaN();
    double kTe = qQNaN(), kTeError = qQNaN();
};

namespace eepf {
constexpr double kFloor = 1e9;

// curve: the corrected curve; stdI: its current deviations (same length);
// Vp, kTe, Jp from the base analysis, whose context holds the last A, B, C, D.
EepfResult compute(const AnalysisContext& ctx, const AnalysisCurve& curve,
                   const QVector<double>& stdI, double Vp, double kTe, double Jp,
                   const EepfTable& table);
} // namespace eepf
