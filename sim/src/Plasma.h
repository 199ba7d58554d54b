// Probe in a plasma: currents as a function of tip voltage, time within the
// SYNC period and drive position. Pure functions of the configuration.
#pragma once
#include <SimMeasurement.h>

namespace qsim {

// Local plasma parameters after pulse and profile.
struct LocalPlasma {
    double ne, kTe, Vp, hotNe, hotKTe;
    // Derived once per state: random current densities and sheath coefficients.
    double jeCold = 0, jeHot = 0, jp = 0;
    double ionA = 0, ionB = 0, ionC = 0, ionD = 0;
    bool operator==(const LocalPlasma &o) const
    {
        return ne == o.ne && kTe == o.kTe && Vp == o.Vp && hotNe == o.hotNe && hotKTe == o.hotKTe;
    }
};

class Plasma {
public:
    explicit Plasma(const PlasmaConfig &config) : c_(config) {}

    LocalPlasma local(double phaseSeconds, double periodSeconds, double positionMm) const;
    // Current into one tip (positive: electrons collected) at tip voltage v.
    // ionScale multiplies the ion current (Mach probe tips), areaScale the area.
    double tipCurrent(const LocalPlasma &p, double v, double areaScale = 1.0, double ionScale = 1.0) const;
    // Current of the probe in the given mode for a voltage between tip and
    // ground (single) or between tip 1 and tip 2 (double).
    double probeCurrent(const LocalPlasma &p, double v, bool doubleProbe) const;
    // Tip voltage and current when the set voltage drives the probe through a
    // series resistance: vSet = vTip + I(vTip) * r.
    double solveSeries(const LocalPlasma &p, double vSet, double r, bool doubleProbe, double &current) const;
    double floatingPotential(const LocalPlasma &p) const;
    double debyeLength(const LocalPlasma &p) const;
    PlasmaState state(double phaseSeconds, double periodSeconds, double positionMm) const;

private:
    double areaSide() const;
    double areaEnd() const;
    PlasmaConfig c_;
};

} // namespace qsim
