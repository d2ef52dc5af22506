// Spectrum and waterfall data: rotation, floors and limits on small cases
// checked against a direct DFT, and real signals (the default packet, two
// tones) measured from the plotted rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <stdexcept>

#include "bluetooth/generate.h"
#include "bluetooth/settings.h"
#include "plots/envelope.h"
#include "plots/fft.h"
#include "plots/spectrum.h"

namespace {

using bt::Complex;
using bt::ComplexRow;
using namespace bt::plots;

ComplexRow directDft(const ComplexRow& x) {
    const std::size_t N = x.size();
    ComplexRow X(N);
    for (std::size_t k = 0; k < N; ++k) {
        Complex s = 0;
        for (std::size_t n = 0; n < N; ++n)
            s += x[n] * std::polar(1.0, -2 * std::numbers::pi * static_cast<double>((k * n) % N) / static_cast<double>(N));
        X[k] = s;
    }
    return X;
}

ComplexRow tones(std::size_t N, double rate, std::initializer_list<std::pair<double, double>> freqAmp) {
    ComplexRow w(N);
    for (std::size_t k = 0; k < N; ++k)
        for (const auto& [f, a] : freqAmp) w[k] += std::polar(a, 2 * std::numbers::pi * f * static_cast<double>(k) / rate);
    return w;
}

std::size_t peakIndex(const std::vector<float>& v) {
    return static_cast<std::size_t>(std::max_element(v.begin(), v.end()) - v.begin());
}

TEST(Fft, AnyLengthMatchesTheDirectTransformAndReusesItsPlan) {
    for (std::size_t N : {1u, 2u, 9u, 607u, 1000u}) {
        ComplexRow x(N);
        for (std::size_t k = 0; k < N; ++k) x[k] = Complex(std::sin(0.3 * k * k + 1), std::cos(1.7 * k));
        ComplexRow X(N);
        fft(x, X);
        const ComplexRow ref = directDft(x);
        for (std::size_t k = 0; k < N; ++k) EXPECT_NEAR(std::abs(X[k] - ref[k]), 0, 1e-9 * N) << N << " " << k;
    }
    ComplexRow a(607, Complex(1, 0)), b(607);
    fft(a, b);
    const std::size_t plans = fftPlanCount();
    fft(a, b);
    EXPECT_EQ(fftPlanCount(), plans);
}

// A dozen long lengths (waterfall slices of long recordings at odd rates)
// do not pile up plans: the cache keeps the recent ones within its bytes,
// and a transform after its plan was let go is still right.
TEST(Fft, ThePlanCacheStaysWithinItsBytes) {
    ComplexRow first(900'001);
    for (std::size_t k = 0; k < first.size(); ++k) first[k] = Complex(std::cos(0.01 * double(k)), 0);
    ComplexRow firstOut(first.size());
    fft(first, firstOut);
    const Complex dc = firstOut[0];
    for (std::size_t n = 900'002; n < 900'014; ++n) {
        ComplexRow x(n, Complex(1, 0)), X(n);
        fft(x, X);
        EXPECT_NEAR(X[0].real(), double(n), 1e-6 * double(n));
        EXPECT_LE(fftPlanCacheBytes(), kFftPlanCacheBytes);
    }
    EXPECT_LE(fftPlanCount(), 3u);
    fft(first, firstOut);
    EXPECT_NEAR(std::abs(firstOut[0] - dc), 0, 1e-9 * double(first.size()));
}

TEST(Spectrum, EvenLengthPutsZeroFrequencyAtHalfPlusTwo) {
    // Only bin 0 (zero frequency) carries power.
    const SpectrumData d = spectrumData(ComplexRow(8, Complex(1, 0)), 8e6);
    EXPECT_EQ(rotationStart(8), 3u);  // bin N/2 (1-based) first
    ASSERT_EQ(d.magSignal.size(), 8u);
    EXPECT_EQ(peakIndex(d.magSignal), 5u);  // position N/2 + 2, 1-based
    EXPECT_EQ(d.magSignal[5], 0.0f);
    // Exact zeros elsewhere: the floor 1e-20 below the peak, not -inf.
    EXPECT_NEAR(d.magSignal[0], -200, 1e-3);
    EXPECT_EQ(d.mMax, 0);
    EXPECT_EQ(d.mMin, -100);
}

TEST(Spectrum, OddLengthNineOrder) {
    ComplexRow x(9);
    for (std::size_t k = 0; k < 9; ++k) x[k] = Complex(k * k % 7 + 0.5, static_cast<double>(k) - 3);
    const SpectrumData d = spectrumData(x, 1e6);
    const ComplexRow X = directDft(x);
    double maxP = 0;
    for (const Complex& z : X) maxP = std::max(maxP, std::norm(z));
    const std::size_t order[9] = {4, 5, 6, 7, 8, 0, 1, 2, 3};  // X(5 ... 9), X(1 ... 4)
    for (std::size_t k = 0; k < 9; ++k)
        EXPECT_NEAR(d.magSignal[k], 10 * std::log10(std::norm(X[order[k]]) / maxP), 1e-4) << k;
    EXPECT_EQ(d.fUnits.name, "MHz");
    EXPECT_DOUBLE_EQ(d.fMax, 0.5);
    EXPECT_DOUBLE_EQ(d.fStep, 1.0 / 8);
}

TEST(Spectrum, ToneFarAboveTheNoiseShowsAHundredDb) {
    // A tone with a second one 120 dB below: the y axis keeps 100 dB.
    const SpectrumData d = spectrumData(tones(1000, 1e6, {{100e3, 1.0}, {-200e3, 1e-6}}), 1e6);
    EXPECT_EQ(d.mMax, 0);
    EXPECT_EQ(d.mMin, -100);
    EXPECT_EQ(d.xLabel, "Frequency (MHz)");
    EXPECT_EQ(d.yLabel, "LogMag (dB)");
    EXPECT_EQ(d.title, "Spectrum");
}

TEST(Spectrum, UnitsAndTestShape) {
    const SpectrumData k = spectrumData(ComplexRow(16, Complex(1, 1)), 500e3);
    EXPECT_EQ(k.fUnits.name, "kHz");
    EXPECT_EQ(k.fMin, -250);
    EXPECT_EQ(k.fMax, 250);
    EXPECT_EQ(k.frequency(15), 250);
    EXPECT_EQ(frequencyUnits(999), (Unit{"Hz", 1}));
    EXPECT_EQ(frequencyUnits(1e9).name, "GHz");
    EXPECT_EQ(timeUnits(1e-4), (Unit{"uS", 1e6}));
    EXPECT_EQ(timeUnits(2.5e-9).name, "nS");
    EXPECT_EQ(timeUnits(1e-15).name, "pS");
    const SpectrumData t = spectrumData({}, 0);  // rate 0 counts as 1 Hz
    EXPECT_EQ(t.points, 10u);
    EXPECT_EQ(t.fUnits.name, "Hz");
    EXPECT_EQ(t.fMax, 0.5);
    EXPECT_EQ(t.magSignal[4], 0.0f);
    EXPECT_EQ(t.mMin, -60);  // 0.001^2 is 60 dB below the peak
}

TEST(Spectrum, TwoTonesGiveTwoPeaksAtTheirFrequencies) {
    const double rate = 10e6;
    const SpectrumData d = spectrumData(tones(10000, rate, {{1e6, 1.0}, {-2.5e6, 0.5}}), rate);
    std::vector<float> v = d.magSignal;
    const std::size_t p1 = peakIndex(v);
    EXPECT_NEAR(d.frequency(p1), 1.0, 2 * d.fStep);
    for (std::size_t k = p1 > 5 ? p1 - 5 : 0; k < std::min(v.size(), p1 + 6); ++k) v[k] = -300;
    const std::size_t p2 = peakIndex(v);
    EXPECT_NEAR(d.frequency(p2), -2.5, 2 * d.fStep);
    EXPECT_NEAR(d.magSignal[p2], -6.02, 0.01);
}

TEST(Spectrum, DefaultPacketIsCentredAndFallsOffBeyondOneMegahertz) {
    bt::Parameters p;
    const bt::GeneratedSignal s = bt::Calculate(p);
    const double rate = p.OverSampling * 1e6;
    const SpectrumData d = spectrumData(s.waveform, rate);
    // One packet without averaging: the fine structure of the spectrum is
    // the payload's, so the peak is looked for in 100 kHz bins (power
    // averaged): the bin around 0 Hz holds it, and the raw peak is well
    // inside the 160 kHz deviation.
    auto binPower = [&](double centre) {
        double acc = 0;
        int count = 0;
        for (std::size_t k = 0; k < d.points; ++k)
            if (std::fabs(d.frequency(k) - centre) < 0.05) {
                acc += std::pow(10.0, d.magSignal[k] / 10);
                ++count;
            }
        return acc / count;
    };
    const double centre = binPower(0);
    for (int b = -20; b <= 20; ++b)
        if (b != 0) {
            EXPECT_LT(binPower(0.1 * b), centre) << b;
        }
    const std::size_t peak = peakIndex(d.magSignal);
    EXPECT_LT(std::fabs(d.frequency(peak)), 0.05);
    float outside = -1000;
    for (std::size_t k = 0; k < d.points; ++k)
        if (std::fabs(d.frequency(k)) > 1.0) outside = std::max(outside, d.magSignal[k]);
    EXPECT_LE(outside, -20);
}

TEST(Spectrum, LevelsOnlyAreTheRunsOfTheFullRow) {
    // A long noisy two-tone waveform: the levels alone are the extremes of
    // each run of 16 points of the full row, the limits are the same, and
    // the envelope drawn from them is the one drawn from the row.
    const std::size_t N = 100'003;
    ComplexRow w = tones(N, 1e6, {{123e3, 1.0}, {-301e3, 1e-3}});
    std::mt19937 rng(17);
    std::normal_distribution<double> g(0, 1e-4);
    for (auto& z : w) z += Complex(g(rng), g(rng));
    const SpectrumData full = spectrumData(w, 1e6);
    const SpectrumData lv = spectrumData(w, 1e6, true);
    EXPECT_TRUE(lv.magSignal.empty());
    ASSERT_EQ(lv.levelLo.size(), (N + 15) / 16);
    ASSERT_EQ(lv.levelHi.size(), lv.levelLo.size());
    for (std::size_t e = 0; e < lv.levelLo.size(); ++e) {
        const auto a = full.magSignal.begin() + static_cast<std::ptrdiff_t>(16 * e);
        const auto b = full.magSignal.begin() + static_cast<std::ptrdiff_t>(std::min(N, 16 * e + 16));
        ASSERT_EQ(lv.levelLo[e], *std::min_element(a, b)) << e;
        ASSERT_EQ(lv.levelHi[e], *std::max_element(a, b)) << e;
    }
    EXPECT_EQ(lv.mMin, full.mMin);
    EXPECT_EQ(lv.mMax, full.mMax);
    EXPECT_EQ(lv.points, full.points);
    EXPECT_EQ(lv.fStep, full.fStep);
    const Envelope fromRow = Envelope::levelsOf(full.magSignal);
    const Envelope fromLevels = Envelope::ofFinestLevel(lv.levelLo, lv.levelHi, lv.points);
    for (const auto& [first, last] : {std::pair{0.0, 100'003.0}, {40'000.0, 52'000.0}, {61'000.0, 61'100.0}}) {
        const Envelope::View a = fromRow.view(first, last, 640), b = fromLevels.view(first, last, 640);
        EXPECT_EQ(a.keys, b.keys) << first;
        EXPECT_EQ(a.lo, b.lo) << first;
        EXPECT_EQ(a.hi, b.hi) << first;
    }
    EXPECT_THROW(Envelope::ofFinestLevel(lv.levelLo, lv.levelHi, lv.points + 16), std::invalid_argument);
    // A short waveform keeps its row either way.
    const SpectrumData small = spectrumData(tones(1000, 1e6, {{1e5, 1.0}}), 1e6, true);
    EXPECT_EQ(small.magSignal.size(), 1000u);
    EXPECT_TRUE(small.levelLo.empty());
}

TEST(Waterfall, ThousandSamplesInFiveMicrosecondSlices) {
    const WaterfallData d = waterfallData(tones(1000, 10e6, {{1e6, 1.0}}), 10e6, 5e-6);
    EXPECT_EQ(d.n, 50u);
    EXPECT_EQ(d.m, 20u);
    EXPECT_EQ(d.tUnits.name, "uS");
    EXPECT_DOUBLE_EQ(d.t, 5);
    EXPECT_DOUBLE_EQ(d.tMax, 95);
    EXPECT_EQ(d.yLabel, "Time (uS)");
    EXPECT_EQ(d.xLabel, "Frequency (MHz)");
    EXPECT_EQ(d.zLabel, "LogMag (dB)");
    EXPECT_DOUBLE_EQ(d.fMax, 5);
    // Every slice peaks at the tone's bin: 1 MHz is bin 5 of 50, shown at
    // 0-based position 5 + (50 - 24) = 31.
    for (std::size_t k = 0; k < d.m; ++k) {
        std::vector<float> row(d.magSignal.begin() + static_cast<long>(k * d.columns),
                               d.magSignal.begin() + static_cast<long>((k + 1) * d.columns));
        EXPECT_EQ(peakIndex(row), 31u) << k;
    }
    EXPECT_EQ(d.mMax, 10 * std::ceil(10 * std::log10(50.0 * 50.0) / 10));  // no normalisation
}

TEST(Waterfall, ShortPeriodsAndPadding) {
    // A slice is at least 10 samples.
    const WaterfallData s = waterfallData(ComplexRow(100, Complex(1, 0)), 10e6, 1e-7);
    EXPECT_EQ(s.n, 10u);
    EXPECT_EQ(s.m, 10u);
    const WaterfallData z = waterfallData(ComplexRow(100, Complex(1, 0)), 10e6, -1);
    EXPECT_EQ(z.n, 10u);
    // 1005 samples in slices of 50: 21 slices, the last padded with zeros.
    ComplexRow w(1005);
    for (std::size_t k = 0; k < w.size(); ++k) w[k] = Complex(std::cos(0.1 * k), std::sin(0.37 * k * k));
    const WaterfallData d = waterfallData(w, 10e6, 5e-6);
    EXPECT_EQ(d.m, 21u);
    ComplexRow last(50);
    std::copy(w.begin() + 1000, w.end(), last.begin());
    const ComplexRow X = directDft(last);
    for (std::size_t j = 0; j < 50; ++j) {
        const double want = std::max(10 * std::log10(std::norm(X[(24 + j) % 50])), d.mMin);
        EXPECT_NEAR(d.at(20, j), want, 1e-3) << j;
    }
}

TEST(Waterfall, ReducedColumnsKeepEveryPeak) {
    const WaterfallData full = waterfallData(tones(4000, 1e6, {{123e3, 1.0}, {-301e3, 0.1}}), 1e6, 1e-3);
    const WaterfallData small = waterfallData(tones(4000, 1e6, {{123e3, 1.0}, {-301e3, 0.1}}), 1e6, 1e-3, 100);
    ASSERT_EQ(full.columns, 1000u);
    ASSERT_EQ(small.columns, 100u);
    for (std::size_t k = 0; k < full.m; ++k)
        for (std::size_t c = 0; c < 100; ++c) {
            float want = -1e30f;
            for (std::size_t j = c * 10; j < c * 10 + 10; ++j) want = std::max(want, full.at(k, j));
            EXPECT_EQ(small.at(k, c), want);
        }
    EXPECT_EQ(small.mMax, full.mMax);
}

// Bursts with silence between them (every packet waveform): a silent slice
// is -inf dB, so the z axis reaches the full 100 dB below its top.
TEST(Waterfall, SilentSlicesTakeTheFloorAHundredDecibelsDown) {
    ComplexRow burst(1000);
    for (std::size_t k = 0; k < burst.size(); ++k) burst[k] = std::polar(1.0, 0.0037 * double(k * k));
    const WaterfallData alone = waterfallData(burst, 1e6, 1e-4);
    ASSERT_GT(alone.mMin, alone.mMax - 100) << "the burst alone must not reach the depth limit";
    ComplexRow withGap = burst;
    withGap.resize(3000, Complex(0, 0));
    const WaterfallData gap = waterfallData(withGap, 1e6, 1e-4);
    EXPECT_EQ(gap.mMax, alone.mMax);
    EXPECT_EQ(gap.mMin, gap.mMax - 100);
}

TEST(Waterfall, SilenceAndNoWaveform) {
    const WaterfallData s = waterfallData(ComplexRow(100, Complex(0, 0)), 1e6, 1e-5);
    EXPECT_EQ(s.mMax, 0);
    EXPECT_EQ(s.mMin, -100);
    EXPECT_TRUE(std::all_of(s.magSignal.begin(), s.magSignal.end(), [](float v) { return v == -100; }));
    const WaterfallData t = waterfallData({}, 1e6, 1e-5);
    EXPECT_EQ(t.n, 10u);
    EXPECT_EQ(t.m, 5u);
    EXPECT_EQ(t.mMax, 0);
    EXPECT_EQ(t.mMin, -10);
}

}  // namespace
