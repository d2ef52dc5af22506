#include "bluetooth/freq_impairments.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "bluetooth/gfsk_primitives.h"
#include "lib/errors.h"

namespace bt {

namespace {

// Longer than any waveform the instrument can hold by two orders of
// magnitude; a clear error rather than a failed allocation.
constexpr double kMaxSamples = 4e9;

double sampleRateOf(double oversampleRate) {
    if (!(oversampleRate > 0) || !std::isfinite(oversampleRate))
        throw Error("The oversampling rate must be a positive number.");
    return kSymbolRate * oversampleRate;
}

void requireFinite(double x, const char* what) {
    if (!std::isfinite(x)) throw Error(std::string(what) + " must be a finite number.");
}

// mod(x, 2*pi) in [0, 2*pi).
double wrapPositive(double x) {
    double r = std::fmod(x, kTwoPi);
    if (r < 0) r += kTwoPi;
    return r < kTwoPi ? r : 0.0;
}

}  // namespace

std::size_t checkedLength(double len) {
    if (!(len >= 0) || len != std::floor(len) || len > kMaxSamples)
        throw Error("The number of samples must be a non-negative whole number.");
    return static_cast<std::size_t>(len);
}

bool driftApplies(const FreqImpairmentSettings& s) {
    return s.freqDriftActive && (s.freqDriftType == 1 || s.freqDriftType == 2);
}

RealRow driftPeriodPhase(double len, double oversampleRate, const FreqImpairmentSettings& s) {
    const std::size_t count = checkedLength(len);
    const double sampleRate = sampleRateOf(oversampleRate);
    if (!driftApplies(s) || count == 0) return {};
    if (!(s.freqDriftRate > 0) || !std::isfinite(s.freqDriftRate))
        throw Error("The frequency drift rate must be a positive number.");
    requireFinite(s.freqDriftDeviation, "The frequency drift deviation");
    requireFinite(s.initialDriftPhase, "The initial drift phase");
    // One period lasts N samples (not necessarily whole); its frequency row
    // has the samples m = 0, 1, ... up to N - 1.
    const double N = sampleRate / s.freqDriftRate;
    if (!(N >= 2)) throw Error("The frequency drift period must be at least 2 samples long.");
    const std::size_t periodSamples = static_cast<std::size_t>(std::min(std::floor(N), kMaxSamples));
    const std::size_t used = std::min(periodSamples, count);  // the rest is cut off anyway

    const double deviation = s.freqDriftDeviation * 1000;
    const double startPhase = s.initialDriftPhase * std::numbers::pi / 180;
    RealRow freqs(used);
    for (std::size_t m = 0; m < used; ++m) {
        const double md = static_cast<double>(m);
        freqs[m] = s.freqDriftType == 1 ? deviation * md / (N - 1)
                                        : deviation * std::sin(2 * std::numbers::pi * md / N + startPhase);
    }
    return FreqToPhase(freqs, kTwoPi / sampleRate);
}

double offsetPhaseStep(double oversampleRate, const FreqImpairmentSettings& s) {
    const double sampleRate = sampleRateOf(oversampleRate);
    if (!s.freqOffsetActive) return 0;
    requireFinite(s.freqOffsetFreq, "The frequency offset");
    return kTwoPi * (s.freqOffsetFreq * 1000) / sampleRate;
}

RealRow Bt_FreqImpairments(double len, double oversampleRate, const FreqImpairmentSettings& s) {
    const std::size_t count = checkedLength(len);
    const double step = offsetPhaseStep(oversampleRate, s);
    RealRow imPhase(count, 0.0);
    if (s.freqOffsetActive)
        for (std::size_t k = 0; k < count; ++k)
            imPhase[k] = std::fmod(static_cast<double>(k) * step, kTwoPi);
    const RealRow period = driftPeriodPhase(len, oversampleRate, s);
    for (std::size_t k = 0, m = 0; !period.empty() && k < count; ++k) {
        imPhase[k] += period[m];
        if (++m == period.size()) m = 0;
    }
    return imPhase;
}

RealRow Bt_FreqImpairments(double len, double oversampleRate, double freqDriftActive,
                           double freqDriftDeviation, double freqDriftType, double initialDriftPhase,
                           double freqDriftRate, double freqOffsetActive, double freqOffsetFreq) {
    FreqImpairmentSettings s;
    s.freqDriftActive = freqDriftActive != 0;
    s.freqDriftDeviation = freqDriftDeviation;
    s.freqDriftType = freqDriftType;
    s.initialDriftPhase = initialDriftPhase;
    s.freqDriftRate = freqDriftRate;
    s.freqOffsetActive = freqOffsetActive != 0;
    s.freqOffsetFreq = freqOffsetFreq;
    return Bt_FreqImpairments(len, oversampleRate, s);
}

double phaseCorrectionAmount(double phaseEnd) {
    return phaseEnd > std::numbers::pi ? kTwoPi - phaseEnd : -phaseEnd;
}

RealRow Bt_PhaseCorrection(RealRow phase) {
    const std::size_t len = phase.size();
    if (len < 2) {
        for (double& p : phase) p = wrapPositive(p);
        return phase;
    }
    const double correction = phaseCorrectionAmount(phase.back());
    const double last = static_cast<double>(len - 1);
    for (std::size_t k = 0; k < len; ++k)
        phase[k] = wrapPositive(phase[k] + correction * static_cast<double>(k) / last);
    return phase;
}

}  // namespace bt
