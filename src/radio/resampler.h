#pragma once
// A rational polyphase resampler for waveforms that play in a loop: the
// sample rate times up/down, through one Kaiser-windowed low-pass filter
// designed for the pair of rates. The passband reaches 0.4 of the lower of
// the two rates, the stopband starts at 0.5 of it, 80 dB down: passband
// ripple below 0.01 dB, images and aliases more than 75 dB down.
#include <cstddef>
#include <vector>

#include "lib/types.h"

namespace bt::radio {

struct RateRatio {
    long up = 1, down = 1;  // output rate = input rate x up / down
};
// up/down in lowest terms within 0.01 ppm of out/in, neither above 4096.
// Throws bt::Error when no such pair exists or a rate is not positive.
RateRatio rateRatio(double inRate, double outRate);

class PolyphaseResampler {
public:
    // Throws bt::Error for rates it cannot relate (see rateRatio).
    PolyphaseResampler(double inRate, double outRate);

    const RateRatio& ratio() const { return ratio_; }
    // The prototype filter at the input rate times `up`.
    const std::vector<double>& taps() const { return taps_; }
    double passbandEdge() const { return passband_; }  // Hz, either side of zero
    double stopbandEdge() const { return stopband_; }

    // The waveform at the output rate, read as one period of a loop (the
    // filter wraps around its ends), so that the output also repeats without
    // a seam. When the period is not a whole number of output samples the
    // output holds the fewest periods that are.
    ComplexRow resampleLoop(const ComplexRow& x) const;
    // Periods of the input the output of resampleLoop holds.
    std::size_t periodsPerLoop(std::size_t inputLength) const;

private:
    RateRatio ratio_;
    double passband_ = 0, stopband_ = 0;
    std::vector<double> taps_;
};

}  // namespace bt::radio
