#include "MeanCurveBootstrap.h"

#include <algorithm>
#include <cstring>

namespace bootstrap {

namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

void mix(std::uint64_t& h, std::uint64_t word)
{
    for (int b = 0; b < 8; ++b) {
        h ^= (word >> (8 * b)) & 0xffu;
        h *= kFnvPrime;
    }
}

void mixList(std::uint64_t& h, const QVector<double>& v)
{
    mix(h, std::uint64_t(v.size()));
    for (double x : v) {
        std::uint64_t bits;
        std::memcpy(&bits, &x, sizeof bits);
        mix(h, bits);
    }
}

double at(const QVector<double>& v, int i) { return i < v.size() ? v.at(i) : 0.0; }

} // namespace

std::uint64_t curveSeed(const QVector<double>& V, const QVector<double>& I, const QVector<double>& stdV,
                        const QVector<double>& stdI, int sweeps)
{
    std::uint64_t h = kFnvOffset;
    mixList(h, V);
    mixList(h, I);
    mixList(h, stdV);
    mixList(h, stdI);
    mix(h, std::uint64_t(sweeps));
    return h;
}

std::uint64_t NormalStream::nextBits()
{
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

double NormalStream::uniform()
{
    // 53 random bits spread over (-1, 1).
    return (double(nextBits() >> 11) + 0.5) * (2.0 / 9007199254740992.0) - 1.0;
}

double NormalStream::next()
{
    if (hasSpare_) {
        hasSpare_ = false;
        return spare_;
    }
    double u, v, s;
    do {
        u = uniform();
        v = uniform();
        s = u * u + v * v;
    } while (s >= 1 || s == 0);
    const double f = std::sqrt(-2 * std::log(s) / s);
    spare_ = v * f;
    hasSpare_ = true;
    return u * f;
}

AnalysisCurve copy(const AnalysisCurve& base, const QVector<double>& stdV, const QVector<double>& stdI,
                   int sweeps, NormalStream& rng)
{
    AnalysisCurve c = base;
    const double scale = 1 / std::sqrt(double(std::max(sweeps, 1)));
    bool ordered = true;
    for (int i = 0; i < c.size(); ++i) {
        IvPoint& p = c.points[i];
        p.current += rng.next() * at(stdI, i) * scale;
        p.voltage += rng.next() * at(stdV, i) * scale;
        if (i > 0 && p.voltage < c.points[i - 1].voltage)
            ordered = false;
    }
    if (!ordered)
        std::stable_sort(c.points.begin(), c.points.end(),
                         [](const IvPoint& a, const IvPoint& b) { return a.voltage < b.voltage; });
    return c;
}

} // namespace bootstrap
