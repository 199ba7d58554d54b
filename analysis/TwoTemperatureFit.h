#pragma once
// Two electron temperatures (setting twoTemperature): below Vpmax the current is fitted with
// the ion law -a(Vpmax - V)^b and one or two Boltzmann terms; a second, hotter population is
// reported only when it lowers the residual well beyond the noise, is physically plausible and
// survives a change of the ion exponent by +-0.2. Single probes (modes 0, 1, 4).

#include "IvAnalysis.h"

#include <QString>

namespace twotemp {

enum Flag { eFailed = 0, eOneTemperature = 1, eTwoTemperatures = 2 };

struct Result {
    Flag flag = eFailed;
    double tCold = 0;    // eV; with one temperature, that one
    double tHot = 0;     // eV; not-a-number with one temperature
    double fraction = 0; // hot density over the total; 0 with one temperature
    double t1 = 0;       // the one-population temperature
    double tc = 0, th = 0, f = 0; // the best two-population fit, whatever the decision
    double gain = 0;     // (SSR1 - SSR2) / s^2
    double reduced = 0;  // SSR2 / ((m - 4) s^2)
    int samples = 0;
    QString veto;        // the ion exponent whose fit did not confirm two temperatures
    QString message;     // the failure text, or the line that describes the fit
};

// The fit on curve (the unsmoothed current the analysis started from) with the analysis'
// Vpmax and kTe in res; ionExponent is the ion law's exponent (1/2 unless the ion-density fit
// found another regime).
Result fit(const AnalysisContext& ctx, const IvTrace& curve, const AnalysisResult& res,
           double ionExponent = 0.5);

} // namespace twotemp
