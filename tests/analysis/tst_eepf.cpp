// EEPF on Maxwellian electrons, its floor and window rules, EEPF table files and the table model.
#include "Eepf.h"
#include "TableModel.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

namespace {

// Electron current of a Maxwellian plasma: retarding exponential below Vp, flat above.
AnalysisCurve maxwellian(double kTe, double ne, double Vp, double area, double from, double to, double step)
{
    const double e = physics::kElementaryCharge;
    const double i0 = e * ne * std::sqrt(e * kTe / physics::kTwoPiElectronMass) * area;
    AnalysisCurve c;
    for (double v = from; v <= to + 1e-9; v += step)
        c.append(v < Vp ? i0 * std::exp((v - Vp) / kTe) : i0, v);
    return c;
}

EepfTable table(std::initializer_list<std::pair<double, double>> rows)
{
    EepfTable t;
    for (const auto& r : rows)
        t.rows.append(EepfRow{r.first, r.second});
    return t;
}

} // namespace

class TestEepf : public QObject {
    Q_OBJECT
private slots:
    // Density and temperature of a Maxwellian from the default table: the coarse rows and
    // the table's end at 29 eV set the accuracy.
    void maxwellianDensityAndTemperature_data()
    {
        QTest::addColumn<double>("kTe");
        QTest::addColumn<double>("neTol");
        QTest::addColumn<double>("kTeTol");
        QTest::newRow("2 eV") << 2.0 << 0.06 << 0.08;
        QTest::newRow("3 eV") << 3.0 << 0.06 << 0.10;
        QTest::newRow("5 eV") << 5.0 << 0.06 << 0.06;
    }

    void maxwellianDensityAndTemperature()
    {
        QFETCH(double, kTe);
        QFETCH(double, neTol);
        QFETCH(double, kTeTol);
        const double ne = 1e16, Vp = 5;
        AnalysisContext ctx(LangmuirSettings(), 0);
        const AnalysisCurve c = maxwellian(kTe, ne, Vp, ctx.areaTotal, -40, 20, 0.1);
        const EepfResult r = eepf::compute(ctx, c, QVector<double>(c.size(), 0.0), Vp, kTe, 0,
                                           EepfTable::defaultTable());
        QCOMPARE(r.energy.size(), 20);
        QVERIFY2(qAbs(r.ne / ne - 1) < neTol, qPrintable(QString::number(r.ne)));
        QVERIFY2(qAbs(r.kTe / kTe - 1) < kTeTol, qPrintable(QString::number(r.kTe)));
        QCOMPARE(r.kTe, 2 * r.avgEnergy / 3);
        // Mid-table values follow 2/sqrt(pi) ne kTe^-3/2 exp(-E/kTe).
        for (int j = 4; j < 12; ++j) {
            const double E = r.energy[j];
            const double truth = 2 / std::sqrt(physics::kPi) * ne * std::pow(kTe, -1.5) * std::exp(-E / kTe);
            QVERIFY2(qAbs(r.eepf[j] / truth - 1) < 0.15, qPrintable(QString("%1 eV: %2 vs %3").arg(E).arg(r.eepf[j]).arg(truth)));
        }
        QCOMPARE(r.neError, 0.0); // no deviations given
    }

    void ionCurrentIsRemovedBelowVpOnly()
    {
        AnalysisContext ctx(LangmuirSettings(), 0);
        ctx.A = 1, ctx.B = 0.5, ctx.C = 2, ctx.D = 0.3;
        AnalysisCurve c;
        for (int v = -10; v <= 10; ++v)
            c.append(1e-3, v);
        const EepfResult r = eepf::compute(ctx, c, {}, 0, 2, 5, EepfTable());
        for (const IvPoint& p : r.electronCurve.points) {
            const double expect = p.voltage <= 0 ? 1e-3 - ctx.ionCurrent(p.voltage, 0, 2, 5) : 1e-3;
            QCOMPARE(p.current, expect);
        }
        QVERIFY(r.electronCurve.current(0) > 1e-3);
        // No rows: empty lists, Ne and its error 0, the others untouched.
        QVERIFY(r.energy.isEmpty() && !r.hasIntegrals);
        QCOMPARE(r.ne, 0.0);
        QVERIFY(!r.hasMean);
    }

