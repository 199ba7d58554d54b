// Save and load of a session of 1024 scans of 400 points with accumulated sums,
// corrected curves, EEPF and results, and the Python package's load of the same file
// (time and peak memory, beside the program's, in the same run); and the load of a file of 100,000 minimal scans at
// distinct positions (as many groups); the HDF5 export of the 1024 loaded scans; prints
// "name: value" lines.

#include "DataAnalyzer.h"
#include "Hdf5Export.h"
#include "SessionFile.h"
#include "SessionJournal.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kScans = 1024;
constexpr int kPoints = 400;
constexpr int kEnergies = 200;

ScanRecord makeScan(int k)
{
    ScanRecord s;
    s.date = QDateTime::fromSecsSinceEpoch(1700000000 + k);
    s.scanType = ScanRecord::eSpatialRun;
    s.position = k / 32;
    s.ionCurrent[0] = -1.234567e-5 * (1 + k % 7);
    s.ionCurrent[1] = -30;
    s.initScan.duration = 0.25;
    for (int i = 0; i < 40; ++i)
        s.initScan.append(1e-6 * std::exp(0.1 * i), -50 + 2.5 * i);
    for (int i = 0; i < 38; ++i)
        s.initScanDerivative.append(1e-7 * std::exp(0.1 * i), -47.5 + 2.5 * i);
    QVector<double> raw(2 * kPoints);
    for (int sweep = 0; sweep < 10; ++sweep) {
        for (int i = 0; i < kPoints; ++i) {
            const double v = -50 + 0.25 * i + 1e-3 * sweep;
            raw[i] = v;
            raw[kPoints + i] = -2e-5 + 3e-4 / (1 + std::exp(-(v - 5 - 0.01 * k) / 2.3)) + 1e-8 * sweep;
        }
        s.accumulated.add(raw.constData(), kPoints);
    }
    for (int i = 0; i < kPoints; ++i) {
        s.corrected.V << s.accumulated.meanVoltage(i);
        s.corrected.I << s.accumulated.meanCurrent(i);
        s.corrected.stdV << s.accumulated.voltageDeviation(i);
        s.corrected.stdI << s.accumulated.currentDeviation(i);
    }
    for (int e = 0; e < kEnergies; ++e) {
        const double en = 0.1 + 0.1 * e;
        const double f = 3.1e15 * std::exp(-en / 2.3);
        s.eepf.energy << en;
        s.eepf.EEDF << f;
        s.eepf.EEDF_error << 0.05 * f;
        s.eepf.EEDF_low_error << 0.04 * f;
    }
    for (int p = 0; p < ResultRecord::ePairCount; ++p) {
        s.result.setValue(p, 1.2345678 * (p + 1) * (1 + 1e-3 * k));
        s.result.setError(p, 0.012345678 * (p + 1));
    }
    s.currentRange = 3;
    s.plasmaResistance = 123.456;
    return s;
}

// A version-3 document of n minimal scans, each at its own position (one group each).
QByteArray manyGroupsDocument(int n)
{
    DataAnalyzer head;
    QByteArray doc;
    {
        QBuffer b(&doc);
        b.open(QIODevice::WriteOnly);
        SessionFile::write(head, b);
    }
    doc.chop(int(qstrlen("</measuredData>\n")));
    doc.reserve(doc.size() + n * 340);
    for (int k = 0; k < n; ++k) {
        doc += "<scanData><Status><position>";
        doc += QByteArray::number(k);
        doc += "</position><scan_type>1</scan_type></Status><vec label=\"ionCurrent\">;</vec>"
               "<trace class=\"initScanData\"/><trace class=\"initScanDerivativeData\"/><dcInitScanData/>"
               "<accumulatedTraces class=\"rawData\"/><data class=\"correctedData\"/>"
               "<eedf_data class=\"eedfResult\"/><results/></scanData>\n";
    }
    doc += "</measuredData>\n";
    return doc;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    DataAnalyzer session;
    session.setDeviceID(QStringLiteral("VESK-BENCH"));
    for (int k = 0; k < kScans; ++k)
        session.addScan(makeScan(k));

    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("bench.ldf"));
    QElapsedTimer t;
    t.start();
    if (!SessionFile::save(session, name)) {
        std::fprintf(stderr, "save failed\n");
        return 1;
    }
    const double saveSecs = t.nsecsElapsed() * 1e-9;

    // The best of three loads: a busy machine slows single runs by chance (lpdata's load
    // below is timed the same way).
    DataAnalyzer loaded;
    double loadSecs = 0;
    for (int run = 0; run < 3; ++run) {
        DataAnalyzer again;
        t.restart();
        if (!SessionFile::load(run == 0 ? loaded : again, name) || (run == 0 ? loaded : again).scanCount() != kScans) {
            std::fprintf(stderr, "load failed\n");
            return 1;
        }
        const double secs = t.nsecsElapsed() * 1e-9;
        loadSecs = run == 0 ? secs : std::min(loadSecs, secs);
    }

    // lpdata on the same file, right after the program's load.
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
#ifdef LP_LPDATA_ENGINE
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LPDATA_ENGINE"), QStringLiteral(LP_LPDATA_ENGINE));
    python.setProcessEnvironment(env);
