// lpdata._engine: the program's analysis for Python. Converts numpy arrays and plain Python
// values to the program's records and back; the analysis itself runs in EngineCalls with the
// interpreter lock released, so Python threads analyse in parallel.
// Python's headers come first: Qt's keyword macros (slots) must not reach them.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "EngineCalls.h"
#include "NumberText.h"

#include <QtGlobal>
#include <cstdio>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;

QString qstr(const std::string& s) { return QString::fromStdString(s); }

QVector<double> toVector(const py::handle& o, const char* name)
{
    if (o.is_none())
        return {};
    const Array a = Array::ensure(o);
    if (!a)
        throw py::type_error(std::string(name) + ": expected an array of numbers");
    if (a.ndim() != 1)
        throw py::value_error(std::string(name) + ": expected a one-dimensional array");
    const double* p = a.data();
    return QVector<double>(p, p + a.shape(0));
}

py::array_t<double> toArray(const QVector<double>& v)
{
    py::array_t<double> a(v.size());
    std::copy(v.cbegin(), v.cend(), a.mutable_data());
    return a;
}

py::tuple curveTuple(const CorrectedCurve& c)
{
    return py::make_tuple(toArray(c.V), toArray(c.I), toArray(c.stdV), toArray(c.stdI));
}

engine::SettingTexts settingTexts(const std::vector<std::pair<std::string, std::string>>& in)
{
    engine::SettingTexts out;
    out.reserve(int(in.size()));
    for (const auto& kv : in)
        out.append({qstr(kv.first), qstr(kv.second)});
    return out;
}

int probeMode(const std::string& text)
{
    int mode = 0;
    if (!ivtext::parseProbeMode(qstr(text), mode))
        throw py::value_error("probe: " + ivtext::unknownProbeModeText(qstr(text)).toStdString());
    return mode;
}

// None: the built-in table; else (energies, resolutions).
EepfTable eepfTable(const py::object& o)
{
    if (o.is_none())
        return EepfTable::defaultTable();
    const auto pair = o.cast<py::tuple>();
    if (pair.size() != 2)
        throw py::value_error("eepf_table: expected (energies, resolutions)");
    EepfTable t;
    if (!t.fromLists(toVector(pair[0], "eepf_table energies"), toVector(pair[1], "eepf_table resolutions")))
        throw py::value_error("eepf_table: energies and resolutions differ in length");
    return t;
}

QMap<QString, QString> textMap(const std::map<std::string, std::string>& in)
{
    QMap<QString, QString> out;
    for (const auto& kv : in)
        out.insert(qstr(kv.first), qstr(kv.second));
    return out;
}

// What Python gets of an analysed scan.
py::dict scanOutput(const ScanRecord& s)
{
    py::dict results;
    const QStringList keys = ResultRecord::keys();
    for (int k = 0; k < keys.size(); ++k)
        results[py::str(keys.at(k).toStdString())] = s.result.raw()[size_t(k)];
    double v = 0;
    for (const QString& key : s.result.extraKeys())
        if (s.result.byKey(key, v))
            results[py::str(key.toStdString())] = v;
    py::dict out;
    out["error"] = s.error.toStdString();
    out["results"] = results;
    out["corrected"] = curveTuple(s.corrected);
    out["double_probe"] = s.correctedDoubleProbe.V.isEmpty() ? py::object(py::none())
                                                              : py::object(curveTuple(s.correctedDoubleProbe));
    out["eepf"] = py::make_tuple(toArray(s.eepf.energy), toArray(s.eepf.EEDF), toArray(s.eepf.EEDF_error),
                                 toArray(s.eepf.EEDF_low_error));
    out["plasma_resistance"] = s.plasmaResistance;
    return out;
}

