// lpdata's compiled module calls the analysis with the interpreter lock released, so Python
// threads run these calls at once: they must give what one thread gives. Also run under
// ThreadSanitizer (README).
#include "EngineCalls.h"
#include "SyntheticPlasma.h"

#include <QtTest>
#include <thread>
#include <vector>

namespace {

// A curve as lpdata.analyse gets it: means and deviations of noisy sweeps.
IvText noisyCurve(int i, double whiteNoise)
{
    synth::SingleProbe p;
    p.kTe = 1.5 + 0.5 * (i % 6);
    p.ne = 5e15 * (1 + i % 4);
    synth::Sweep s;
    s.points = 300;
    s.sweeps = 4;
    s.relativeNoise = 0.005;
    s.currentNoise = whiteNoise * p.electronSaturation();
    s.seed = 40 + i;
    ScanRecord scan;
    for (const auto& raw : synth::rawSweeps(p, s))
        scan.accumulated.add(raw.constData(), s.points);
    IvText iv;
    for (int k = 0; k < s.points; ++k) {
        iv.V << scan.accumulated.meanVoltage(k);
        iv.I << scan.accumulated.meanCurrent(k);
        iv.stdV << scan.accumulated.voltageDeviation(k);
        iv.stdI << scan.accumulated.currentDeviation(k);
    }
    return iv;
}

bool sameRecord(const ScanRecord& a, const ScanRecord& b)
{
    return a.result == b.result && a.error == b.error && a.eepf.EEDF == b.eepf.EEDF;
}

} // namespace

class TstEngineCalls : public QObject {
    Q_OBJECT
private slots:
    void threadsGiveTheSerialResults_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("settings");
        QTest::newRow("single, plain") << 0 << QString();
        QTest::newRow("single, noise-robust, opt-in analyses") << 0 << "noiseRobust=1 ionDensityMethod=1 twoTemperature=1";
        QTest::newRow("double probe") << 3 << QString();
        QTest::newRow("Mach probe") << 5 << "kfactor=1.1";
    }
    void threadsGiveTheSerialResults()
    {
        QFETCH(int, mode);
        QFETCH(QString, settings);
        LangmuirSettings s;
        engine::SettingTexts texts;
        for (const QString& kv : settings.split(' ', Qt::SkipEmptyParts))
            texts.append({kv.section('=', 0, 0), kv.section('=', 1)});
        QString error;
        QVERIFY2(engine::applySettings(s, texts, false, error), qPrintable(error));
        const EepfTable table = EepfTable::defaultTable();
        std::vector<IvText> curves;
        for (int i = 0; i < 12; ++i)
            curves.push_back(noisyCurve(i, i % 2 ? 0.01 : 0));
        auto analyseAll = [&](std::vector<ScanRecord>& out) {
            for (size_t i = 0; i < curves.size(); ++i) {
                QString why;
                if (!engine::analyseCurve(curves[i], 4, s, table, engine::curveConfig(mode), out[i], why))
                    out[i].error = QStringLiteral("refused: ") + why;
            }
        };
        std::vector<ScanRecord> serial(curves.size());
        analyseAll(serial);
        int analysed = 0;
        for (const ScanRecord& r : serial)
            analysed += std::isfinite(r.result.value(ResultRecord::eKTe));
        QVERIFY(analysed >= 6);
        std::vector<std::vector<ScanRecord>> parallel(4, std::vector<ScanRecord>(curves.size()));
        std::vector<std::thread> threads;
        for (auto& out : parallel)
            threads.emplace_back([&] { analyseAll(out); });
        for (auto& t : threads)
            t.join();
        for (const auto& out : parallel)
            for (size_t i = 0; i < curves.size(); ++i)
                QVERIFY2(sameRecord(out[i], serial[i]), qPrintable(QString::number(i)));
    }

    void sessionThreadsGiveTheSerialResults()
    {
        QVector<ScanRecord> scans;
        for (int i = 0; i < 10; ++i) {
            ScanRecord scan;
            QString why;
            QVERIFY(engine::analyseCurve(noisyCurve(i, 0.002), 4, LangmuirSettings(), EepfTable::defaultTable(),
                                         engine::curveConfig(0), scan, why));
            scans << scan;
        }
        const QMap<QString, QString> config{{QStringLiteral("probeMode"), QStringLiteral("0")}};
        QVector<ScanRecord> one = scans, three = scans;
        LangmuirSettings used;
        QString error;
        const engine::SettingTexts texts{{QStringLiteral("ionmass"), QStringLiteral("4")}};
        QVERIFY(engine::reanalyse(config, {}, texts, true, -1, EepfTable::defaultTable(), 1, one, used, error));
        QVERIFY(engine::reanalyse(config, {}, texts, true, -1, EepfTable::defaultTable(), 3, three, used, error));
        QCOMPARE(used.ionMass, 4.0);
        QVERIFY(used.noiseRobust);
        QCOMPARE(one.size(), scans.size());
        for (int i = 0; i < one.size(); ++i)
            QVERIFY(sameRecord(one.at(i), three.at(i)));
        QVERIFY(one.at(0).result.value(ResultRecord::eNi) != scans.at(0).result.value(ResultRecord::eNi));
        // The module's form: scans as borrowed arrays, made into records by the analysing threads.
        QVector<engine::ScanSource> sources;
        QVector<QVector<double>> keep;
        auto span = [&keep](const QVector<double>& v) {
            keep.append(v);
            return engine::Span{keep.last().constData(), int(v.size())};
        };
        keep.reserve(10 * scans.size());
        for (const ScanRecord& r : scans) {
            engine::ScanSource src;
            QVector<double> sumV, sumVsq, sumI, sumIsq;
            r.accumulated.toLists(sumV, sumVsq, sumI, sumIsq);
            src.count = r.accumulated.count();
            src.sumV = span(sumV);
            src.sumVsq = span(sumVsq);
            src.sumI = span(sumI);
            src.sumIsq = span(sumIsq);
            src.V = span(r.corrected.V);
            src.I = span(r.corrected.I);
            src.stdV = span(r.corrected.stdV);
            src.stdI = span(r.corrected.stdI);
            sources << src;
        }
        for (int threads : {1, 3}) {
            QVector<ScanRecord> made;
            QVERIFY(engine::reanalyse(config, {}, texts, true, -1, EepfTable::defaultTable(), threads, sources, made,
                                      used, error));
            QCOMPARE(made.size(), one.size());
            for (int i = 0; i < one.size(); ++i)
                QVERIFY(sameRecord(made.at(i), one.at(i)));
        }
        // A refused setting analyses nothing and says why.
        QVERIFY(!engine::reanalyse(config, {}, {{QStringLiteral("bogus"), QStringLiteral("1")}}, false, -1,
                                   EepfTable::defaultTable(), 2, one, used, error));
        QCOMPARE(error, QStringLiteral("bogus=1: unknown setting"));
    }
};

QTEST_GUILESS_MAIN(TstEngineCalls)
#include "tst_enginecalls.moc"
