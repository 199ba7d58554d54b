// Axis ranges of the graphs from the values they show: finite values only,
// positive ones on a log axis, the neutral range when nothing is left.
#include "AxisRange.h"

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
};

QTEST_GUILESS_MAIN(TestAxisRange)
#include "tst_axisrange.moc"
