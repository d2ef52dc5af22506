#pragma once
// The transmitter's output spectrum over its packets, as a bench tester's
// spectrum analyser sees it, gated to the packets' symbols:
// - Short-time spectra of a Hann window whose noise bandwidth is the
//   resolution bandwidth (10 kHz: 150 us of samples), half a window apart,
//   over every packet that holds one whole window.
// - The peak-hold spectrum is their largest power at each frequency (the
//   20 dB bandwidth is read on it), the average spectrum their mean (the
//   channel powers are its sums over 1 MHz channels).
// Frequencies are against the recording's centre (the channel).
#include <cstddef>
#include <optional>
#include <vector>

#include "analysis/demodulator.h"
#include "lib/types.h"

namespace bt::analysis {

inline constexpr double kSpectrumResolutionHz = 10e3;
// A bench tester holds the spectrum over a set of sweeps, not the whole
// recording: the first confirmed packets of a recording whose payload is
// not one byte repeated (the modulation tests' 11110000 and 10101010 make
// line spectra; the test procedure's payload is pseudo-random).
inline constexpr std::size_t kSpectrumPackets = 10;

struct OutputSpectrum {
    double sampleRate = 0;   // Hz
    std::size_t points = 0;  // of each transform; bin k lies at k * sampleRate / points (wrapped)
    // Power in each bin, in units of a full-scale sample's power, scaled
    // so that the bins of one window add up to the window's mean power.
    std::vector<double> peakHold, average;
    std::size_t windows = 0, packets = 0;

    bool empty() const { return windows == 0; }
    double binHz() const { return sampleRate / double(points); }
    // Frequency of bin k, in (-sampleRate/2, sampleRate/2].
    double frequencyOf(std::size_t k) const;
    // Adds another spectrum of the same rate and length (packets of
    // another recording): peaks held, averages weighted by windows.
    void add(const OutputSpectrum& other);
    // Divides the powers by `factor` (a full scale other than 1).
    void scale(double factor);
};

class SampleSource;

// The spectrum of the packets' spans of `source` (samples [begin, end) of
// each, read from it).
OutputSpectrum outputSpectrum(const SampleSource& source, double sampleRate, const std::vector<SampleSpan>& packets);

// Figures read on a spectrum.
struct TwentyDbBandwidth {
    double lower = 0, upper = 0;  // Hz, the outermost -20 dB points about the peak
    double width() const { return upper - lower; }
};
std::optional<TwentyDbBandwidth> twentyDbBandwidth(const OutputSpectrum& s);

struct ChannelPower {
    int offset = 0;       // channels (MHz) from the recording's centre
    double powerDb = 0;   // dB against a full-scale sample
    double relativeDb = 0;  // dB against the in-band channel (offset 0)
};
// The channels whose whole 1 MHz lies inside the recording's band, the
// in-band one first.
std::vector<ChannelPower> channelPowers(const OutputSpectrum& s);

}  // namespace bt::analysis