py::dict analyse(const py::object& V, const py::object& I, const py::object& stdV, const py::object& stdI,
                 int sweeps, const std::string& probe,
                 const std::vector<std::pair<std::string, std::string>>& settings, bool robust,
                 const py::object& table)
{
    IvText iv;
    iv.V = toVector(V, "V");
    iv.I = toVector(I, "I");
    iv.stdV = toVector(stdV, "stdV");
    iv.stdI = toVector(stdI, "stdI");
    const int mode = probeMode(probe);
    LangmuirSettings s;
    QString error;
    if (!engine::applySettings(s, settingTexts(settings), robust, error))
        throw py::value_error(error.toStdString());
    const EepfTable t = eepfTable(table);
    ScanRecord scan;
    bool ok = false;
    {
        py::gil_scoped_release unlocked;
        ok = engine::analyseCurve(iv, sweeps, s, t, engine::curveConfig(mode), scan, error);
    }
    if (!ok)
        throw py::value_error(error.toStdString());
    return scanOutput(scan);
}

// Borrows a float64 array of the caller (or of a conversion kept in `alive`) without copying.
engine::Span span(const py::handle& o, const char* name, std::vector<py::object>& alive)
{
    if (o.is_none())
        return {};
    Array a = Array::ensure(o);
    if (!a)
        throw py::type_error(std::string(name) + ": expected an array of numbers");
    if (a.ndim() != 1)
        throw py::value_error(std::string(name) + ": expected a one-dimensional array");
    engine::Span out{a.data(), int(a.shape(0))};
    alive.push_back(std::move(a));
    return out;
}

// One scan's analysis inputs: a tuple in the order lpdata.engine writes it.
engine::ScanSource scanSource(const py::handle& item, std::vector<py::object>& alive)
{
    const auto t = py::reinterpret_borrow<py::tuple>(item);
    if (t.size() != 16)
        throw py::value_error("scan inputs: expected 16 fields");
    engine::ScanSource s;
    s.count = t[0].cast<int>();
    s.sumV = span(t[1], "sumV", alive);
    s.sumI = span(t[2], "sumI", alive);
    s.sumVsq = span(t[3], "sumVsq", alive);
    s.sumIsq = span(t[4], "sumIsq", alive);
    s.V = span(t[5], "V", alive);
    s.I = span(t[6], "I", alive);
    s.stdV = span(t[7], "stdV", alive);
    s.stdI = span(t[8], "stdI", alive);
    s.initV = span(t[9], "init_scan V", alive);
    s.initI = span(t[10], "init_scan I", alive);
    s.initDuration = t[11].cast<double>();
    for (const py::handle& dc : t[12].cast<py::list>()) {
        const auto d = py::reinterpret_borrow<py::tuple>(dc);
        s.dcInitScans.append({span(d[0], "dc_init_scans V", alive), span(d[1], "dc_init_scans I", alive),
                              d[2].cast<double>()});
    }
    s.ionCurrent[0] = t[13].cast<double>();
    s.ionCurrent[1] = t[14].cast<double>();
    s.measurementAlert = qstr(t[15].cast<std::string>());
    return s;
}

py::dict reanalyse(const py::list& scans, const std::map<std::string, std::string>& config,
                   const std::map<std::string, std::string>& analysisSettings,
                   const std::vector<std::pair<std::string, std::string>>& settings, bool robust,
                   const py::object& probe, const py::object& table, int threads)
{
    const int mode = probe.is_none() ? -1 : probeMode(probe.cast<std::string>());
    const EepfTable t = eepfTable(table);
    const QMap<QString, QString> configMap = textMap(config), settingsMap = textMap(analysisSettings);
    const engine::SettingTexts texts = settingTexts(settings);
    std::vector<py::object> alive; // the arrays the sources borrow, released with the lock held
    QVector<engine::ScanSource> sources;
    sources.reserve(int(scans.size()));
    for (const py::handle& s : scans)
        sources.append(scanSource(s, alive));
    QVector<ScanRecord> records;
    LangmuirSettings used;
    QString error;
    bool ok = false;
    {
        py::gil_scoped_release unlocked;
        ok = engine::reanalyse(configMap, settingsMap, texts, robust, mode, t, threads, sources, records, used,
                               error);
    }
    if (!ok)
        throw py::value_error(error.toStdString());
    py::list out;
    for (const ScanRecord& s : records)
        out.append(scanOutput(s));
    py::dict settingsOut;
    const QMap<QString, QString> m = used.toMap();
    for (auto it = m.cbegin(); it != m.cend(); ++it)
        settingsOut[py::str(it.key().toStdString())] = it.value().toStdString();
    py::dict result;
    result["scans"] = out;
    result["settings"] = settingsOut;
    result["probe_mode"] = mode;
    return result;
}

