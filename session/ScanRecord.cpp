#include "ScanRecord.h"

#include <cmath>

bool AccumulatedTrace::add(const double* samples, int n)
{
    if (n < 0 || (n > 0 && !samples))
        return false;
    if (count_ < 1) {
        points_.resize(n);
        for (int i = 0; i < n; ++i) {
            const double v = samples[i], c = samples[n + i];
            points_[i] = Point{v, c, v * v, c * c};
        }
        count_ = 1;
        return true;
    }
    if (n != points_.size())
        return false;
    for (int i = 0; i < n; ++i) {
        const double v = samples[i], c = samples[n + i];
        Point& p = points_[i];
        p.sumV += v;
        p.sumI += c;
        p.sumVsq += v * v;
        p.sumIsq += c * c;
    }
    ++count_;
    return true;
}

bool AccumulatedTrace::setFromLists(const QVector<double>& sumV, const QVector<double>& sumVsq,
                                    const QVector<double>& sumI, const QVector<double>& sumIsq,
                                    int count)
{
    const int n = sumV.size();
    if (sumVsq.size() != n || sumI.size() != n || sumIsq.size() != n)
        return false;
    points_.resize(n);
    for (int i = 0; i < n; ++i)
        points_[i] = Point{sumV.at(i), sumI.at(i), sumVsq.at(i), sumIsq.at(i)};
    count_ = count;
    return true;
}

void AccumulatedTrace::toLists(QVector<double>& sumV, QVector<double>& sumVsq,
                               QVector<double>& sumI, QVector<double>& sumIsq) const
{
    sumV.clear();
    sumVsq.clear();
    sumI.clear();
    sumIsq.clear();
    for (const Point& p : points_) {
        sumV.append(p.sumV);
        sumVsq.append(p.sumVsq);
        sumI.append(p.sumI);
        sumIsq.append(p.sumIsq);
    }
}

const AccumulatedTrace::Point* AccumulatedTrace::pointFor(int i, bool voltageDeviation) const
{
    if (count_ < 1 || points_.isEmpty())
        return nullptr;
    if (i < 0)
        i = 0;
    if (i >= points_.size())
        i = voltageDeviation ? 0 : points_.size() - 1;
    return &points_.at(i);
}

double AccumulatedTrace::deviation(double sum, double sumSq, int n)
{
    if (n < 2)
        return 0.0;
    const double a = n * sumSq;
    const double b = sum * sum;
    if (!(a > b))
        return 0.0;
    return std::sqrt((a - b) / (double(n) * (n - 1)));
}

double AccumulatedTrace::meanVoltage(int i) const
{
    const Point* p = pointFor(i, false);
    return p ? p->sumV / count_ : 0.0;
}

double AccumulatedTrace::meanCurrent(int i) const
{
    const Point* p = pointFor(i, false);
    return p ? p->sumI / count_ : 0.0;
}

double AccumulatedTrace::voltageDeviation(int i) const
{
    const Point* p = pointFor(i, true);
    return p ? deviation(p->sumV, p->sumVsq, count_) : 0.0;
}

double AccumulatedTrace::currentDeviation(int i) const
{
    const Point* p = pointFor(i, false);
    return p ? deviation(p->sumI, p->sumIsq, count_) : 0.0;
}

void AccumulatedTrace::reset()
{
    points_.clear();
    count_ = 0;
}

AnalysisCurve ScanRecord::correctedCurve() const
{
    AnalysisCurve c;
    c.setFromArrays(corrected.V, corrected.I);
    return c;
}