#endif
    python.start(QStringLiteral(LP_PYTHON),
                 {QStringLiteral(LP_LPDATA_LOAD), QStringLiteral(LP_PYTHON_PACKAGE), name});
    const bool pythonRan = python.waitForFinished(-1) && python.exitStatus() == QProcess::NormalExit
                           && python.exitCode() == 0;
    const QByteArray lpdataLines = python.readAllStandardOutput();

    const QString h5 = dir.filePath(QStringLiteral("bench.h5"));
    t.restart();
    QString why;
    if (!Hdf5Export::writeFile(loaded, h5, &why)) {
        std::fprintf(stderr, "HDF5 export failed: %s\n", qPrintable(why));
        return 1;
    }
    const double hdf5Secs = t.nsecsElapsed() * 1e-9;

    constexpr int kGroups = 100000;
    QByteArray many = manyGroupsDocument(kGroups);
    QBuffer manyIn(&many);
    manyIn.open(QIODevice::ReadOnly);
    DataAnalyzer grouped;
    t.restart();
    if (!SessionFile::read(grouped, manyIn) || grouped.groupCount() != kGroups) {
        std::fprintf(stderr, "many-groups load failed\n");
        return 1;
    }
    const double groupsSecs = t.nsecsElapsed() * 1e-9;

    // The journal: what filing one finished 400-point scan costs the run (it
    // hands a copy to the journal's thread, which writes and syncs it).
    constexpr int kJournalled = 200;
    DataAnalyzer running;
    running.setDeviceID(QStringLiteral("VESK-BENCH"));
    auto journal = SessionJournal::create(dir.filePath(QStringLiteral("recovery")), running, &why);
    if (!journal) {
        std::fprintf(stderr, "journal failed: %s\n", qPrintable(why));
        return 1;
    }
    std::vector<ScanRecord> records;
    for (int k = 0; k < kJournalled; ++k)
        records.push_back(makeScan(k));
    t.restart();
    for (const ScanRecord &r : records)
        if (!journal->append(r)) {
            std::fprintf(stderr, "journal append failed\n");
            return 1;
        }
    const double journalMs = t.nsecsElapsed() * 1e-6 / kJournalled;
    journal->waitWritten();
    const double journalDiskMs = t.nsecsElapsed() * 1e-6 / kJournalled;
    journal->remove();

    std::printf("save_1024_s: %.3f\n", saveSecs);
    std::printf("journal_overhead_ms: %.3f\n", journalMs);
    // Per scan until written, flushed and synced by the journal's thread.
    std::printf("journal_on_disk_ms: %.3f\n", journalDiskMs);
    std::printf("load_1024_s: %.3f\n", loadSecs);
    if (pythonRan && lpdataLines.contains("lpdata_load_1024_s: ")) {
        std::fputs(lpdataLines.constData(), stdout);
        const int at = lpdataLines.indexOf("lpdata_load_1024_s: ") + int(qstrlen("lpdata_load_1024_s: "));
        const double lpdataSecs = lpdataLines.mid(at, lpdataLines.indexOf('\n', at) - at).toDouble();
        std::printf("lpdata_load_over_program: %.2f\n", lpdataSecs / loadSecs);
    } else {
        std::fprintf(stderr, "lpdata load not measured (%s failed)\n", LP_PYTHON);
    }
    std::printf("file_1024_MB: %.1f\n", QFileInfo(name).size() / 1e6);
    std::printf("export_hdf5_1024_s: %.3f\n", hdf5Secs);
    std::printf("file_hdf5_1024_MB: %.1f\n", QFileInfo(h5).size() / 1e6);
    std::printf("load_100k_groups_s: %.3f\n", groupsSecs);
    std::printf("file_100k_groups_MB: %.1f\n", many.size() / 1e6);
    return 0;
}