void checkSettings(const std::vector<std::pair<std::string, std::string>>& settings)
{
    LangmuirSettings s;
    QString error;
    if (!engine::applySettings(s, settingTexts(settings), false, error))
        throw py::value_error(error.toStdString());
}

std::vector<std::string> settingNames()
{
    std::vector<std::string> out;
    for (const QString& n : LangmuirSettings::fieldNames())
        out.push_back(n.toStdString());
    return out;
}

// Vec texts (bytes or str) as float64 arrays, None where a text is not all plain numbers.
// The texts are read with the interpreter lock released: counted, then (arrays made) read.
py::list readVectors(const py::sequence& texts, const std::string& separator)
{
    if (separator.size() != 1)
        throw py::value_error("separator: expected one character");
    const char sep = separator[0];
    struct Text {
        py::object keep; // holds the buffer while the lock is released
        const char* data = nullptr;
        std::size_t size = 0;
        std::ptrdiff_t count = -1;
        bool read = false;
    };
    std::vector<Text> in(texts.size());
    for (std::size_t k = 0; k < in.size(); ++k) {
        Text& t = in[k];
        t.keep = texts[k];
        PyObject* o = t.keep.ptr();
        Py_ssize_t n = 0;
        if (PyBytes_Check(o)) {
            char* d = nullptr;
            if (PyBytes_AsStringAndSize(o, &d, &n) != 0)
                throw py::error_already_set();
            t.data = d;
        } else if (PyUnicode_Check(o)) {
            // ASCII text is its own UTF-8; other text is never plain and falls back.
            if (PyUnicode_IS_ASCII(o))
                t.data = PyUnicode_AsUTF8AndSize(o, &n);
            if (!t.data)
                PyErr_Clear();
        } else {
            throw py::type_error("texts: expected bytes or str");
        }
        t.size = t.data ? std::size_t(n) : 0;
    }
    {
        py::gil_scoped_release unlocked;
        for (Text& t : in)
            t.count = t.data ? engine::vecPieceCount(t.data, t.size, sep) : -1;
    }
    std::vector<py::array_t<double>> arrays(in.size());
    std::vector<double*> outs(in.size(), nullptr);
    for (std::size_t k = 0; k < in.size(); ++k)
        if (in[k].count > 0) {
            arrays[k] = py::array_t<double>(in[k].count);
            outs[k] = arrays[k].mutable_data();
        }
    {
        py::gil_scoped_release unlocked;
        for (std::size_t k = 0; k < in.size(); ++k)
            if (outs[k])
                in[k].read = engine::readVecPieces(in[k].data, in[k].size, sep, outs[k]);
    }
    py::list out(in.size());
    for (std::size_t k = 0; k < in.size(); ++k)
        out[k] = in[k].read ? py::object(arrays[k]) : py::none();
    return out;
}

QtMessageHandler previousHandler = nullptr;

// The analysis traces its steps as debug lines (lpanalyse keeps them quiet too); warnings
// go where they went before.
void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& msg)
{
    if (type == QtDebugMsg)
        return;
    if (previousHandler)
        previousHandler(type, context, msg);
    else
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

} // namespace

PYBIND11_MODULE(_engine, m)
{
    m.doc() = "The Quendrix Langmuir analysis engine (use lpdata.analyse and Session.reanalyse).";
    previousHandler = qInstallMessageHandler(messageHandler);
    m.def("analyse", &analyse, py::arg("V"), py::arg("I"), py::arg("stdV"), py::arg("stdI"), py::arg("sweeps"),
          py::arg("probe"), py::arg("settings"), py::arg("robust"), py::arg("eepf_table"));
    m.def("reanalyse", &reanalyse, py::arg("scans"), py::arg("config"), py::arg("analysis_settings"),
          py::arg("settings"), py::arg("robust"), py::arg("probe"), py::arg("eepf_table"), py::arg("threads"));
    m.def("check_settings", &checkSettings, py::arg("settings"));
    m.def("setting_names", &settingNames);
    m.def("read_vectors", &readVectors, py::arg("texts"), py::arg("separator"));
    m.attr("min_sweeps") = ivtext::kMinSweeps;
}
