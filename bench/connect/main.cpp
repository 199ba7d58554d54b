// Wall time of connectTo() on the simulated unit at its real pace (speed 1,
// the driver's waits unscaled): without a linear drive, searched for and not
// ("Linear drive: none"), and with the drive found last time attached. The
// program connects with the search left for later (it runs on the job thread
// once the unit is ready): `connect_search_no_drive_s` is that connect, and
// `drive_search_no_drive_s` the search that follows it.
#include "DriverLog.h"
#include "RIRavaVCntrl.h"
#include "SimControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>

namespace {
double searchSeconds = -1;

double connectSeconds(qsim::MotorFamily motor, bool search, int remembered, bool searchLater = false)
{
    qsim::Config world;
    world.speedFactor = 1;
    world.modules[0].motor.family = motor;
    qsim::reset(world);
    QSettings store;
    store.clear();
    store.setValue("ldSettings/driveSearch", search);
    store.setValue("ldSettings/identifiedType", remembered);
    store.sync();
    RIRavaVCntrl ctrl;
    ctrl.setDriveSearchOnConnect(!searchLater);
    QElapsedTimer t;
    t.start();
    const int rc = ctrl.connectTo();
    const double s = t.nsecsElapsed() / 1e9;
    if (rc != 1)
        return -1;
    if (searchLater) {
        t.restart();
        searchSeconds = ctrl.searchLinearDrive() ? t.nsecsElapsed() / 1e9 : -1;
    }
    return s;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QCoreApplication::setOrganizationName("QuendrixBench");
    QCoreApplication::setApplicationName("bench_connect");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    setDriverLogFileName(dir.filePath("driver.log"));
    setDriverDelayScale(1);
    QTextStream out(stdout);
    out << "connect_search_no_drive_s: " << connectSeconds(qsim::MotorFamily::None, true, 0, true) << "\n";
    out << "drive_search_no_drive_s: " << searchSeconds << "\n";
    out << "connect_with_search_no_drive_s: " << connectSeconds(qsim::MotorFamily::None, true, 0) << "\n";
    out << "connect_no_drive_s: " << connectSeconds(qsim::MotorFamily::None, false, 0) << "\n";
    out << "connect_remembered_drive_s: "
        << connectSeconds(qsim::MotorFamily::MDrivePlus, true, int(qsim::MotorFamily::MDrivePlus)) << "\n";
    return 0;
}
