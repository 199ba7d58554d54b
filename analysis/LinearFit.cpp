#include "LinearFit.h"

void LinearFit::reset() { *this = LinearFit(); }

void LinearFit::init(const double* x, const double* y, int n)
{
    reset();
    add(x, y, n);
}

void LinearFit::init(const QVector<double>& x, const QVector<double>& y)
{
    init(x.constData(), y.constData(), qMin(x.size(), y.size()));
}

void LinearFit::add(const double* x, const double* y, int n)
{
    for (int i = 0; i < n; ++i)
        add(x[i], y[i]);
}

void LinearFit::solve() const
{
    if (cached_ || n_ == 0)
        return;
    if (n_ == 1 || sdx2_ == 0.0) {
        slope_ = 0.0;
        intercept_ = y0_;
    } else {
        const double N = n_;
        slope_ = (N * sdxdy_ - sdx_ * sdy_) / (N * sdx2_ - sdx_ * sdx_);
        intercept_ = (sdy_ / N + y0_) - slope_ * (sdx_ / N + x0_);
    }
    cached_ = true;
}

double LinearFit::slope() const
{
    solve();
    return n_ ? slope_ : 0.0;
}

double LinearFit::intercept() const
{
    solve();
    return n_ ? intercept_ : 0.0;
}

double LinearFit::meanX() const { return n_ ? sdx_ / n_ + x0_ : 0.0; }

double LinearFit::meanY() const { return n_ ? sdy_ / n_ + y0_ : 0.0; }
