// veskinfo: connects to the controller (the simulated unit by default) and
// prints what it found: descriptor fields, firmware words, calibration memory.
#include <RIRavaVCntrl.h>

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace {
bool verbose = false;

void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    // The driver's own lines (the drive search's time-outs among them) are in driver.log.
    const bool driverLine = text.startsWith(QLatin1String("[DEB ")) || text.startsWith(QLatin1String("[WARN "))
        || text.startsWith(QLatin1String("[CRIT "));
    if (verbose || (type >= QtWarningMsg && !driverLine))
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

QString firmware(uint32_t w)
{
    return QStringLiteral("0x%1").arg(w, 4, 16, QLatin1Char('0'));
}

QString pair(const double *v)
{
    return QStringLiteral("[%1, %2]").arg(v[0], 0, 'g', 6).arg(v[1], 0, 'g', 6);
}
}

// One time-averaged sweep of the probe in the (simulated) plasma.
bool sweep(RIRavaVCntrl &c, QTextStream &out)
{
    const double start = -40.0, step = 0.5, stop = 20.0;
    const unsigned range = 1;
    bool ok = c.outputHV() && c.selectProbeMode(VESK_HW::eSingle) && c.setMeasuringRange(range);
    ok = ok && c.setScanType(false, false, false) && c.setAverageHW(1000, 0) && c.setSettlingDelays(0, 200, 50, 0);
    ok = ok && c.setScanVoltages(start, step, stop);
    c.setAverage(4);
    ok = ok && c.startScan();
    double *data = nullptr;
    unsigned points = 0, steps = 0, trailer = 0;
    double samplePeriod = 0, syncDelay = 0;
    ok = ok && c.getDataFromOneScan(data, points, steps, samplePeriod, syncDelay, trailer, false);
    c.stopScan();
    if (!ok || !data || steps == 0) {
        out << "Sweep failed (see driver.log)\n";
        return false;
    }
    out << "Sweep " << start << " V to " << stop << " V in " << steps << " steps, range " << range << ", "
        << c.getAverage() << " scans of " << trailer << " us each\n";
    out << "  probe V      current A\n";
    const unsigned shown = 12;
    for (unsigned k = 0; k < shown; ++k) {
        const unsigned i = k * (steps - 1) / (shown - 1);
        out << "  " << QString::number(data[i], 'f', 3).rightJustified(9) << "    "
            << QString::number(data[steps + i], 'e', 4) << "\n";
    }
    out.flush();
    return true;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quendrix"));
    QCoreApplication::setApplicationName(QStringLiteral("Quendrix Langmuir"));
    const QStringList args = app.arguments();
    verbose = args.contains(QStringLiteral("-v"));
    if (args.contains(QStringLiteral("-h")) || args.contains(QStringLiteral("--help"))) {
        std::printf("usage: veskinfo [-v]\n  -v  also print the driver's debug and warning lines (always in driver.log)\n");
        return 0;
    }
    qInstallMessageHandler(quietHandler);

    QTextStream out(stdout);
    RIRavaVCntrl controller;
    const int rc = controller.connectTo();
    if (rc != 1) {
        out << (rc == -100 ? "No USB module attached.\n" : "Could not connect to any module.\n");
        return 1;
    }
    const VeskbDescriptor *d = controller.getScannerDescriptor();
    out << "Controller connected\n";
    out << "  api version:        " << d->apiVersion << "\n";
    out << "  module library:     " << d->qusbDllVersion[0] << '.' << d->qusbDllVersion[1] << '.'
        << d->qusbDllVersion[2] << "\n";
    out << "  module driver:      " << d->qusbDriverVersion[0] << '.' << d->qusbDriverVersion[1] << '.'
        << d->qusbDriverVersion[2] << "\n";
    out << "  module name:        " << d->qusbDevName << "\n";
    out << "  make:               " << d->qusbMake << "\n";
    out << "  model:              " << d->qusbModel << "\n";
    out << "  serial:             " << d->qusbSerial << "\n";
    out << "  chip revision:      " << d->qusbHWRev << (d->qusbHighSpeed ? " (high speed)" : " (full speed)")
        << "\n";
    out << "  chip1 firmware:     " << firmware(d->chip1FirmwareVersion) << "\n";
    out << "  chip2 firmware:     " << firmware(d->chip2FirmwareVersion) << "\n";
    out << "  16-bit ADC mode:    " << (controller.is16Bit() ? "yes" : "no") << "\n";
    out << "  trigger input:      " << (controller.isExtScanTriggerAvailable() ? "yes" : "no") << "\n";
    out << "  double probe mode:  " << (controller.isDoubleProbeModeAvailable() ? "yes" : "no") << "\n";
    if (controller.getLinearDriveIdentifiedType() > 0 && controller.getLinearDriveName() != QLatin1String("LinearDrive"))
        out << "  linear drive:       " << controller.getLinearDriveName() << " ("
            << QString(controller.getLinearDriveDescription()).replace(QLatin1Char('\n'), QLatin1String("; ")) << ")\n";
    else
        out << "  linear drive:       none answered (asked PM600, MDrivePlus, OpticsFocus, AppliedMotion"
               " unless \"Linear drive: none\")\n";
    out << "Calibration memory" << (controller.isCalibrated() ? "" : " (not valid)") << "\n";
    out << "  magic:              0x" << QString::number(d->i2cMagicString, 16).toUpper() << "\n";
    out << "  format version:     " << d->i2cFormatVersion << "\n";
    out << "  device name:        " << d->devNameText() << "\n";
    out << "  vRange:             " << pair(d->vRange) << "\n";
    out << "  iRange:             ";
    for (int r = 0; r < 6; ++r)
        out << QString::number(d->iRange[r], 'g', 6) << (r < 5 ? ", " : "\n");
    out << "  calibResistor:      " << d->calibResistor << "\n";
    out << "  resI:               " << d->resI[0] << ", " << d->resI[1] << ", " << d->resI[2] << "\n";
    out << "  calibVoltage:       " << pair(d->calibVoltage) << "\n";
    out << "  calibTime:          " << d->calibTime << "\n";
    out << "  driveLength:        " << d->driveLength << "\n";
    out << "  adcBits:            " << d->adcBits << "\n";
    out << "  cal_dac:            " << pair(d->cal_dac) << "\n";
    out << "  cal_adc_v:          " << pair(d->cal_adc_v) << "\n";
    for (int r = 0; r < 6; ++r)
        out << "  cal_adc_i" << r << ":         " << pair(d->cal_adc_i[r]) << "\n";
    out.flush();
    const bool swept = sweep(controller, out);
    return controller.disconnect() && swept ? 0 : 1;
}
