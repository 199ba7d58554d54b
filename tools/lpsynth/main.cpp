// Writes a synthetic IV file (voltage, current and their standard deviations over the
// sweeps) of a known plasma, for trying lpanalyse.
#include "SyntheticPlasma.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QTextStream>
#include <cmath>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.setApplicationDescription(
        "Writes the mean IV curve of a simulated single Langmuir probe (Maxwellian electrons, "
        "OML ions) over several noisy sweeps, with standard deviations, as CSV.");
    p.addHelpOption();
    p.addOptions({
        {"kte", "Electron temperature (eV).", "eV", "3"},
        {"ne", "Plasma density (m^-3).", "m^-3", "1e16"},
        {"vp", "Plasma potential (V).", "V", "5"},
        {"ion-mass", "Ion mass (amu).", "amu", "40"},
        {"from", "Sweep start (V).", "V", "-50"},
        {"to", "Sweep end (V).", "V", "30"},
        {"points", "Points per sweep.", "n", "400"},
        {"sweeps", "Sweeps averaged.", "n", "5"},
        {"noise", "Relative current noise per sample.", "fraction", "0.01"},
        {"white-noise",
         "White current noise per sample, as a fraction of the electron saturation current "
         "(the current at Vp).",
         "fraction", "0"},
        {"vnoise", "Voltage noise per sample (V).", "V", "0.005"},
        {"seed", "Random seed.", "n", "1"},
        {"o", "Output file (default: standard output).", "file"},
    });
    p.process(app);
    // Every number is checked: a typo must not write a plasma nobody asked for.
    enum Rule { eAny, ePositive, eNonNegative, eAtLeast1, eAtLeast2 };
    struct Number {
        const char* name;
        Rule rule;
    };
    static const Number numbers[] = {{"kte", ePositive},        {"ne", ePositive},          {"vp", eAny},
                                     {"ion-mass", ePositive},   {"from", eAny},             {"to", eAny},
                                     {"points", eAtLeast2},     {"sweeps", eAtLeast1},      {"noise", eNonNegative},
                                     {"white-noise", eNonNegative}, {"vnoise", eNonNegative}};
    static const char* const ruleText[] = {"a number", "a number above 0", "a number not below 0",
                                           "a whole number of at least 1", "a whole number of at least 2"};
    QMap<QString, double> v;
    for (const Number& n : numbers) {
        const QString name = QLatin1String(n.name);
        bool ok = false;
        const double x = p.value(name).trimmed().toDouble(&ok);
        bool good = ok && std::isfinite(x);
        switch (n.rule) {
        case ePositive: good = good && x > 0; break;
        case eNonNegative: good = good && x >= 0; break;
        case eAtLeast1: good = good && x >= 1 && x == std::floor(x) && x < 1e9; break;
        case eAtLeast2: good = good && x >= 2 && x == std::floor(x) && x < 1e9; break;
        case eAny: break;
        }
        if (!good) {
            QTextStream(stderr) << "lpsynth: --" << name << " must be " << ruleText[n.rule] << ", not \""
                                << p.value(name) << "\"\n";
            return 2;
        }
        v[name] = x;
    }
    if (!(v["from"] < v["to"])) {
        QTextStream(stderr) << "lpsynth: --from must lie below --to\n";
        return 2;
    }
    synth::SingleProbe probe;
    probe.kTe = v["kte"];
    probe.ne = v["ne"];
    probe.Vp = v["vp"];
    probe.ionMassAmu = v["ion-mass"];
    synth::Sweep s;
    s.vStart = v["from"];
    s.vEnd = v["to"];
    s.points = int(v["points"]);
    s.sweeps = int(v["sweeps"]);
    s.relativeNoise = v["noise"];
    // The amplifier's floor of 0.1 uA, plus the white noise asked for.
    const double white = v["white-noise"] * probe.electronSaturation();
    s.currentNoise = white > 0 ? std::hypot(1e-7, white) : 1e-7;
    s.voltageNoise = v["vnoise"];
    bool seedOk = false;
    s.seed = p.value("seed").trimmed().toULongLong(&seedOk);
    if (!seedOk) {
        QTextStream(stderr) << "lpsynth: --seed must be a whole number, not \"" << p.value("seed") << "\"\n";
        return 2;
    }
    const auto raw = synth::rawSweeps(probe, s);
    QFile f;
    if (p.isSet("o")) {
        f.setFileName(p.value("o"));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Text)) {
            QTextStream(stderr) << "lpsynth: cannot write " << p.value("o") << "\n";
            return 1;
        }
    } else {
        f.open(stdout, QIODevice::WriteOnly | QIODevice::Text);
    }
    QTextStream out(&f);
    out << "# simulated single probe: kTe " << probe.kTe << " eV, ne " << probe.ne << " m^-3, Vp "
        << probe.Vp << " V, " << probe.ionMassAmu << " amu, " << s.sweeps << " sweeps, seed "
        << s.seed << "\n";
    // One sweep has no deviations to write: its noise is unknown, not zero.
    const bool withDeviations = s.sweeps >= 2;
    if (withDeviations)
        out << "# sweeps: " << s.sweeps << "\n";
    out << (withDeviations ? "voltage,current,std_voltage,std_current\n" : "voltage,current\n");
    const int n = s.points;
    for (int i = 0; i < n; ++i) {
        double sv = 0, si = 0, sv2 = 0, si2 = 0;
        for (const auto& r : raw) {
            sv += r[i];
            si += r[n + i];
            sv2 += r[i] * r[i];
            si2 += r[n + i] * r[n + i];
        }
        const int N = raw.size();
        auto sd = [N](double sum, double sq) {
            return N < 2 ? 0.0 : std::sqrt(std::max(0.0, (N * sq - sum * sum) / (double(N) * (N - 1))));
        };
        out << QString::number(sv / N, 'g', 8) << ',' << QString::number(si / N, 'g', 8);
        if (withDeviations)
            out << ',' << QString::number(sd(sv, sv2), 'g', 6) << ',' << QString::number(sd(si, si2), 'g', 6);
        out << "\n";
    }
    return 0;
}
