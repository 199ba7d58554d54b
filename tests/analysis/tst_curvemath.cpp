// Numeric helpers: exact entries and shifts, and each fast form against a slow obvious one.
#include "LinearFit.h"
#include "Trace.h"

#include <QtTest>
#include <cmath>
#include <random>

namespace {

IvTrace makeTrace(const QVector<double>& v, const QVector<double>& i)
{
    IvTrace t;
    t.setFromArrays(v, i);
    return t;
}

IvTrace randomAscending(std::mt19937_64& rng, int n)
{
    std::uniform_real_distribution<double> step(0.01, 1.0), cur(-1e-3, 1e-2);
    IvTrace t;
    double v = -40;
    for (int i = 0; i < n; ++i) {
        v += step(rng);
        t.append(cur(rng), v);
    }
    return t;
}

// Slow forms, written from the definitions.
void slowDerivative(const IvTrace& in, int k, QVector<double>& slope, QVector<double>& centre)
{
    for (int j = 0; j + 2 * k < in.size(); ++j) {
        double vl = 0, il = 0, vh = 0, ih = 0;
        for (int t = j; t < j + k; ++t) {
            vl += in.voltage(t);
            il += in.current(t);
        }
        for (int t = j + k + 1; t <= j + 2 * k; ++t) {
            vh += in.voltage(t);
            ih += in.current(t);
        }
        slope.append((ih - il) / (vh - vl));
        centre.append((vl + vh) / (2 * k));
    }
}

double slowIntegral(const IvTrace& c, double a, double b)
{
    // Midpoint rule on a fine grid of the piecewise-linear interpolant.
    const int steps = 200000;
    const double lo = std::max(a, c.voltage(0)), hi = std::min(b, c.voltage(c.size() - 1));
    if (!(lo < hi))
        return 0;
    double sum = 0;
    int seg = 0;
    const double h = (hi - lo) / steps;
    for (int s = 0; s < steps; ++s) {
        const double x = lo + (s + 0.5) * h;
        while (c.voltage(seg + 1) < x)
            ++seg;
        const double t = (x - c.voltage(seg)) / (c.voltage(seg + 1) - c.voltage(seg));
        sum += (c.current(seg) + t * (c.current(seg + 1) - c.current(seg))) * h;
    }
    return sum;
}

} // namespace

class TestCurveMath : public QObject {
    Q_OBJECT
private slots:
    void derivativeEntriesAndShift()
    {
        // k = 2 on 0..4 with I = V: one entry, slope 1, centred on sample 2.
        const IvTrace t = makeTrace({0, 1, 2, 3, 4}, {0, 1, 2, 3, 4});
        const TimedTrace d = curve::derivative(t, 2);
        QCOMPARE(d.size(), 1);
        QCOMPARE(d.current(0), 1.0);
        QCOMPARE(d.voltage(0), 2.0);
        // 2k samples give nothing; 2k + 1 give one entry; a second pass shifts by k again.
        QCOMPARE(curve::derivative(makeTrace({0, 1, 2, 3}, {0, 1, 4, 9}), 2).size(), 0);
        IvTrace sq;
        for (int i = 0; i < 11; ++i)
            sq.append(double(i) * i, i);
        const TimedTrace d1 = curve::derivative(sq, 2);
        const TimedTrace d2 = curve::derivative(d1, 2);
        QCOMPARE(d1.size(), 7);
        QCOMPARE(d2.size(), 3);
        QCOMPARE(d1.voltage(0), 2.0);
        QCOMPARE(d2.voltage(0), 4.0);
        QCOMPARE(d1.current(0), 4.0); // d(V^2)/dV at V = 2
        QCOMPARE(d2.current(1), 2.0);
    }

    void derivativeHalfWidthBelowOneIsEmpty()
    {
        const IvTrace t = makeTrace({0, 1, 2, 3, 4}, {0, 1, 2, 3, 4});
        QVERIFY(curve::derivative(t, 0).isEmpty());
        QVERIFY(curve::derivative(t, -3).isEmpty());
        QVERIFY(curve::derivativeSlopes(t, 0).isEmpty());
        QVector<double> xc{9}, s{9};
        curve::derivative(QVector<double>{0, 1, 2}, QVector<double>{0, 1, 2}, 0, xc, s);
        QVERIFY(xc.isEmpty() && s.isEmpty());
    }

    void derivativeArrayFormEmptiesOnMismatch()
    {
        QVector<double> xc{1}, s{1};
        curve::derivative(QVector<double>{0, 1, 2, 3, 4}, QVector<double>{0, 1, 2}, 1, xc, s);
        QVERIFY(xc.isEmpty() && s.isEmpty());
        curve::derivative(QVector<double>{0, 1}, QVector<double>{0, 1}, 1, xc, s);
        QVERIFY(xc.isEmpty());
    }

