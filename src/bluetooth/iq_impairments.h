#pragma once
// Impairments of a transmitter's analogue front end, applied to complex
// baseband at the place a real transmitter has them: the I/Q modulator
// (unequal branch gains, branches not exactly 90 degrees apart, leakage of
// the local oscillator into the output) and the oscillator's phase noise,
// which multiplies everything the mixer puts out, the leakage included.
// The burst's power ramp and the channel's noise come after these.
//
// Modulator model: the I branch drives cos(wt - skew/2) with gain gI, the
// Q branch -sin(wt + skew/2) with gain gQ, where gI/gQ is the gain
// imbalance and gI*gQ = 1. Carrier leakage is a constant added to I and Q
// alike, in dB relative to the unit-power signal.
//
// Phase noise: white Gaussian noise through a single real pole, so the
// single-sideband spectrum L(f) is flat well inside the set offset and falls
// 20 dB per decade beyond it; the pole sits at the offset and the level is
// the one at the offset. Its deviates are those of the noise seed's stream
// at positions from kPhaseNoiseStream on, one per output sample, so every
// burst of a waveform sees its own stretch of the process and a sample's
// value does not depend on how the waveform is cut into pieces for the
// threads.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "lib/random.h"
#include "lib/types.h"

namespace bt {

struct IqImpairmentSettings {
    bool gainImbalanceActive = false;
    double gainImbalance = 0;  // dB, I over Q
    bool quadratureSkewActive = false;
    double quadratureSkew = 0;  // degrees
    bool carrierLeakageActive = false;
    double carrierLeakage = -40;  // dBc
    bool phaseNoiseActive = false;
    double phaseNoiseLevel = -100;  // dBc/Hz at phaseNoiseOffset
    double phaseNoiseOffset = 100;  // kHz
    double seed = 1;                // the noise seed
};

// First stream position of the phase-noise deviates: far beyond any count
// the additive noise can draw.
inline constexpr std::uint64_t kPhaseNoiseStream = std::uint64_t{1} << 62;

class IqFrontEnd {
public:
    IqFrontEnd() = default;
    // `sampleRate` in Hz. Throws bt::Error for a phase-noise offset that
    // is not positive or not below a quarter of the sample rate.
    IqFrontEnd(const IqImpairmentSettings& s, double sampleRate);

    bool active() const { return mixOn_ || leakOn_ || noiseOn_; }
    // Applies the impairments to `w`, whose first sample is sample
    // `position` of the output waveform. Safe to call concurrently.
    void apply(std::span<Complex> w, std::uint64_t position) const;

    // Consecutive pieces of one stretch of samples, applied one after the
    // other: the phase noise carries on from piece to piece instead of
    // starting again.
    class Run {
    public:
        Run(const IqFrontEnd& frontEnd, std::uint64_t position);
        void apply(std::span<Complex> w);

    private:
        void restart();
        const IqFrontEnd& f_;
        std::uint64_t position_;  // output sample of the next piece's first
        std::uint64_t blockEnd_ = 0;
        std::uint64_t at_ = 0;  // stream position of the next deviate
        double phi_ = 0;
        std::vector<double> deviates_;
    };

    // The image-rejection ratio (linear power) the modulator model gives.
    double imageRejection() const;

private:
    bool mixOn_ = false;
    double iRe_ = 1, iIm_ = 0;  // output of a unit I input
    double qRe_ = 0, qIm_ = 1;  // output of a unit Q input
    bool leakOn_ = false;
    Complex leak_{0, 0};
    bool noiseOn_ = false;
    double pole_ = 0;   // the pole's decay per sample
    double scale_ = 0;  // deviation of the driving noise
    std::size_t warmUp_ = 0;  // samples after which the pole forgets its start
    std::size_t block_ = 1;   // the process restarts its warm-up every block_ samples
    GaussianRandom noise_;
};

}  // namespace bt
