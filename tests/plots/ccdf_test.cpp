// CCDF data: the edge cases of the plot, and the one-pass binned counts
// against the plain method (sort the relative powers, count each
// threshold's tail).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "plots/ccdf.h"

namespace {

using bt::Complex;
using bt::ComplexRow;
using namespace bt::plots;

// The reference: every relative power, sorted, and for each threshold the
// number of values at or above it found from the tail left by the previous
// threshold.
std::vector<std::size_t> sortedCounts(const ComplexRow& w, const CcdfPowerStats& s, const std::vector<double>& X) {
    std::vector<double> rel;
    rel.reserve(w.size());
    for (const Complex& z : w) rel.push_back(ccdfRelativePower(z.real(), z.imag(), s));
    std::sort(rel.begin(), rel.end());
    std::vector<std::size_t> y(X.size());
    std::size_t tailStart = 0;
    for (std::size_t k = 0; k < X.size(); ++k) {
        while (tailStart < rel.size() && rel[tailStart] < X[k]) ++tailStart;
        y[k] = rel.size() - tailStart;
    }
    return y;
}

void expectSameCounts(const ComplexRow& w) {
    const CcdfPowerStats s = ccdfPowerStats(w);
    const double maxRel = 10 * std::log10(s.maxPower) - s.RMSdB;
    const std::vector<double> X = ccdfThresholds(maxRel);
    EXPECT_EQ(ccdfCounts(w, s, X), sortedCounts(w, s, X));
}

TEST(Ccdf, BinnedCountsEqualTheSortedMethod) {
    std::mt19937_64 rng(7);
    std::normal_distribution<double> g;
    ComplexRow noise(200000);
    for (Complex& z : noise) z = Complex(g(rng), g(rng));
    expectSameCounts(noise);

    // Powers exactly on the thresholds: a tone with samples stepped so that
    // their relative power lands on X(k) for many k, and a real waveform.
    ComplexRow steps;
    for (int k = 0; k < 2000; ++k) steps.emplace_back(std::pow(10.0, (k % 40) * 0.05), 0.0);
    expectSameCounts(steps);

    ComplexRow edges = {Complex(0, 0), Complex(1, 0), Complex(0, 1), Complex(1e-160, 0), Complex(1e-200, 1e-200),
                        Complex(3, 4), Complex(-3, -4), Complex(1e10, 0)};
    expectSameCounts(edges);
    expectSameCounts(ComplexRow(1000, Complex(0.3, -0.4)));
    expectSameCounts(ComplexRow(17, Complex(0, 0)));
    ComplexRow single = {Complex(2, 0)};
    expectSameCounts(single);
}

TEST(Ccdf, ConstantEnvelope) {
    ComplexRow w(1000);
    for (std::size_t k = 0; k < w.size(); ++k) w[k] = std::polar(0.7, 0.01 * static_cast<double>(k));
    const CcdfData d = ccdfData(w);
    EXPECT_EQ(d.maxX, 20);
    EXPECT_DOUBLE_EQ(d.stepX, 0.1);
    ASSERT_EQ(d.X.size(), 201u);
    // At 0 dB rounding decides; from the first positive threshold on nothing.
    EXPECT_LE(d.Y[0], 100 + 1e-300);
    for (std::size_t k = 1; k < d.Y.size(); ++k) EXPECT_EQ(d.Y[k], 1e-300) << k;
    EXPECT_EQ(d.yMin, 0.001);
    EXPECT_FALSE(d.realWave);
}

TEST(Ccdf, AllZeroWaveform) {
    const CcdfData d = ccdfData(ComplexRow(64, Complex(0, 0)));
    EXPECT_TRUE(d.realWave);
    EXPECT_EQ(d.maxX, 20);
    EXPECT_EQ(d.Y[0], 100);  // every relative power is exactly 0 dB
    EXPECT_EQ(d.Y[1], 1e-300);
    EXPECT_EQ(d.yMin, 0.001);
}

TEST(Ccdf, ReferenceCurveFollowsTheKindOfWaveform) {
    ComplexRow real = {Complex(1, 0), Complex(-2, 0), Complex(0.5, 0)};
    const CcdfData r = ccdfData(real);
    EXPECT_TRUE(r.realWave);
    EXPECT_DOUBLE_EQ(r.Y1[0], 100 * std::erfc(1 / std::sqrt(2.0)));
    EXPECT_NEAR(r.Y1[0], 31.731, 1e-3);
    ComplexRow cplx = real;
    cplx[1] = Complex(-2, 1e-9);
    const CcdfData c = ccdfData(cplx);
    EXPECT_FALSE(c.realWave);
    EXPECT_DOUBLE_EQ(c.Y1[0], 100 * std::exp(-1.0));
    EXPECT_DOUBLE_EQ(c.Y1[100], 100 * std::exp(-std::pow(10.0, c.X[100] / 10)));
}

TEST(Ccdf, PeakTwentyFiveDbAboveAverage) {
    // N samples of power 1 and one of power P: the peak sits 25 dB above
    // the average when P / ((N - 1 + P) / N) = 10^2.5.
    const std::size_t N = 100000;
    const double r = std::pow(10.0, 2.5);
    const double P = r * (N - 1) / (N - r);
    ComplexRow w(N, Complex(1, 0));
    w[123] = Complex(std::sqrt(P), 0);
    const CcdfData d = ccdfData(w);
    EXPECT_NEAR(d.maxX, 25.25, 1e-9);
    EXPECT_NEAR(d.stepX, 25.25 / 200, 1e-12);
    EXPECT_EQ(d.X.back(), d.maxX);
    const std::vector<double> ticks = {0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24};
    EXPECT_EQ(d.xTicks, ticks);
    // The peak is reached only by itself, up to X(198) = 24.99 dB.
    EXPECT_DOUBLE_EQ(d.Y[198], 100.0 / N);
    EXPECT_EQ(d.Y[199], 1e-300);
    EXPECT_DOUBLE_EQ(d.yMin, 0.001);
}

TEST(Ccdf, TestSignalWhenEmpty) {
    const ComplexRow t = ccdfTestSignal();
    ASSERT_EQ(t.size(), 1000u);
    EXPECT_NEAR(t.front().real(), 0.5 * std::cos(-10 * M_PI), 1e-12);  // am = 1.5 + cos(-pi)
    EXPECT_NEAR(std::abs(t[500]), 1.5 + std::cos(-M_PI + 500 * 2 * M_PI / 999), 1e-12);
    const CcdfData d = ccdfData({});
    EXPECT_EQ(d.points, 1000u);
    EXPECT_EQ(d.title, "CCDF");
    EXPECT_EQ(d.yLabel, "Frequency of occurence (%)");
    EXPECT_EQ(d.xLabel, "dB above Average");
    EXPECT_GT(d.Y[0], 0);
}

}  // namespace
