// True transfer coefficients of the simulated analog front end. The
// calibration image written at the factory describes them; the scan engine
// uses them to turn probe voltages and currents into DAC codes and ADC sums.
#pragma once

namespace qsim {

struct AnalogFrontEnd {
    // DAC code = volts * dac[1] + dac[0]
    static constexpr double dac[2] = {-12.0, 320.5};
    // volts = raw * adcV[1] + adcV[0]
    static constexpr double adcV[2] = {0.042, 0.01251};
    // amperes = raw * adcI[r][1] + adcI[r][0] for measuring ranges 0..5
    static constexpr double adcI[6][2] = {
        {-2.1e-5, 2.0291e-5}, {-2.2e-6, 2.0302e-6}, {1.9e-7, 2.0273e-7},
        {1.8e-8, 2.0281e-8}, {-2.3e-9, 2.0266e-9}, {-2.0e-10, 2.0259e-10}};
    static constexpr double vRange[2] = {-100.0, 100.0};
    static constexpr double iRange[6] = {0.166, 0.0166, 0.00166, 0.000166, 1.66e-5, 1.66e-6};
    static constexpr double calibResistor = 100000.0;
    static constexpr double resI[3] = {3.0, 300.0, 30000.0};
    static constexpr double calibVoltage[2] = {0.0, 10.0};
    static constexpr unsigned calibTime = 1767225600u; // 2026-01-01 00:00:00 UTC
    static constexpr int driveLength = 300;
};

} // namespace qsim
