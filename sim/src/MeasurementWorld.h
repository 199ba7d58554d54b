// Shared pieces of the measuring part of the simulator (lock held by callers).
#pragma once
#include <condition_variable>

namespace qsim {

class MeasuringEngine;

// Wakes bulk reads that wait for data (stop, trigger, configuration change).
std::condition_variable_any &readWakeup();
// Probe position along the module's linear drive, mm: where its stage has
// carried the probe, or the configured position when no drive is attached.
double probePosition(int module);
// The measuring engine of a module, or null.
MeasuringEngine *measuringEngine(int module);

} // namespace qsim
