#pragma once
// Playing a waveform on a radio: once, N times or until stopped, without a
// gap where it repeats. The waveform is resampled to a rate the radio runs
// at, moved beside the carrier when the radio is tuned off the channel,
// and converted to the radio's sample layout once, before streaming; a
// writer thread then feeds the device from that buffer while the calling
// thread counts underflows and reports progress.
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lib/types.h"
#include "radio/radio.h"

namespace bt::radio {

struct RadioTuning {
    double frequency = 2402e6;  // Hz: the channel's carrier
    std::optional<double> gain;  // dB, overall
    std::vector<std::pair<std::string, double>> elementGains;  // dB per stage, after the overall gain
    std::string antenna;         // empty: the device's default
    std::optional<double> bandwidth;  // Hz; none: the device's default
};

// Applies frequency (the carrier plus `loOffset`), gain, stage gains,
// antenna and bandwidth; stops at the first refusal.
RadioResult tune(Radio& radio, Direction d, const RadioTuning& t, double loOffset = 0);

struct PlayRequest {
    double waveformRate = 0;  // Hz
    RadioTuning tuning;
    // Hz: the radio is tuned this far from the carrier and the waveform
    // moved back digitally, so its own carrier leakage and I/Q image fall
    // outside the channel. 0: tuned on the carrier.
    double loOffset = 0;
    std::uint64_t repeat = 1;  // 0: until stopped
    const std::atomic<bool>* stop = nullptr;
    // Called from the calling thread about twice a second.
    std::function<void(double secondsPlayed, std::uint64_t underflows)> progress;
};

// What play() will do with a waveform, decided before any sample moves.
struct PlayPlan {
    double deviceRate = 0;
    long up = 1, down = 1;      // deviceRate = waveformRate x up / down
    double loOffset = 0;        // Hz, rounded so that the loop's phase closes
    std::size_t loopSamples = 0;  // samples in the buffer that repeats
    std::size_t periods = 1;      // waveform periods the buffer holds
};

struct PlayReport {
    RadioResult result;
    PlayPlan plan;
    std::uint64_t samplesWritten = 0;
    double repetitions = 0;  // waveform periods played
    std::uint64_t underflows = 0;
    bool stopped = false;  // ended by the stop flag
};

PlayReport play(Radio& radio, const ComplexRow& waveform, const PlayRequest& request);

// The LO offset rounded to a whole number of cycles per loop of
// `loopSamples` samples at `rate`, so that the shifted loop repeats without
// a phase jump.
double loopCompatibleOffset(double offset, double rate, std::size_t loopSamples);

}  // namespace bt::radio
