#pragma once
// The noise-robust single-probe analysis (setting noiseRobust): a white-noise estimate from
// the ion branch of a scan's base curve gates everything; above the gate the knee walk of
// step C allows for the slope noise, a noisy curve is smoothed by local quadratics whose width
// follows a pilot kTe, and Vf is refined by a local quadratic fit after the iteration. The
// decision is taken once per scan; below the gate, and with the setting off, it is the plain
// analysis exactly.

#include "IvAnalysis.h"

#include <QString>
#include <QVector>

namespace robust {

// Gate and smoothing thresholds, as fractions of the largest current magnitude.
constexpr double kGateFraction = 1e-5;
constexpr double kSmoothFraction = 1e-3;

struct NoiseEstimate {
    double sigma = 0;   // white current noise (A)
    double maxAbsI = 0; // largest finite current magnitude (A)
    double dv = 0;      // mean voltage step (V)
    bool gateOpen = false;
};

// Step N.1 to N.3: sigma from the residuals of each sample against the chord of its
// neighbours on the ion branch (below the last zero crossing; the whole curve when every
// current is negative). An ion branch with fewer than kMinResiduals residuals keeps the gate
// closed: the electron branch's knee is no noise.
constexpr int kMinResiduals = 5;
NoiseEstimate estimateNoise(const IvTrace& c);

// Standard deviation of one window slope of half-width k (N.4).
double slopeSigma(double sigma, int k, double dv);
// Variance factor of the smoothed value (the centre coefficient of the quadratic kernel).
double varianceFactor(int m);
// The interior kernel c_q, q = -m ... m, of the least-squares quadratic through 2m+1 samples.
QVector<double> kernel(int m);
// Standard deviation of one window slope of half-width k taken on the curve smoothed with
// half-width m.
double smoothedSlopeSigma(double sigma, int k, int m, double dv);
// Smoothing half-width for a pilot kTe (eV); 0: do not smooth (pilot kTe unusable, window
// below 2 samples or wider than the curve).
int smoothingHalfWidth(const NoiseEstimate& noise, double pilotKTe, int n);
// The currents replaced by the least-squares quadratics through 2m+1 consecutive samples.
AnalysisCurve smooth(const AnalysisCurve& c, int m);
// Step G': Vf refined by local quadratic fits within +-kTe of the estimate; the estimate
// itself when it cannot be refined.
double refineVf(const IvTrace& c, double Vf, double kTe);

// What the mode decided for one scan, once, on its base curve: the noise estimate and the
// gate, the slope deviation for the knee walk, and the analysis curve (the base curve, or
// its currents smoothed with half-width m). The base analysis and the copies of the error
// estimate all run under the same plan (each copy smoothed with the same m).
struct Plan {
    bool active = false;   // the setting applies (single-probe mode)
    NoiseEstimate noise;
    int m = 0;             // smoothing half-width, 0 when not smoothed
    double slopeNoise = 0; // the slope deviation given to step C
    AnalysisCurve curve;   // the analysis curve
};

// Decides the plan for a base curve. With the gate open and noise above the smoothing
// threshold, a pilot analysis of the base curve (in a copy of `ctx`, which holds the ion
// region of the base curve) gives the kTe that sets the smoothing width; a pilot without a
// usable kTe leaves the curve unsmoothed.
Plan plan(const AnalysisContext& ctx, const AnalysisCurve& base);

// One analysis under a plan: with the gate open the knee walk allows for the slope noise and
// Vf is refined on the analysed curve; otherwise it is iv::analyse exactly.
bool analyse(const Plan& plan, AnalysisContext& ctx, const AnalysisCurve& c, AnalysisResult& res,
             QString& err);

// One line for the log: sigma, the gate and m.
QString describe(const Plan& p);

} // namespace robust
