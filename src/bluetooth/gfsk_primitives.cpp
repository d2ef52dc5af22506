#include "bluetooth/gfsk_primitives.h"

#include <cmath>
#include <string>

#include "bluetooth/bit_utils.h"
#include "lib/numtext.h"

namespace bt {

namespace {
// Far beyond any waveform the instrument holds; keeps a mistyped factor a
// clear error instead of an allocation failure.
constexpr double kMaxFactor = 1e6;
}  // namespace

std::size_t checkedFactor(double value, const char* what) {
    if (!(value >= 1) || value != std::floor(value) || value > kMaxFactor)
        throw Error(std::string(what) + " must be a whole number of at least 1.");
    return static_cast<std::size_t>(value);
}

RealRow Filter_Gaussian(double numCoeff, double bT, double oversamplingRate) {
    const std::size_t count = checkedFactor(numCoeff, "The number of filter taps");
    if (!(bT > 0) || !std::isfinite(bT))
        throw Error("The bandwidth-time product must be a positive number.");
    if (!(oversamplingRate > 0) || !std::isfinite(oversamplingRate))
        throw Error("The oversampling rate must be a positive number.");
    const double T = 1;
    const double deltaT = T / oversamplingRate;
    const double sigma = std::sqrt(std::log(2.0)) / (2 * std::numbers::pi * bT);
    const double k = std::sqrt(2.0) / (4 * sigma * T);
    const double midPoint = (static_cast<double>(count) - 1) / 2;
    RealRow taps(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = (static_cast<double>(i) - midPoint) * deltaT;
        taps[i] = std::erf(k * (T + 2 * t)) + std::erf(k * (T - 2 * t));
    }
    return taps;
}

RealRow FreqToPhase(const RealRow& freqSymbols, double scale) {
    RealRow phase(freqSymbols.size());
    double sum = 0;
    double carry = 0;  // Neumaier compensation: the low bits the sum lost
    for (std::size_t i = 0; i < freqSymbols.size(); ++i) {
        const double x = freqSymbols[i] * scale;
        const double t = sum + x;
        carry += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
        sum = t;
        phase[i] = std::fmod(sum + carry, kTwoPi);
    }
    return phase;
}

MarkerRow Upsamplemarker(const MarkerRow& in, double ratio) {
    const std::size_t k = checkedFactor(ratio, "The marker upsampling ratio");
    MarkerRow out;
    out.reserve(in.size() * k);
    for (std::uint8_t v : in) out.insert(out.end(), k, v);
    return out;
}

MarkerRow clockMarkerPeriod(std::size_t oversamplingRate) {
    const double n = static_cast<double>(oversamplingRate);
    const auto highClocks = static_cast<std::size_t>(roundHalfAway(0.3 * n));
    MarkerRow period(oversamplingRate, 0);
    std::fill(period.begin(), period.begin() + static_cast<std::ptrdiff_t>(highClocks), 1);
    return CircularShiftRight(period, roundHalfAway(n / 2));
}

RealRow burstRamp(std::size_t rampLength) {
    RealRow ramp(rampLength);
    for (std::size_t k = 1; k <= rampLength; ++k) {
        const double r = static_cast<double>(k) / static_cast<double>(rampLength);
        ramp[k - 1] = 0.5 * (1 + std::sin((2 * r - 1) * std::numbers::pi / 2));
    }
    return ramp;
}

}  // namespace bt