    void negativeSecondDerivativeGivesFloor()
    {
        AnalysisContext ctx(LangmuirSettings(), 0);
        AnalysisCurve c;
        for (double v = -20; v <= 10; v += 0.5)
            c.append(-v * v * 1e-6, v); // concave: d2 < 0 everywhere
        QVector<double> sd(c.size(), 1e-7);
        const EepfResult r = eepf::compute(ctx, c, sd, 5, 2, 0, table({{2, 1}, {5, 1}}));
        QCOMPARE(r.eepf, (QVector<double>{1e9, 1e9}));
        QCOMPARE(r.errorUpper, (QVector<double>{0, 0}));
        QCOMPARE(r.errorLower, (QVector<double>{0, 0}));
        QCOMPARE(r.ne, 0.0);
        QVERIFY(!r.hasMean);
    }

    void lowerErrorStopsAtFloor()
    {
        AnalysisContext ctx(LangmuirSettings(), 0);
        const AnalysisCurve c = maxwellian(3, 1e16, 5, ctx.areaTotal, -40, 20, 0.1);
        // Deviations that alternate make a large second-difference error.
        QVector<double> sd(c.size());
        for (int i = 0; i < sd.size(); ++i)
            sd[i] = (i % 2) ? 1e-3 : 0;
        const EepfResult r = eepf::compute(ctx, c, sd, 5, 3, 0, EepfTable::defaultTable());
        bool clipped = false;
        for (int j = 0; j < r.energy.size(); ++j) {
            QVERIFY(r.eepf[j] - r.errorLower[j] >= 1e9 * (1 - 1e-12));
            if (r.errorLower[j] < r.errorUpper[j]) {
                clipped = true;
                QCOMPARE(r.errorLower[j], r.eepf[j] - 1e9);
            }
        }
        QVERIFY(clipped);
    }

    void windowRules()
    {
        AnalysisContext ctx(LangmuirSettings(), 0);
        const AnalysisCurve c = maxwellian(3, 1e16, 5, ctx.areaTotal, -40, 20, 1.0);
        // A resolution below the mean step is widened to it.
        const EepfResult narrow = eepf::compute(ctx, c, {}, 5, 3, 0, table({{4, 0.01}}));
        const EepfResult wide = eepf::compute(ctx, c, {}, 5, 3, 0, table({{4, 1.0}}));
        QCOMPARE(narrow.eepf, wide.eepf);
        // Rows whose windows leave the data are skipped.
        const EepfResult out = eepf::compute(ctx, c, {}, 5, 3, 0, table({{1, 1}, {44, 1}, {80, 1}}));
        QCOMPARE(out.energy, (QVector<double>{1}));
        // All three window indices in one wide gap: skipped.
        AnalysisCurve gap;
        for (int i = 0; i <= 10; ++i)
            gap.append(1e-3 * i, 0.1 * i);
        gap.append(2e-2, 11);
        gap.append(3e-2, 21);
        const EepfResult g = eepf::compute(ctx, gap, {}, 21, 3, 0, table({{5, 0.1}, {18, 0.1}}));
        QCOMPARE(g.energy, (QVector<double>{18}));
    }

    void tableFiles()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("t.eepfTable");
        EepfTable t;
        QCOMPARE(t.readFile(dir.filePath("missing")), QString("Error - cannot open EEPF table File."));
        QVERIFY(t.isEmpty());

