#pragma once
// A test-only GFSK receiver and the transmitter measurements that Bluetooth
// RF qualification tests make, written from the signal's physics rather
// than from the modulator's code: frequency discriminator, mid-symbol bit
// slicer, modulation characteristics (delta f1 / delta f2), carrier offset,
// drift and symbol timing.
//
// Time is counted in samples. The discriminator's element k is the
// frequency between samples k and k + 1, at time k + 0.5; symbol centres
// are given in the same units (a centre at element c means time c + 0.5).
#include <cstddef>
#include <span>

#include "lib/types.h"

namespace bt::testing {

// The row resampled `factor` times faster by band-limited (Fourier)
// interpolation, treating it as one period of a periodic signal: what the
// instrument's reconstruction filter makes of a row at few samples per
// symbol, and what a tester digitises at its own, higher rate.
ComplexRow interpolate(std::span<const Complex> w, std::size_t factor);

// Frequency in Hz between consecutive samples. Cyclic: the last element
// spans the seam from the last sample back to the first, so a waveform
// meant to loop can be judged there too.
RealRow instantaneousFrequency(std::span<const Complex> w, double sampleRate);

// Symbol k is centred at element first + k * period.
struct SymbolClock {
    double first = 0;
    double period = 1;
};

// The centre timing that opens the eye widest (largest mean |frequency| at
// the centres) over `symbols` symbols from element `from`, to a fraction
// of a sample.
SymbolClock findSymbolClock(const RealRow& freq, std::size_t samplesPerSymbol, std::size_t from,
                            std::size_t symbols);

// Frequency at the centres of `count` symbols (linear interpolation,
// cyclic in the row).
RealRow symbolFrequencies(const RealRow& freq, SymbolClock clock, std::size_t count);

// 1 for a positive frequency at the symbol centre, 0 otherwise.
Bits sliceBits(const RealRow& symbolFreqs);

// One bit per symbol of a whole waveform at n samples per symbol whose
// bursts all start on symbol boundaries. The grid comes from the eye over
// `symbols` symbols from element `from`; bit j is read at the centre
// within half a symbol of sample j * n, where the modulator centres symbol
// j's frequency pulse.
Bits sliceWaveform(std::span<const Complex> w, std::size_t n, std::size_t from, std::size_t symbols);

// The clock of known `bits` sent from about element `from` on: timing from
// the eye, bit 0 found by matching the sliced symbols against the bits
// (at most 1 % may differ). Throws std::runtime_error when they are not
// there.
SymbolClock locateBits(const RealRow& freq, std::size_t samplesPerSymbol, std::size_t from,
                       const Bits& bits);

// Mean frequency over elements [from, from + count): the carrier offset
// when the span holds whole periods of a balanced pattern.
double meanFrequency(const RealRow& freq, std::size_t from, std::size_t count);

// Mean frequency of consecutive blocks of `block` elements from `from`.
RealRow frequencyTrack(const RealRow& freq, std::size_t from, std::size_t count, std::size_t block);

// Modulation characteristics. Every 8-symbol group of the known bits that
// reads 11110000 gives delta f1max: the largest deviation of its symbol
// centres from the group's mean frequency; every 10101010 group gives one
// delta f2max per symbol. The averages are over groups and symbols.
struct ModulationCharacteristics {
    double f1avg = 0;      // Hz
    double f2avg = 0;      // Hz
    double f2maxLowest = 0;  // Hz, the smallest delta f2max of any symbol
    std::size_t f1groups = 0;
    std::size_t f2symbols = 0;
};
ModulationCharacteristics modulationCharacteristics(const RealRow& freq, SymbolClock clock,
                                                    const Bits& bits);

// Modulation index from runs: the phase advance between the centres of
// symbols that have equal neighbours on both sides is h * pi.
double modulationIndex(const RealRow& freq, SymbolClock clock, const Bits& bits, double sampleRate);

// y(t) = mean + amplitude * sin(2*pi*frequency*t + phase), t = k * dt,
// least squares, frequency searched within [fMin, fMax].
struct SineFit {
    double amplitude = 0;
    double frequency = 0;
    double phase = 0;
    double mean = 0;
};
SineFit fitSine(const RealRow& y, double dt, double fMin, double fMax);

// Symbol timing from the zero crossings of the frequency at transitions
// between runs of at least two equal symbols (where the pulse's symmetry
// puts the crossing exactly on the symbol boundary), fitted to a line
// against the boundary index: boundary k at offset + k * period.
struct TimingFit {
    double period = 0;  // samples per symbol
    double offset = 0;
    std::size_t crossings = 0;
};
TimingFit measureSymbolTiming(const RealRow& freq, double nominalPeriod, std::size_t from,
                              std::size_t count);

}  // namespace bt::testing
