// bench_lpdata's in-process clock for the engine itself: the session driver on the curves
// lpdata.analyse gets, timed in C++ in the same process, so the two sides of
// lpdata_analyse_ratio are measured in turns under the same conditions.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "DataAnalyzer.h"
#include "EngineCalls.h"
#include "SessionFile.h"

#include <chrono>

namespace py = pybind11;

namespace {

using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;

QVector<double> vec(const Array& a) { return QVector<double>(a.data(), a.data() + a.shape(0)); }

// Best seconds per curve of driver::analyseScan over `rounds` passes through the curves (V, I,
// stdV, stdI), as analyse_scan_ms times it: the scans are made before the clock starts.
double engineSecondsPerCurve(const py::list& curves, int sweeps, int rounds)
{
    QVector<ScanRecord> scans;
    for (const py::handle& c : curves) {
        const auto t = c.cast<py::tuple>();
        IvText iv;
        iv.V = vec(t[0].cast<Array>());
        iv.I = vec(t[1].cast<Array>());
        iv.stdV = vec(t[2].cast<Array>());
        iv.stdI = vec(t[3].cast<Array>());
        scans.append(ivtext::scanFromIvText(iv, sweeps));
    }
    const ScanAnalysisConfig cfg = engine::curveConfig(0);
    const LangmuirSettings settings;
    const EepfTable table = EepfTable::defaultTable();
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        QVector<ScanRecord> work = scans;
        const auto t0 = std::chrono::steady_clock::now();
        for (ScanRecord& s : work)
            driver::analyseScan(s, settings, table, cfg);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count()
                                  / work.size());
    }
    return best;
}

// Seconds of the program's own re-analysis of a session file on `threads` threads (the file
// read before the clock starts): what Session.reanalyse's parallel part can reach here.
double engineSessionSeconds(const std::string& path, int threads)
{
    DataAnalyzer session;
    if (!SessionFile::load(session, QString::fromStdString(path)))
        throw py::value_error("cannot read " + path);
    py::gil_scoped_release unlocked;
    const auto t0 = std::chrono::steady_clock::now();
    session.analyseAll(threads);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

PYBIND11_MODULE(lpdata_bench_timer, m)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    m.def("engine_seconds_per_curve", &engineSecondsPerCurve);
    m.def("engine_session_seconds", &engineSessionSeconds);
}
