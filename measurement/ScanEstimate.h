#pragma once
// What the scan configuration panel estimates for a record: positions, the
// hardware average, the arguments of the controller's scan-time estimate, the
// whole run's time, and the texts of times and of the SYNC frequency. Also the
// number of frames a time-resolved window asks for (the rule of at most 1024)
// and the number of time points the controller will realise for it.
// Pure arithmetic on numbers; the caller makes the controller call.
#include "ConfigParam.h"

#include <QString>

namespace ScanEstimate {

// Frames of a time-resolved scan the controller accepts.
constexpr int maxSyncFrames = 1024;

// Positions of one run: 1, or for a spatial run |(end - start) / step| + 1
// rounded; a step of 0 measures at one position, as the run does.
int positionCount(const SpatParam& spat);

// Samples averaged per voltage step: avgPerStep x adcFreq x 1e-6 x
// integrationTime rounded for a time-averaged run, avgPerStep for a
// time-resolved one.
unsigned hardwareAverage(const ConfigParam& c, double adcFreq);

// Samples per time point of a time-resolved scan (resolution in us).
unsigned samplesPerPoint(double resolutionUs, double adcFreq);

// Frames a window from startUs to endUs asks for: (end - start) / resolution,
// rounded. This is what the limit of maxSyncFrames applies to; an end at or
// before the start (the whole SYNC period) or a resolution that is not
// positive gives 0 here.
int frameCount(double startUs, double endUs, double resolutionUs);

// Time points the controller realises for a window from startUs to endUs at
// the given resolution: the period is rounded to whole samples and the count
// is trunc(duration / period) + 1. An end at or before the start asks for the
// whole SYNC period (0 here: its length is known only to the unit).
int syncFrameCount(double startUs, double endUs, double resolutionUs, double adcFreq);

// The arguments of RIRavaVCntrl::getScanTimes for the data scans of a record.
struct TimesRequest {
    double start = 0, step = 0, stop = 0;
    bool synchronized = false;
    unsigned averageHW = 1;
    unsigned repeats = 1;
    unsigned smplPP = 1;
    bool accumulate = true;
    unsigned short fsd = 0, nsd = 0;
};
TimesRequest timesRequest(const ConfigParam& c, double adcFreq);

// The controller's answer: SYNC frequency, step time, one sweep (trace) and
// the traceAverage sweeps of one kept or thrown scan, in seconds.
struct ControllerTimes {
    double fSync = 0, pointTime = 0, scanTime = 0, totalTime = 0;
};

// Whole run: positions x (thrown + kept scans) x the time of one scan.
double runSeconds(const ConfigParam& c, const ControllerTimes& t);

// A time as value and unit: "[us]" below 1 ms, "[ms]" below 1 s, "[s]" below
// a minute, else "hh:mm:ss" with "[h:m:s]".
struct Display {
    QString value;
    QString unit;
};
Display timeDisplay(double seconds);

// SYNC frequency: "-" for 0, Hz up to 1000, kHz above; the unit's states
// -1 UNSTABLE, -2 TOO LOW, -3 TOO HIGH, other negatives UNKNOWN.
Display syncDisplay(double f);

} // namespace ScanEstimate
