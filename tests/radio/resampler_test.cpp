// The loop resampler against exact tones: a tone that fits the loop a whole
// number of times must come out as the same tone at the new rate, so what
// is left after fitting it is the images and aliases, and its fitted size
// the passband ripple.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <iostream>
#include <numbers>

#include "radio/radio.h"
#include "radio/resampler.h"

namespace {

using bt::Complex;
using bt::ComplexRow;

ComplexRow tone(double f, double rate, std::size_t n) {
    ComplexRow x(n);
    for (std::size_t k = 0; k < n; ++k) x[k] = std::polar(1.0, 2 * std::numbers::pi * f * double(k) / rate);
    return x;
}

// The tone's amplitude in y (least squares) and the power of what is not
// the tone, relative to the tone's.
struct Fit {
    double gainDb;
    double residualDb;
};
Fit fitTone(const ComplexRow& y, double f, double rate) {
    const ComplexRow ref = tone(f, rate, y.size());
    Complex a = 0;
    for (std::size_t k = 0; k < y.size(); ++k) a += y[k] * std::conj(ref[k]);
    a /= double(y.size());
    double residual = 0;
    for (std::size_t k = 0; k < y.size(); ++k) residual += std::norm(y[k] - a * ref[k]);
    residual /= double(y.size());
    return {20 * std::log10(std::abs(a)), 10 * std::log10(residual / std::norm(a) + 1e-30)};
}

struct Rates {
    double in, out;
};

class ResamplerTest : public ::testing::TestWithParam<Rates> {};

TEST_P(ResamplerTest, PassbandIsFlatAndImagesAreFarDown) {
    const auto [in, out] = GetParam();
    const bt::radio::PolyphaseResampler r(in, out);
    const std::size_t n = 20000;  // 2 ms at 10 MHz: a whole number of output samples for every pair here
    double worstRipple = 0, worstResidual = -300;
    // Tones across the passband, both sides, each a whole number of cycles per loop.
    for (double f = -r.passbandEdge(); f <= r.passbandEdge(); f += r.passbandEdge() / 7) {
        const double fk = std::round(f * double(n) / in) * in / double(n);
        const ComplexRow y = r.resampleLoop(tone(fk, in, n));
        ASSERT_EQ(y.size(), std::size_t(std::llround(double(n) * out / in)));
        const Fit fit = fitTone(y, fk, out);
        worstRipple = std::max(worstRipple, std::abs(fit.gainDb));
        worstResidual = std::max(worstResidual, fit.residualDb);
    }
    std::cout << in / 1e6 << " -> " << out / 1e6 << " MHz: passband ripple " << worstRipple << " dB, images "
              << worstResidual << " dB\n";
    // The figures the README states.
    EXPECT_LT(worstRipple, 0.01) << in << " -> " << out;
    EXPECT_LT(worstResidual, -75) << in << " -> " << out;
}

TEST_P(ResamplerTest, WhatWouldFoldIntoTheBandIsRemoved) {
    const auto [in, out] = GetParam();
    const bt::radio::PolyphaseResampler r(in, out);
    const std::size_t n = 20000;
    // A tone between the stopband edge and the input's Nyquist frequency
    // (present only when the input is the wider): nothing of it may remain.
    for (double f = r.stopbandEdge(); f < in / 2; f += (in / 2 - r.stopbandEdge()) / 4) {
        const double fk = std::round(f * double(n) / in) * in / double(n);
        const ComplexRow y = r.resampleLoop(tone(fk, in, n));
        double power = 0;
        for (const Complex& v : y) power += std::norm(v);
        EXPECT_LT(10 * std::log10(power / double(y.size()) + 1e-30), -75) << fk << " Hz, " << in << " -> " << out;
    }
}

INSTANTIATE_TEST_SUITE_P(RatePairs, ResamplerTest,
                         ::testing::Values(Rates{10e6, 8e6}, Rates{10e6, 4e6}, Rates{8e6, 20e6}, Rates{10e6, 16e6},
                                           Rates{4e6, 2e6}));

TEST(Resampler, LoopThatIsNotAWholeNumberOfOutputSamplesIsRepeated) {
    const bt::radio::PolyphaseResampler r(10e6, 8e6);  // x4/5
    const ComplexRow x = tone(10e6 / 1001 * 7, 10e6, 1001);
    EXPECT_EQ(r.periodsPerLoop(x.size()), 5u);
    const ComplexRow y = r.resampleLoop(x);
    ASSERT_EQ(y.size(), 1001u * 4);
    EXPECT_LT(fitTone(y, 10e6 / 1001 * 7, 8e6).residualDb, -75);
}

TEST(Resampler, RatesWithoutASmallRatioAreRefused) {
    EXPECT_THROW(bt::radio::rateRatio(10e6, 10e6 * std::numbers::pi), std::runtime_error);
    EXPECT_THROW(bt::radio::rateRatio(0, 1e6), std::runtime_error);
    const auto ratio = bt::radio::rateRatio(10e6, 8e6);
    EXPECT_EQ(ratio.up, 4);
    EXPECT_EQ(ratio.down, 5);
}

TEST(Resampler, NearestRateAmongListsAndRanges) {
    EXPECT_EQ(bt::radio::nearestRate({2e6, 4e6, 8e6, 16e6}, {}, 10e6), 8e6);
    EXPECT_EQ(bt::radio::nearestRate({2e6, 4e6, 8e6, 12e6}, {}, 10e6), 12e6);  // a tie goes up
    EXPECT_EQ(bt::radio::nearestRate({}, {{2e6, 20e6, 0}}, 10e6), 10e6);       // inside a continuous range
    EXPECT_EQ(bt::radio::nearestRate({}, {{2e6, 20e6, 0}}, 30e6), 20e6);
    EXPECT_EQ(bt::radio::nearestRate({}, {{1e6, 9e6, 3e6}}, 5e6), 4e6);        // on its steps
    EXPECT_FALSE(bt::radio::nearestRate({}, {}, 10e6).has_value());
}

}  // namespace
