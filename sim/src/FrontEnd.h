// The unit's analog front end: DAC and output switches, measuring resistors
// and current amplifier, input multiplexer with ground and reference, the
// calibration load, and the two ADCs. Turns volts and amperes into ADC codes
// with the unit's own (true) offsets and gains.
#pragma once
#include "AnalogFrontEnd.h"
#include <SimMeasurement.h>

#include <cstdint>

namespace qsim {

struct FrontEndPath {
    bool enabled = false;       // both front-end enable bits (the simulated unit measures regardless)
    int source = 0;             // 0 HV output, 1 ground, 2 reference
    int resistor = 0;           // 0 small, 1 medium, 2 large
    bool calibrationLoad = false;
    bool gainHigh = false;
};

class FrontEnd {
public:
    explicit FrontEnd(char revision) : revision_(revision)
    {
        using FE = AnalogFrontEnd;
        for (int i = 0; i < 2; ++i) {
            truth.dac[i] = FE::dac[i];
            truth.adcV[i] = FE::adcV[i];
        }
        for (int r = 0; r < 6; ++r)
            for (int i = 0; i < 2; ++i)
                truth.adcI[r][i] = FE::adcI[r][i];
        for (int r = 0; r < 3; ++r)
            truth.resI[r] = FE::resI[r];
        truth.calibResistor = FE::calibResistor;
        truth.reference = FE::calibVoltage[1];
    }

    // Chip-2 analog control word.
    FrontEndPath decode(uint16_t word) const
    {
        FrontEndPath p;
        p.enabled = (word & 0xC0) == 0xC0;
        switch (word & 3) {
        case 3: p.source = 0; break;
        case 0: p.source = 2; break;
        default: p.source = 1; break;
        }
        switch ((word >> 2) & 3) {
        case 3: p.resistor = 0; break;
        case 2: p.resistor = 1; break;
        default: p.resistor = 2; break;
        }
        const bool bit = word & 0x10;
        p.calibrationLoad = revision_ < 'B' ? !bit : bit;
        p.gainHigh = word & 0x20;
        return p;
    }

    double outputVolts(int dacCode) const { return (dacCode - truth.dac[0]) / truth.dac[1]; }
    // ADC readings in 14-bit code units (not yet clipped or quantised).
    double voltageCode(double volts) const { return (volts - truth.adcV[0]) / truth.adcV[1]; }
    double currentCode(double amperes, int range) const
    {
        return (amperes - truth.adcI[range][0]) / truth.adcI[range][1];
    }

    FrontEndTruth truth;

private:
    char revision_;
};

} // namespace qsim
