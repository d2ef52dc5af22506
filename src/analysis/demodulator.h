#pragma once
// The receiver's front end on a block of samples: channel smoothing,
// frequency discriminator, burst detection and the symbol clock with the
// bits it reads. Plain loops over plain arrays in single precision, fast
// enough to run at the sample rate of the largest recordings.
//
// Time is counted in samples from the block's first sample. The
// discriminator's element k is the phase step from sample k to k + 1, at
// time k + 0.5; symbol centres are times in the same units.
#include <complex>
#include <cstddef>
#include <vector>

#include "lib/types.h"

namespace bt::analysis {

using CFloat = std::complex<float>;

// arg(z) to within 2e-7 rad, without a library call, so loops over it
// vectorise.
float fastArg(float re, float im);

// out[k] = arg(x[k + 1] conj(x[k])) in radians, k < n - 1.
void discriminate(const CFloat* x, std::size_t n, float* out);

// Two moving averages of `length` samples in cascade, centred on each
// sample (edges keep the input): a channel filter of about half a symbol
// that cuts the noise ahead of the discriminator without delaying the
// signal.
void smooth(const CFloat* x, std::size_t n, std::size_t length, CFloat* out);

struct SampleSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// Stretches of the block that carry a burst, from the envelope of `y`
// against a threshold halfway (in decibels) between the noise floor and
// the burst level. A block without that contrast (one long burst, or
// noise alone) is one stretch; a block of zeros has none.
std::vector<SampleSpan> findBursts(const CFloat* y, std::size_t n, double samplesPerSymbol);

// Bits read at symbol centres; centres[k] is the time of bits[k].
// advances[k] is the symbol's phase advance (rad) and carrier[k] the
// advance the carrier offset alone makes over a symbol, which the slicer
// took as its threshold.
struct SlicedBits {
    Bits bits;
    std::vector<double> centres;
    std::vector<float> advances;
    std::vector<float> carrier;
};

// The running phase of a block: phase[k] is the sum of the discriminator
// elements before sample k (phase[0] = 0), so any stretch of the
// discriminator integrates in two look-ups.
void runningPhase(const float* freq, std::size_t count, double* phase);

// Phase at time t (linear between samples), clamped to the row's ends.
inline double phaseAt(const double* phase, std::size_t samples, double t) {
    if (t <= 0) return phase[0];
    const auto i = static_cast<std::size_t>(t);
    if (i + 1 >= samples) return phase[samples - 1];
    return phase[i] + (t - double(i)) * (phase[i + 1] - phase[i]);
}

// The symbol clock over the span, tracked in windows of 64 symbols (the
// centre timing that opens the eye of the integrated frequency widest, to
// a fraction of a sample), and one bit per symbol: 1 for a positive phase
// advance over the symbol period centred on its centre (integrate and
// dump). `phase` holds `samples` running-phase values.
// Bit decisions use the phase of y(t + T/2) conj(y(t - T/2)) itself,
// which a noise click (a 2 pi slip of the running phase) cannot upset.
SlicedBits sliceSpan(const double* phase, const CFloat* y, std::size_t samples, SampleSpan span,
                     double samplesPerSymbol);

// Reads the bits of the sliced symbols again as the most likely sequence
// of Gaussian-filtered symbols (bandwidth-time 0.5) on the samples `x`
// (not smoothed), on the slicer's clock: each symbol period is integrated
// in quarters and correlated with the waveforms that the symbol and its
// two neighbours make; a four-state Viterbi search over the neighbours
// keeps its own carrier phase on every path, learnt from that path's
// decisions. A first search runs on the carrier turn and modulation index
// the slicer's advances show; the carrier phase its bits read, followed
// through the span, gives both again, far finer, for the second.
void detectSequence(const CFloat* x, std::size_t samples, double samplesPerSymbol, SlicedBits& s);

// The discriminator's value at time t (linear interpolation between the
// elements either side), clamped to the row's ends.
inline float frequencyAt(const float* freq, std::size_t count, double t) {
    double x = t - 0.5;
    if (x <= 0) return freq[0];
    const auto i = static_cast<std::size_t>(x);
    if (i + 1 >= count) return freq[count - 1];
    const auto frac = static_cast<float>(x - double(i));
    return freq[i] + frac * (freq[i + 1] - freq[i]);
}

}  // namespace bt::analysis
