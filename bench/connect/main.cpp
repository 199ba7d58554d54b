// Wall time of connectTo() on the simulated unit at its real pace (speed 1,
// the driver's waits unscaled): without a linear drive, searched for and not
// ("Linear drive: none"), and with the drive found last time attached.
#include "DriverLog.h"
#include "RIRavaVCntrl.h"
#include "SimControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>

namespace {
double connectSeconds(qsim::MotorFamily motor, bool search, int remembered)
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
    QElapsedTimer t;
    t.start();
    const int rc = ctrl.connectTo();
    const double s = t.nsecsElapsed() / 1e9;
    if (rc != 1)
        return -1;
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
    out << "connect_search_no_drive_s: " << connectSeconds(qsim::MotorFamily::None, true, 0) << "\n";
    out << "connect_no_drive_s: " << connectSeconds(qsim::MotorFamily::None, false, 0) << "\n";
    out << "connect_remembered_drive_s: "
        << connectSeconds(qsim::MotorFamily::MDrivePlus, true, int(qsim::MotorFamily::MDrivePlus)) << "\n";
    return 0;
}
