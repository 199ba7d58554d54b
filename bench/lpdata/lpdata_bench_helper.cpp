// The C++ side of bench_lpdata: writes the curves and session files the Python benchmark reads.
//   lpdata_bench_helper curves DIR N          N curves of 400 points, 5 sweeps, as IV text files
//   lpdata_bench_helper session FILE SCANS    a time-resolved session of SCANS analysed scans
#include "DataAnalyzer.h"
#include "SessionFile.h"
#include "SessionMaker.h"
#include "SyntheticPlasma.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <cstdio>

namespace {

int curves(const QString& dir, int n)
{
    for (int i = 0; i < n; ++i) {
        synth::SingleProbe p;
        p.kTe = 2 + 0.125 * i;
        p.ne = 5e15 * (1 + (i % 7));
        p.Vp = 5;
        synth::Sweep s;
        s.relativeNoise = 0.01;
        s.currentNoise = 1e-7;
        s.seed = 1000 + i;
        ScanRecord scan;
        for (const auto& raw : synth::rawSweeps(p, s))
            scan.accumulated.add(raw.constData(), s.points);
        QFile f(QStringLiteral("%1/curve%2.csv").arg(dir).arg(i));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write("voltage,current,std_voltage,std_current\n");
        const AccumulatedTrace& a = scan.accumulated;
        for (int k = 0; k < a.pointCount(); ++k)
            f.write(QStringLiteral("%1,%2,%3,%4\n")
                        .arg(a.meanVoltage(k), 0, 'g', 17).arg(a.meanCurrent(k), 0, 'g', 17)
                        .arg(a.voltageDeviation(k), 0, 'g', 17).arg(a.currentDeviation(k), 0, 'g', 17)
                        .toLatin1());
    }
    return 0;
}

int session(const QString& path, int scans)
{
    DataAnalyzer d;
    SessionMaker::Options o;
    o.kind = SessionMaker::eTimeResolved;
    o.scansPerGroup = scans;
    o.points = 400;
    o.sweeps = 5;
    o.vStart = -50;
    o.vEnd = 30;
    SessionMaker::fill(d, o);
    QString why;
    if (!SessionFile::save(d, path, &why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(msg));
    });
    const QStringList a = app.arguments();
    if (a.size() == 4 && a.at(1) == "curves")
        return curves(a.at(2), a.at(3).toInt());
    if (a.size() == 4 && a.at(1) == "session")
        return session(a.at(2), a.at(3).toInt());
    std::fprintf(stderr, "usage: lpdata_bench_helper curves DIR N | session FILE SCANS\n");
    return 2;
}
