// The probe controller library's one exported class and its public records.
// RIRavaVCntrl forwards every call to the internal driver object it owns.
#pragma once

#include <QString>
#include <cstdint>

#if defined(_WIN32)
#  if defined(VESKB2_BUILD)
#    define VESKB2_EXPORT __declspec(dllexport)
#  else
#    define VESKB2_EXPORT __declspec(dllimport)
#  endif
#else
#  define VESKB2_EXPORT __attribute__((visibility("default")))
#endif

namespace VESK_HW {
enum eProbeMode { eSingle = 0, eDrive = 1, eReturn = 2, eDouble = 3 };
}

// Device, USB module and calibration data of the connected controller.
class VESKB2_EXPORT VeskbDescriptor {
public:
    virtual ~VeskbDescriptor();
    // Readable report; the short form ends after the serial number.
    virtual QString toString(bool detailed) const = 0;
    // One "key: value" line per field.
    virtual QString toKeyValueString() const = 0;

    QString apiVersion;
    QString apiDescription;
    uint16_t qusbDllVersion[3] = {0, 0, 0};     // major, minor, build
    uint16_t qusbDriverVersion[3] = {0, 0, 0};
    QString qusbDevName;
    QString qusbMake, qusbModel, qusbSerial;
    QString qusbHWRev;
    bool qusbHighSpeed = false;
    char devName[20] = {0};                     // raw bytes of the calibration memory
    uint32_t chip1FirmwareVersion = 0;
    uint32_t chip2FirmwareVersion = 0;
    double vRange[2] = {-32768, 32767};
    double iRange[6] = {0.166, 0.0166, 0.00166, 0.000166, 1.66e-5, 1.66e-6};
    double calibResistor = 100000;
    double resI[3] = {3, 300, 30000};
    double calibVoltage[2] = {0, 10};
    uint32_t calibTime = 0;
    int32_t driveLength = 0;
    double adcFreq = 7.9872e7;
    int32_t adcBits = 14;
    uint32_t i2cMagicString = 0;
    int16_t i2cFormatVersion = 0;
    bool memoryBlank = false;
    double cal_dac[2] = {0, 1};
    double cal_adc_v[2] = {0, 1};
    double cal_adc_i[6][2] = {{0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}};

    // devName as text: at most 20 characters, ending at the first NUL.
    QString devNameText() const;
};

class VeskbDrv;

class VESKB2_EXPORT RIRavaVCntrl {
public:
    RIRavaVCntrl();
    ~RIRavaVCntrl();
    RIRavaVCntrl(const RIRavaVCntrl &) = delete;
    RIRavaVCntrl &operator=(const RIRavaVCntrl &) = delete;

    // Connection and information
    int connectTo();                       // 1 connected, -100 no module, 0 every module failed
    bool isConnected() const;
    bool disconnect();
    bool outputHV();
    VeskbDescriptor *getScannerDescriptor();
    bool is16Bit() const;
    void setLogFileName(const QString &name);

    // Configuration
    bool setScanVoltages(double start, double step, double stop);
    bool setScanVoltages(double start, double step, double stop, double gainSwitchVoltage, bool highGainFirst);
    bool getScanVoltages(double &start, double &step, double &stop);
    bool setDefVoltage(double volts);
    bool setDefVoltages(double *, double *volts, double *);
    bool setMeasuringRange(unsigned range);
    unsigned getMeasuringRange();
    bool setSettlingDelays(unsigned a, unsigned fsd, unsigned nsd, unsigned d);
    void setAverage(unsigned n);
    unsigned getAverage();
    bool setAverageHW(unsigned n, unsigned);
    unsigned getAverageHW();
    bool setScanType(bool, bool synchronized, bool);
    bool setSyncScanParameters(double &periodUs, double &delayUs, double &durationUs, bool accumulate);
    double getSyncFreq(bool restart);
    bool useTriggeredScan(bool enable, bool mode, unsigned short delay);
    bool isExtScanTriggerAvailable() const;
    bool isDoubleProbeModeAvailable() const;
    bool selectProbeMode(VESK_HW::eProbeMode mode);
    // The same by number, as dialogs and settings hold it; numbers other than 0..3 are refused.
    bool selectProbeMode(int mode);
    VESK_HW::eProbeMode getProbeMode() const;
    void getScanTimes(double start, double step, double stop, bool synchronized, unsigned averageHW,
                      unsigned repeats, unsigned smplPP, bool accumulate, unsigned short fsd,
                      unsigned short nsd, double &fSync, double &pointTime, double &scanTime,
                      double &totalTime);

    // Scan and data
    bool startScan();
    bool isScanRunning() const;
    bool stopScan();
    bool abortAll();
    bool isAborted() const;
    bool getDataFromOneScan(double *&data, unsigned &syncPoints, unsigned &steps, double &samplePeriod,
                            double &syncDelay, unsigned &trailer, bool);
    void getScanProgress(int &percent, double &scanSeconds, int &elapsedSeconds);

    // Calibration
    bool calibrate();
    bool isCalibrated() const;
    int getCalibrationProgress() const;

    // Serial pass-through to the module's RS232 ports
    bool configureRS232(char port, unsigned char rateCode, bool a, bool b);
    bool getNumRS232(unsigned char port, unsigned short *count);
    bool flushRS232(unsigned char port);
    bool readRS232(unsigned char port, char *buffer, unsigned short *length);
    bool writeRS232(unsigned char port, char *data, unsigned short length);

    // Linear drive
    QString getLinearDriveName();
    QString getLinearDriveDescription();
    double getLinearDrivePosition();
    QString getLinearDriveError();
    bool moveLinearDriveToHome();
    bool moveLinearDriveTo(double position);
    void abortLinearDrive();
    bool stopLinearDrive();
    void setLinearDriveAddress(char address);
    char getLinearDriveAddress();
    void setLinearDriveSlope(double slope);
    double getLinearDriveSlope();
    void setLinearDriveIntercept(double intercept);
    double getLinearDriveIntercept();
    void setLinearDriveVelpercent(double percent);
    double getLinearDriveVelpercent();
    void setHomeInverted(bool inverted);
    bool getHomeInverted();
    void setHomingSpeed(double speed);
    double getHomingSpeed();
    void setLinearDriveIdentifiedType(int type);
    int getLinearDriveIdentifiedType();
    void setLDInfo(int stepsPerRev, double mmPerRev, double speed);
    void setLDSpeed(double speed);
    void setLDmmPerRev(int mmPerRev);
    void setLDStepsPerRev(int stepsPerRev);
    // Off: connectTo() leaves the generic drive and the caller runs
    // searchLinearDrive() once connected. The search is the only user of the
    // module while it runs: abortAll() ends it, and no drive call may be made
    // until it has returned (it replaces the drive object).
    void setDriveSearchOnConnect(bool on);
    bool searchLinearDrive();

private:
    VeskbDrv *drv;
};
