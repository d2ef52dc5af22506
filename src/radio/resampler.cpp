#include "radio/resampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

#include "lib/errors.h"
#include "lib/parallel.h"

namespace bt::radio {

namespace {

constexpr long kMaxFactor = 4096;
constexpr double kStopbandDb = 80;
constexpr double kPassFraction = 0.4;  // of the lower rate
constexpr double kStopFraction = 0.5;

double besselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 60; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
        if (term < 1e-17 * sum) break;
    }
    return sum;
}

}  // namespace

RateRatio rateRatio(double inRate, double outRate) {
    if (!(inRate > 0) || !(outRate > 0) || !std::isfinite(inRate) || !std::isfinite(outRate))
        throw Error("Sample rates must be positive numbers.");
    const double target = outRate / inRate;
    // Continued fraction convergents of out/in.
    long p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    double x = target;
    for (int k = 0; k < 40; ++k) {
        const double a = std::floor(x);
        const long p2 = static_cast<long>(a) * p1 + p0, q2 = static_cast<long>(a) * q1 + q0;
        if (p2 > kMaxFactor || q2 > kMaxFactor) break;
        p0 = p1, q0 = q1, p1 = p2, q1 = q2;
        if (std::abs(double(p1) / double(q1) / target - 1) < 1e-8) return {p1, q1};
        if (x - a < 1e-12) break;
        x = 1 / (x - a);
    }
    throw Error("The sample rates " + std::to_string(inRate) + " and " + std::to_string(outRate) +
                " Hz are not in a ratio of whole numbers up to " + std::to_string(kMaxFactor) + ".");
}

PolyphaseResampler::PolyphaseResampler(double inRate, double outRate) : ratio_(rateRatio(inRate, outRate)) {
    const double lower = std::min(inRate, outRate);
    passband_ = kPassFraction * lower;
    stopband_ = kStopFraction * lower;
    if (ratio_.up == 1 && ratio_.down == 1) {
        taps_ = {1.0};
        return;
    }
    const double fs = inRate * double(ratio_.up);  // the filter's own rate
    const double transition = 2 * std::numbers::pi * (stopband_ - passband_) / fs;
    auto n = static_cast<long>(std::ceil((kStopbandDb - 7.95) / (2.285 * transition))) + 1;
    if (n % 2 == 0) ++n;  // odd: the delay is a whole number of samples
    const double beta = 0.1102 * (kStopbandDb - 8.7);
    const double cutoff = (passband_ + stopband_) / 2 / fs;  // cycles per sample
    const double centre = double(n - 1) / 2;
    taps_.resize(std::size_t(n));
    for (long k = 0; k < n; ++k) {
        const double t = double(k) - centre;
        const double sinc = t == 0 ? 2 * cutoff : std::sin(2 * std::numbers::pi * cutoff * t) / (std::numbers::pi * t);
        const double r = t / centre;
        const double window = besselI0(beta * std::sqrt(std::max(0.0, 1 - r * r))) / besselI0(beta);
        // Gain `up` makes up for the zeros put between the input samples.
        taps_[std::size_t(k)] = double(ratio_.up) * sinc * window;
    }
}

std::size_t PolyphaseResampler::periodsPerLoop(std::size_t inputLength) const {
    const auto up = static_cast<std::size_t>(ratio_.up), down = static_cast<std::size_t>(ratio_.down);
    return down / std::gcd(inputLength * up, down);
}

ComplexRow PolyphaseResampler::resampleLoop(const ComplexRow& x) const {
    if (x.empty()) return {};
    if (ratio_.up == 1 && ratio_.down == 1) return x;
    const auto up = static_cast<std::size_t>(ratio_.up), down = static_cast<std::size_t>(ratio_.down);
    const std::size_t nx = x.size();
    const std::size_t periods = periodsPerLoop(nx);
    const std::size_t ny = periods * nx * up / down;
    const std::size_t ntaps = taps_.size();
    const std::size_t delay = (ntaps - 1) / 2;
    // Input positions are counted from far enough ahead that every index in
    // the sum stays positive; the loop wraps them into the period.
    const std::size_t bias = (ntaps / (nx * up) + 1) * nx * up;
    ComplexRow y(ny);
    constexpr std::size_t kBlock = 1 << 14;
    parallelFor((ny + kBlock - 1) / kBlock, [&](std::size_t b) {
        const std::size_t end = std::min(ny, (b + 1) * kBlock);
        for (std::size_t m = b * kBlock; m < end; ++m) {
            const std::size_t j0 = m * down + bias;  // the output instant in the up-sampled grid
            Complex acc = 0;
            // Only taps that fall on an input sample contribute.
            for (std::size_t k = (j0 + delay) % up; k < ntaps; k += up) {
                const std::size_t j = j0 + delay - k;
                acc += taps_[k] * x[(j / up) % nx];
            }
            y[m] = acc;
        }
    });
    return y;
}

}  // namespace bt::radio
