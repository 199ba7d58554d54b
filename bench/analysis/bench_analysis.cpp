// Time to analyse one scan (400 points, 5 sweeps, so with the four perturbed analyses and
// the EEPF of the default table) on one thread, also with each opt-in analysis on, the same for noisy scans with the
// noise-robust mode on (and off, for comparison), and to re-analyse a session of 1024 such
// scans on all cores; and the double-probe analysis of one long curve (1e5 and 1e6 points).
#include "DataAnalyzer.h"
#include "DoubleProbe.h"
#include "SyntheticPlasma.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

ScanRecord makeScan(int i, double whiteNoise = 0)
{
    synth::SingleProbe p;
    p.kTe = 2 + 0.004 * (i % 1000);
    p.ne = 5e15 * (1 + (i % 7));
    p.Vp = 5;
    synth::Sweep s;
    s.vStart = -50;
    s.vEnd = 30;
    s.points = 400;
    s.sweeps = 5;
    if (whiteNoise > 0) { // white noise of this fraction of the current at Vp on the mean
        s.currentNoise = whiteNoise * p.electronSaturation() * std::sqrt(double(s.sweeps));
    } else {
        s.relativeNoise = 0.01;
        s.currentNoise = 1e-7;
    }
    s.seed = 1000 + i;
    ScanRecord scan;
    scan.scanType = ScanRecord::eOtherRun;
    for (const auto& raw : synth::rawSweeps(p, s))
        scan.accumulated.add(raw.constData(), s.points);
    return scan;
}

double seconds(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Best time per scan of each of the settings, over rounds that analyse every
// scan of the set once per settings in turn: a busy spell or a clock change of
// the machine falls on all of them alike, so their ratios hold on a shared machine.
std::vector<double> bestPerScan(const QVector<ScanRecord>& scans, const std::vector<LangmuirSettings>& variants,
                                const EepfTable& table, int* failures, int rounds = 5)
{
    const ScanAnalysisConfig cfg;
    std::vector<double> best(variants.size(), 1e9);
    for (int round = 0; round < rounds; ++round) {
        for (size_t v = 0; v < variants.size(); ++v) {
            QVector<ScanRecord> work = scans;
            const auto t0 = std::chrono::steady_clock::now();
            for (ScanRecord& s : work)
                driver::analyseScan(s, variants[v], table, cfg);
            best[v] = std::min(best[v], seconds(t0) / work.size());
            if (round == 0 && failures && v == 0)
                for (const ScanRecord& s : work)
                    *failures += !s.error.isEmpty();
        }
    }
    return best;
}

double bestPerScan(const QVector<ScanRecord>& scans, const LangmuirSettings& settings, const EepfTable& table,
                   int* failures)
{
    return bestPerScan(scans, std::vector<LangmuirSettings>{settings}, table, failures).front();
}

// A noisy double-probe characteristic of n points from -45 V to 45 V.
AnalysisCurve doubleProbeCurve(int n)
{
    synth::TwoTipProbe p;
    p.sheathSlope = 3e-7;
    std::mt19937_64 rng(5);
    std::normal_distribution<double> gauss(0.0, 1.0);
    AnalysisCurve c;
    c.points.reserve(n);
    for (int i = 0; i < n; ++i) {
        const double v = -45 + 90.0 * i / (n - 1);
        c.append(p.current(v) + 1e-6 * gauss(rng), v);
    }
    return c;
}

// Best of a few rounds of one double-probe analysis, in seconds.
double timeDoubleProbe(int n, int rounds, int& failures)
{
    const AnalysisCurve c = doubleProbeCurve(n);
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        AnalysisContext ctx(LangmuirSettings(), eDoubleProbe);
        AnalysisResult res;
        QString err;
        const auto t0 = std::chrono::steady_clock::now();
        failures += !dp::analyse(ctx, c, res, err);
        best = std::min(best, seconds(t0));
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const LangmuirSettings settings;
    const EepfTable table = EepfTable::defaultTable();
    // The noise-robust mode writes one debug line per scan; formatted, not printed here.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(msg));
    });

    // One scan, one thread: the best of several rounds over a set of different scans.
    QVector<ScanRecord> scans;
    for (int i = 0; i < 32; ++i)
        scans.append(makeScan(i * 32)); // spread over the session's range of plasmas
    int failures = 0;
    // The same with each opt-in analysis on (it runs after each of the five analyses).
    LangmuirSettings idm = settings, twot = settings;
    idm.ionDensityMethod = 1;
    twot.twoTemperature = true;
    const std::vector<double> perScan = bestPerScan(scans, {settings, idm, twot}, table, &failures, 9);
    std::printf("analyse_scan_ms: %.3f\n", perScan[0] * 1e3);
    std::printf("analyse_scan_idm_ms: %.3f\n", perScan[1] * 1e3);
    std::printf("analyse_scan_twot_ms: %.3f\n", perScan[2] * 1e3);
    std::printf("analyse_scan_idm_ratio: %.2f\n", perScan[1] / perScan[0]);
    std::printf("analyse_scan_twot_ratio: %.2f\n", perScan[2] / perScan[0]);

    // Noisy scans: 1 % white current noise, the noise-robust mode on and off.
    QVector<ScanRecord> noisy;
    for (int i = 0; i < 32; ++i)
        noisy.append(makeScan(i * 32, 0.01));
    LangmuirSettings robust = settings;
    robust.noiseRobust = true;
    int noisyFailures = 0, plainFailures = 0;
    std::printf("analyse_scan_noisy_ms: %.3f\n", bestPerScan(noisy, robust, table, &noisyFailures) * 1e3);
    std::printf("analyse_scan_noisy_off_ms: %.3f\n", bestPerScan(noisy, settings, table, &plainFailures) * 1e3);
    std::printf("noisy_failed_analyses: %d of %d (off: %d)\n", noisyFailures, int(noisy.size()), plainFailures);

    DataAnalyzer session, serial;
    for (int i = 0; i < 1024; ++i) {
        session.addScan(makeScan(i));
        serial.addScan(makeScan(i));
    }
    auto t0 = std::chrono::steady_clock::now();
    session.analyseAll(0);
    std::printf("reanalyse_1024_s: %.3f\n", seconds(t0));
    t0 = std::chrono::steady_clock::now();
    serial.analyseAll(1);
    std::printf("reanalyse_1024_one_thread_s: %.3f\n", seconds(t0));
    for (int g = 0; g < session.groupCount(); ++g)
        for (const ScanRecord& s : session.scansOfGroup(g))
            failures += !s.error.isEmpty();
    const double d5 = timeDoubleProbe(100000, 5, failures);
    const double d6 = timeDoubleProbe(1000000, 3, failures);
    std::printf("double_1e5_s: %.4f\n", d5);
    std::printf("double_1e6_s: %.4f\n", d6);
    std::printf("double_1e6_over_1e5: %.1f\n", d6 / d5);
    std::printf("threads: %d\n", QThread::idealThreadCount());
    std::printf("failed_analyses: %d\n", failures);
    return 0;
}