        auto write = [&](const QByteArray& text) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(text);
        };
        write("Energy;Resolution\n2.5;0.5\n");
        QCOMPARE(t.readFile(path), QString());
        QCOMPARE(t.rows, (QVector<EepfRow>{{2.5, 0.5}}));

        write("Energy;Resolution\n");
        EepfTable keep = EepfTable::defaultTable();
        QCOMPARE(keep.readFile(path), QString("Error - EEPF table File Corrupt."));
        QCOMPARE(keep, EepfTable::defaultTable()); // untouched on error
        write("Energies and more\n1;1\n");
        QCOMPARE(keep.readFile(path), QString("Error - EEPF table File Corrupt."));

        // Skipped lines: no separator after the first character, fields that are not numbers.
        write("Energy;Resolution extra\r\n;5\n3\nx;1\n4;y\n6;2\n7;3;ignored\n");
        QCOMPARE(t.readFile(path), QString());
        QCOMPARE(t.rows, (QVector<EepfRow>{{6, 2}, {7, 3}}));

        QCOMPARE(EepfTable::defaultTable().size(), 20);
        QCOMPARE(EepfTable::defaultTable().rows.last(), (EepfRow{29, 3}));
        QCOMPARE(EepfTable().writeFile(dir.filePath("no/such/dir/x")),
                 QString("Error - cannot write EEPF table file."));
    }

    void tableFileTextIgnoresLocale()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("t.eepfTable");
        EepfTable t = table({{0.5, 0.4}, {1e-7, 2.25}, {12345678, 3}});
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QString err = t.writeFile(path);
        QLocale::setDefault(saved);
        QCOMPARE(err, QString());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("Energy;Resolution\n0.5;0.4\n1e-07;2.25\n12345678;3\n"));
        EepfTable back;
        QCOMPARE(back.readFile(path), QString());
        QCOMPARE(back, t);
        QVector<double> e, r;
        t.toLists(e, r);
        EepfTable fromLists;
        QVERIFY(fromLists.fromLists(e, r));
        QCOMPARE(fromLists, t);
        QVERIFY(!fromLists.fromLists({1, 2}, {1}));
        QCOMPARE(fromLists, t);
    }

    void tableModelEditing()
    {
        TableModel m;
        m.setTable(table({{5, 1}, {1, 0.5}, {29, 3}}));
        QCOMPARE(m.rowCount(), 3);
        QCOMPARE(m.columnCount(), 2);
        QCOMPARE(m.headerData(0, Qt::Horizontal).toString(), QString("Energy"));
        QCOMPARE(m.headerData(1, Qt::Horizontal).toString(), QString("Resolution"));
        QCOMPARE(m.data(m.index(0, 0)).toString(), QString("1")); // sorted on the way in
        QCOMPARE(m.data(m.index(0, 0), Qt::ToolTipRole).toString(), QString("Double click to edit."));
        QVERIFY(m.data(m.index(0, 0), Qt::TextAlignmentRole).toInt() & Qt::AlignRight);

        QSignalSpy errors(&m, &TableModel::entryError);
        QVERIFY(!m.setData(m.index(0, 0), 29.0));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.first().first().toString(), QString("An entry for this energy level already exists."));
        QCOMPARE(m.table(), table({{1, 0.5}, {5, 1}, {29, 3}}));
        QVERIFY(!m.setData(m.index(0, 1), QString("abc")));
        QVERIFY(m.setData(m.index(0, 0), 10.0)); // re-sorted
        QCOMPARE(m.table(), table({{5, 1}, {10, 0.5}, {29, 3}}));
        QVERIFY(m.setData(m.index(1, 1), QString("0.75")));
        QCOMPARE(m.table().rows[1].resolution, 0.75);

        QVERIFY(m.insertRows(3, 1));
        QVERIFY(m.insertRows(4, 1));
        QCOMPARE(m.table().rows[3], (EepfRow{32, 3}));
        QCOMPARE(m.table().rows[4], (EepfRow{35, 3}));
        QVERIFY(m.removeRows(1, 2));
        QCOMPARE(m.rowCount(), 3);
        m.clear();
        QVERIFY(m.insertRows(0, 2));
        QCOMPARE(m.table(), table({{1, 1}, {2, 1}}));

        m.setReadOnly(true);
        QVERIFY(!(m.flags(m.index(0, 0)) & Qt::ItemIsEditable));
        QVERIFY(!m.setData(m.index(0, 0), 7.0));
    }
};

QTEST_GUILESS_MAIN(TestEepf)
#include "tst_eepf.moc"
