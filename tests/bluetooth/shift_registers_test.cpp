#include <gtest/gtest.h>

#include <numeric>

#include "bluetooth/bit_utils.h"
#include "bluetooth/shift_registers.h"

using namespace bt;

namespace {

Bits pn(std::vector<Value> a) { return PNgenerator(std::span<const Value>(a)); }

std::size_t ones(const Bits& b) { return static_cast<std::size_t>(std::count(b.begin(), b.end(), 1)); }

// Smallest p > 0 with b[i] == b[i + p] over the whole row.
std::size_t period(const Bits& b) {
    for (std::size_t p = 1; p < b.size(); ++p) {
        bool same = true;
        for (std::size_t i = 0; i + p < b.size() && same; ++i) same = b[i] == b[i + p];
        if (same) return p;
    }
    return b.size();
}

}  // namespace

TEST(PNgenerator, PublishedPrefixes) {
    EXPECT_EQ(PNgenerator(9, 20), (Bits{1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 1}));
    Bits pn15(15, 0);
    pn15.insert(pn15.end(), {1, 1, 1, 1, 1});
    EXPECT_EQ(PNgenerator(15, 20), pn15);  // inverted
}

TEST(PNgenerator, ArgumentDefaultsAndClamps) {
    EXPECT_EQ(pn({}).size(), 511u);
    EXPECT_EQ(pn({}), PNgenerator(9, 511));
    EXPECT_EQ(pn({Value::scalar(2)}), pn({Value::scalar(3)}));
    EXPECT_EQ(pn({Value::scalar(2)}).size(), 7u);
    EXPECT_EQ(pn({Value::scalar(40), Value::scalar(100)}), pn({Value::scalar(31), Value::scalar(100)}));
    EXPECT_EQ(PNgenerator(9, 0), Bits{1});
    EXPECT_EQ(pn({Value::row({9, 9}), Value::scalar(20)}), PNgenerator(9, 20));  // non-scalar order is 9
    EXPECT_EQ(pn({Value::scalar(9.5), Value::scalar(20)}), PNgenerator(9, 20));  // not in the table
    EXPECT_EQ(pn({Value::scalar(5), Value::row({1, 2})}).size(), 31u);       // non-scalar length: one period
    // Inversion: a user request flips PN9, and un-flips PN15.
    Bits inv9 = PNgenerator(9, 30);
    for (auto& b : inv9) b ^= 1;
    EXPECT_EQ(pn({Value::scalar(9), Value::scalar(30), Value::scalar(1)}), inv9);
    EXPECT_EQ(pn({Value::scalar(15), Value::scalar(15), Value::scalar(1)}), Bits(15, 1));
    EXPECT_EQ(pn({Value::scalar(9), Value::scalar(30), Value::scalar(2)}), PNgenerator(9, 30));  // only 1 inverts
}

TEST(PNgenerator, Seeds) {
    const auto seeded = [](Value seed) { return pn({Value::scalar(9), Value::scalar(20), Value::scalar(0), seed}); };
    const auto head = [](const Bits& b) { return Bits(b.begin(), b.begin() + 9); };
    Bits lowOne(9, 0);
    lowOne[8] = 1;
    EXPECT_EQ(head(seeded(Value::row(std::vector<double>(9, 0)))), lowOne);  // all zero: last cell set
    EXPECT_EQ(head(seeded(Value::scalar(7))), lowOne);                       // non-zero scalar
    EXPECT_EQ(seeded(Value::scalar(0)), PNgenerator(9, 20));                 // zero scalar: all ones
    EXPECT_EQ(seeded(Value::row({1, 0, 1})), PNgenerator(9, 20));            // too short: all ones
    const Bits s = seeded(Value::row({1, 0, 1, 0, 1, 0, 1, 0, 1, 1, 1}));    // cut to nine
    EXPECT_EQ(head(s), (Bits{1, 0, 1, 0, 1, 0, 1, 0, 1}));
    for (std::size_t i = 9; i < s.size(); ++i) EXPECT_EQ(s[i], s[i - 9] ^ s[i - 5]);
}

// Every order of the tap table gives a maximal-length sequence: period
// 2^n - 1 and 2^(n-1) ones per period (before any inversion).
class PnOrders : public ::testing::TestWithParam<int> {};

TEST_P(PnOrders, MaximalLength) {
    const int n = GetParam();
    const std::size_t len = (std::size_t{1} << n) - 1;
    const bool inverted = n == 15 || n == 23 || n == 29 || n == 31;
    Bits seq = PNgenerator(n, static_cast<double>(2 * len));
    if (inverted)
        for (auto& b : seq) b ^= 1;
    EXPECT_EQ(period(seq), len);
    EXPECT_EQ(ones(Bits(seq.begin(), seq.begin() + static_cast<std::ptrdiff_t>(len))), len / 2 + 1);
}

