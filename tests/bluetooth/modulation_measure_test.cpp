// The modulated signal measured as a Bluetooth transmitter test would
// measure it (support/demod: frequency discriminator, RF-test modulation
// characteristics, carrier offset, drift), not compared with the code.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "bluetooth/modulator.h"
#include "support/bit_rows.h"
#include "support/demod.h"

namespace bt {
namespace {

using testing::instantaneousFrequency;
using testing::locateBits;

constexpr double kPi = std::numbers::pi;


using testing::randomBits;

// A burst as the packet builders make it: 6-symbol ramps, 6 settling symbols.
ModulatorSettings burst(int n) {
    ModulatorSettings s;
    s.modIndex = 0.315;
    s.oversamplingRate = n;
    s.burstActive = true;
    s.burstLength = 6;
    s.burstSettle = 6;
    return s;
}

constexpr std::size_t kLead = 12;  // ramp and settling symbols before the data

// Elements of the discriminator that cover `groups` whole 8-symbol groups,
// starting half a symbol before bit `firstBit`.
struct Span {
    std::size_t from;
    std::size_t count;
};
Span groupSpan(testing::SymbolClock clock, std::size_t firstBit, std::size_t groups) {
    const double start = clock.first + double(firstBit) * clock.period - clock.period / 2;
    return {static_cast<std::size_t>(std::lround(start)),
            static_cast<std::size_t>(std::lround(8 * clock.period)) * groups};
}

// A tester digitises the reconstructed signal at 8 or more samples per
// symbol; so do these tests for rows made at fewer.
struct Measured {
    RealRow freq;
    std::size_t perSymbol;
};
Measured discriminate(const ComplexRow& w, int n) {
    const auto factor = static_cast<std::size_t>((8 + n - 1) / n);
    const std::size_t perSymbol = std::size_t(n) * factor;
    return {instantaneousFrequency(testing::interpolate(w, factor), double(perSymbol) * 1e6), perSymbol};
}

class RfTestAtRate : public ::testing::TestWithParam<int> {};

// From 3 samples per symbol up. At 2 the row cannot carry the signal's
// spectrum (it reaches past +-1 MHz): reconstructed, its 11110000 runs
// overshoot to 163 kHz, 3 % above h * 500 kHz.
TEST_P(RfTestAtRate, ModulationCharacteristicsMeetTheLimits) {
    Bits bits = testing::repeatedPattern("11110000", 40);
    const Bits alternating = testing::repeatedPattern("10101010", 40);
    bits.insert(bits.end(), alternating.begin(), alternating.end());
    const ModulatedSignal out = Bt_Modulate(bits, burst(GetParam()));
    const auto [f, perSymbol] = discriminate(out.waveform, GetParam());
    const auto clock = locateBits(f, perSymbol, kLead * perSymbol, bits);
    const auto mc = testing::modulationCharacteristics(f, clock, bits);

    EXPECT_EQ(mc.f1groups, 40u);
    EXPECT_EQ(mc.f2symbols, 320u);
    EXPECT_NEAR(mc.f1avg, 0.315 * 500e3, 0.01 * 0.315 * 500e3);
    EXPECT_GE(mc.f2avg / mc.f1avg, 0.8);
    EXPECT_GE(mc.f2maxLowest, 115e3);
}

INSTANTIATE_TEST_SUITE_P(Oversampling, RfTestAtRate, ::testing::Values(3, 4, 8, 10, 20));

class DecodeAtRate : public ::testing::TestWithParam<int> {};

TEST_P(DecodeAtRate, RandomBitsDecodeBack) {
    const int n = GetParam();
    for (bool burstOn : {false, true}) {
        const Bits bits = randomBits(1000, 77u + unsigned(n));
        ModulatorSettings s = burst(n);
        s.burstActive = burstOn;
        s.phaseCorrection = !burstOn;  // as the builders set it: a stream loops
        const ModulatedSignal out = Bt_Modulate(bits, s);
        const auto [f, perSymbol] = discriminate(out.waveform, n);
        const auto clock = locateBits(f, perSymbol, burstOn ? kLead * perSymbol : 0, bits);
        EXPECT_EQ(testing::sliceBits(testing::symbolFrequencies(f, clock, bits.size())), bits)
            << (burstOn ? "burst" : "stream");
    }
}

INSTANTIATE_TEST_SUITE_P(Oversampling, DecodeAtRate, ::testing::Values(2, 3, 4, 8, 10, 20));

TEST(ModulationMeasure, IndexMeasuresAsSet) {
    for (double h : {0.28, 0.315, 0.35}) {
        ModulatorSettings s = burst(10);
        s.modIndex = h;
        const Bits bits = randomBits(2000, 5);
        const ModulatedSignal out = Bt_Modulate(bits, s);
        const RealRow f = instantaneousFrequency(out.waveform, 10e6);
        const auto clock = locateBits(f, 10, kLead * 10, bits);
        EXPECT_NEAR(testing::modulationIndex(f, clock, bits, 10e6), h, 0.002);
    }
}

TEST(ModulationMeasure, CarrierOffsetMeasuresOverTheBurst) {
    for (double offsetKHz : {75.0, -100.0}) {
        ModulatorSettings s = burst(10);
        s.freq.freqOffsetActive = true;
        s.freq.freqOffsetFreq = offsetKHz;
        const Bits bits = testing::repeatedPattern("11110000", 100);
        const ModulatedSignal out = Bt_Modulate(bits, s);
        const RealRow f = instantaneousFrequency(out.waveform, 10e6);
        const auto clock = locateBits(f, 10, kLead * 10, bits);
        // Over the packet: whole pattern periods cancel the modulation.
        const Span packet = groupSpan(clock, 8, 98);
        EXPECT_NEAR(testing::meanFrequency(f, packet.from, packet.count), offsetKHz * 1e3, 500);
        // Over the settling symbols, which carry no modulation of their own.
        EXPECT_NEAR(testing::meanFrequency(f, 6 * 10 + 10, 20), offsetKHz * 1e3, 500);
    }
}

TEST(ModulationMeasure, SinusoidalDriftOverThePacketOnly) {
    const int n = 10;
    const double fs = n * 1e6;
    ModulatorSettings s = burst(n);
    s.freq.freqDriftActive = true;
    s.freq.freqDriftType = 2;
    s.freq.freqDriftDeviation = 25;
    s.freq.freqDriftRate = 1600;
    s.freq.initialDriftPhase = 40;
    const Bits bits = testing::repeatedPattern("11110000", 400);  // 3.2 ms: five drift periods
    const ModulatedSignal drifting = Bt_Modulate(bits, s);
    const RealRow f = instantaneousFrequency(drifting.waveform, fs);
    const auto clock = locateBits(f, n, kLead * n, bits);

    const Span packet = groupSpan(clock, 0, 400);
    const std::size_t block = 8 * n;
    const RealRow track = testing::frequencyTrack(f, packet.from, packet.count, block);
    const auto fit = testing::fitSine(track, block / fs, 500, 5000);
    EXPECT_NEAR(fit.amplitude, 25e3, 250);
    EXPECT_NEAR(fit.frequency, 1600, 5);
    // The drift starts with the packet at its initial phase: block k's mean
    // time is packet.from + k * block + block / 2 (element j lies at j + 0.5,
    // and the drift seen there is that of sample j + 1 of the packet).
    const double packetStart = kLead * n;
    const double atFirstBlock = double(packet.from) + block / 2.0 + 0.5 - packetStart;
    const double expected = 40 * kPi / 180 + 2 * kPi * 1600 * atFirstBlock / fs;
    EXPECT_NEAR(std::remainder(fit.phase - expected, 2 * kPi), 0, 0.02);

    // Ramp and settling samples are exactly those of the undrifted burst.
    s.freq.freqDriftActive = false;
    const ModulatedSignal clean = Bt_Modulate(bits, s);
    for (std::size_t k = 0; k < kLead * n; ++k) ASSERT_EQ(drifting.waveform[k], clean.waveform[k]) << k;
}

TEST(ModulationMeasure, LinearDriftRampsAndStepsAtEachPeriod) {
    const int n = 10;
    const double fs = n * 1e6;
    const double deviation = 30e3;
    const double N = fs / 1600;  // 6250 samples per drift period
    ModulatorSettings s = burst(n);
    const Bits bits = randomBits(2000, 11);
    const ModulatedSignal clean = Bt_Modulate(bits, s);
    s.freq.freqDriftActive = true;
    s.freq.freqDriftType = 1;
    s.freq.freqDriftDeviation = deviation / 1e3;
    s.freq.freqDriftRate = 1600;
    const ModulatedSignal drifting = Bt_Modulate(bits, s);

    // The drift alone, as a vector analyser sees it against the ideal signal.
    ComplexRow ratio(clean.waveform.size());
    for (std::size_t k = 0; k < ratio.size(); ++k)
        ratio[k] = drifting.waveform[k] * std::conj(clean.waveform[k]);
    const RealRow f = instantaneousFrequency(ratio, fs);
    const std::size_t start = kLead * n;
    // Within a period the frequency rises linearly to the full deviation...
    for (double m : {1.0, 1000.0, 3125.0, 6248.0}) {
        const auto k = start + static_cast<std::size_t>(m);
        EXPECT_NEAR(f[k - 1], deviation * m / (N - 1), 1.0) << m;
        EXPECT_NEAR(f[k - 1 + std::size_t(N)], deviation * m / (N - 1), 1.0) << m;
    }
    // ...and each new period restarts the phase: a step of minus the phase
    // a whole period accumulated, sum(dev * m / (N - 1)) * 2*pi / fs.
    const double perPeriod = deviation * N / 2 * 2 * kPi / fs;
    for (int period = 1; period <= 2; ++period) {
        const std::size_t boundary = start + std::size_t(period * N) - 1;
        const double step = f[boundary] * 2 * kPi / fs;
        EXPECT_NEAR(std::remainder(step + perPeriod, 2 * kPi), 0, 1e-6) << period;
    }
    // Before the packet nothing drifts.
    for (std::size_t k = 0; k + 1 < start; ++k) ASSERT_NEAR(f[k], 0, 1e-6);
}

TEST(ModulationMeasure, SymbolTimingFromTheZeroCrossings) {
    const int n = 10;
    ModulatorSettings s = burst(n);
    s.burstActive = false;
    s.phaseCorrection = true;
    const Bits bits = randomBits(3000, 13);
    const ComplexRow w = Bt_Modulate(bits, s).waveform;
    const RealRow f = instantaneousFrequency(w, n * 1e6);
    const auto exact = testing::measureSymbolTiming(f, n, 0, f.size());
    EXPECT_GT(exact.crossings, 300u);
    EXPECT_NEAR(exact.period / n - 1, 0, 0.5e-6);

    // The same signal replayed 40 ppm fast: read off a 16 times finer
    // reconstruction at every (1 + 40e-6)-th original sample.
    const double fast = 40e-6;
    const ComplexRow fine = testing::interpolate(w, 16);
    ComplexRow replay(static_cast<std::size_t>(double(w.size() - 1) / (1 + fast)));
    for (std::size_t j = 0; j < replay.size(); ++j) {
        const double x = double(j) * (1 + fast) * 16;
        const auto i = static_cast<std::size_t>(x);
        const double frac = x - double(i);
        replay[j] = fine[i] + frac * (fine[(i + 1) % fine.size()] - fine[i]);
    }
    const RealRow g = instantaneousFrequency(replay, n * 1e6);
    const auto measured = testing::measureSymbolTiming(g, n, 0, g.size() - 1);
    EXPECT_NEAR((n / measured.period - 1) * 1e6, 40, 2);
}

TEST(ModulationMeasure, NoiseHasTheRequestedPower) {
    const int n = 8;
    ModulatorSettings s = burst(n);
    const Bits bits = randomBits(20000, 3);
    GaussianRandom quiet(1);
    const ModulatedSignal clean = Bt_Modulate(bits, s, quiet);
    s.AWGNactive = true;
    s.AWGNratio = 20;  // per symbol: 20 - 10 log10(8) dB per sample
    GaussianRandom rng(9);
    const ModulatedSignal noisy = Bt_Modulate(bits, s, rng);
    EXPECT_EQ(rng.position(), 2 * noisy.waveform.size());

    double signal = 0, noise = 0, noiseI = 0;
    for (std::size_t k = 0; k < clean.waveform.size(); ++k) {
        signal += std::norm(clean.waveform[k]);
        const Complex e = noisy.waveform[k] - clean.waveform[k];
        noise += std::norm(e);
        noiseI += e.real() * e.real();
    }
    const double expected = signal / std::pow(10.0, (20 - 10 * std::log10(8.0)) / 10);
    EXPECT_NEAR(noise / expected, 1.0, 0.02);
    EXPECT_NEAR(noiseI / noise, 0.5, 0.02);  // split equally between I and Q

    GaussianRandom again(9);
    EXPECT_EQ(Bt_Modulate(bits, s, again).waveform, noisy.waveform);
    GaussianRandom other(10);
    EXPECT_NE(Bt_Modulate(bits, s, other).waveform, noisy.waveform);
}

TEST(ModulationMeasure, CorrectedRowLoopsWithoutPhaseStep) {
    const int n = 10;
    ModulatorSettings s;
    s.oversamplingRate = n;
    // 502 ones and 499 zeros: the row would end 3 * 0.315 * pi off a turn.
    Bits bits = randomBits(1001, 21);
    std::ptrdiff_t balance = 0;
    for (auto b : bits) balance += b ? 1 : -1;
    for (std::size_t k = 0; balance != 3; ++k)
        if ((bits[k] == 1) != (balance < 3)) {
            bits[k] ^= 1;
            balance += bits[k] ? 2 : -2;
        }
    const auto seamJump = [&](const ComplexRow& w) {
        const RealRow f = instantaneousFrequency(w, n * 1e6);
        const double seam = f.back();  // from the last sample to the first
        return std::fabs(seam - 0.5 * (f[f.size() - 2] + f[0]));
    };
    const ModulatedSignal open = Bt_Modulate(bits, s);
    s.phaseCorrection = true;
    const ModulatedSignal closed = Bt_Modulate(bits, s);

    EXPECT_NEAR(std::arg(closed.waveform.back()), 0, 1e-12);  // a whole number of turns
    EXPECT_LT(seamJump(closed.waveform), 2e3);                 // Hz: as smooth as elsewhere
    EXPECT_GT(seamJump(open.waveform), 100e3);
}

}  // namespace
}  // namespace bt
