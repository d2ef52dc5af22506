#include "instrument/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "lib/errors.h"

namespace bt {
namespace {

TEST(ShiftSampleRate, ZeroPpmReturnsTheInput) {
    ComplexRow x;
    for (int k = 0; k < 50; ++k) x.emplace_back(std::sin(k * 0.3), std::cos(k * 0.7));
    EXPECT_EQ(Shift_sample_rate(x, 0), x);
    const ComplexRow one = {{1, 2}};
    EXPECT_EQ(Shift_sample_rate(one, 0), one);
}

// Output sample n is the input at n (1 + ppm 1e-6): for a slow sinusoid the
// interpolation must follow the analytic signal closely.
class ShiftAgainstAnalytic : public ::testing::TestWithParam<double> {};

TEST_P(ShiftAgainstAnalytic, FollowsTheStretchedSignal) {
    const double ppm = GetParam();
    const std::size_t L = 100000;
    const double w = 2 * std::numbers::pi / 40;  // 40 samples a period
    ComplexRow x(L);
    RealRow r(L);
    for (std::size_t n = 0; n < L; ++n) {
        x[n] = std::polar(1.0, w * static_cast<double>(n));
        r[n] = std::cos(w * static_cast<double>(n));
    }
    const ComplexRow y = Shift_sample_rate(x, ppm);
    const RealRow yr = Shift_sample_rate(r, ppm);
    ASSERT_EQ(y.size(), L);
    ASSERT_EQ(yr.size(), L);
    // Positions past the last input sample come from the cubic end
    // extension, whose error grows with the distance extrapolated; only
    // the interpolated part is held to the analytic signal.
    double worst = 0;
    for (std::size_t n = 0; n < L; ++n) {
        const double t = static_cast<double>(n) * (1 + ppm * 1e-6);
        if (t > static_cast<double>(L - 2)) break;
        worst = std::max(worst, std::abs(y[n] - std::polar(1.0, w * t)));
        worst = std::max(worst, std::abs(yr[n] - std::cos(w * t)));
    }
    EXPECT_LT(worst, 2e-3) << ppm;
}

INSTANTIATE_TEST_SUITE_P(Ppm, ShiftAgainstAnalytic, ::testing::Values(20.0, -20.0, 150.0, -75.0));

TEST(ShiftSampleRate, EndExtensionContinuesTheSignal) {
    // 20 ppm on 100000 samples extrapolates two samples past the end.
    const std::size_t L = 100000;
    RealRow r(L);
    for (std::size_t n = 0; n < L; ++n) r[n] = 0.5 + 1e-5 * static_cast<double>(n);  // a ramp: cubic-exact
    const RealRow y = Shift_sample_rate(r, 20);
    for (std::size_t n = L - 5; n < L; ++n)
        EXPECT_NEAR(y[n], 0.5 + 1e-5 * static_cast<double>(n) * (1 + 20e-6), 1e-12) << n;
}

TEST(ShiftSampleRate, TooShortOrImpossibleIsAnError) {
    EXPECT_THROW(Shift_sample_rate(ComplexRow(3, {1, 0}), 20), Error);
    EXPECT_THROW(Shift_sample_rate(RealRow(100, 1.0), std::nan("")), Error);
    EXPECT_THROW(Shift_sample_rate(RealRow(100, 1.0), 1e7), Error);
}

}  // namespace
}  // namespace bt
