#pragma once
// Incremental least-squares straight line y = intercept + slope * x, summed as offsets
// from the first point added so that large x and y keep their precision.

#include <QVector>

class LinearFit {
public:
    void reset();
    inline void add(double x, double y);
    // The first element becomes the reference point of an empty fit.
    void init(const double* x, const double* y, int n);
    void init(const QVector<double>& x, const QVector<double>& y);
    void add(const double* x, const double* y, int n);

    double slope() const;
    double intercept() const;
    double meanX() const;
    double meanY() const;
    unsigned count() const { return n_; }

private:
    void solve() const;

    unsigned n_ = 0;
    double x0_ = 0, y0_ = 0;
    double sdx_ = 0, sdy_ = 0, sdx2_ = 0, sdy2_ = 0, sdxdy_ = 0;
    mutable double slope_ = 0, intercept_ = 0;
    mutable bool cached_ = false;
};

void LinearFit::add(double x, double y)
{
    cached_ = false;
    if (n_ == 0) {
        x0_ = x;
        y0_ = y;
        n_ = 1;
        return;
    }
    const double dx = x - x0_, dy = y - y0_;
    sdx_ += dx;
    sdy_ += dy;
    sdx2_ += dx * dx;
    sdy2_ += dy * dy;
    sdxdy_ += dx * dy;
    ++n_;
}
