// Frequency offset, drift and end-phase correction.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "bluetooth/freq_impairments.h"
#include "lib/errors.h"

namespace bt {
namespace {

constexpr double kPi = std::numbers::pi;

FreqImpairmentSettings drift(double type, double deviationKHz, double rateHz, double startDeg = 0) {
    FreqImpairmentSettings s;
    s.freqDriftActive = true;
    s.freqDriftType = type;
    s.freqDriftDeviation = deviationKHz;
    s.freqDriftRate = rateHz;
    s.initialDriftPhase = startDeg;
    return s;
}

TEST(FreqImpairments, OffsetAdvancesByItsPhaseStep) {
    // 125 kHz at 8 MHz is pi/32 rad per sample.
    const RealRow p = Bt_FreqImpairments(8, 8, 0, 0, 1, 0, 0, 1, 125);
    ASSERT_EQ(p.size(), 8u);
    for (std::size_t k = 0; k < 8; ++k) EXPECT_NEAR(p[k], double(k) * kPi / 32, 1e-15);
}

TEST(FreqImpairments, OffsetStaysWithinOneTurnOfZero) {
    for (double offset : {150.0, -150.0}) {
        const RealRow p = Bt_FreqImpairments(100000, 2, 0, 0, 1, 0, 0, 1, offset);
        for (double v : p) {
            ASSERT_LT(std::fabs(v), 2 * kPi);
            ASSERT_TRUE(offset > 0 ? v >= 0 : v <= 0);
        }
        // Unwrapped, the phase grows by exactly the offset's step.
        EXPECT_NEAR(std::remainder(p[99999] - 99999 * 2 * kPi * offset * 1e3 / 2e6, 2 * kPi), 0, 1e-9);
    }
}

TEST(FreqImpairments, NothingActiveGivesZeros) {
    EXPECT_EQ(Bt_FreqImpairments(50, 10, 0, 25, 2, 0, 1600, 0, 75), RealRow(50, 0.0));
    // A drift type other than 1 or 2 drifts nothing, whatever its rate.
    EXPECT_EQ(Bt_FreqImpairments(50, 10, drift(3, 25, 0)), RealRow(50, 0.0));
}

TEST(FreqImpairments, SinusoidalDriftOfWholePeriodsRepeatsWithoutStep) {
    // 10 MHz / 1600 Hz = 6250 samples per period; the sine sums to zero over
    // a period, so the next period continues the phase smoothly.
    const double fs = 10e6;
    const RealRow p = Bt_FreqImpairments(20000, 10, drift(2, 25, 1600));
    const double scale = 2 * kPi / fs;
    for (std::size_t k : {1u, 100u, 6249u, 6250u, 12500u, 15000u}) {
        const double m = double(k % 6250);
        const double expected = 25e3 * std::sin(2 * kPi * m / 6250) * scale;
        EXPECT_NEAR(std::remainder(p[k] - p[k - 1], 2 * kPi), expected, 1e-12) << k;
    }
    EXPECT_EQ(p[6250], p[0]);
    EXPECT_EQ(p[12500 + 17], p[17]);
}

TEST(FreqImpairments, SinusoidalDriftStartsAtItsInitialPhase) {
    const RealRow p = Bt_FreqImpairments(10, 10, drift(2, 25, 1600, 90));
    // cos at the start: the first increments are the full deviation.
    EXPECT_NEAR(p[0], 25e3 * 2 * kPi / 10e6, 1e-12);
}

TEST(FreqImpairments, LinearDriftRampsAndRestartsEachPeriod) {
    const RealRow p = Bt_FreqImpairments(13000, 10, drift(1, 40, 1600));
    const double N = 6250;
    const double scale = 2 * kPi / 10e6;
    EXPECT_NEAR(p[1] - p[0], 40e3 * 1 / (N - 1) * scale, 1e-15);
    EXPECT_NEAR(std::remainder(p[6249] - p[6248], 2 * kPi), 40e3 * scale, 1e-12);
    // The phase accumulated over a period is not a whole number of turns:
    // the restart is a step.
    const double accumulated = 40e3 * N / 2 * scale;
    EXPECT_NEAR(std::remainder(p[6250] - p[6249] + accumulated, 2 * kPi), 0, 1e-9);
    EXPECT_EQ(p[6250], p[0]);
}

TEST(FreqImpairments, FractionalPeriodRepeatsEveryWholeSample) {
    // 10 MHz / 300 Hz = 33333.3 samples: the period row has 33333.
    const RealRow p = Bt_FreqImpairments(70000, 10, drift(2, 25, 300));
    EXPECT_EQ(p[33333], p[0]);
    EXPECT_EQ(p[66666 + 5], p[5]);
}

TEST(FreqImpairments, RefusesWhatHasNoMeaning) {
    EXPECT_THROW(Bt_FreqImpairments(100, 10, drift(2, 25, 0)), Error);       // infinite period
    EXPECT_THROW(Bt_FreqImpairments(100, 10, drift(1, 25, -5)), Error);
    EXPECT_THROW(Bt_FreqImpairments(100, 1, drift(1, 25, 600e3)), Error);    // 1.7 samples
    EXPECT_THROW(Bt_FreqImpairments(-1, 10, FreqImpairmentSettings{}), Error);
    EXPECT_THROW(Bt_FreqImpairments(2.5, 10, FreqImpairmentSettings{}), Error);
    EXPECT_THROW(Bt_FreqImpairments(10, 0, FreqImpairmentSettings{}), Error);
    EXPECT_THROW(Bt_FreqImpairments(10, 10, drift(2, NAN, 1600)), Error);
    EXPECT_NO_THROW(Bt_FreqImpairments(0, 10, drift(2, 25, 1600)));
}

// ------------------------------------------------------------ correction

TEST(PhaseCorrection, SpreadsTheRemainderToTheNextTurn) {
    const RealRow out = Bt_PhaseCorrection({0.5, 1.0, 4.0});
    ASSERT_EQ(out.size(), 3u);
    EXPECT_DOUBLE_EQ(out[0], 0.5);
    EXPECT_DOUBLE_EQ(out[1], 1.0 + (2 * kPi - 4) / 2);
    EXPECT_NEAR(out[2], 0, 1e-15);
    // An end at or below pi is taken back instead.
    const RealRow back = Bt_PhaseCorrection({0.25, 1.0, 3.0});
    EXPECT_DOUBLE_EQ(back[1], 1.0 - 1.5 + 2 * kPi);  // reduced to [0, 2*pi)
    EXPECT_NEAR(back[2], 0, 1e-15);
}

TEST(PhaseCorrection, ShortRowsAreOnlyReduced) {
    EXPECT_TRUE(Bt_PhaseCorrection({}).empty());
    EXPECT_DOUBLE_EQ(Bt_PhaseCorrection({-1.0})[0], 2 * kPi - 1);
    EXPECT_DOUBLE_EQ(Bt_PhaseCorrection({7.0})[0], 7 - 2 * kPi);
}

TEST(PhaseCorrection, AnyRowEndsOnAWholeTurn) {
    RealRow phase(997);
    for (std::size_t k = 0; k < phase.size(); ++k) phase[k] = std::fmod(0.37 * double(k * k), 11.0) - 5.5;
    const RealRow out = Bt_PhaseCorrection(phase);
    const double correction = phase.back() > kPi ? 2 * kPi - phase.back() : -phase.back();
    for (std::size_t k = 0; k < out.size(); ++k) {
        ASSERT_GE(out[k], 0);
        ASSERT_LT(out[k], 2 * kPi);
        const double expected = phase[k] + correction * double(k) / 996;
        ASSERT_NEAR(std::remainder(out[k] - expected, 2 * kPi), 0, 1e-12) << k;
    }
    EXPECT_NEAR(std::remainder(out.back(), 2 * kPi), 0, 1e-12);
}

}  // namespace
}  // namespace bt
