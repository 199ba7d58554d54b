// Writes a synthetic IV file (voltage, current and their standard deviations over the
// sweeps) of a known plasma, for trying lpanalyse.
#include "SyntheticPlasma.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
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
    synth::SingleProbe probe;
    probe.kTe = p.value("kte").toDouble();
    probe.ne = p.value("ne").toDouble();
    probe.Vp = p.value("vp").toDouble();
    probe.ionMassAmu = p.value("ion-mass").toDouble();
    synth::Sweep s;
    s.vStart = p.value("from").toDouble();
    s.vEnd = p.value("to").toDouble();
    s.points = p.value("points").toInt();
    s.sweeps = p.value("sweeps").toInt();
    s.relativeNoise = p.value("noise").toDouble();
    // The amplifier's floor of 0.1 uA, plus the white noise asked for.
    const double white = p.value("white-noise").toDouble() * probe.electronSaturation();
    s.currentNoise = white > 0 ? std::hypot(1e-7, white) : 1e-7;
    s.voltageNoise = p.value("vnoise").toDouble();
    s.seed = p.value("seed").toULongLong();
    if (s.points < 2 || s.sweeps < 1 || !(p.value("white-noise").toDouble() >= 0)) {
        QTextStream(stderr) << "lpsynth: --points must be at least 2, --sweeps at least 1 and "
                               "--white-noise not negative\n";
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
    out << "voltage,current,std_voltage,std_current\n";
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
        out << QString::number(sv / N, 'g', 8) << ',' << QString::number(si / N, 'g', 8) << ','
            << QString::number(sd(sv, sv2), 'g', 6) << ',' << QString::number(sd(si, si2), 'g', 6)
            << "\n";
    }
    return 0;
}
