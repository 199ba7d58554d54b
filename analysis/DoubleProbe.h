#pragma once
// Double-probe and Mach-probe analysis: symmetry point, residual branch slopes,
// saturation currents and the tanh fit for kTe; then Ni (and for Mach probes the
// Mach number and drift velocity).

#include "IvAnalysis.h"

namespace dp {

// Index of the entry with the largest slope (the first of equal ones) of the window-sum
// derivative of half-width k (curve::derivative), and its centre voltage; -1 when the
// derivative has no entry. Linear in the curve's length for any k.
int steepestEntry(const AnalysisCurve& curve, int k, double& centre);

// The common core and the mode's own step (ctx.probeMode 3: double, 5: Mach).
bool analyse(AnalysisContext& ctx, const AnalysisCurve& curve, AnalysisResult& result,
             QString& errorText);

// Sheath-corrected copy of the currents: I - (V - Vf)*slope - I0, with the left slope
// before the first sample reaching Vf and the right slope from there on.
QVector<double> correctedCurrents(const AnalysisContext& ctx, const QVector<double>& voltages,
                                  const QVector<double>& currents, double Vf);

} // namespace dp
