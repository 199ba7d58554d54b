#pragma once
// The statistical error estimate of an analysis: copies of a mean curve of N sweeps, each
// point moved independently by normal deviates of its own uncertainty (stdI/sqrt(N) in
// current, stdV/sqrt(N) in voltage), are analysed like the curve itself; the error of a
// result is the sample standard deviation of the copies' results. The random stream is
// seeded from the curve's own data, so the same curve always gets the same errors.

#include "Trace.h"

#include <QVector>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace bootstrap {

// Copies per curve (8 leaves the errors scattered by a third, 32 gains nothing).
constexpr int kCopies = 16;
// More failed copies than this fraction of kCopies leave an error unknown.
constexpr double kMaxFailedFraction = 0.2;

// Seed from the bits of the lists and the sweep count (FNV-1a).
std::uint64_t curveSeed(const QVector<double>& V, const QVector<double>& I, const QVector<double>& stdV,
                        const QVector<double>& stdI, int sweeps);

// Standard normal deviates from a fixed generator (splitmix64 with the polar method), the
// same sequence on every platform and library.
class NormalStream {
public:
    explicit NormalStream(std::uint64_t seed) : state_(seed) {}
    double next();

private:
    std::uint64_t nextBits();
    double uniform(); // in (-1, 1)
    std::uint64_t state_;
    double spare_ = 0;
    bool hasSpare_ = false;
};

// One copy of the mean curve `base` (deviations stdV / stdI per sweep, missing ones 0) of
// `sweeps` sweeps. Voltages that the deviates put out of order are sorted again, as a mean
// curve always is.
AnalysisCurve copy(const AnalysisCurve& base, const QVector<double>& stdV, const QVector<double>& stdI,
                   int sweeps, NormalStream& rng);

// Running mean and sum of squared deviations (Welford) per value over the copies; a copy that
// failed, or a value that is not finite, counts as a failure of that value.
template <size_t N>
class Scatter {
public:
    void add(const std::array<double, N>& r)
    {
        ++copies_;
        for (size_t i = 0; i < N; ++i) {
            if (!std::isfinite(r[i]))
                continue;
            const double d = r[i] - mean_[i];
            mean_[i] += d / ++count_[i];
            m2_[i] += d * (r[i] - mean_[i]);
        }
    }
    void addFailure() { ++copies_; }
    int copies() const { return copies_; }
    // Sample standard deviation; not-a-number when more than kMaxFailedFraction of the copies
    // failed for this value (or fewer than two succeeded).
    double error(size_t i) const
    {
        const int failed = copies_ - count_[i];
        if (count_[i] < 2 || failed > kMaxFailedFraction * copies_)
            return std::numeric_limits<double>::quiet_NaN();
        return std::sqrt(m2_[i] / (count_[i] - 1));
    }

private:
    std::array<double, N> mean_{}, m2_{};
    std::array<int, N> count_{};
    int copies_ = 0;
};

} // namespace bootstrap
