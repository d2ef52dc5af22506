#include "support/gfsk_reference.h"

#include <cmath>
#include <numbers>

#include "bluetooth/bit_utils.h"
#include "bluetooth/gfsk_primitives.h"
#include "bluetooth/noise.h"

namespace bt::testing {

ModulatedSignal referenceModulate(const Bits& bits, const ModulatorSettings& s,
                                  GaussianRandom& noise) {
    const auto n = static_cast<std::size_t>(s.oversamplingRate);
    const double pi = std::numbers::pi;
    const long double twoPi = 2 * std::numbers::pi_v<long double>;

    // 1-2. Symbol frequencies inside the burst frame.
    RealRow freqShift;
    for (std::uint8_t b : bits) freqShift.push_back((2.0 * b - 1) * s.modIndex * pi);
    const std::size_t rampSymbols = s.burstActive ? static_cast<std::size_t>(s.burstLength) : 0;
    const std::size_t settlingSymbols = s.burstActive ? static_cast<std::size_t>(s.burstSettle) : 0;
    freqShift.insert(freqShift.begin(), rampSymbols + settlingSymbols, 0.0);
    freqShift.insert(freqShift.end(), rampSymbols, 0.0);
    if (freqShift.empty()) return {};
    // 3-4. At least 24 symbols; cyclic pre- and end-charge.
    if (freqShift.size() < kFilterTaps) freqShift = ExtendVector(freqShift, double(kFilterTaps));
    RealRow row(freqShift.end() - kFilterTaps, freqShift.end());
    row.insert(row.end(), freqShift.begin(), freqShift.end());
    row.insert(row.end(), freqShift.begin(), freqShift.begin() + kFilterTaps);
    // 5-7. Zero stuffing and the causal FIR over every input sample.
    const RealRow samples = Upsample(row, double(n));
    const RealRow taps = Filter_Gaussian(double(kFilterTaps * n), kGaussianBT, double(n));
    double tapSum = 0;
    for (double t : taps) tapSum += t;
    const double filtergain = 1 / tapSum;
    std::vector<long double> filtered(samples.size());
    for (std::size_t k = 0; k < samples.size(); ++k) {
        long double acc = 0;
        for (std::size_t j = 0; j < taps.size() && j <= k; ++j)
            acc += static_cast<long double>(taps[j]) * samples[k - j];
        filtered[k] = acc;
    }
    // 8. Drop the charge regions, take out the filter delay.
    const std::size_t charge = kFilterTaps * n;
    std::vector<long double> centred(filtered.begin() + long(charge), filtered.end() - long(charge));
    centred = CircularShiftLeft(centred, double(charge / 2));
    // 9. Running phase, remainder after division by 2*pi.
    const std::size_t len = centred.size();
    RealRow phase(len);
    long double sum = 0;
    for (std::size_t k = 0; k < len; ++k) {
        sum += centred[k] * filtergain;
        phase[k] = static_cast<double>(std::fmod(sum, twoPi));
    }
    // 10-12. Drift over the packet region, offset over the whole burst.
    const std::size_t packetOffset = (rampSymbols + settlingSymbols) * n;
    FreqImpairmentSettings drift = s.freq;
    drift.freqOffsetActive = false;
    const RealRow driftPhase = Bt_FreqImpairments(double(len - packetOffset), double(n), drift);
    for (std::size_t k = packetOffset; k < len; ++k) phase[k] += driftPhase[k - packetOffset];
    FreqImpairmentSettings offset = s.freq;
    offset.freqDriftActive = false;
    const RealRow offsetPhase = Bt_FreqImpairments(double(len), double(n), offset);
    for (std::size_t k = 0; k < len; ++k) phase[k] += offsetPhase[k];
    // 13. End-phase correction.
    if (s.phaseCorrection) phase = Bt_PhaseCorrection(phase);
    // 14-15. Ramps and I/Q.
    const std::size_t rampLength = rampSymbols * n;
    RealRow ramp(rampLength);
    for (std::size_t k = 1; k <= rampLength; ++k) {
        const double r = double(k) / double(rampLength);
        ramp[k - 1] = 0.5 * (1 + std::sin((2 * r - 1) * pi / 2));
    }
    ModulatedSignal out;
    out.waveform.resize(len);
    for (std::size_t k = 0; k < len; ++k) {
        double amp = 1;
        if (k < rampLength) amp = ramp[k];
        if (k >= len - rampLength) amp = ramp[len - 1 - k];
        out.waveform[k] = Complex(amp * std::cos(phase[k]), amp * std::sin(phase[k]));
    }
    // 16. Noise at the per-sample ratio.
    if (s.AWGNactive)
        addNoiseMeasured(out.waveform, s.AWGNratio - 10 * std::log10(double(n)), noise);
    // 17. Clock marker.
    const auto highClocks = static_cast<std::size_t>(std::round(0.3 * double(n)));
    MarkerRow period(n, 0);
    for (std::size_t k = 0; k < highClocks; ++k) period[k] = 1;
    period = CircularShiftRight(period, std::round(double(n) / 2));
    out.clk.assign(rampLength, 0);
    const MarkerRow middle = ExtendVector(period, double(len - 2 * rampLength));
    out.clk.insert(out.clk.end(), middle.begin(), middle.end());
    out.clk.insert(out.clk.end(), rampLength, 0);
    return out;
}

}  // namespace bt::testing
