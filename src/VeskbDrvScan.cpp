// Scan parameters, scans and read-out, hardware calibration and the
// descriptor reports. Not built yet: until then the public methods
// that need it refuse with a WARN line.
#include "DriverLog.h"
#include "VeskbDrv.h"

#define NOT_BUILT(name) LOG_WARN("%s : not available in this build of the library", name)

bool VeskbDrv::setScanVoltages(double, double, double) { NOT_BUILT("setScanVoltages"); return false; }
bool VeskbDrv::setScanVoltages(double, double, double, double, bool) { NOT_BUILT("setScanVoltages"); return false; }
bool VeskbDrv::getScanVoltages(double &, double &, double &) { NOT_BUILT("getScanVoltages"); return false; }
bool VeskbDrv::setDefVoltage(double &) { NOT_BUILT("setDefVoltage"); return false; }
bool VeskbDrv::setMeasuringRange(unsigned) { NOT_BUILT("setMeasuringRange"); return false; }
unsigned VeskbDrv::getMeasuringRange() { NOT_BUILT("getMeasuringRange"); return 0; }
bool VeskbDrv::setSettlingDelays(unsigned, unsigned, unsigned, unsigned) { NOT_BUILT("setSettlingDelays"); return false; }
bool VeskbDrv::setAverageHW(unsigned) { NOT_BUILT("setAverageHW"); return false; }
bool VeskbDrv::setScanType(bool) { NOT_BUILT("setScanType"); return false; }
bool VeskbDrv::setSyncScanParameters(double &, double &, double &, bool) { NOT_BUILT("setSyncScanParameters"); return false; }
double VeskbDrv::getSyncFreq(bool) { NOT_BUILT("getSyncFreq"); return 0.0; }

void VeskbDrv::getScanTimes(double, double, double, bool, unsigned, unsigned, unsigned, bool, unsigned short,
                            unsigned short, double &fSync, double &pointTime, double &scanTime, double &totalTime)
{
    fSync = pointTime = scanTime = totalTime = 0.0;
    NOT_BUILT("getScanTimes");
}

bool VeskbDrv::startScan() { NOT_BUILT("startScan"); return false; }

bool VeskbDrv::getDataFromOneScan(double *&data, unsigned &syncPoints, unsigned &steps, double &samplePeriod,
                                  double &syncDelay, unsigned &trailer)
{
    data = nullptr;
    syncPoints = steps = trailer = 0;
    samplePeriod = syncDelay = 0.0;
    if (!connected) {
        LOG_WARN("Cannot read data from VESKB because %s", "it's not connected");
        return false;
    }
    NOT_BUILT("getDataFromOneScan");
    return false;
}

void VeskbDrv::getScanProgress(int &percent, double &scanSeconds, int &elapsedSeconds)
{
    percent = 0;
    scanSeconds = secondsPerAverage;
    elapsedSeconds = 0;
}

bool VeskbDrv::calibrate() { NOT_BUILT("calibrate"); return false; }

void VeskbDrv::freeDataBuffer()
{
    std::vector<double>().swap(dataBuffer);
}

QString VeskbDescriptorImp::toString(bool) const
{
    return QString();
}

QString VeskbDescriptorImp::toKeyValueString() const
{
    return QString();
}
