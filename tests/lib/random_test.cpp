// The Gaussian generator: its uniform source against published known
// answers, its stream as a pure function of (seed, position), reproducible
// values, and the distribution of what it makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "lib/detmath.h"
#include "lib/random.h"

namespace bt {
namespace {

std::vector<std::uint32_t> block(std::uint32_t c0, std::uint32_t c1, std::uint32_t c2,
                                 std::uint32_t c3, std::uint64_t key) {
    const std::uint32_t counter[4] = {c0, c1, c2, c3};
    std::uint32_t out[4];
    GaussianRandom::philoxBlock(counter, key, out);
    return {out[0], out[1], out[2], out[3]};
}

TEST(Philox, KnownAnswersOfTheOriginalPublication) {
    using V = std::vector<std::uint32_t>;
    EXPECT_EQ(block(0, 0, 0, 0, 0), (V{0x6627e8d5, 0xe169c58d, 0xbc57ac4c, 0x9b00dbd8}));
    EXPECT_EQ(block(~0u, ~0u, ~0u, ~0u, ~0ull),
              (V{0x408f276d, 0x41c83b0e, 0xa20bc7c6, 0x6d5451fd}));
    EXPECT_EQ(block(0x243f6a88, 0x85a308d3, 0x13198a2e, 0x03707344, 0x299f31d0a4093822ull),
              (V{0xd16cfe09, 0x94fdcceb, 0x5001e420, 0x24126ea1}));
}

TEST(Philox, MatchesTheStandardLibraryEngineDefinition) {
    // C++26 fixes std::philox4x32: default seed 20111115, and its 10000th
    // output is 1955073260; outputs come four per counter value, in order.
    EXPECT_EQ(block(2499, 0, 0, 0, 20111115)[3], 1955073260u);
}

TEST(GaussianRandom, AnyStretchOfTheStreamIsTheSame) {
    GaussianRandom rng(42);
    std::vector<double> whole(1000);
    rng.fill(whole.data(), whole.size());
    EXPECT_EQ(rng.position(), 1000u);
    // Odd and even starts, lengths across the internal batches.
    for (std::size_t start : {0u, 1u, 2u, 255u, 256u, 257u, 511u}) {
        for (std::size_t len : {1u, 2u, 3u, 255u, 256u, 300u}) {
            std::vector<double> part(len);
            rng.fillAt(start, part.data(), len);
            EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin() + std::ptrdiff_t(start)))
                << start << "+" << len;
        }
    }
    GaussianRandom byOne(42);
    for (std::size_t k = 0; k < 20; ++k) EXPECT_EQ(byOne.next(), whole[k]);
    // Claimed positions: filled later, elsewhere, they are the same numbers.
    GaussianRandom claims(42);
    const std::uint64_t first = claims.reserve(300);
    const std::uint64_t second = claims.reserve(700);
    std::vector<double> late(700);
    claims.fillAt(second, late.data(), late.size());
    EXPECT_EQ(first, 0u);
    EXPECT_TRUE(std::equal(late.begin(), late.end(), whole.begin() + 300));
}

TEST(GaussianRandom, SeedsRepeatAndDiffer) {
    const auto first = [](double seed) {
        GaussianRandom rng(seed);
        std::vector<double> v(64);
        rng.fill(v.data(), v.size());
        return v;
    };
    EXPECT_EQ(first(7), first(7));
    EXPECT_NE(first(7), first(8));
    EXPECT_NE(first(2), first(2.5));  // the settings allow fractional seeds
    GaussianRandom rng(7);
    rng.seek(5);
    rng.reseed(7);
    EXPECT_EQ(rng.position(), 0u);
    EXPECT_EQ(rng.next(), first(7)[0]);
}

