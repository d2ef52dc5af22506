// The modulator's building blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "bluetooth/gfsk_primitives.h"
#include "lib/errors.h"

namespace bt {
namespace {

TEST(Upsample, StuffsZeros) {
    EXPECT_EQ(Upsample(RealRow{1, 2}, 3), (RealRow{1, 0, 0, 2, 0, 0}));
    EXPECT_EQ(Upsample(RealRow{1, 2}, 1), (RealRow{1, 2}));
    EXPECT_TRUE(Upsample(RealRow{}, 4).empty());
    EXPECT_THROW(Upsample(RealRow{1}, 0), Error);
    EXPECT_THROW(Upsample(RealRow{1}, 2.5), Error);
}

TEST(Upsamplemarker, HoldsEachValue) {
    EXPECT_EQ(Upsamplemarker({1, 0, 1}, 3), (MarkerRow{1, 1, 1, 0, 0, 0, 1, 1, 1}));
    EXPECT_THROW(Upsamplemarker({1}, -1), Error);
}

// The pulse is a one-symbol rectangle smoothed by a Gaussian of standard
// deviation sqrt(ln 2) / (2 pi BT) symbols (whose spectrum is 3 dB down at
// BT), doubled: integrated here numerically, independently of erf.
double pulseByIntegration(double t, double bT) {
    const double sigma = std::sqrt(std::log(2.0)) / (2 * std::numbers::pi * bT);
    const int steps = 2000;  // Simpson over [t - 1/2, t + 1/2]
    const double h = 1.0 / steps;
    double sum = 0;
    for (int i = 0; i <= steps; ++i) {
        const double u = t - 0.5 + i * h;
        const double density = std::exp(-u * u / (2 * sigma * sigma)) / (sigma * std::sqrt(2 * std::numbers::pi));
        sum += density * (i == 0 || i == steps ? 1 : (i % 2 ? 4 : 2));
    }
    return 2 * sum * h / 3;
}

TEST(FilterGaussian, IsTheSmoothedSymbolPulse) {
    for (int n : {1, 2, 5, 10}) {
        const RealRow taps = Filter_Gaussian(24 * n, 0.5, n);
        ASSERT_EQ(taps.size(), std::size_t(24 * n));
        const double mid = (24.0 * n - 1) / 2;
        double sum = 0;
        for (std::size_t i = 0; i < taps.size(); ++i) {
            EXPECT_DOUBLE_EQ(taps[i], taps[taps.size() - 1 - i]);
            EXPECT_NEAR(taps[i], pulseByIntegration((double(i) - mid) / n, 0.5), 1e-9);
            sum += taps[i];
        }
        EXPECT_NEAR(sum / n, 2, 1e-9);  // the area of the doubled unit pulse
    }
    EXPECT_THROW(Filter_Gaussian(0, 0.5, 4), Error);
    EXPECT_THROW(Filter_Gaussian(24, 0, 4), Error);
}

TEST(FreqToPhase, KeepsTheSignOfTheRunningSum) {
    const RealRow up = FreqToPhase({1, 1, 1, 1}, 2);
    EXPECT_DOUBLE_EQ(up[2], 6);
    EXPECT_DOUBLE_EQ(up[3], 8 - 2 * std::numbers::pi);
    const RealRow down = FreqToPhase({-3, -3, -3}, 1);
    EXPECT_DOUBLE_EQ(down[1], -6);
    EXPECT_DOUBLE_EQ(down[2], -9 + 2 * std::numbers::pi);
}

TEST(FreqToPhase, LongRowsKeepTheirAccuracy) {
    const RealRow x(2'000'000, 0.1);
    const RealRow p = FreqToPhase(x, 1);
    // The exact sum is 2e6 times the double nearest 0.1.
    const long double exact = 2'000'000.0L * static_cast<long double>(0.1);
    EXPECT_NEAR(p.back(), static_cast<double>(std::fmod(exact, static_cast<long double>(2 * std::numbers::pi))),
                1e-9);
}

TEST(ClockMarker, OnePulsePerSymbol) {
    EXPECT_EQ(clockMarkerPeriod(4), (MarkerRow{0, 0, 1, 0}));
    EXPECT_EQ(clockMarkerPeriod(5), (MarkerRow{0, 0, 0, 1, 1}));
    EXPECT_EQ(clockMarkerPeriod(8), (MarkerRow{0, 0, 0, 0, 1, 1, 0, 0}));
    EXPECT_EQ(clockMarkerPeriod(1), (MarkerRow{0}));
}

TEST(BurstRamp, RaisedCosineEndingAtOne) {
    const RealRow ramp = burstRamp(40);
    EXPECT_EQ(ramp.back(), 1.0);
    EXPECT_DOUBLE_EQ(ramp[19], 0.5);  // half way up at half the ramp
    for (std::size_t k = 1; k < ramp.size(); ++k) EXPECT_GT(ramp[k], ramp[k - 1]);
    EXPECT_TRUE(burstRamp(0).empty());
}

}  // namespace
}  // namespace bt
