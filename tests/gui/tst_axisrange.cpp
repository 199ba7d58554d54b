// Axis ranges of the graphs from the values they show: finite values only,
// positive ones on a log axis, the neutral range when nothing is left.
#include "AxisRange.h"
#include "LabelPlacement.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
} // namespace

class TestAxisRange : public QObject
{
    Q_OBJECT
private slots:
    void range_data()
    {
        QTest::addColumn<QVector<double>>("values");
        QTest::addColumn<bool>("log");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<bool>("hasData");
        QTest::newRow("linear span") << QVector<double>{-2e-3, 5e-2, 1e-2} << false << -2e-3 << 5e-2 << true;
        QTest::newRow("log span") << QVector<double>{-2e-3, 5e-2, 1e-4, 0.0} << true << 1e-5 << 0.1 << true;
        QTest::newRow("log all negative") << QVector<double>{-3.0, -1e-6, 0.0} << true << 1.0 << 10.0 << false;
        QTest::newRow("linear all negative") << QVector<double>{-3.0, -1.0} << false << -3.0 << -1.0 << true;
        QTest::newRow("single point linear") << QVector<double>{4.0} << false << 3.6 << 4.4 << true;
        QTest::newRow("single negative point linear") << QVector<double>{-4.0} << false << -4.4 << -3.6 << true;
        QTest::newRow("single zero linear") << QVector<double>{0.0} << false << -1.0 << 1.0 << true;
        QTest::newRow("single point log") << QVector<double>{4.0} << true << 0.4 << 8.0 << true;
        QTest::newRow("nan and inf skipped") << QVector<double>{kNaN, 2.0, kInf, -kInf, 3.0, kNaN} << false << 2.0
                                             << 3.0 << true;
        QTest::newRow("nan and inf skipped log") << QVector<double>{kInf, 2.0, kNaN, 3.0} << true << 0.2 << 6.0 << true;
        QTest::newRow("only nan") << QVector<double>{kNaN, kNaN} << false << 0.0 << 1.0 << false;
        QTest::newRow("only inf log") << QVector<double>{kInf, -kInf} << true << 1.0 << 10.0 << false;
        QTest::newRow("empty linear") << QVector<double>{} << false << 0.0 << 1.0 << false;
        QTest::newRow("empty log") << QVector<double>{} << true << 1.0 << 10.0 << false;
    }
    void range()
    {
        QFETCH(QVector<double>, values);
        QFETCH(bool, log);
        const AxisRange::Range r = AxisRange::of(values.constData(), values.size(), log);
        QTEST(r.low, "low");
        QTEST(r.high, "high");
        QTEST(r.hasData, "hasData");
        QVERIFY(r.low < r.high);
        if (log)
            QVERIFY(r.low > 0);
    }

    // Several curves on one graph share its range; a null or empty one adds nothing.
    void seriesShareOneRange()
    {
        const double a[] = {1.0, 5.0};
        const double b[] = {-2.0, kNaN, 3.0};
        const AxisRange::Range lin = AxisRange::of({{a, 2}, {b, 3}, {nullptr, 4}, {a, 0}}, false);
        QCOMPARE(lin.low, -2.0);
        QCOMPARE(lin.high, 5.0);
        const AxisRange::Range log = AxisRange::of({{a, 2}, {b, 3}}, true);
        QCOMPARE(log.low, 0.1);
        QCOMPARE(log.high, 10.0);
    }

    void minimumSpan_data()
    {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<double>("wantLow");
        QTest::addColumn<double>("wantHigh");
        QTest::newRow("noise around a value") << 10.37220 << 10.37223 << 10.37221500 * 0.99 << 10.37221500 * 1.01;
        QTest::newRow("negative value") << -2.0001 << -1.9999 << -2.02 << -1.98;
        QTest::newRow("wide enough") << 1.0 << 3.0 << 1.0 << 3.0;
        QTest::newRow("around zero") << -1e-9 << 1e-9 << -1e-9 << 1e-9;
    }
    void minimumSpan()
    {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(double, wantLow);
        QFETCH(double, wantHigh);
        const AxisRange::Range r = AxisRange::withMinimumSpan({low, high, true}, 0.01);
        QVERIFY2(std::fabs(r.low - wantLow) <= 1e-12 * std::fabs(wantLow) + 1e-15, qPrintable(QString::number(r.low, 'g', 17)));
        QVERIFY2(std::fabs(r.high - wantHigh) <= 1e-12 * std::fabs(wantHigh) + 1e-15, qPrintable(QString::number(r.high, 'g', 17)));
        // Nothing to show keeps the neutral range.
        QCOMPARE(AxisRange::withMinimumSpan(AxisRange::neutral(false), 0.01).high, 1.0);
    }

