#pragma once
// The measuring receiver's channel filter: a zero-phase low-pass whose
// response is a raised cosine, flat to 0.55 MHz and closed from 1 MHz
// (half amplitude at 0.775 MHz), evaluated at any instant between the
// samples. Closed at 1 MHz, it meets no image of the spectrum even at 2
// samples a symbol.
// It is the filter and the interpolator in one, so a recording at 2 samples
// a symbol is read between its samples as the band-limited signal it
// stands for, not by interpolating the discriminator's output.
//
// Zero phase: no group delay, a symbol's centre stays where the clock put
// it. A GFSK signal at index 0.32 keeps all but its third-order sidebands
// (the 10101010 pattern's at 1.5 MHz, below -60 dB), so the deviation it
// shows moves by less than 0.2 kHz (stated in the README).
//
// Times are in samples of the row; frequencies in radians per sample.
#include <cstddef>
#include <vector>

#include "analysis/demodulator.h"
#include "lib/types.h"

namespace bt::analysis {

// Half amplitude point and roll-off of the raised cosine.
inline constexpr double kChannelFilterCutoffHz = 0.775e6;
inline constexpr double kChannelFilterRollOff = 0.225 / 0.775;
// The impulse response is kept over +-4 us (a taper over its last 1 us).
inline constexpr double kChannelFilterHalfSpanUs = 4.0;

// Samples that continue a row before its first and after its last (a
// waveform played in a loop continues with its other end).
struct RowEdges {
    const CFloat* before = nullptr;  // the `beforeCount` samples ahead of the row, in order
    std::size_t beforeCount = 0;
    const CFloat* after = nullptr;  // the `afterCount` samples behind it
    std::size_t afterCount = 0;
};

class ChannelFilter {
public:
    // `x` holds `n` samples at `samplesPerSymbol` samples per microsecond.
    // Beyond the row and its edges the filter sees silence.
    ChannelFilter(const CFloat* x, std::size_t n, double samplesPerSymbol, RowEdges edges = {});

    // The filtered signal at time t, and its derivative (per sample).
    Complex at(double t) const;
    void atWithSlope(double t, Complex& value, Complex& slope) const;
    // Instantaneous frequency at t.
    double frequency(double t) const;
    // The filtered signal at t0 + k step, k < count, into out: when the
    // times share their place between samples (a whole step), the taps are
    // worked out once.
    void atGrid(double t0, double step, std::size_t count, Complex* out) const;

private:
    const CFloat* x_;
    std::size_t n_;
    RowEdges edges_;
    double sps_;
    double step_;  // table entries per sample
    std::size_t reach_;  // samples either side
};

// Unwrapped phase of the filtered signal from `from` to `to`: read on a
// grid of two points a symbol (a step turns the phase by 0.8 rad at most
// at the largest deviation and offset), and between them from the filtered
// value itself, so any two instants give the mean frequency between them.
class FilteredPhase {
public:
    FilteredPhase(const ChannelFilter& f, double from, double to, double samplesPerSymbol);
    bool empty() const { return grid_.empty(); }
    double phase(double t) const;
    // Mean frequency from ta to tb.
    double mean(double ta, double tb) const { return (phase(tb) - phase(ta)) / (tb - ta); }
    double frequency(double t) const { return filter_.frequency(t); }

private:
    const ChannelFilter& filter_;
    double from_ = 0, step_ = 1;
    std::vector<double> grid_;  // unwrapped phase
    std::vector<Complex> value_;
    double gridTime(std::size_t k) const { return from_ + double(k) * step_; }
};

}  // namespace bt::analysis
