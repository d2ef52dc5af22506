// The modulator's shape: lengths, ramps, clock marker, circularity, the
// noise stream it takes, rendering in pieces, and what it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <thread>

#include "bluetooth/modulator.h"
#include "lib/errors.h"
#include "support/bit_rows.h"
#include "support/demod.h"

namespace bt {
namespace {

constexpr double kPi = std::numbers::pi;

using testing::randomBits;

ModulatorSettings at(int n) {
    ModulatorSettings s;
    s.oversamplingRate = n;
    return s;
}

TEST(Modulator, AllOnesAdvanceByTheIndexPerSymbol) {
    ModulatorSettings s = at(8);
    s.modIndex = 0.32;
    const ModulatedSignal out = Bt_Modulate(Bits(200, 1), s);
    ASSERT_EQ(out.waveform.size(), 1600u);
    for (const Complex& z : out.waveform) ASSERT_NEAR(std::abs(z), 1, 1e-14);
    for (std::size_t k = 8; k + 8 < out.waveform.size(); k += 8) {
        const double step = std::arg(out.waveform[k + 8] * std::conj(out.waveform[k]));
        ASSERT_NEAR(step, 0.32 * kPi, 1e-12) << k;
    }
}

TEST(Modulator, ShortRowsRepeatToTheFilterSpan) {
    const Bits bits = {1, 0, 0, 1, 1};
    const ModulatedSignal out = Bt_Modulate(bits, at(6));
    EXPECT_EQ(out.waveform.size(), 24u * 6);
    // The five bits repeat cyclically (24 = 4 * 5 + 4): frequency has the
    // same sign at the centres of symbols k and k + 5.
    const RealRow f = testing::instantaneousFrequency(out.waveform, 6e6);
    for (std::size_t k = 1; k + 5 < 24; ++k) EXPECT_EQ(f[6 * k - 1] > 0, f[6 * (k + 5) - 1] > 0) << k;
}

TEST(Modulator, BurstHasRampsAndSettlingAroundThePacket) {
    ModulatorSettings s = at(5);
    s.burstActive = true;
    s.burstLength = 2;
    s.burstSettle = 3;
    const ModulatedSignal out = Bt_Modulate(randomBits(100, 1), s);
    const std::size_t len = (2 + 3 + 100 + 2) * 5;
    ASSERT_EQ(out.waveform.size(), len);
    ASSERT_EQ(out.clk.size(), len);
    for (std::size_t k = 0; k < 10; ++k) {
        const double r = double(k + 1) / 10;
        const double amp = 0.5 * (1 + std::sin((2 * r - 1) * kPi / 2));
        EXPECT_NEAR(std::abs(out.waveform[k]), amp, 1e-14) << k;
        EXPECT_NEAR(std::abs(out.waveform[len - 1 - k]), amp, 1e-14) << k;
        EXPECT_EQ(out.clk[k], 0);
        EXPECT_EQ(out.clk[len - 1 - k], 0);
    }
    for (std::size_t k = 10; k < len - 10; ++k) ASSERT_NEAR(std::abs(out.waveform[k]), 1, 1e-14);
    // Settling symbols carry the clock but no frequency of their own.
    EXPECT_EQ(out.clk[10 + 3], 1);
    EXPECT_EQ(out.clk[10 + 4], 1);
}

TEST(Modulator, ClockMarkerEverySymbol) {
    struct Expect {
        int n;
        MarkerRow symbol;
    };
    for (const Expect& e : {Expect{4, {0, 0, 1, 0}}, Expect{5, {0, 0, 0, 1, 1}},
                            Expect{8, {0, 0, 0, 0, 1, 1, 0, 0}}, Expect{1, {0}}}) {
        const ModulatedSignal out = Bt_Modulate(randomBits(40, 2), at(e.n));
        ASSERT_EQ(out.clk.size(), 40u * e.n);
        for (std::size_t k = 0; k < out.clk.size(); ++k)
            ASSERT_EQ(out.clk[k], e.symbol[k % std::size_t(e.n)]) << "n=" << e.n << " k=" << k;
    }
}

TEST(Modulator, FilteringIsCircular) {
    // Rotating the bits rotates the frequency: the first symbols see the
    // last ones before them exactly as middle symbols see their neighbours.
    const int n = 7;
    const Bits bits = randomBits(300, 3);
    Bits rotated = bits;
    std::rotate(rotated.begin(), rotated.begin() + 37, rotated.end());
    const RealRow f = testing::instantaneousFrequency(Bt_Modulate(bits, at(n)).waveform, n * 1e6);
    const RealRow g = testing::instantaneousFrequency(Bt_Modulate(rotated, at(n)).waveform, n * 1e6);
    // Away from each row's seam, where the unclosed phase steps.
    for (std::size_t k = 0; k + 1 < g.size() - 37 * n; ++k)
        ASSERT_NEAR(g[k], f[k + 37 * n], 1e-3) << k;
    for (std::size_t k = 0; k + 1 < 37 * n; ++k) ASSERT_NEAR(g[k + g.size() - 37 * n], f[k], 1e-3) << k;
}

TEST(Modulator, NoBitsNoBurstIsEmpty) {
    const ModulatedSignal out = Bt_Modulate(Bits{}, at(10));
    EXPECT_TRUE(out.waveform.empty());
    EXPECT_TRUE(out.clk.empty());
    ModulatorSettings s = at(2);
    s.burstActive = true;
    s.burstLength = 3;
    s.burstSettle = 1;
    const ModulatedSignal ramps = Bt_Modulate(Bits{}, s);  // 7 symbols, repeated to 24
    EXPECT_EQ(ramps.waveform.size(), 48u);
}

TEST(Modulator, DrawsTwoDeviatesPerSampleFromTheGivenGenerator) {
    ModulatorSettings s = at(4);
    s.AWGNactive = true;
    s.AWGNratio = 10;
    const Bits a = randomBits(100, 4), b = randomBits(60, 5);
    GaussianRandom sequential(77);
    const ModulatedSignal first = Bt_Modulate(a, s, sequential);
    const ModulatedSignal second = Bt_Modulate(b, s, sequential);
    EXPECT_EQ(sequential.position(), 2 * (first.waveform.size() + second.waveform.size()));

    // A second worker placed at the same stream position makes the same
    // packet: what a parallel builder relies on.
    const GfskModulator packet(b, s);
    GaussianRandom shared(77);
    shared.reserve(GfskModulator(a, s).noiseDeviates());
    const std::uint64_t start = shared.reserve(packet.noiseDeviates());
    ComplexRow w(packet.size());
    MarkerRow clk(packet.size());
    packet.render(0, w, clk, shared, start);
    EXPECT_EQ(w, second.waveform);
    EXPECT_EQ(clk, second.clk);
}

TEST(Modulator, PiecesRenderedOnThreadsEqualTheWhole) {
    ModulatorSettings s = at(10);
    s.burstActive = true;
    s.burstLength = 6;
    s.burstSettle = 6;
    s.phaseCorrection = true;
    s.AWGNactive = true;
    s.freq.freqOffsetActive = true;
    s.freq.freqOffsetFreq = 60;
    s.freq.freqDriftActive = true;
    s.freq.freqDriftType = 2;
    s.freq.freqDriftDeviation = 20;
    s.freq.freqDriftRate = 1600;
    const Bits bits = randomBits(5000, 6);
    GaussianRandom rng(5);
    const ModulatedSignal whole = Bt_Modulate(bits, s, rng);

    const GfskModulator modulator(bits, s);
    const GaussianRandom again(5);
    ComplexRow w(modulator.size());
    MarkerRow clk(modulator.size());
    const std::size_t cuts[] = {0, 12345, 31001, modulator.size()};  // not on symbol edges
    std::vector<std::thread> workers;
    for (int p = 0; p < 3; ++p)
        workers.emplace_back([&, p] {
            const std::size_t first = cuts[p], count = cuts[p + 1] - cuts[p];
            modulator.render(first, std::span(w).subspan(first, count),
                             std::span(clk).subspan(first, count), again, 0);
        });
    for (auto& t : workers) t.join();
    EXPECT_EQ(w, whole.waveform);
    EXPECT_EQ(clk, whole.clk);
}

TEST(Modulator, ArgumentListFormIsTheSettingsForm) {
    const Bits bits = randomBits(300, 7);
    ModulatorSettings s = at(3);
    s.modIndex = 0.33;
    s.burstActive = true;
    s.burstLength = 4;
    s.burstSettle = 2;
    s.AWGNactive = true;
    s.AWGNratio = 25;
    s.freq.freqDriftActive = true;
    s.freq.freqDriftDeviation = 20;
    s.freq.freqDriftType = 2;
    s.freq.initialDriftPhase = 10;
    s.freq.freqDriftRate = 500;
    s.freq.freqOffsetActive = true;
    s.freq.freqOffsetFreq = -40;
    s.phaseCorrection = true;
    gaussianGenerator().reseed(12);
    const ModulatedSignal a = Bt_Modulate(bits, 0.33, 1, 4, 2, 3, 1, 25, 99, 1, 20, 2, 10, 500, 1, -40, 1);
    gaussianGenerator().reseed(12);
    const ModulatedSignal b = Bt_Modulate(bits, s);
    EXPECT_EQ(a.waveform, b.waveform);
    EXPECT_EQ(a.clk, b.clk);
}

TEST(Modulator, RefusesSettingsOutsideItsDomain) {
    const Bits bits = randomBits(50, 8);
    const auto refuses = [&](ModulatorSettings s, const Bits& b = {}) {
        EXPECT_THROW(Bt_Modulate(b.empty() ? bits : b, s), Error);
    };
    for (double n : {0.0, -3.0, 1.5, double(NAN)}) {
        ModulatorSettings s;
        s.oversamplingRate = n;
        refuses(s);
    }
    ModulatorSettings burst = at(4);
    burst.burstActive = true;
    burst.burstLength = -1;
    refuses(burst);
    burst.burstLength = 2.5;
    refuses(burst);
    ModulatorSettings index = at(4);
    index.modIndex = INFINITY;
    refuses(index);
    ModulatorSettings drift = at(4);
    drift.freq.freqDriftActive = true;
    drift.freq.freqDriftType = 2;
    drift.freq.freqDriftRate = 0;
    refuses(drift);
    ModulatorSettings noise = at(4);
    noise.AWGNactive = true;
    noise.AWGNratio = NAN;
    refuses(noise);
    refuses(at(4), Bits{0, 1, 2});
    try {
        Bt_Modulate(bits, at(0));
        ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "The oversampling rate must be a whole number of at least 1.");
    }
    // A burst's flags are not looked at when the burst is off.
    ModulatorSettings off = at(4);
    off.burstLength = -1;
    EXPECT_NO_THROW(Bt_Modulate(bits, off));
}

TEST(Modulator, RenderRefusesSamplesOutsideTheRow) {
    const Bits bits = randomBits(30, 9);
    const GfskModulator m(bits, at(2));
    ComplexRow w(10);
    EXPECT_THROW(m.render(m.size() - 5, w, {}, gaussianGenerator(), 0), Error);
    MarkerRow shortClk(3);
    EXPECT_THROW(m.render(0, w, shortClk, gaussianGenerator(), 0), Error);
}

}  // namespace
}  // namespace bt
