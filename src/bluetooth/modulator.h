#pragma once
// The GFSK modulator: one packet's bits to complex baseband samples at a
// whole number of samples per symbol, with optional power-ramped burst,
// frequency drift and offset, end-phase correction and additive noise, and
// the symbol-clock marker.
//
// The result is defined by the direct form: a circular Gaussian filter over
// the zero-stuffed symbol row, phase accumulation, ramps, noise. The code
// here gets the same samples (within 1e-13 rad) another way. Only one input
// in n of the filter is non-zero, so a sample's running phase is h*pi times
// the sum of the symbols whose pulse has fully passed, plus the parts of
// the pulses still under way. Of those, only the 8 symbols nearest the
// sample are not all or nothing to double precision, so their part comes
// from a table indexed by the 8-symbol pattern. The whole-symbol sum is an
// exact integer, reduced modulo 2*pi once per symbol: no error accumulates
// along the row, and any stretch of it can be made apart from the rest.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "bluetooth/freq_impairments.h"
#include "bluetooth/iq_impairments.h"
#include "lib/random.h"
#include "lib/types.h"

namespace bt {

// The 16 scalar inputs of the modulator after the bit stream.
struct ModulatorSettings {
    double modIndex = 0.315;
    bool burstActive = false;
    double burstLength = 0;       // ramp length in symbols, each end
    double burstSettle = 0;       // settling symbols after the ramp-up
    double oversamplingRate = 10;  // samples per symbol
    bool AWGNactive = false;
    double AWGNratio = 30;  // dB per symbol
    double AWGNseed = 1;    // not used here: the driver seeds the generator
    FreqImpairmentSettings freq;
    bool phaseCorrection = false;
    // The I/Q modulator and oscillator, between the modulation and the
    // power ramp; its seed is AWGNseed.
    IqImpairmentSettings iq;
    double edrRelativePower = 0;  // dB, DPSK sections against the GFSK carrier
};

class DpskOverlay;

struct ModulatedSignal {
    ComplexRow waveform;
    MarkerRow clk;
};

// A prepared modulation of one bit stream: checks the settings, builds the
// tables, and renders any stretch of samples on demand. The bits are
// referenced, not copied: they must outlive the object. render() is const
// and may run on several threads at once for disjoint stretches.
class GfskModulator {
public:
    // `bits` may hold kGfskZeroSymbol (2) for symbols without deviation;
    // `overlay`, when given, multiplies the carrier before ramps and noise
    // (it must outlive the object too); the row's first data sample is its
    // sample `overlayOrigin`.
    GfskModulator(std::span<const std::uint8_t> bits, const ModulatorSettings& s,
                  const DpskOverlay* overlay = nullptr, std::size_t overlayOrigin = 0);

    std::size_t size() const { return samples_; }
    // Deviates the noise takes from the generator: two per sample with
    // AWGN on, none otherwise.
    std::uint64_t noiseDeviates() const { return noiseDeviates(samples_, noiseOn_); }

    // What size() and noiseDeviates() will be for `bitCount` bits, without
    // preparing the modulation: builders that place many bursts use it to
    // lay out the output and the noise before any burst is made. Checks the
    // settings' counts as the constructor does.
    static std::size_t sizeFor(std::size_t bitCount, const ModulatorSettings& s);
    static std::uint64_t noiseDeviatesFor(std::size_t bitCount, const ModulatorSettings& s) {
        return noiseDeviates(sizeFor(bitCount, s), s.AWGNactive);
    }

    // Samples [first, first + waveform.size()) and their clock marker (clk
    // may be empty to skip it, else it has waveform's size). Sample k's
    // noise is deviates noiseStart + 2k and + 2k + 1 of `noise`. The row's
    // sample 0 is output sample `placedAt`, which places the phase noise.
    void render(std::size_t first, std::span<Complex> waveform, std::span<std::uint8_t> clk,
                const GaussianRandom& noise, std::uint64_t noiseStart, std::uint64_t placedAt = 0) const;

private:
    struct Cursor;
    struct Frame;
    static Frame frame(std::size_t bitCount, const ModulatorSettings& s);
    static std::uint64_t noiseDeviates(std::size_t samples, bool on) { return on ? 2 * std::uint64_t{samples} : 0; }
    int symbol(std::int64_t p) const;  // -1, 0 or +1; p taken cyclically
    std::int64_t bitSum(std::size_t from, std::size_t to) const;  // data symbols [from, to)
    std::int64_t symbolSum(std::int64_t from, std::int64_t to) const;  // inclusive
    Cursor cursorAt(std::size_t q) const;
    void advance(Cursor& c) const;
    double phaseBase(std::int64_t wholeSymbols) const;
    const double* windowRow(const Cursor& c, const double*& minus) const;
    double gfskPhaseEnd() const;
    void finishChunk(std::size_t first, double* phase, std::size_t count, Complex* out,
                     std::uint8_t* clk, const GaussianRandom& noise,
                     std::uint64_t noiseStart, IqFrontEnd::Run& frontEnd) const;

    std::span<const std::uint8_t> bits_;
    const DpskOverlay* overlay_ = nullptr;
    std::size_t overlayOrigin_ = 0;
    std::size_t n_ = 1;            // samples per symbol
    std::size_t leadSymbols_ = 0;  // ramp-up and settling symbols before the data
    std::size_t framed_ = 0;       // symbols of the burst (ramps, settling, data)
    std::size_t symbols_ = 0;      // after cyclic extension to at least 24
    std::size_t samples_ = 0;

    double step_ = 0;  // h*pi, the phase of one whole symbol
    double stepHi_ = 0, stepLo_ = 0;
    double startPhase_ = 0;        // parts of pulses cut off by the row's start
    std::vector<double> ternary_;  // [pattern][sample in symbol]: see the constructor
    std::vector<double> binary_;

    std::size_t rampLength_ = 0;
    RealRow ramp_;
    MarkerRow clockPeriod_;

    std::size_t packetOffset_ = 0;  // first sample that drifts
    RealRow drift_;                 // one drift period, empty without drift
    double offsetStep_ = 0;
    bool offsetOn_ = false;
    double correction_ = 0;  // end-phase correction, spread over the row
    bool correctionOn_ = false;
    double noisePower_ = 0;
    bool noiseOn_ = false;
    IqFrontEnd frontEnd_;
};

// Modulates `bitstream`, drawing noise from `noise` (the thread's
// generator by default), which advances by noiseDeviates().
ModulatedSignal Bt_Modulate(const Bits& bitstream, const ModulatorSettings& s,
                            GaussianRandom& noise = gaussianGenerator());

// The modulator's inputs after the bit stream, in their positional order;
// flags are true when non-zero.
ModulatorSettings modulatorSettings(double modIndex, double burstActive, double burstLength, double burstSettle,
                                    double oversamplingRate, double AWGNactive, double AWGNratio, double AWGNseed,
                                    double freqDriftActive, double freqDriftDeviation, double freqDriftType,
                                    double initialDriftPhase, double freqDriftRate, double freqOffsetActive,
                                    double freqOffsetFreq, double phaseCorrection);

// The exported argument order; flags are true when non-zero.
ModulatedSignal Bt_Modulate(const Bits& bitstream, double modIndex, double burstActive,
                            double burstLength, double burstSettle, double oversamplingRate,
                            double AWGNactive, double AWGNratio, double AWGNseed,
                            double freqDriftActive, double freqDriftDeviation, double freqDriftType,
                            double initialDriftPhase, double freqDriftRate, double freqOffsetActive,
                            double freqOffsetFreq, double phaseCorrection);

}  // namespace bt
