#pragma once
// Building blocks of the GFSK modulator: the Gaussian frequency pulse, zero
// stuffing, phase accumulation and marker stretching. The modulator itself
// (bluetooth/modulator.h) computes the same result by a faster route; these
// are the plain definitions, exported for the other builders and the tests.
#include <cstddef>
#include <numbers>
#include <vector>

#include "lib/errors.h"
#include "lib/types.h"

namespace bt {

inline constexpr double kTwoPi = 2 * std::numbers::pi;

// Span of the modulator's Gaussian filter in symbols; also the fewest
// symbols a modulated row has and its cyclic pre- and end-charge.
inline constexpr std::size_t kFilterTaps = 24;
// Bandwidth-time product of the Bluetooth basic-rate Gaussian filter.
inline constexpr double kGaussianBT = 0.5;

// A whole-number factor of at least 1 (samples per symbol, hold lengths);
// throws bt::Error naming `what` otherwise.
std::size_t checkedFactor(double value, const char* what);

// The `numCoeff` taps of the Gaussian frequency pulse: a one-symbol
// rectangle convolved with a Gaussian of bandwidth-time product `bT`,
// sampled `oversamplingRate` times per symbol, symmetric about the middle,
// not normalised.
RealRow Filter_Gaussian(double numCoeff, double bT, double oversamplingRate);

// x with n - 1 zeros inserted after every element.
template <class T>
std::vector<T> Upsample(const std::vector<T>& x, double n) {
    const std::size_t k = checkedFactor(n, "The upsampling factor");
    std::vector<T> out(x.size() * k, T{});
    for (std::size_t i = 0; i < x.size(); ++i) out[i * k] = x[i];
    return out;
}

// Running sum of freqSymbols * scale, each value reduced by the remainder
// after division by 2*pi (sign of the running sum kept: values in
// (-2*pi, 2*pi)). The sum is compensated, so long rows keep their accuracy.
RealRow FreqToPhase(const RealRow& freqSymbols, double scale);

// Every element of `in` held for `ratio` samples.
MarkerRow Upsamplemarker(const MarkerRow& in, double ratio);

// One symbol of the clock marker: round(0.3 * n) high samples starting at
// sample round(n / 2) + 1 of the symbol (1-based), the rest low.
MarkerRow clockMarkerPeriod(std::size_t oversamplingRate);

// The raised-cosine power ramp of a burst: `rampLength` amplitudes rising to
// exactly 1 at the last one.
RealRow burstRamp(std::size_t rampLength);

}  // namespace bt
