#include "instrument/resample.h"

#include <cmath>
#include <vector>

#include "lib/errors.h"
#include "lib/numtext.h"

namespace bt {

namespace {

template <class T>
std::vector<T> shift(const std::vector<T>& x, double ppm) {
    if (ppm == 0) return x;
    const std::size_t L = x.size();
    if (L < 4) throw Error("Shift_sample_rate needs at least 4 samples");
    if (!std::isfinite(ppm) || std::fabs(ppm) >= 1e5)
        throw Error("Shift_sample_rate cannot apply a clock error of " + formatNumber(ppm) + " ppm");

    const double rate = ppm * 1e-6;
    const std::size_t E = ppm > 0 ? static_cast<std::size_t>(std::ceil(rate * static_cast<double>(L))) : 1;

    // Extend the end with the cubic through the last samples.
    std::vector<T> xe;
    xe.reserve(L + E);
    xe.assign(x.begin(), x.end());
    {
        const T s1 = (x[L - 2] - x[L - 4]) / 2.0;
        const T s2 = (x[L - 1] - x[L - 3]) / 2.0;
        const T a = 2.0 * (x[L - 3] - x[L - 2]) + s1 + s2;
        const T b = 3.0 * (x[L - 2] - x[L - 3]) - 2.0 * s1 - s2;
        const T c = s1;
        const T d = x[L - 3];
        for (std::size_t t = 3; t <= E + 2; ++t) {
            const double tt = static_cast<double>(t);
            xe.push_back(((a * tt + b) * tt + c) * tt + d);
        }
    }
    const std::size_t M = xe.size();
    const auto slope = [&](std::size_t k) -> T {
        if (k == 0) return xe[1] - xe[0];
        if (k == M - 1) return xe[M - 1] - xe[M - 2];
        return (xe[k + 1] - xe[k - 1]) / 2.0;
    };

    std::vector<T> out(L);
    out[0] = x[0];
    for (std::size_t i = 1; i < L; ++i) {
        const double nold = static_cast<double>(i);
        const double nnew = nold * (1 + rate);
        const double nint = std::floor(nnew - nold);
        const double f = nnew - nold - nint;
        const auto k = static_cast<std::ptrdiff_t>(i) + static_cast<std::ptrdiff_t>(nint);
        if (k < 0 || static_cast<std::size_t>(k) + 1 >= M)
            throw Error("Shift_sample_rate cannot apply a clock error of " + formatNumber(ppm) + " ppm");
        const auto ku = static_cast<std::size_t>(k);
        const T sk = slope(ku);
        const T sk1 = slope(ku + 1);
        const T A = 2.0 * (xe[ku] - xe[ku + 1]) + sk + sk1;
        const T B = 3.0 * (xe[ku + 1] - xe[ku]) - 2.0 * sk - sk1;
        out[i] = ((A * f + B) * f + sk) * f + xe[ku];
    }
    return out;
}

}  // namespace

ComplexRow Shift_sample_rate(const ComplexRow& x, double ppm) { return shift(x, ppm); }
RealRow Shift_sample_rate(const RealRow& x, double ppm) { return shift(x, ppm); }

}  // namespace bt
