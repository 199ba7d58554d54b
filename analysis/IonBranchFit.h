#pragma once
// Ion density from a fit of the whole ion branch (setting ionDensityMethod = 1), beside the
// density of the plain analysis' last step. Below the floating potential the current is fitted
// with -a(Vpmax - V)^beta plus the electron term that cancels it at Vf; the exponent picks the
// sheath regime (orbital motion, Laframboise-like, Bohm) and the regime's law gives Ni.
// Cylindrical probes only (modes 0 and 1 with a probe length).

#include "IvAnalysis.h"

#include <QString>

namespace ionfit {

enum Regime {
    eFailed = 0,
    eOml = 1,          // orbital motion: beta near 1/2 or a thin probe
    eLaframboise = 2,  // beta between Bohm and orbital motion: the A(xi), B(xi) law
    eBohm = 3,         // flat branch or a thick sheath-free probe
    eOmlLowerBound = 4 // orbital motion cannot be told from the Laframboise law: a lower bound
};

struct Result {
    Regime regime = eFailed;
    double ni = 0;        // m^-3 (not-a-number when failed)
    double beta = 0;      // fitted exponent
    double sigmaBeta = 0; // its standard deviation
    double xi = 0;        // probe radius over Debye length
    double kTe = 0;       // eV, from the electron current the fitted ion branch leaves
    int samples = 0;      // samples in the fit region
    QString message;      // the failure text, or the line that describes the fit
};

// Laframboise-type coefficients of the ion law at probe radius over Debye length xi.
double laframboiseA(double xi);
double laframboiseB(double xi); // at most 1/2

// The fit on curve (the unsmoothed current the analysis started from) with the analysis'
// final Vf, Vpmax, kTe and Debye length in res.
Result fit(const AnalysisContext& ctx, const IvTrace& curve, const AnalysisResult& res);

} // namespace ionfit