// The same numbers on every machine: these were produced once and must
// never change (a change would alter every noisy waveform ever saved).
TEST(GaussianRandom, FixedValues) {
    GaussianRandom rng(1);
    const double expected[8] = {-0x1.9dd8a619349fap-2, -0x1.f270863e3436dp-3, -0x1.048a5ab83a514p-1,
                                -0x1.9c995db64ebd6p-4, 0x1.3fe9fb0e5273ep-2,  -0x1.095fa18bf4e17p+0,
                                0x1.28f1d37a0118p+1,   -0x1.1caefa469612ep+0};
    for (double e : expected) EXPECT_EQ(rng.next(), e);
    GaussianRandom far(65535);
    far.seek(1000001);
    EXPECT_EQ(far.next(), -0x1.cdd0fdd6575eap+0);
    EXPECT_EQ(far.next(), 0x1.5370e1961b3bap-1);
}

// The batched, vectorised path equals the transform written out one pair
// at a time: the lanes of every CPU variant do the same IEEE operations.
TEST(GaussianRandom, BatchesEqualTheTransformPairByPair) {
    constexpr std::uint64_t seed = 123;
    GaussianRandom rng(seed);
    std::vector<double> batch(2000);
    rng.fill(batch.data(), batch.size());
    for (std::uint32_t p = 0; p < 1000; ++p) {
        const std::uint32_t counter[4] = {p, 0, 0, 0};
        std::uint32_t w[4];
        GaussianRandom::philoxBlock(counter, seed, w);
        const std::uint64_t a = (std::uint64_t{w[1]} << 32) | w[0];
        const std::uint64_t b = (std::uint64_t{w[3]} << 32) | w[2];
        const double u = double(a >> 12) * 0x1p-52 + 0x1p-52;  // (0, 1]
        const double r = std::sqrt(-2.0 * detmath::log(u));
        const double y = (double((b >> 10) & ((std::uint64_t{1} << 52) - 1)) - 0x1p51) *
                         (std::numbers::pi * 0x1p-53);
        double s, c;
        detmath::rotateQuarter(b >> 62, detmath::cosKernel(y), detmath::sinKernel(y), s, c);
        ASSERT_EQ(batch[2 * p], r * c) << p;
        ASSERT_EQ(batch[2 * p + 1], r * s) << p;
    }
}

TEST(GaussianRandom, DeviatesAreStandardNormal) {
    GaussianRandom rng(2024);
    std::vector<double> x(1 << 20);
    rng.fill(x.data(), x.size());
    double sum = 0, sum2 = 0, sum4 = 0, lag = 0;
    std::size_t beyond3 = 0;
    for (std::size_t k = 0; k < x.size(); ++k) {
        sum += x[k];
        sum2 += x[k] * x[k];
        sum4 += x[k] * x[k] * x[k] * x[k];
        if (k > 0) lag += x[k] * x[k - 1];
        beyond3 += std::fabs(x[k]) > 3;
    }
    const double n = double(x.size());
    EXPECT_NEAR(sum / n, 0, 0.005);
    EXPECT_NEAR(sum2 / n, 1, 0.005);
    EXPECT_NEAR(sum4 / n, 3, 0.05);  // kurtosis
    EXPECT_NEAR(lag / n, 0, 0.005);  // the two deviates of a pair are independent
    EXPECT_NEAR(double(beyond3) / n, 0.0027, 0.0003);
    // Kolmogorov-Smirnov against the normal distribution function.
    std::sort(x.begin(), x.end());
    double d = 0;
    for (std::size_t k = 0; k < x.size(); ++k) {
        const double cdf = 0.5 * std::erfc(-x[k] / std::sqrt(2.0));
        d = std::max({d, std::fabs(cdf - double(k) / n), std::fabs(cdf - double(k + 1) / n)});
    }
    EXPECT_LT(d * std::sqrt(n), 1.63);  // the 1 % critical value
}

TEST(GaussianRandom, ProcessWideGeneratorIsOne) {
    EXPECT_EQ(&gaussianGenerator(), &gaussianGenerator());
}

}  // namespace
}  // namespace bt
