#include "linearDrive.h"
#include "DriverLog.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QThread>

LinearDriveSettings &LinearDriveSettings::global()
{
    static LinearDriveSettings settings;
    return settings;
}

void LinearDriveSettings::read()
{
    QSettings store;
    store.beginGroup(QStringLiteral("ldSettings"));
    const int addr = store.value(QStringLiteral("address"), 0).toInt();
    address = static_cast<char>(addr >= 256 ? 0 : addr);
    slope = store.value(QStringLiteral("slope"), 0.01).toDouble();
    intercept = store.value(QStringLiteral("intercept"), 0.01).toDouble();
    homeInverted = store.value(QStringLiteral("homeInverted"), 0).toInt() != 0;
    identifiedType = store.value(QStringLiteral("identifiedType"), 0).toInt();
    velocityPercent = store.value(QStringLiteral("velocityPercent"), 50.0).toDouble();
    homingSpeed = store.value(QStringLiteral("homingSpeed"), 10.0).toDouble();
    search = store.value(QStringLiteral("driveSearch"), true).toBool();
    store.endGroup();
}

LinearDrive::LinearDrive()
    : name(QStringLiteral("LinearDrive")), description(QStringLiteral("Generic Linear Drive Controller"))
{
    LinearDriveSettings &s = LinearDriveSettings::global();
    s.read();
    if (s.identifiedType == -1) {
        address = '*';
        slope = std::nan("");
        intercept = std::nan("");
    } else {
        address = s.address.load();
        slope = s.slope.load();
        intercept = s.intercept.load();
    }
    velPercent = s.velocityPercent.load();
    LOG_DEB("<LinearDrive::LinearDrive>");
}

LinearDrive::~LinearDrive() = default;

bool LinearDrive::endOperation()
{
    if (!busy)
        return true;
    abort = true;
    // An operation sees the flag at its next check, within one exchange.
    QElapsedTimer timer;
    timer.start();
    for (int n = 0; busy && (n < 1000 || timer.elapsed() < 2000); ++n) {
        driverSleepMs(10);
        QThread::msleep(1);
    }
    return !busy;
}

bool LinearDrive::stepsFor(double position, double slope, double intercept, long &steps)
{
    if (!std::isfinite(position) || !std::isfinite(slope) || !std::isfinite(intercept) || slope == 0)
        return false;
    const double count = std::trunc((position - intercept) / slope);
    if (!std::isfinite(count) || count < -2147483647.0 || count > 2147483647.0)
        return false;
    steps = static_cast<long>(count);
    return true;
}

void LinearDriveSearch::begin()
{
    std::lock_guard<std::mutex> hold(m);
    candidate = nullptr;
    stopped = false;
}

void LinearDriveSearch::cancel()
{
    std::lock_guard<std::mutex> hold(m);
    stopped = true;
    if (candidate)
        candidate->abort = true;
}

bool LinearDriveSearch::asking(LinearDrive *drive)
{
    std::lock_guard<std::mutex> hold(m);
    candidate = stopped ? nullptr : drive;
    return !stopped || !drive;
}

bool LinearDriveSearch::cancelled()
{
    std::lock_guard<std::mutex> hold(m);
    return stopped;
}

namespace {
// Asks one family; the drive is registered with the search while it is asked
// so that a cancel reaches it, and unregistered before it may be deleted.
bool ask(LinearDrive *drive, LinearDriveSearch *search)
{
    if (!drive)
        return false;
    if (search && !search->asking(drive))
        return false;
    const bool found = drive->identify();
    if (search) {
        search->asking(nullptr);
        if (search->cancelled())
            return false;
    }
    return found;
}
}

LinearDrive *createLinearDrive(HwRegisters *registers, LinearDriveSearch *search)
{
    LinearDriveSettings &s = LinearDriveSettings::global();
    s.read();
    LinearDrive *generic = new LinearDrive;
    if (!s.search) {
        LOG_DEB("createLinearDrive: no linear drive attached (search off)");
        return generic;
    }
    const int first = s.identifiedType;
    if (first >= 1 && first <= 4) {
        if (LinearDriveMaker make = linearDriveFamily(first)) {
            LinearDrive *drive = make(registers);
            if (ask(drive, search)) {
                delete generic;
                return drive;
            }
            delete drive;
        }
    }
    for (int type = 1; type <= 4; ++type) {
        if (type == first || (search && search->cancelled()))
            continue;
        LinearDriveMaker make = linearDriveFamily(type);
        if (!make)
            continue;
        LinearDrive *drive = make(registers);
        if (ask(drive, search)) {
            s.identifiedType = type;
            delete generic;
            return drive;
        }
        delete drive;
    }
    return generic;
}
