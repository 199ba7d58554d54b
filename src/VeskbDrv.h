// The driver object behind RIRavaVCntrl: owns the USB module wrapper, the
// descriptor, the register mirror, the linear drive and the scan data buffer.
// Connection, probe modes, triggers, stop/abort and RS232 live in
// VeskbDrv.cpp; the calibration memory in VeskbDrvI2c.cpp; scan parameters,
// scans, read-out and calibration in VeskbDrvScan.cpp.
#pragma once

#include "CQuickUsb.h"
#include "HwRegisters.h"
#include "ScanMath.h"
#include "ScanReadout.h"
#include "RIRavaVCntrl.h"
#include "linearDrive.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class VeskbDescriptorImp : public VeskbDescriptor {
public:
    VeskbDescriptorImp();
    QString toString(bool detailed) const override;
    QString toKeyValueString() const override;
    void resetCalibration();   // defaults of the calibration fields, empty USB strings
};

enum VeskbError {
    VESKB_NO_ERROR = 0,
    VESKB_COULD_NOT_CONNECT = 1,
    VESKB_FILE_OPEN_ERROR = 2,
    VESKB_FILE_READ_ERROR = 3,
    FAILED_TO_PROGRAM_FPGA = 4,
    VESKB_QUSB_ERROR = 6
};
const char *veskbErrorText(int code);

class VeskbDrv {
public:
    static constexpr const char *kApiVersion = "2.1.6";
    static constexpr uint16_t kCalibrationI2cAddress = 81;
    static constexpr uint16_t kImageAddress = 0x2000;
    static constexpr int kImageSize = 280;
    static constexpr uint32_t kMagic = 0xCECAB070u;

    VeskbDrv();
    ~VeskbDrv();
    VeskbDrv(const VeskbDrv &) = delete;
    VeskbDrv &operator=(const VeskbDrv &) = delete;

    void resetState();

    // Connection
    int connectTo();
    bool connectToModule(const char *name);
    bool disconnect();
    bool outputHV();

    // Register-level operations
    bool selectProbeMode(int mode);   // 0..3 as VESK_HW::eProbeMode; others refused
    VESK_HW::eProbeMode getProbeMode() const;
    bool isDoubleProbeModeAvailable() const;
    bool isExtScanTriggerAvailable() const;
    bool useTriggeredScan(bool enable, bool mode, unsigned short delay);
    bool stopScan();
    bool abortAll();
    // Asks the families on the connected unit and keeps the drive found (the
    // generic one when none answers); false when not connected or cancelled.
    bool searchLinearDrive();
    bool isScanRunning() const { return regs && regs->runBit(); }

    // RS232 pass-through
    bool configureRS232(char port, unsigned char rateCode, bool a, bool b);
    bool flushRS232(unsigned char port);
    bool readRS232(unsigned char port, char *buffer, unsigned short *length);
    bool writeRS232(unsigned char port, const char *data, unsigned short length);

    // Calibration memory
    bool readRIRavaVConfigParameters();
    bool writeRIRavaVConfigParameters();
    void dumpConfigParameters();
    std::vector<uint8_t> buildImage() const;
    bool writeImageChunks(const std::vector<uint8_t> &image);

    // Scan parameters, scans, read-out and calibration (VeskbDrvScan.cpp)
    bool setScanVoltages(double start, double step, double stop);
    bool setScanVoltages(double start, double step, double stop, double gainSwitchVoltage, bool highGainFirst);
    bool getScanVoltages(double &start, double &step, double &stop);
    bool setDefVoltage(double &volts);
    bool setMeasuringRange(unsigned range);
    unsigned getMeasuringRange();
    bool setSettlingDelays(unsigned a, unsigned fsd, unsigned nsd, unsigned d);
    bool setAverageHW(unsigned n);
    bool setScanType(bool synchronized);
    bool setSyncScanParameters(double &periodUs, double &delayUs, double &durationUs, bool accumulate);
    double getSyncFreq(bool restart);
    void getScanTimes(double start, double step, double stop, bool synchronized, unsigned averageHW,
                      unsigned repeats, unsigned smplPP, bool accumulate, unsigned short fsd,
                      unsigned short nsd, double &fSync, double &pointTime, double &scanTime,
                      double &totalTime);
    bool startScan();
    bool getDataFromOneScan(double *&data, unsigned &syncPoints, unsigned &steps, double &samplePeriod,
                            double &syncDelay, unsigned &trailer);
    void getScanProgress(int &percent, double &scanSeconds, int &elapsedSeconds);
    bool calibrate();
    void freeDataBuffer();
    // Internals of the scans and the calibration
    bool deriveRunParameters(bool synchronized, double fSync, ScanMath::RunParameters &p) const;
    bool writeRunParameters(const ScanMath::RunParameters &p);
    // Reads one scan (of `average` passes) into the data buffer as scaled
    // sums; writes the register dump after a failure that was not an abort.
    bool readScaledScan(uint32_t &syncPoints, uint32_t &steps, uint32_t &trailer);

    CQuickUsb usb;                      // first member: every other part uses it
    VeskbDescriptorImp desc;
    std::unique_ptr<HwRegisters> regs;
    std::unique_ptr<LinearDrive> drive;
    // Off: connect leaves the generic drive and searchLinearDrive() asks the
    // families later (set before the connect, on the thread that starts it).
    bool searchOnConnect = true;
    LinearDriveSearch driveSearch;

    // Read by the user-interface thread while the job thread connects.
    std::atomic<bool> connected{false};
    bool calibrated = false;
    std::atomic<bool> aborted{false};
    bool is16Bit = false;
    int errorCode = VESKB_NO_ERROR;

    unsigned average = 1;
    unsigned averageHW = 1;
    unsigned smplPP = 80;
    unsigned sPoints = 1;
    unsigned sDelay = 0;
    bool accSmpl = false;
    unsigned maxAccSamples = 0x40000;
    uint32_t syncWord = 0;

    unsigned wordsPerRead = 0x4000;     // per bulk read, set at connect
    std::vector<double> dataBuffer;
    ScanStreamReader reader;            // bulk read buffer and its read position
    std::atomic<long> valuesRead{0};
    std::atomic<long> valuesExpected{0};
    std::atomic<double> readStartTime{0};
    std::atomic<double> scansPerSecond{-1.0};
    std::atomic<double> secondsPerAverage{-1.0};
    std::atomic<int> calibrationProgress{0};

    // Image read at connect, restored if a later write fails part way.
    std::vector<uint8_t> imageAtConnect;
};
