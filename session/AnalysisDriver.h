#pragma once
// Runs the analysis of one scan: the preparation of the corrected curve, then the analysis
// of the probe mode with its error estimate (the bound from four perturbed curves, or the
// statistical one from copies of the mean curve), storing values,
// errors, derived curves and the EEPF in the scan. Pure functions of their inputs, so
// scans can be analysed in parallel.

#include "EepfTable.h"
#include "LangmuirSettings.h"
#include "ScanRecord.h"

// The parts of the scan configuration the analysis reads.
struct ScanAnalysisConfig {
    int probeMode = 0;
    bool useReferenceProbe = false;
    double voltageStart = -50; // dataScanRunParam_voltageStart
    double voltageEnd = 50;    // dataScanRunParam_voltageEnd
};

namespace driver {

// Plasma resistance (Ohm) from the DC-correction pre-scans; 0 when off or not computable.
double plasmaResistance(const ScanRecord& scan, const LangmuirSettings& s,
                        const ScanAnalysisConfig& cfg);
// Corrected lists and plasma resistance of the scan.
void prepare(ScanRecord& scan, const LangmuirSettings& s, const ScanAnalysisConfig& cfg);

// The single-probe driver (modes 0, 1, 4); returns the scan's error text.
QString singleProbe(ScanRecord& scan, const LangmuirSettings& s, const EepfTable& table, int mode);
// The double- (3) and Mach-probe (5) drivers.
QString doubleProbe(ScanRecord& scan, const LangmuirSettings& s, int mode);

// Preparation, then the analysis the probe mode asks for. Unknown modes are left
// with the error text "Unknown probe mode".
void analyseScan(ScanRecord& scan, const LangmuirSettings& s, const EepfTable& table,
                 const ScanAnalysisConfig& cfg);

} // namespace driver
