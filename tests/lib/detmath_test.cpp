// The self-contained maths against the C library (accurate, if not
// reproducible to the last bit) and against long double.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "lib/detmath.h"

namespace bt {
namespace {

TEST(DetMath, LogWithinAnUlp) {
    std::mt19937_64 gen(1);
    for (int i = 0; i < 200000; ++i) {
        // (0, 1] as the noise uses it, and a wide range of magnitudes.
        const double u = double((gen() >> 12) + 1) * 0x1p-52;
        const double x = std::ldexp(1.0 + double(gen() >> 12) * 0x1p-52, int(gen() % 200) - 100);
        for (double v : {u, x}) {
            const double ref = std::log(v);
            ASSERT_LE(std::fabs(detmath::log(v) - ref), std::fabs(ref) * 0x1p-52) << v;
        }
    }
    EXPECT_EQ(detmath::log(1.0), 0.0);
}

TEST(DetMath, SinCosMatchTheLibrary) {
    std::mt19937_64 gen(2);
    std::uniform_real_distribution<double> small(-std::numbers::pi / 4, std::numbers::pi / 4);
    std::uniform_real_distribution<double> wide(-1000, 1000);
    for (int i = 0; i < 200000; ++i) {
        const double y = small(gen);
        ASSERT_NEAR(detmath::sinKernel(y), std::sin(y), 2.3e-16) << y;
        ASSERT_NEAR(detmath::cosKernel(y), std::cos(y), 2.3e-16) << y;
        const double x = wide(gen);
        double s, c;
        detmath::sincos(x, s, c);
        ASSERT_NEAR(s, std::sin(x), 4e-16) << x;
        ASSERT_NEAR(c, std::cos(x), 4e-16) << x;
    }
}

TEST(DetMath, QuarterRotationsAreExact) {
    const double c = 0.6, s = 0.8;
    double so, co;
    const double expected[4][2] = {{0.8, 0.6}, {0.6, -0.8}, {-0.8, -0.6}, {-0.6, 0.8}};
    for (std::uint64_t q = 0; q < 8; ++q) {
        detmath::rotateQuarter(q, c, s, so, co);
        EXPECT_EQ(so, expected[q % 4][0]) << q;
        EXPECT_EQ(co, expected[q % 4][1]) << q;
    }
}

TEST(DetMath, TwoPiReductionIsExactToTheTurn) {
    // remainder() by the double nearest 2*pi is exact, but that double is
    // 2.4492935982947064e-16 short of 2*pi: put back what each turn lost.
    const double twoPi = 2 * std::numbers::pi;
    const long double shortfall = 2.4492935982947064e-16L;
    std::mt19937_64 gen(3);
    std::uniform_real_distribution<double> range(-4e8, 4e8);
    for (int i = 0; i < 100000; ++i) {
        const double x = i < 50000 ? range(gen) / 1e5 : range(gen);
        const double byDouble = std::remainder(x, twoPi);
        const long double turns = std::round((static_cast<long double>(x) - byDouble) / twoPi);
        const long double exact = byDouble - turns * shortfall;
        const double r = detmath::reduceTwoPi(x);
        ASSERT_NEAR(std::remainder(static_cast<long double>(r) - exact, 2 * std::numbers::pi_v<long double>),
                    0.0L, 1e-15L)
            << x;
    }
}

}  // namespace
}  // namespace bt
