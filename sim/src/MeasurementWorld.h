// Shared pieces of the measuring part of the simulator (lock held by callers).
#pragma once
#include <condition_variable>

namespace qsim {

class MeasuringEngine;

// Wakes bulk reads that wait for data (stop, trigger, configuration change).
std::condition_variable_any &readWakeup();
// Probe position along the linear drive, mm.
double probePosition();
// The measuring engine of a module, or null.
MeasuringEngine *measuringEngine(int module);

} // namespace qsim