    // Neighbouring ticks must read differently with that many significant digits.
    void tickDigits_data()
    {
        QTest::addColumn<double>("largest");
        QTest::addColumn<double>("step");
        QTest::addColumn<int>("digits");
        QTest::newRow("fine steps of a large value") << 10.3723 << 5e-6 << 8;
        QTest::newRow("decades apart") << 50.0 << 10.0 << 2;
        QTest::newRow("half steps") << 2.5 << 0.5 << 2;
        QTest::newRow("quarter steps") << 1.0 << 0.25 << 3;
        QTest::newRow("small currents") << 4e-3 << 1e-3 << 1;
        QTest::newRow("densities") << 1.2e17 << 2e16 << 2;
        QTest::newRow("step above the values") << 0.1 << 1.0 << 1;
        QTest::newRow("no step") << 1.0 << 0.0 << 6;
    }
    void tickDigits()
    {
        QFETCH(double, largest);
        QFETCH(double, step);
        QFETCH(int, digits);
        QCOMPARE(AxisRange::tickDigits(largest, step), digits);
        if (step > 0 && step < largest) {
            const QString a = QString::number(largest - step, 'g', digits);
            const QString b = QString::number(largest - 2 * step, 'g', digits);
            QVERIFY2(a != b, qPrintable(a));
        }
    }

    void positiveOnlyLeavesGaps()
    {
        const double v[] = {-1.0, 0.0, 2.0, kInf, kNaN, 1e-30};
        const std::vector<double> out = AxisRange::positiveOnly(v, 6);
        QCOMPARE(out.size(), size_t(6));
        QVERIFY(std::isnan(out[0]) && std::isnan(out[1]) && std::isnan(out[3]) && std::isnan(out[4]));
        QCOMPARE(out[2], 2.0);
        QCOMPARE(out[5], 1e-30);
        QVERIFY(AxisRange::positiveOnly(nullptr, 3).empty());
    }

    // Marker labels beside their lines: x pixels of the lines (Vf, Vp, knee),
    // the canvas height; no two labels meet and each stays in the canvas.
    void labelsNeverOverlap_data()
    {
        QTest::addColumn<QVector<double>>("lines");
        QTest::addColumn<double>("height");
        QTest::addColumn<int>("bottoms"); // labels at the bottom
        QTest::newRow("far apart") << QVector<double>{100, 300, 400} << 300.0 << 1;
        QTest::newRow("Vp and knee one pixel apart") << QVector<double>{100, 300, 301} << 300.0 << 1;
        QTest::newRow("Vp and knee apart, short canvas") << QVector<double>{100, 300, 340} << 60.0 << 1;
        QTest::newRow("all three together, short canvas") << QVector<double>{300, 301, 302} << 60.0 << 1;
        QTest::newRow("knee at the right edge") << QVector<double>{100, 590, 598} << 60.0 << 1;
        QTest::newRow("Vf at the left edge") << QVector<double>{1, 300, 301} << 300.0 << 1;
    }
    void labelsNeverOverlap()
    {
        QFETCH(QVector<double>, lines);
        QFETCH(double, height);
        QFETCH(int, bottoms);
        const QRectF canvas(0, 0, 600, height);
        QVector<LabelPlacement::Label> labels;
        for (int i = 0; i < lines.size(); ++i)
            labels.append({lines[i], QSizeF(12, 45), i == 2}); // vertical text: narrow and tall
        const QVector<LabelPlacement::Place> where = LabelPlacement::place(labels, canvas);
        QCOMPARE(where.size(), lines.size());
        int atBottom = 0;
        for (int i = 0; i < lines.size(); ++i) {
            const QRectF r = LabelPlacement::rectFor(labels[i], where[i], canvas);
            QVERIFY2(canvas.contains(r), qPrintable(QString("label %1").arg(i)));
            // Beside its own line, never across it.
            QVERIFY(r.left() > lines[i] || r.right() < lines[i]);
            atBottom += (where[i].align & Qt::AlignBottom) ? 1 : 0;
            for (int j = 0; j < i; ++j)
                QVERIFY2(!r.intersects(LabelPlacement::rectFor(labels[j], where[j], canvas)),
                         qPrintable(QString("labels %1 and %2").arg(j).arg(i)));
        }
        QCOMPARE(atBottom, bottoms);
    }
};

QTEST_GUILESS_MAIN(TestAxisRange)
#include "tst_axisrange.moc"