    void derivativeAppendsOnlyPastOutputLength()
    {
        const IvTrace t = makeTrace({0, 1, 2, 3, 4, 5, 6}, {0, 1, 2, 3, 4, 5, 6});
        IvTrace out;
        out.append(42, 42); // an entry already present stays untouched
        curve::derivative(t, 1, out);
        QCOMPARE(out.size(), 5);
        QCOMPARE(out.current(0), 42.0);
        QCOMPARE(out.current(1), 1.0);
    }

    void derivativeMatchesSlowForm()
    {
        std::mt19937_64 rng(11);
        for (int trial = 0; trial < 30; ++trial) {
            const IvTrace t = randomAscending(rng, 20 + trial * 7);
            for (int k : {1, 2, 3, 7}) {
                QVector<double> s, c;
                slowDerivative(t, k, s, c);
                const TimedTrace d = curve::derivative(t, k);
                const QVector<double> slopes = curve::derivativeSlopes(t, k);
                QVector<double> x, y, xc, ys;
                t.toLists(y, x);
                curve::derivative(x, y, k, xc, ys);
                QCOMPARE(d.size(), s.size());
                QCOMPARE(slopes.size(), s.size());
                QCOMPARE(xc.size(), s.size());
                for (int j = 0; j < s.size(); ++j) {
                    QVERIFY(qAbs(d.current(j) - s[j]) <= 1e-12 * (1 + qAbs(s[j])));
                    QVERIFY(qAbs(d.voltage(j) - c[j]) <= 1e-12 * (1 + qAbs(c[j])));
                    QCOMPARE(slopes[j], d.current(j));
                    QCOMPARE(ys[j], d.current(j));
                    QCOMPARE(xc[j], d.voltage(j));
                }
            }
        }
    }

    void linearFitDegenerateCases()
    {
        LinearFit f;
        f.add(2, 7);
        QCOMPARE(f.slope(), 0.0);
        QCOMPARE(f.intercept(), 7.0);
        f.add(2, 9);
        f.add(2, 11);
        QCOMPARE(f.slope(), 0.0);
        QCOMPARE(f.intercept(), 7.0);
        QCOMPARE(f.meanY(), 9.0);
        LinearFit empty;
        QCOMPARE(empty.meanX(), 0.0);
        QCOMPARE(empty.count(), 0u);
        empty.init(nullptr, nullptr, 0);
        QCOMPARE(empty.count(), 0u);
    }

    void linearFitMatchesNormalEquations()
    {
        std::mt19937_64 rng(5);
        std::uniform_real_distribution<double> u(-5, 5);
        for (int trial = 0; trial < 50; ++trial) {
            const int n = 2 + trial;
            QVector<double> x(n), y(n);
            for (int i = 0; i < n; ++i) {
                x[i] = 1000 + u(rng); // far from 0: the reference point keeps the precision
                y[i] = 3 * x[i] - 2 + u(rng);
            }
            double sx = 0, sy = 0;
            for (int i = 0; i < n; ++i) {
                sx += x[i];
                sy += y[i];
            }
            const double mx = sx / n, my = sy / n;
            double sxx = 0, sxy = 0;
            for (int i = 0; i < n; ++i) {
                sxx += (x[i] - mx) * (x[i] - mx);
                sxy += (x[i] - mx) * (y[i] - my);
            }
            const double slope = sxy / sxx, icpt = my - slope * mx;
            LinearFit f;
            f.init(x, y);
            QVERIFY(qAbs(f.slope() - slope) < 1e-9 * qAbs(slope));
            QVERIFY(qAbs(f.intercept() - icpt) < 1e-7 * (1 + qAbs(icpt)));
            QVERIFY(qAbs(f.meanX() - mx) < 1e-9);
            // Adding arrays to a non-empty fit keeps its reference point: same line.
            LinearFit g;
            g.add(x.constData(), y.constData(), 1);
            g.add(x.constData() + 1, y.constData() + 1, n - 1);
            QCOMPARE(g.slope(), f.slope());
            QCOMPARE(g.count(), unsigned(n));
        }
    }

    void integralEdgesAndPartialSegments()
    {
        const IvTrace t = makeTrace({0, 1, 2, 4}, {0, 2, 2, 6});
        QCOMPARE(curve::integral(IvTrace(), 0, 1), 0.0);
        QCOMPARE(curve::integral(t, -5, -1), 0.0);      // wholly below the data
        QCOMPARE(curve::integral(t, -5, 0.5), 0.25);    // the part outside adds nothing
        QCOMPARE(curve::integral(t, 0.5, 1.5), 0.75 + 1.0); // two partial trapezoids
        QCOMPARE(curve::integral(t, 0, 4), 1.0 + 2.0 + 8.0);
        QCOMPARE(curve::integral(t, 3, 3), 0.0);
        const QVector<double> v{0, 1, 2, 4}, i{0, 2, 2, 6};
        QCOMPARE(curve::integral(v.constData(), i.constData(), 4, 0.5, 1.5), 1.75);
    }

