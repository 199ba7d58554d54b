// Measures a pulsed plasma of the simulated unit with time-resolved scans
// through the controller library, analyses every scan and saves the session.
// Usage: lpexample [--help] <out.ldf> [sweeps]
#include "DataAnalyzer.h"
#include "RIRavaVCntrl.h"
#include "SessionFile.h"
#include "SimControl.h"
#include "SimMeasurement.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // The driver's debug lines go to its log file; keep the console for results.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
        if (type != QtDebugMsg && type != QtInfoMsg && !msg.startsWith(QLatin1Char('[')))
            QTextStream(stderr) << msg << "\n";
    });
    QTextStream err(stderr);
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Measures a pulsed argon plasma of the simulated unit with time-resolved scans through "
        "the controller library, analyses every scan and saves the session file.\n\n"
        "Exit status: 0 written, 1 the measurement or the save failed, 2 bad options."));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("out.ldf"), QStringLiteral("Session file to write."));
    p.addPositionalArgument(QStringLiteral("sweeps"),
                            QStringLiteral("Sweeps averaged per time point, 1 to 1000 (default 4)."),
                            QStringLiteral("[sweeps]"));
    auto bad = [&](const QString& why) {
        err << "lpexample: " << why << " (see --help)\n";
        return 2;
    };
    // Bad options exit 2; nothing is measured or written then.
    if (!p.parse(app.arguments()))
        return bad(p.errorText());
    if (p.isSet(QStringLiteral("help")))
        p.showHelp(0);
    const QStringList args = p.positionalArguments();
    if (args.isEmpty())
        return bad(QStringLiteral("no output file"));
    if (args.size() > 2)
        return bad(QStringLiteral("unexpected argument \"%1\"").arg(args[2]));
    int sweeps = 4;
    if (args.size() > 1) {
        bool ok = false;
        sweeps = args[1].toInt(&ok);
        if (!ok || sweeps < 1 || sweeps > 1000)
            return bad(QStringLiteral("sweeps: expected a whole number from 1 to 1000, got \"%1\"").arg(args[1]));
    }
    const QString outFile = args[0];

    // A pulsed argon discharge: density and temperature follow the SYNC period.
    qsim::Config cfg;
    cfg.speedFactor = 0.0;
    qsim::reset(cfg);
    qsim::MeasurementConfig m = qsim::measurementConfig();
    m.plasma.ne = 8e15;
    m.plasma.kTe = 3.0;
    m.plasma.Vp = 8.0;
    m.plasma.pulseDepth = 0.6;
    m.plasma.pulseTeDepth = 0.35;
    m.plasma.pulseDuty = 0.5;
    m.plasma.pulseTauUs = 80.0;
    m.sync.frequencyHz = 1000.0;
    m.seed = 7;
    qsim::setMeasurementConfig(m);

    QTemporaryDir logDir;
    RIRavaVCntrl c;
    c.setLogFileName(logDir.filePath("driver.log"));
    if (c.connectTo() != 1) {
        err << "cannot connect to the simulated controller\n";
        return 1;
    }
    const double vStart = -40, vStep = 0.25, vEnd = 20;
    double period = 50, delay = 0, duration = 950;
    bool ok = c.selectProbeMode(VESK_HW::eSingle) && c.outputHV() && c.setDefVoltage(0) &&
              c.setMeasuringRange(1) && c.setScanVoltages(vStart, vStep, vEnd) &&
              c.setSettlingDelays(0, 200, 50, 0) && c.setAverageHW(1, 0) && c.setScanType(false, true, false) &&
              c.setSyncScanParameters(period, delay, duration, true);
    c.setAverage(1);
    c.getSyncFreq(true);
    if (!ok) {
        err << "cannot configure the scan\n";
        return 1;
    }

    QVector<ScanRecord> scans;
    for (int k = 0; k < sweeps; ++k) {
        if (!c.startScan()) {
            err << "cannot start a scan\n";
            return 1;
        }
        double* data = nullptr;
        unsigned syncPoints = 0, steps = 0, trailer = 0;
        double samplePeriod = 0, syncDelay = 0;
        if (!c.getDataFromOneScan(data, syncPoints, steps, samplePeriod, syncDelay, trailer, true) || !data) {
            err << "cannot read a scan\n";
            return 1;
        }
        c.stopScan();
        if (scans.isEmpty())
            scans.resize(int(syncPoints));
        for (unsigned p = 0; p < syncPoints && int(p) < scans.size(); ++p)
            scans[int(p)].accumulated.add(data + 2 * p * steps, int(steps)); // V row, then I row
    }
    c.disconnect();

    DataAnalyzer session;
    ConfigParam& cp = session.configuration();
    cp.dataScanRunParam.voltageStart = vStart;
    cp.dataScanRunParam.voltageStep = vStep;
    cp.dataScanRunParam.voltageEnd = vEnd;
    cp.dataScanRunParam.traceAverage = unsigned(sweeps);
    cp.userChosenCMRange = 1;
    cp.sync.bUseSyncScan = true;
    cp.sync.start = delay;
    cp.sync.duration = duration;
    cp.sync.resolution = period;
    cp.probeMode = 0;
    session.setDeviceID(QStringLiteral("VB2-000417"));
    session.setComment(QStringLiteral("Pulsed argon discharge of the simulated unit, %1 sweeps per time point")
                           .arg(sweeps));
    session.setEepfTable(EepfTable::defaultTable());
    const QDateTime when(QDate(2026, 12, 6), QTime(20, 0, 0), Qt::UTC);
    for (int p = 0; p < scans.size(); ++p) {
        ScanRecord& r = scans[p];
        r.date = when;
        r.scanType = ScanRecord::eOtherRun;
        r.resolvedTime = delay + p * period;
        r.currentRange = 1;
        session.addScan(r);
    }
    session.analyseAll();
    QString why;
    if (!SessionFile::save(session, outFile, &why)) {
        err << "cannot save: " << why << "\n";
        return 1;
    }
    QTextStream(stdout) << "wrote " << outFile << " with " << session.scanCount() << " scans\n";
    return 0;
}
