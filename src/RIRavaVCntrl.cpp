// Thin forwarders to the driver object.
#include "RIRavaVCntrl.h"
#include "DriverLog.h"
#include "VeskbDrv.h"

#include <cmath>


RIRavaVCntrl::RIRavaVCntrl() : drv(new VeskbDrv) {}

RIRavaVCntrl::~RIRavaVCntrl()
{
    delete drv; // disconnects first when still connected
}

int RIRavaVCntrl::connectTo() { return drv->connectTo(); }
bool RIRavaVCntrl::isConnected() const { return drv->connected; }
bool RIRavaVCntrl::disconnect() { return drv->disconnect(); }
bool RIRavaVCntrl::outputHV() { return drv->outputHV(); }
VeskbDescriptor *RIRavaVCntrl::getScannerDescriptor() { return &drv->desc; }
bool RIRavaVCntrl::is16Bit() const { return drv->regs && drv->is16Bit; }
void RIRavaVCntrl::setLogFileName(const QString &name) { setDriverLogFileName(name); }

// ---- Configuration (scan parameters) ----------------------------------------------------

bool RIRavaVCntrl::setScanVoltages(double start, double step, double stop) { return drv->setScanVoltages(start, step, stop); }
bool RIRavaVCntrl::setScanVoltages(double start, double step, double stop, double gainSwitchVoltage, bool highGainFirst)
{
    return drv->setScanVoltages(start, step, stop, gainSwitchVoltage, highGainFirst);
}
bool RIRavaVCntrl::getScanVoltages(double &start, double &step, double &stop) { return drv->getScanVoltages(start, step, stop); }
bool RIRavaVCntrl::setDefVoltage(double volts) { return drv->setDefVoltage(volts); }
bool RIRavaVCntrl::setDefVoltages(double *, double *volts, double *) { return volts && drv->setDefVoltage(*volts); }
bool RIRavaVCntrl::setMeasuringRange(unsigned range) { return drv->setMeasuringRange(range); }
unsigned RIRavaVCntrl::getMeasuringRange() { return drv->getMeasuringRange(); }
bool RIRavaVCntrl::setSettlingDelays(unsigned a, unsigned fsd, unsigned nsd, unsigned d) { return drv->setSettlingDelays(a, fsd, nsd, d); }
void RIRavaVCntrl::setAverage(unsigned n) { drv->average = n ? n : 1; }
unsigned RIRavaVCntrl::getAverage() { return drv->average; }
bool RIRavaVCntrl::setAverageHW(unsigned n, unsigned) { return drv->setAverageHW(n); }
unsigned RIRavaVCntrl::getAverageHW() { return drv->averageHW; }
bool RIRavaVCntrl::setScanType(bool, bool synchronized, bool) { return drv->setScanType(synchronized); }
bool RIRavaVCntrl::setSyncScanParameters(double &periodUs, double &delayUs, double &durationUs, bool accumulate)
{
    return drv->setSyncScanParameters(periodUs, delayUs, durationUs, accumulate);
}
double RIRavaVCntrl::getSyncFreq(bool restart) { return drv->getSyncFreq(restart); }
bool RIRavaVCntrl::useTriggeredScan(bool enable, bool mode, unsigned short delay) { return drv->useTriggeredScan(enable, mode, delay); }
bool RIRavaVCntrl::isExtScanTriggerAvailable() const { return drv->isExtScanTriggerAvailable(); }
bool RIRavaVCntrl::isDoubleProbeModeAvailable() const { return drv->isDoubleProbeModeAvailable(); }
bool RIRavaVCntrl::selectProbeMode(VESK_HW::eProbeMode mode) { return drv->selectProbeMode(static_cast<int>(mode)); }
bool RIRavaVCntrl::selectProbeMode(int mode) { return drv->selectProbeMode(mode); }
VESK_HW::eProbeMode RIRavaVCntrl::getProbeMode() const { return drv->getProbeMode(); }

void RIRavaVCntrl::getScanTimes(double start, double step, double stop, bool synchronized, unsigned averageHW,
                                unsigned repeats, unsigned smplPP, bool accumulate, unsigned short fsd,
                                unsigned short nsd, double &fSync, double &pointTime, double &scanTime, double &totalTime)
{
    drv->getScanTimes(start, step, stop, synchronized, averageHW, repeats, smplPP, accumulate, fsd, nsd, fSync,
                      pointTime, scanTime, totalTime);
}

// ---- Scan and data ------------------------------------------------------------------------

bool RIRavaVCntrl::startScan() { return drv->startScan(); }
bool RIRavaVCntrl::isScanRunning() const { return drv->isScanRunning(); }
bool RIRavaVCntrl::stopScan() { return drv->stopScan(); }
bool RIRavaVCntrl::abortAll() { return drv->abortAll(); }
bool RIRavaVCntrl::isAborted() const { return drv->aborted; }

bool RIRavaVCntrl::getDataFromOneScan(double *&data, unsigned &syncPoints, unsigned &steps, double &samplePeriod,
                                      double &syncDelay, unsigned &trailer, bool)
{
    return drv->getDataFromOneScan(data, syncPoints, steps, samplePeriod, syncDelay, trailer);
}

void RIRavaVCntrl::getScanProgress(int &percent, double &scanSeconds, int &elapsedSeconds)
{
    drv->getScanProgress(percent, scanSeconds, elapsedSeconds);
}