    void integralMatchesFineQuadrature()
    {
        std::mt19937_64 rng(17);
        std::uniform_real_distribution<double> u(0, 1);
        for (int trial = 0; trial < 20; ++trial) {
            const IvTrace t = randomAscending(rng, 30);
            const double span = t.voltage(29) - t.voltage(0);
            const double a = t.voltage(0) - 2 + u(rng) * span, b = a + u(rng) * span;
            const double fast = curve::integral(t, a, b), slow = slowIntegral(t, a, b);
            QVERIFY2(qAbs(fast - slow) < 1e-6 * (1e-2 * span), qPrintable(QString("%1 %2").arg(fast).arg(slow)));
        }
    }

    void currentAtVoltage()
    {
        const IvTrace t = makeTrace({0, 1, 2}, {10, 20, 40});
        QCOMPARE(curve::currentAt(t, 0.0), 0.0);  // at the first sample: not found
        QCOMPARE(curve::currentAt(t, -1.0), 0.0);
        QCOMPARE(curve::currentAt(t, 2.5), 0.0);
        QCOMPARE(curve::currentAt(t, 1.5), 30.0);
        QCOMPARE(curve::currentAt(t, 2.0), 40.0);
    }

    void crossingSearches_data()
    {
        QTest::addColumn<QVector<double>>("values");
        QTest::addColumn<double>("v");
        QTest::addColumn<int>("forward");
        QTest::addColumn<int>("backward");
        QTest::newRow("rising, inside") << QVector<double>{-3, -1, 2, 5} << 0.0 << 1 << 2;
        QTest::newRow("rising, at first") << QVector<double>{0, 1, 2} << 0.0 << -1 << 1;
        QTest::newRow("rising, above last") << QVector<double>{0, 1, 2} << 3.0 << -1 << -1;
        QTest::newRow("falling") << QVector<double>{5, 2, -1, -3} << 0.0 << 1 << 2;
        QTest::newRow("last exactly at v") << QVector<double>{-2, -1, 0} << 0.0 << 1 << 2;
        QTest::newRow("all above") << QVector<double>{1, 2, 3} << 0.0 << -1 << -1;
        QTest::newRow("two crossings") << QVector<double>{-1, 1, -1, 1} << 0.0 << 0 << 3;
    }

    void crossingSearches()
    {
        QFETCH(QVector<double>, values);
        QFETCH(double, v);
        QFETCH(int, forward);
        QFETCH(int, backward);
        IvTrace byCurrent, byVoltage;
        for (int i = 0; i < values.size(); ++i) {
            byCurrent.append(values[i], i);
            byVoltage.append(i, values[i]);
        }
        QCOMPARE(curve::forwardCurrent(byCurrent, v), forward);
        QCOMPARE(curve::backwardCurrent(byCurrent, v), backward);
        QCOMPARE(curve::forwardVoltage(byVoltage, v), forward);
        QCOMPARE(curve::backwardVoltage(byVoltage, v), backward);
    }

    void backwardCurrentSkipsTrailingNaN()
    {
        IvTrace t;
        for (double c : {-2.0, -1.0, 1.0, 2.0, qQNaN(), qQNaN()})
            t.append(c, 0);
        QCOMPARE(curve::backwardCurrent(t, 0), 2);
        QCOMPARE(curve::backwardCurrent(IvTrace(), 0), -1);
    }

    void rangedSearchAndMaximum()
    {
        IvTrace t;
        for (double c : {-1.0, 1.0, -1.0, 1.0, 3.0})
            t.append(c, 0);
        QCOMPARE(curve::forwardCurrentInRange(t, 0, 1), 1);  // relative to the whole curve
        QCOMPARE(curve::forwardCurrentInRange(t, 0, 2, -1), 2);
        QCOMPARE(curve::forwardCurrentInRange(t, 0, 2, 2), -1); // a range of one sample
        QCOMPARE(curve::forwardCurrentInRange(t, 0, 9), -1);
        QCOMPARE(curve::indexOfMaxCurrent(t), 4);
        QCOMPARE(curve::indexOfMaxCurrent(IvTrace()), -1);
    }

    void constructionAndRestriction()
    {
        IvTrace t = makeTrace({1, 2, 3, 4, 5}, {10, 20, 30, 40, 50});
        QVERIFY(!t.setFromArrays({1, 2}, {1}));
        QCOMPARE(t.size(), 5); // untouched on mismatch
        TimedTrace tt;
        tt.points = t.points;
        tt.duration = 7;
        const TimedTrace r = tt.restricted(1.5, 4);
        QCOMPARE(r.size(), 3);
        QCOMPARE(r.voltage(0), 2.0);
        QCOMPARE(r.voltage(2), 4.0);
        QCOMPARE(r.duration, 7.0);
        QVERIFY(tt.restricted(4, 4).isEmpty());
        QVector<double> c, v;
        t.toLists(c, v, 1, 2);
        QCOMPARE(v, (QVector<double>{2, 3}));
        QCOMPARE(c, (QVector<double>{20, 30}));
        t.toLists(c, v, 3, 3);
        QVERIFY(c.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCurveMath)
#include "tst_curvemath.moc"