INSTANTIATE_TEST_SUITE_P(Orders3To16, PnOrders, ::testing::Range(3, 17));

TEST(PNgenerator, ZeroSuppressedPn20) {
    const Bits z = pn({Value::scalar(20), Value::scalar((1 << 20) - 1), Value::scalar(0), Value::scalar(1), Value::scalar(1)});
    std::size_t run = 0, longest = 0;
    for (auto b : z) {
        run = b ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    EXPECT_EQ(longest, 14u);
    // Without suppression order 20 uses the other taps, which do run to 19 zeros.
    const Bits plain = pn({Value::scalar(20), Value::scalar((1 << 20) - 1)});
    EXPECT_NE(plain, z);
}

TEST(Lfsr, AccessCodeSequenceIsMaximalLength) {
    const Bits p = Lfsr(6, {1, 0, 1, 1, 0, 1, 1}, 63, {1, 0, 0, 0, 0, 0});
    ASSERT_EQ(p.size(), 63u);
    EXPECT_EQ(ones(p), 32u);
    Bits twice = p;
    twice.insert(twice.end(), p.begin(), p.end());
    // The recurrence continued over two periods reproduces the first.
    const Bits longer = Lfsr(6, {1, 0, 1, 1, 0, 1, 1}, 126, {1, 0, 0, 0, 0, 0});
    EXPECT_EQ(longer, twice);
    EXPECT_EQ(Lfsr(6, {1, 0, 1, 1, 0, 1}, 3, {1, 0, 0, 1, 0, 0}), (Bits{1, 0, 0, 1, 0, 0}));  // seed alone
    EXPECT_THROW(Lfsr(6, {1, 0, 1}, 10, {1, 0, 0, 0, 0, 0}), Error);
}

// The checksum equals the remainder of D^m d(D) modulo g(D), computed here
// independently by polynomial division (the first data bit is the highest
// power of d).
TEST(LfsrChecksum, EqualsPolynomialRemainder) {
    const Bits g = {1, 0, 1, 0, 0, 1, 1, 1, 1};  // HEC generator D^8+D^7+D^5+D^2+D+1 in ascending powers
    std::vector<Bits> data = {{}, {1}, {1, 0, 1, 1, 0, 0, 1, 0, 1, 1}, PNgenerator(9, 100)};
    for (const Bits& d : data) {
        const Bits zero(8, 0);
        const Bits c = LfsrChecksum(g, zero, d);
        Bits shifted(8 + d.size(), 0);  // ascending powers of D^8 d(D)
        for (std::size_t i = 0; i < d.size(); ++i) shifted[8 + d.size() - 1 - i] = d[i];
        Bits r = gfdeconv(shifted, g).second;
        r.resize(8, 0);
        const Bits expected(r.rbegin(), r.rend());  // highest power first on air
        EXPECT_EQ(c, expected) << d.size() << " data bits";
    }
    const Bits init = {1, 1, 1, 0, 0, 0, 1, 0};
    EXPECT_EQ(LfsrChecksum(g, init, {}), Bits(init.rbegin(), init.rend()));
    EXPECT_THROW(LfsrChecksum(g, Bits(7, 0), {1}), Error);
}

TEST(GaloisField2, AddAndDivide) {
    EXPECT_EQ(gfadd({1, 1, 0, 1}, {1, 0, 1}), (Bits{0, 1, 1, 1}));
    EXPECT_EQ(gfadd({1}, {}), (Bits{1}));
    // (1 + D + D^3)(1 + D) = 1 + D^2 + D^3 + D^4, remainder 0.
    auto [q, r] = gfdeconv({1, 0, 1, 1, 1}, {1, 1, 0, 1});
    EXPECT_EQ(q, (Bits{1, 1}));
    EXPECT_EQ(r, Bits{0});
    // Lower degree than the divisor: quotient 0, remainder the dividend.
    auto [q2, r2] = gfdeconv({1, 1}, {1, 1, 0, 1});
    EXPECT_EQ(q2, Bits{0});
    EXPECT_EQ(r2, (Bits{1, 1}));
    // b = q a + r holds for arbitrary operands.
    const auto trim = [](Bits p) {
        while (p.size() > 1 && p.back() == 0) p.pop_back();
        return p;
    };
    const Bits a = {1, 0, 0, 1, 1};
    const Bits b = PNgenerator(9, 40);
    auto [q3, r3] = gfdeconv(b, a);
    EXPECT_LT(r3.size(), a.size());
    Bits prod(q3.size() + a.size() - 1, 0);
    for (std::size_t i = 0; i < q3.size(); ++i)
        for (std::size_t j = 0; j < a.size(); ++j) prod[i + j] ^= q3[i] & a[j];
    EXPECT_EQ(trim(gfadd(prod, r3)), trim(b));
    EXPECT_THROW(gfdeconv({1, 1}, {0, 0}), Error);
}
