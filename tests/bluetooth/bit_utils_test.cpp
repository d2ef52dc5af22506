#include <gtest/gtest.h>

#include "bluetooth/bit_utils.h"

using namespace bt;

namespace {
std::vector<double> row(const Matrix<double>& m, std::size_t r = 0) { return m.row(r); }
}  // namespace

TEST(BitVector, WidthAndOrientation) {
    EXPECT_EQ(BitVector(0), Bits{});
    EXPECT_EQ(BitVector(0, 3), (Bits{0, 0, 0}));
    EXPECT_EQ(BitVector(1), Bits{1});
    EXPECT_EQ(BitVector(3), (Bits{1, 1}));
    EXPECT_EQ(BitVector(4), (Bits{0, 0, 1}));
    EXPECT_EQ(BitVector(5, 8), (Bits{1, 0, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(BitVector(5, 8, "left-msb"), (Bits{0, 0, 0, 0, 0, 1, 0, 1}));
    EXPECT_EQ(BitVector(5, 8, "anything"), BitVector(5, 8));
    EXPECT_EQ(BitVector(300, 8).size(), 9u);  // never truncated
    EXPECT_EQ(BitVector(5, 8.9).size(), 8u);  // minSize rounds toward zero
}

TEST(BitVector, FortyEightBitAddressesAreExact) {
    // The largest device address: every one of 48 bits set, nothing lost to rounding.
    const Bits b = BitVector(281474976710655.0, 48);
    ASSERT_EQ(b.size(), 48u);
    for (auto v : b) EXPECT_EQ(v, 1);
    const Bits c = BitVector(0x9E8B33, 24);  // LAP, least significant bit first
    double back = 0;
    for (std::size_t i = 0; i < c.size(); ++i) back += c[i] * std::ldexp(1.0, static_cast<int>(i));
    EXPECT_EQ(back, 0x9E8B33);
}

TEST(BitVector, Errors) {
    EXPECT_THROW(
        {
            try {
                BitVector(2.5);
            } catch (const Error& e) {
                EXPECT_STREQ(e.what(), "Integer required");
                throw;
            }
        },
        Error);
    const std::vector<Value> none;
    EXPECT_THROW(BitVector(std::span<const Value>(none)), Error);
    const auto four = std::vector<Value>{Value::scalar(1), Value::scalar(2), Value::str("right-msb"), Value::scalar(4)};
    try {
        BitVector(std::span<const Value>(four));
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Incorrect number of parameters.");
    }
    EXPECT_THROW(BitVector(-1), Error);
    EXPECT_THROW(BitVector(std::numeric_limits<double>::infinity()), Error);
    const auto one = std::vector<Value>{Value::scalar(6)};
    EXPECT_EQ(BitVector(std::span<const Value>(one)), (Bits{0, 1, 1}));
}

TEST(Oct2bin, GeneratorPolynomials) {
    EXPECT_EQ(Oct2bin("13", "left-msb"), (Bits{1, 1, 0, 1}));  // 1 + D + D^3
    EXPECT_EQ(Oct2bin("1"), Bits{1});
    // The access-code generator: 35 coefficients, degree 34.
    const Bits g = Oct2bin("260534236651", "left-msb");
    EXPECT_EQ(g.size(), 35u);
    EXPECT_EQ(g.back(), 1);
    EXPECT_EQ(g.front(), 1);
    // Reading the digits the other way reverses the digit order, not the bits.
    EXPECT_EQ(Oct2bin("31"), (Bits{1, 1, 0, 1}));
    EXPECT_EQ(Oct2bin("2", "right-msb", "left"), (Bits{0, 1}));
    EXPECT_THROW(Oct2bin("18"), Error);  // 8 needs four bits
    const std::vector<Value> none;
    try {
        Oct2bin(std::span<const Value>(none));
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Need at least one input parameter");
    }
}

TEST(De2bi, Digits) {
    EXPECT_EQ(row(De2bi({0}, 3.0)), (std::vector<double>{0, 0, 0}));
    EXPECT_EQ(row(De2bi({6}, 3.0)), (std::vector<double>{0, 1, 1}));
    EXPECT_EQ(row(De2bi({6}, 3.0, std::nullopt, "left-msb")), (std::vector<double>{1, 1, 0}));
    EXPECT_EQ(row(De2bi({0})), (std::vector<double>{0}));
    // Base 10 and the logarithm shortfall at exact powers.
    EXPECT_EQ(row(De2bi({1000}, std::nullopt, 10.0)), (std::vector<double>{0, 0, 0, 1}));
    EXPECT_EQ(row(De2bi({243}, std::nullopt, 3.0)), (std::vector<double>{0, 0, 0, 0, 0, 1}));
    const auto m = De2bi({1, 2, 7});
    EXPECT_EQ(m.cols, 3u);
    EXPECT_EQ(m.row(1), (std::vector<double>{0, 1, 0}));
}

TEST(De2bi, ArgumentPatterns) {
    using V = std::vector<double>;
    const auto d = Value::scalar(6);
    const auto n = Value::scalar(5);
    const auto p = Value::scalar(3);
    const auto f = Value::str("left-msb");
    const auto call = [](std::vector<Value> a) { return De2bi(std::span<const Value>(a)).row(0); };
    // The first number after d is the column count, the second the base;
    // the flag may stand anywhere after d.
    EXPECT_EQ(call({d}), (V{0, 1, 1}));
    EXPECT_EQ(call({d, n}), (V{0, 1, 1, 0, 0}));
    EXPECT_EQ(call({d, f}), (V{1, 1, 0}));
    EXPECT_EQ(call({d, n, p}), (V{0, 2, 0, 0, 0}));
    EXPECT_EQ(call({d, n, f}), (V{0, 0, 1, 1, 0}));
    EXPECT_EQ(call({d, f, n}), (V{0, 0, 1, 1, 0}));
    EXPECT_EQ(call({d, n, p, f}), (V{0, 0, 0, 2, 0}));
    EXPECT_EQ(call({d, n, f, p}), (V{0, 0, 0, 2, 0}));
    EXPECT_EQ(call({d, f, n, p}), (V{0, 0, 0, 2, 0}));
    EXPECT_EQ(call({d, Value::empty(), p}), (V{0, 2}));  // an empty count takes the default
}

TEST(De2bi, Messages) {
    const auto expectMessage = [](std::vector<Value> a, const char* message) {
        try {
            De2bi(std::span<const Value>(a));
            ADD_FAILURE() << "no error for " << message;
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), message);
        }
    };
    const auto d = Value::scalar(6);
    expectMessage({d, Value::other()}, "Only string and numeric arguments are accepted.");
    expectMessage({Value::str("6")}, "Syntax error.");
    expectMessage({d, Value::str("a"), Value::str("b")}, "Syntax error.");
    expectMessage({d, Value::scalar(3), Value::scalar(2), Value::scalar(1)}, "Syntax error.");
    expectMessage({Value::empty()}, "Required parameter empty.");
    expectMessage({Value::row({1, -1})}, "Input must contain only finite real positive integers.");
    expectMessage({Value::row({1.5})}, "Input must contain only finite real positive integers.");
    expectMessage({Value::row({std::nan("")})}, "Input must contain only finite real positive integers.");
    expectMessage({d, Value::scalar(3), Value::row({2, 3})}, "Destination base must be scalar.");
    expectMessage({d, Value::scalar(3), Value::scalar(2.5)}, "Destination base must be a finite real integer.");
    expectMessage({d, Value::scalar(3), Value::scalar(1)}, "Cannot convert to a base of less than two.");
    expectMessage({d, Value::row({3, 4})}, "Specified number of columns must be scalar.");
    expectMessage({d, Value::scalar(3.5)}, "Specified number of columns must be a finite real integer.");
    expectMessage({d, Value::scalar(2)}, "Specified number of columns in output matrix is too small.");
    expectMessage({d, Value::str("middle-msb")}, "Invalid string flag.");
    // The base is checked before the columns.
    expectMessage({d, Value::row({3, 4}), Value::scalar(0)}, "Cannot convert to a base of less than two.");
    expectMessage({}, "Not enough input arguments.");
}

TEST(CircularShift, RotatesByRoundedCount) {
    const std::vector<int> v = {1, 2, 3, 4, 5};
    EXPECT_EQ(CircularShiftLeft(v, 0), v);
    EXPECT_EQ(CircularShiftRight(v, -2), v);
    EXPECT_EQ(CircularShiftRight(v, 2), (std::vector<int>{4, 5, 1, 2, 3}));
    EXPECT_EQ(CircularShiftLeft(v, 2), (std::vector<int>{3, 4, 5, 1, 2}));
    EXPECT_EQ(CircularShiftLeft(v, 1.5), CircularShiftLeft(v, 2));
    EXPECT_EQ(CircularShiftRight(v, 5), v);
    EXPECT_EQ(CircularShiftLeft(CircularShiftRight(v, 3), 3), v);
    EXPECT_THROW(CircularShiftRight(v, 6), Error);
    EXPECT_THROW(CircularShiftLeft(std::vector<int>{}, 1), Error);
}

TEST(ExtendVector, CyclicExtensionAndTruncation) {
    const std::vector<int> v = {1, 2, 3};
    EXPECT_EQ(ExtendVector(v, 7), (std::vector<int>{1, 2, 3, 1, 2, 3, 1}));
    EXPECT_EQ(ExtendVector(v, 2), (std::vector<int>{1, 2}));
    EXPECT_EQ(ExtendVector(v, 3), v);
    EXPECT_EQ(ExtendVector(v, 0), std::vector<int>{});
    const std::vector<Complex> z = {{1, 2}, {3, -4}};
    EXPECT_EQ(ExtendVector(z, 3), (std::vector<Complex>{{1, 2}, {3, -4}, {1, 2}}));  // no conjugation
    EXPECT_THROW(ExtendVector(std::vector<int>{}, 3), Error);
    EXPECT_THROW(ExtendVector(v, -1), Error);
}
