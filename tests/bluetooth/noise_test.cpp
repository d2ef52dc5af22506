// AWGN, Wgn and converter resolution: argument forms and their messages,
// the measured power of the noise, reproducibility from the seed.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "bluetooth/noise.h"
#include "lib/errors.h"

namespace bt {
namespace {

Value num(double x) { return Value::scalar(x); }
Value txt(const char* s) { return Value::str(s); }

ComplexRow unitRow(std::size_t n, double amplitude = 1) {
    ComplexRow x(n);
    for (std::size_t k = 0; k < n; ++k) x[k] = std::polar(amplitude, 0.001 * double(k));
    return x;
}

Value awgn(std::vector<Value> args) { return AWGN(args); }
Value wgn(std::vector<Value> args) { return Wgn(args); }

// Mean power of (out - in) over all elements, and of its real part.
struct Measured {
    double total;
    double inPhase;
};
Measured noiseOf(const Value& out, const Value& in) {
    double total = 0, inPhase = 0;
    for (std::size_t k = 0; k < out.re.size(); ++k) {
        const double re = out.re[k] - in.re[k];
        const double im = (out.isComplex() ? out.im[k] : 0) - (in.isComplex() ? in.im[k] : 0);
        total += re * re + im * im;
        inPhase += re * re;
    }
    const double n = double(out.re.size());
    return {total / n, inPhase / n};
}

// ------------------------------------------------------------------ AWGN

struct Refusal {
    std::vector<Value> args;
    std::string message;
};

void expectRefusal(Value (*routine)(std::span<const Value>), const Refusal& r) {
    try {
        routine(r.args);
        ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.what(), r.message);
    }
}

class AwgnRefuses : public ::testing::TestWithParam<Refusal> {};
TEST_P(AwgnRefuses, WithItsMessage) { expectRefusal(AWGN, GetParam()); }

const Value x4 = Value::complexRow(unitRow(4));

INSTANTIATE_TEST_SUITE_P(
    Messages, AwgnRefuses,
    ::testing::Values(
        Refusal{{x4, Value::other()}, "Only string and numeric arguments are allowed."},
        Refusal{{x4}, "Syntax error."},
        Refusal{{x4, txt("10")}, "Syntax error."},
        Refusal{{x4, num(10), num(0), txt("db"), num(1)}, "Syntax error."},
        Refusal{{x4, num(10), num(0), num(1), txt("db"), txt("db")}, "Syntax error."},
        Refusal{{Value::empty(), num(10), txt("bogus")}, "An input signal must be given."},
        Refusal{{x4, num(10), txt("measure")},
                "The signal power parameter must be numeric or 'measured'."},
        Refusal{{x4, num(10), num(0), txt("dbm")}, "The signal power mode must be 'db' or 'linear'."},
        Refusal{{x4, Value::row({1, 2})}, "The signal-to-noise ratio must be a real scalar."},
        Refusal{{x4, Value::complexRow({Complex(1, 1)})},
                "The signal-to-noise ratio must be a real scalar."},
        Refusal{{x4, num(NAN)}, "The signal-to-noise ratio must be a real scalar."},
        Refusal{{x4, num(0), txt("measured"), txt("linear")},
                "In linear mode, the signal-to-noise ratio must be > 0."},
        Refusal{{x4, num(10), Value::row({1, 2})}, "The signal power value must be a real scalar."},
        Refusal{{x4, num(10), num(-1), txt("linear")}, "In linear mode, the signal power must be >= 0."},
        Refusal{{x4, num(10), num(0), num(2.5)}, "The State must be a real, integer scalar."}));

TEST(Awgn, EveryArgumentFormKeepsTheShape) {
    const Value m = Value::matrix(2, 3, {1, 2, 3, 4, 5, 6});
    const std::vector<std::vector<Value>> forms = {
        {m, num(10)},
        {m, num(10), num(0)},
        {m, num(10), txt("measured")},
        {m, num(10), num(0), num(3)},
        {m, num(10), txt("Measured"), num(3)},
        {m, num(10), num(1), txt("linear")},
        {m, num(10), txt("measured"), txt("DB")},
        {m, num(10), num(0), num(3), txt("db")},
        {m, num(10), txt("measured"), Value::empty(), txt("linear")},
    };
    for (const auto& args : forms) {
        const Value out = AWGN(args);
        EXPECT_EQ(out.rows, 2u);
        EXPECT_EQ(out.cols, 3u);
        EXPECT_FALSE(out.isComplex());  // real signal, real noise
        EXPECT_NE(out.re, m.re);
    }
}

TEST(Awgn, MeasuredPowerMatchesTheRequest) {
    const Value x = Value::complexRow(unitRow(1'000'000));
    const Measured a = noiseOf(awgn({x, num(10), txt("measured")}), x);
    EXPECT_NEAR(a.total, 0.1, 0.002);
    EXPECT_NEAR(a.inPhase, 0.05, 0.001);

    const Value big = Value::complexRow(unitRow(1'000'000, 2));  // power 4
    EXPECT_NEAR(noiseOf(awgn({big, num(10), txt("measured"), txt("linear")}), big).total, 0.4, 0.008);
    // Without "measured" the signal counts as 0 dBW whatever it is.
    EXPECT_NEAR(noiseOf(awgn({big, num(20)}), big).total, 0.01, 0.0002);
    EXPECT_NEAR(noiseOf(awgn({big, num(10), num(2), txt("linear")}), big).total, 0.2, 0.004);

    const Value real = Value::row(std::vector<double>(1'000'000, 1.0));
    const Value noisyReal = awgn({real, num(3), txt("measured")});
    EXPECT_FALSE(noisyReal.isComplex());
    EXPECT_NEAR(noiseOf(noisyReal, real).total, std::pow(10.0, -0.3), 0.01);
}

TEST(Awgn, StateRepeatsTheNoiseBitForBit) {
    const Value x = Value::complexRow(unitRow(1000));
    const Value a = awgn({x, num(10), txt("measured"), num(5)});
    EXPECT_EQ(gaussianGenerator().position(), 2000u);  // reseeded, then two per sample
    const Value b = awgn({x, num(10), txt("measured"), num(5)});
    const Value c = awgn({x, num(10), txt("measured"), num(6)});
    EXPECT_EQ(a.re, b.re);
    EXPECT_EQ(a.im, b.im);
    EXPECT_NE(a.re, c.re);
    // Without a state the shared generator runs on: new noise every call.
    EXPECT_NE(awgn({x, num(10), txt("measured")}).re, awgn({x, num(10), txt("measured")}).re);
}

TEST(Awgn, ModulatorFormEqualsTheGeneralOne) {
    const ComplexRow x = unitRow(5000, 0.7);
    GaussianRandom rng(3);
    ComplexRow typed = x;
    addNoiseMeasured(typed, 12, rng);
    const Value general = awgn({Value::complexRow(x), num(12), txt("measured"), num(3)});
    for (std::size_t k = 0; k < x.size(); ++k) {
        ASSERT_EQ(typed[k].real(), general.re[k]) << k;
        ASSERT_EQ(typed[k].imag(), general.im[k]) << k;
    }
}

// ------------------------------------------------------------------- Wgn

class WgnRefuses : public ::testing::TestWithParam<Refusal> {};
TEST_P(WgnRefuses, WithItsMessage) { expectRefusal(Wgn, GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Messages, WgnRefuses,
    ::testing::Values(
        Refusal{{num(1), num(2)}, "Illegal syntax."},
        Refusal{{num(1), num(2), num(0), txt(""), num(1)}, "The default impedance should be marked by []."},
        Refusal{{num(1), num(2), num(0), Value::empty(), txt("")}, "The default seed should be marked by []."},
        Refusal{{num(1), num(2), num(0), Value::other()}, "Only string and numeric arguments are allowed."},
        Refusal{{num(1), num(2), txt("db"), num(0)}, "Illegal syntax."},
        Refusal{{num(1), num(2), num(0), txt("dbm"), num(1)}, "Illegal syntax."},
        Refusal{{num(1), num(2), num(0), txt("dbm"), txt("Linear")}, "The Power mode must only be set once."},
        Refusal{{num(1), num(2), num(0), txt("real"), txt("complex")},
                "The complexity mode must only be set once."},
        Refusal{{num(1), num(2), num(0), txt("dbw")}, "Unknown option passed in."},
        Refusal{{num(1), num(2), Value::row({1, 2})}, "The power value must be a real scalar."},
        Refusal{{num(1), num(2), num(-1), txt("linear")},
                "In linear mode, the required noise power must be >= 0."},
        Refusal{{num(0), num(2), num(0)}, "The required dimensions must be real, integer scalars > 1."},
        Refusal{{num(1), num(2.5), num(0)}, "The required dimensions must be real, integer scalars > 1."},
        Refusal{{num(1), num(2), num(0), num(0)}, "The Impedance value must be a real scalar > 0."},
        Refusal{{num(1), num(2), num(0), num(1), num(0.5)}, "The State must be a real, integer scalar."}));

TEST(Wgn, PowerInEveryUnit) {
    const Value zeros = Value::matrix(1, 400000, std::vector<double>(400000, 0.0));
    const auto power = [&](std::vector<Value> args) { return noiseOf(wgn(args), zeros); };
    EXPECT_NEAR(power({num(1), num(400000), num(-10)}).total, 0.1, 0.002);
    EXPECT_NEAR(power({num(1), num(400000), num(0), txt("dbm")}).total, 1e-3, 2e-5);
    EXPECT_NEAR(power({num(1), num(400000), num(0.5), txt("linear")}).total, 0.5, 0.01);
    // 1 mW into 50 ohm, complex: 0.05 in all, half of it in-phase.
    const Measured c = power({num(1), num(400000), num(0), num(50), Value::empty(), txt("dbm"), txt("complex")});
    EXPECT_NEAR(c.total, 0.05, 0.001);
    EXPECT_NEAR(c.inPhase, 0.025, 0.0005);
}

TEST(Wgn, ShapeAndState) {
    const Value a = wgn({num(3), num(4), num(0), Value::empty(), num(9), txt("complex")});
    EXPECT_EQ(a.rows, 3u);
    EXPECT_EQ(a.cols, 4u);
    EXPECT_EQ(a.re.size(), 12u);
    EXPECT_TRUE(a.isComplex());
    const Value b = wgn({num(3), num(4), num(0), num(1), num(9), txt("complex")});
    EXPECT_EQ(a.re, b.re);
    EXPECT_EQ(a.im, b.im);
    EXPECT_FALSE(wgn({num(2), num(2), num(0)}).isComplex());
}

// ------------------------------------------------------------ ApplyDacRes

TEST(ApplyDacRes, RoundsToTheConverterGrid) {
    const ComplexRow w = {Complex(0.5, 1), Complex(-1, 0)};
    const ComplexRow q = ApplyDacRes(w, 3);  // scale 3: 1.5 rounds away to 2
    EXPECT_DOUBLE_EQ(q[0].real(), 2.0 / 3);
    EXPECT_EQ(q[0].imag(), 1);
    EXPECT_EQ(q[1], Complex(-1, 0));
    EXPECT_EQ(ApplyDacRes(w, 2), w);
    EXPECT_EQ(ApplyDacRes(w, -4), w);
}

TEST(ApplyDacRes, FourteenBitsUseTheFullSignedCode) {
    ComplexRow w(1000);
    for (std::size_t k = 0; k < w.size(); ++k) w[k] = std::polar(0.37, 0.0123 * double(k));
    const ComplexRow q = ApplyDacRes(w, 14);
    double peak = 0;
    for (const Complex& z : w) peak = std::max({peak, std::fabs(z.real()), std::fabs(z.imag())});
    const double scale = 8191 / peak;
    double largestCode = 0;
    for (std::size_t k = 0; k < w.size(); ++k) {
        for (double v : {q[k].real() * scale, q[k].imag() * scale}) {
            ASSERT_NEAR(v, std::round(v), 1e-6);
            largestCode = std::max(largestCode, std::fabs(v));
        }
        ASSERT_LE(std::abs(q[k] - w[k]), std::sqrt(0.5) / scale + 1e-15);
    }
    EXPECT_NEAR(largestCode, 8191, 1e-6);
    EXPECT_EQ(ApplyDacRes(w, 40), ApplyDacRes(w, 32));
}

TEST(ApplyDacRes, AllZeroWaveformStaysZero) {
    const ComplexRow zeros(5);
    EXPECT_EQ(ApplyDacRes(zeros, 14), zeros);
    EXPECT_THROW(ApplyDacRes(zeros, NAN), Error);
}

}  // namespace
}  // namespace bt
