#pragma once
// Additive white Gaussian noise and converter resolution.
//
// Noise comes from the calling thread's generator (lib/random.h) unless a
// generator is passed. Complex noise takes two consecutive deviates per
// sample (real part first); real noise one per element, column by column.
#include <span>

#include "lib/random.h"
#include "lib/types.h"
#include "lib/value.h"

namespace bt {

// AWGN with every accepted argument pattern: (sig, reqSNR [, sigPower or
// "measured" [, state] [, "db" or "linear"]]). Returns sig plus noise, of
// sig's shape; real noise for a real sig, complex for a complex one.
Value AWGN(std::span<const Value> args);

// Wgn(row, col, p [, imp [, state]] [, power type] [, complexity]): a
// row x col matrix of white Gaussian noise of power p.
Value Wgn(std::span<const Value> args);

// Typed form of AWGN(sig, reqSNR, "measured") used by the modulator: the
// signal power is the mean of |sig|^2 over the row, the ratio is in dB.
void addNoiseMeasured(std::span<Complex> sig, double reqSNR,
                      GaussianRandom& rng = gaussianGenerator());

// Linear power of the noise that AWGN adds for a linear signal power and a
// ratio in dB.
double awgnNoisePower(double signalPower, double reqSNRdB);

// Adds complex noise of total power `noisePower` (linear, half in I, half
// in Q), taking the deviates from stream position `start` of `rng`.
void addComplexNoiseAt(std::span<Complex> sig, double noisePower, const GaussianRandom& rng,
                       std::uint64_t start);

// Rounds I and Q to the grid of a converter of `numBits` bits (at most 32),
// the largest component mapping to the full code 2^(numBits-1) - 1.
// numBits <= 2 leaves the waveform unchanged; so does an all-zero one,
// which already lies on every grid.
ComplexRow ApplyDacRes(ComplexRow wave, double numBits);
void applyDacResInPlace(std::span<Complex> wave, double numBits);

}  // namespace bt
