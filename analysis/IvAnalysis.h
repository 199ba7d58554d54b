#pragma once
// Single-probe IV analysis: the ion-saturation region, then Vf, Vpmax/Vsat, kTe, Vp and
// the orbital-motion-limited ion-current iteration that refines kTe, Vp, Ne; Ni last.
// Failures are messages in the caller's error text plus not-a-number results.
// Also the knee search the measurement sequence runs on a pre-scan.

#include "LangmuirSettings.h"
#include "Trace.h"

#include <QString>
#include <array>
#include <limits>

// Software probe modes (the configuration's probeMode).
enum ProbeMode {
    eSingleProbe = 0,
    eSingleProbeWithReference = 1,
    eDoubleProbe = 3,
    eSphericalProbe = 4,
    eMachProbe = 5
};

namespace physics {
constexpr double kElementaryCharge = 1.602176487e-19;   // C
constexpr double kTwoPiElectronMass = 5.723593608236398e-30; // kg
constexpr double kBoltzmann = 1.380650424e-23;          // J/K
constexpr double kTorrToPascal = 133.3223683684;
constexpr double kAtomicMass = 1.6726216639163685e-27;  // kg per amu
constexpr double kDebyeFactor = 7433.942337496409;      // sqrt(eps0 / e)
constexpr double kPi = 3.141592653589793;
} // namespace physics

// Thirteen values in this order; the last two are Mach-probe only.
struct AnalysisResult {
    enum Index {
        eVpmax, eVp, eVf, eKTe, eJe, eNe, eJp, eIsat, eNi, eVsat, eLdebye, eMach, eVdrift, eCount
    };
    std::array<double, eCount> v;
    AnalysisResult();       // all not-a-number
    void resetKeepIsat();   // every value but Isat not-a-number
    double& operator[](int i) { return v[i]; }
    double operator[](int i) const { return v[i]; }
};

// Everything one analysis derives from the settings and the scan before it starts.
struct AnalysisContext {
    LangmuirSettings settings;
    int probeMode = eSingleProbe;

    // Ion-saturation region
    double isatIntegral = 0; // A*V
    double ionRegionLow = 0; // V
    double ionRegionHigh = 0;

    double collisionFactor = 1;
    double areaTotal = 0, areaEnd = 0, areaSide = 0; // m^2
    double lambdaIon = 0;  // m
    double ionMassKg = 0;

    // Orbital-motion-limited coefficients of the last pass
    double A = 0, B = 0, C = 0, D = 0;

    // The electron-retardation fit of the last pass, V = retardSlope * ln(Ie) + retardIntercept
    // over the samples from retardLow to retardHigh (V); not-a-number when kTe came from the
    // integral instead.
    double retardSlope = std::numeric_limits<double>::quiet_NaN();
    double retardIntercept = std::numeric_limits<double>::quiet_NaN();
    double retardLow = std::numeric_limits<double>::quiet_NaN();
    double retardHigh = std::numeric_limits<double>::quiet_NaN();

    // Double and Mach probes
    double slopeLeft = 0, slopeRight = 0, I0 = 0, V0 = 0;
    double iLeft = 0, iRight = 0; // saturation means after the shift

    // Standard deviation of one derivative slope (A/V) from the noise-robust mode: the knee
    // walk of step C stops only below VsatFactor x maximum - 8 x slopeNoise. 0: the plain rule.
    double slopeNoise = 0;

    // Skip iteration passes that would repeat earlier ones exactly (same results either way;
    // off only to check that claim).
    bool skipRepeatedPasses = true;
    // Compute the whole electron curve with the power-law ion model in every pass and walk it
    // forward, instead of the needed samples on demand (the plain form, for checking).
    bool referenceElectronCurve = false;

    AnalysisContext() = default;
    AnalysisContext(const LangmuirSettings& s, int mode);

    // Mean ion-saturation current magnitude.
    double meanIonCurrent() const;
    // Modelled ion current at V with the current coefficients (0 above Vp).
    double ionCurrent(double V, double Vp, double kTe, double Jp) const;
};

// What an analysis found on a curve besides its results, kept with the scan so
// that a view draws the fits without refitting: the ion-saturation region, the
// ion current model of the last pass and the electron-retardation fit.
struct IvFit {
    bool valid = false;
    double ionRegionLow = 0, ionRegionHigh = 0; // V
    double Vp = 0, kTe = 0, Jp = 0;             // the model's Vp (V), kTe (eV), Jp (A/m^2)
    double A = 0, B = 0, C = 0, D = 0;
    double areaSide = 0, areaEnd = 0;           // m^2
    double retardSlope = 0, retardIntercept = 0, retardLow = 0, retardHigh = 0;

    static IvFit from(const AnalysisContext& ctx, const AnalysisResult& r);
    // The modelled ion current at V (A; 0 above Vp).
    double ionCurrent(double V) const;
    bool hasRetardFit() const;
    // The electron current of the retardation fit at V (A).
    double retardCurrent(double V) const;
};

namespace iv {

// Step A: the ion-saturation region from the ion-current reading (current A, voltage V),
// the corrected curve or the initial scan.
void determineIonRegion(AnalysisContext& ctx, const IvTrace& corrected, const IvTrace& initScan,
                        double readingCurrent, double readingVoltage);

// Steps B to H. Messages go to errorText (a later message replaces an earlier one).
bool analyse(AnalysisContext& ctx, const AnalysisCurve& curve, AnalysisResult& result,
             QString& errorText);

// Vp by intersecting slopes; on failure Vpmax with the message in errorText.
double intersectingSlopes(double Vpmax, double Vsat, double kTe, double Vlow, const IvTrace& curve,
                          QString& errorText);

struct KneeResult {
    bool ok = false;       // Vf found and the knee within the data
    bool vfFound = false;
    double Vf = 0;
    double knee = 0;
};
KneeResult kneeSearch(const IvTrace& curve, double currentLimit, int k);

} // namespace iv