// ---- Calibration ----------------------------------------------------------------------------

bool RIRavaVCntrl::calibrate() { return drv->calibrate(); }
bool RIRavaVCntrl::isCalibrated() const { return drv->calibrated; }
int RIRavaVCntrl::getCalibrationProgress() const { return drv->calibrationProgress; }

// ---- RS232 --------------------------------------------------------------------------------------

bool RIRavaVCntrl::configureRS232(char port, unsigned char rateCode, bool a, bool b)
{
    return drv->configureRS232(port, rateCode, a, b);
}

bool RIRavaVCntrl::getNumRS232(unsigned char, unsigned short *count)
{
    if (count)
        *count = 0;
    return false;
}

bool RIRavaVCntrl::flushRS232(unsigned char port) { return drv->flushRS232(port); }
bool RIRavaVCntrl::readRS232(unsigned char port, char *buffer, unsigned short *length) { return drv->readRS232(port, buffer, length); }
bool RIRavaVCntrl::writeRS232(unsigned char port, char *data, unsigned short length) { return drv->writeRS232(port, data, length); }

// ---- Linear drive -----------------------------------------------------------------------------------
// Without a drive object (no connect attempt yet) the getters give empty or
// not-a-number values and the operations refuse.

QString RIRavaVCntrl::getLinearDriveName() { return drv->drive ? drv->drive->name : QString(); }
QString RIRavaVCntrl::getLinearDriveDescription() { return drv->drive ? drv->drive->description : QString(); }
double RIRavaVCntrl::getLinearDrivePosition() { return drv->drive ? drv->drive->position.load() : std::nan(""); }
QString RIRavaVCntrl::getLinearDriveError() { return drv->drive ? drv->drive->getError() : QString(); }
bool RIRavaVCntrl::moveLinearDriveToHome() { return drv->drive && drv->drive->moveToHome(); }
bool RIRavaVCntrl::moveLinearDriveTo(double position) { return drv->drive && drv->drive->moveTo(position); }
void RIRavaVCntrl::abortLinearDrive()
{
    if (drv->drive)
        drv->drive->abort = true;
}
bool RIRavaVCntrl::stopLinearDrive() { return drv->drive && drv->drive->stop(); }
void RIRavaVCntrl::setLinearDriveAddress(char address)
{
    if (drv->drive)
        drv->drive->address = address;
}
char RIRavaVCntrl::getLinearDriveAddress() { return drv->drive ? drv->drive->address.load() : 0; }
void RIRavaVCntrl::setLinearDriveSlope(double slope)
{
    if (drv->drive)
        drv->drive->slope = slope;
}
double RIRavaVCntrl::getLinearDriveSlope() { return drv->drive ? drv->drive->slope.load() : std::nan(""); }
void RIRavaVCntrl::setLinearDriveIntercept(double intercept)
{
    if (drv->drive)
        drv->drive->intercept = intercept;
}
double RIRavaVCntrl::getLinearDriveIntercept() { return drv->drive ? drv->drive->intercept.load() : std::nan(""); }
void RIRavaVCntrl::setLinearDriveVelpercent(double percent)
{
    // Truncated to a whole percent; a value no int holds (NaN, inf, 1e300) is refused
    // rather than converted with undefined result.
    if (drv->drive && std::isfinite(percent) && std::fabs(percent) < 2147483647.0)
        drv->drive->velPercent = std::trunc(percent);
}
double RIRavaVCntrl::getLinearDriveVelpercent() { return drv->drive ? drv->drive->velPercent.load() : std::nan(""); }
void RIRavaVCntrl::setHomeInverted(bool inverted) { LinearDriveSettings::global().homeInverted = inverted; }
bool RIRavaVCntrl::getHomeInverted() { return LinearDriveSettings::global().homeInverted; }
void RIRavaVCntrl::setHomingSpeed(double speed) { LinearDriveSettings::global().homingSpeed = speed; }
double RIRavaVCntrl::getHomingSpeed() { return LinearDriveSettings::global().homingSpeed; }
void RIRavaVCntrl::setLinearDriveIdentifiedType(int type) { LinearDriveSettings::global().identifiedType = type; }
int RIRavaVCntrl::getLinearDriveIdentifiedType() { return LinearDriveSettings::global().identifiedType; }
void RIRavaVCntrl::setLDInfo(int stepsPerRev, double mmPerRev, double speed)
{
    if (!drv->drive)
        return;
    drv->drive->stepsPerRev = stepsPerRev;
    drv->drive->mmPerRev = mmPerRev;
    drv->drive->speed = speed;
}
void RIRavaVCntrl::setLDSpeed(double speed)
{
    if (drv->drive)
        drv->drive->speed = speed;
}
void RIRavaVCntrl::setLDmmPerRev(int mmPerRev)
{
    if (drv->drive)
        drv->drive->mmPerRev = static_cast<double>(mmPerRev);
}
void RIRavaVCntrl::setLDStepsPerRev(int stepsPerRev)
{
    if (drv->drive)
        drv->drive->stepsPerRev = stepsPerRev;
}
void RIRavaVCntrl::setDriveSearchOnConnect(bool on) { drv->searchOnConnect = on; }
bool RIRavaVCntrl::searchLinearDrive() { return drv->searchLinearDrive(); }
