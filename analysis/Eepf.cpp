#include "Eepf.h"

#include <cmath>

namespace {
// K = (2 m_e / (A e^2)) * sqrt(2e / m_e)
constexpr double kTwoElectronMass = 1.82187643e-30;
constexpr double kChargeSquared = 2.5669694954956615e-38;
constexpr double kSqrtTwoEOverMe = 593096.9817762314;
} // namespace

namespace eepf {

EepfResult compute(const AnalysisContext& ctx, const AnalysisCurve& curve,
                   const QVector<double>& stdI, double Vp, double kTe, double Jp,
                   const EepfTable& table)
{
    EepfResult r;
    // Electron current: the modelled ion current removed at and below Vp.
    r.electronCurve = curve;
    for (IvPoint& pt : r.electronCurve.points)
        if (pt.voltage <= Vp)
            pt.current -= ctx.ionCurrent(pt.voltage, Vp, kTe, Jp);
    const AnalysisCurve& ie = r.electronCurve;
    const int n = ie.size();
    const double dv = n < 2 ? 0.0 : (ie.voltage(n - 1) - ie.voltage(0)) / (n - 1);
    const double K = kTwoElectronMass / (ctx.areaTotal * kChargeSquared) * kSqrtTwoEOverMe;
    auto sigma = [&stdI](int i) { return i < stdI.size() ? stdI.at(i) : 0.0; };

    QVector<double> g; // unfloored values for the integrals
    for (const EepfRow& row : table.rows) {
        const double E = row.energy;
        const double Vc = Vp - E;
        const double w = std::max(dv, row.resolution);
        const int i0 = curve::forwardVoltage(ie, Vc);
        const int i1 = curve::forwardVoltage(ie, Vc - 1.5 * w);
        const int i2 = curve::forwardVoltage(ie, Vc + 1.5 * w);
        if (i0 < 0 || i1 < 0 || i2 < 0 || (i0 == i1 && i1 == i2))
            continue;
        const double I0 = curve::integral(ie, Vc - w / 2, Vc + w / 2) / w;
        const double Im = curve::integral(ie, Vc - 1.5 * w, Vc - w / 2) / w;
        const double Ip = curve::integral(ie, Vc + w / 2, Vc + 1.5 * w) / w;
        const double hm = Vc - (Vc - w);
        const double hp = (Vc + w) - Vc;
        const double hs = (Vc + w) - (Vc - w);
        const double d2 = 2 * ((Ip - I0) / hp - (I0 - Im) / hm) / hs;
        double gv = K * d2;
        if (gv < 0)
            gv = 0;
        const double err = std::fabs(
            K * 2 * ((sigma(i2) - sigma(i0)) / hp - (sigma(i0) - sigma(i1)) / hm) / hs);
        r.energy.append(E);
        if (gv == 0) {
            r.eepf.append(kFloor);
            r.errorUpper.append(0);
            r.errorLower.append(0);
            g.append(0);
        } else {
            r.eepf.append(gv);
            r.errorUpper.append(err);
            r.errorLower.append(gv - err >= kFloor ? err : gv - kFloor);
            g.append(gv);
        }
    }

    if (r.energy.isEmpty()) {
        r.hasIntegrals = false;
        r.ne = 0;
        r.neError = 0;
        return r;
    }
    r.hasIntegrals = true;
    // Trapezoids in energy from (0, 0).
    double ne = 0, dne = 0, m3 = 0, dm3 = 0;
    double ePrev = 0, fNe = 0, fDne = 0, fM3 = 0, fDm3 = 0;
    for (int j = 0; j < r.energy.size(); ++j) {
        const double E = r.energy.at(j);
        const double sq = std::sqrt(E);
        const double e32 = E * sq;
        const double a = g.at(j) * sq, b = r.errorUpper.at(j), c = g.at(j) * e32,
                     d = r.errorUpper.at(j) * e32;
        const double h = E - ePrev;
        ne += (fNe + a) * 0.5 * h;
        dne += (fDne + b) * 0.5 * h;
        m3 += (fM3 + c) * 0.5 * h;
        dm3 += (fDm3 + d) * 0.5 * h;
        ePrev = E;
        fNe = a;
        fDne = b;
        fM3 = c;
        fDm3 = d;
    }
    r.ne = ne;
    r.neError = dne;
    if (ne != 0) {
        r.avgEnergy = m3 / ne;
        r.kTe = 2 * r.avgEnergy / 3;
        r.hasMean = true;
        if (dne < ne) {
            r.hasMeanError = true;
            r.avgEnergyError = dm3 / (ne - dne);
            r.kTeError = 2 * r.avgEnergyError / 3;
        }
    }
    return r;
}

} // namespace eepf
