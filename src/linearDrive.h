// Linear drive framework: the generic base drive and the factory that, at
// every connect, identifies the controller family on RS232 port 0. The drive
// object is owned by the driver; abortLinearDrive() may set the abort flag
// from another thread while an operation runs.
#pragma once

#include <QString>

#include <atomic>
#include <cmath>
#include <mutex>

class HwRegisters;

// Library-wide linear-drive settings (shared by all drive objects). Atomic:
// the user-interface thread sets them while a drive operation reads them.
struct LinearDriveSettings {
    std::atomic<char> address{0};
    std::atomic<double> slope{0.01};
    std::atomic<double> intercept{0.01};
    std::atomic<bool> homeInverted{false};
    std::atomic<int> identifiedType{-1};      // -1 until first read, 0 none, 1..4 the families
    std::atomic<double> velocityPercent{50};
    std::atomic<double> homingSpeed{10.0};
    // Off: no drive is attached and connect asks no family (each one asked
    // costs its time-outs).
    std::atomic<bool> search{true};

    static LinearDriveSettings &global();
    // Reads group "ldSettings" of the default settings store.
    void read();
};

class LinearDrive {
public:
    enum Type { eNone = 0, ePM600 = 1, eMDrivePlus = 2, eOpticsFocus = 3, eAppliedMotion = 4 };

    LinearDrive();
    virtual ~LinearDrive();
    LinearDrive(const LinearDrive &) = delete;
    LinearDrive &operator=(const LinearDrive &) = delete;

    virtual bool identify() { return false; }
    virtual bool moveToHome() { return false; }
    virtual bool moveTo(double /*position*/) { return false; }
    virtual bool stop() { return false; }
    virtual QString getError() { return QStringLiteral("No Error."); }

    // Aborts an operation running on another thread and waits (bounded) until
    // it has ended; true when the drive is idle.
    bool endOperation();

    // Position conversion between the application's unit and controller steps.
    long toSteps(double position) const { return static_cast<long>(std::trunc((position - intercept) / slope)); }
    double toPosition(long steps) const { return steps * slope + intercept; }
    // Checked form: false when the position, slope or intercept is not finite,
    // the slope is 0, or the step count does not fit a command's 32-bit argument.
    static bool stepsFor(double position, double slope, double intercept, long &steps);

    QString name;
    QString description;
    std::atomic<bool> busy{false};
    std::atomic<bool> abort{false};
    // Set from the user-interface thread while an operation may run.
    std::atomic<char> address{0};
    std::atomic<int> stepsPerRev{0};
    std::atomic<double> mmPerRev{0};
    std::atomic<double> speed{0};
    std::atomic<double> slope{0};
    std::atomic<double> velPercent{0};
    std::atomic<double> intercept{0};
    std::atomic<double> position{std::nan("")};
};

// Family constructors in factory order; a null entry is a family not built.
using LinearDriveMaker = LinearDrive *(*)(HwRegisters *registers);
LinearDriveMaker linearDriveFamily(int type);

// A running search for the drive's family, stoppable from another thread:
// cancel() sets the abort flag of the family being asked, and no further
// family is asked after it.
class LinearDriveSearch {
public:
    void begin();
    void cancel();
    // Marks `drive` as the one being asked; false when cancelled already.
    bool asking(LinearDrive *drive);
    bool cancelled();
private:
    std::mutex m;
    LinearDrive *candidate = nullptr;
    bool stopped = false;
};

// Creates the drive for a connection: the family found last time first, then
// the others; the generic drive when none answers, the search is off or
// `search` is cancelled.
LinearDrive *createLinearDrive(HwRegisters *registers, LinearDriveSearch *search = nullptr);
