#include "bluetooth/header.h"

#include <gtest/gtest.h>

#include "bluetooth/crc_fec.h"
#include "bluetooth/shift_registers.h"
#include "bluetooth/whitening.h"
#include "lib/errors.h"
#include "support/bit_text.h"

namespace bt {
namespace {

using test::bitsOf;
using test::bitsOfValue;

const Bits kHecTaps = {1, 1, 1, 0, 0, 1, 0, 1, 1};

struct HecSample {
    std::uint8_t uap;
    const char* hec;
};

class HecSampleTest : public testing::TestWithParam<HecSample> {};

// AM address 1, DH1, FLOW 1, ARQN 0, SEQN 0.
TEST_P(HecSampleTest, MatchesPublishedHec) {
    const Bits fields = bitsOf("100 0010 1 0 0");
    EXPECT_EQ(Bt_HECencoder(fields, bitsOfValue(GetParam().uap, 8)), bitsOf(GetParam().hec));
}

INSTANTIATE_TEST_SUITE_P(Samples, HecSampleTest,
                         testing::Values(HecSample{0x47, "11110111"}, HecSample{0x00, "00010000"}));

TEST(Hec, AllZeroHeaderWithZeroUapIsZero) {
    EXPECT_EQ(Bt_HECencoder(Bits(10, 0), Bits(8, 0)), Bits(8, 0));
}

TEST(Hec, AgreesWithGenericDivisionRegister) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 200; ++i) {
        const Bits data = test::randomBits(rng, 10);
        const Bits uap = test::randomBits(rng, 8);
        EXPECT_EQ(Bt_HECencoder(data, uap), LfsrChecksum(kHecTaps, uap, data));
    }
}

// The packet round trips decode whole headers; here only the layout.
TEST(Header, IsEighteenTriplesEndingInTheHec) {
    const Bits uap = bitsOfValue(0x47, 8);
    const Bits h = Bt_Header(bitsOf("100"), bitsOf("0010"), {1}, {0}, {0}, uap);
    Bits raw = bitsOf("100 0010 1 0 0");
    const Bits hec = Bt_HECencoder(raw, uap);
    raw.insert(raw.end(), hec.begin(), hec.end());
    EXPECT_EQ(h, Bt_FECencoder(raw, 1.0 / 3.0));
}

TEST(Header, RejectsFieldsOfWrongWidth) {
    EXPECT_THROW(Bt_Header(Bits(2, 0), Bits(4, 0), {0}, {0}, {0}, Bits(8, 0)), Error);
    EXPECT_THROW(Bt_Header(Bits(3, 0), Bits(4, 0), {0}, {0}, {0}, Bits(7, 0)), Error);
}

// The whitening sequence of the register started at all ones (CLK6..1 all
// ones), as the baseband's sample data list it.
constexpr const char* kPublishedWhitening =
    "1110001110110001010010111110101010000101101111001110010101100110"
    "000011011010111010001100100010000001001001101001111011100001111";

TEST(Whitening, MatchesPublishedSequenceAndRepeatsEvery127Bits) {
    Whitener w(127);
    Bits seq(254, 0);
    w.apply(seq.data(), seq.size());
    const Bits published = bitsOf(kPublishedWhitening);
    ASSERT_EQ(published.size(), 127u);
    EXPECT_EQ(Bits(seq.begin(), seq.begin() + 127), published);
    EXPECT_EQ(Bits(seq.begin() + 127, seq.end()), published);
}

TEST(Whitening, ClockStartValuesAreShiftsOfOneSequenceAndZeroWhitensNothing) {
    const Bits published = bitsOf(kPublishedWhitening);
    Bits twice = published;
    twice.insert(twice.end(), published.begin(), published.end());
    for (unsigned clk = 0; clk < 64; ++clk) {
        Bits seq(127, 0);
        Whitener(64 + clk).apply(seq.data(), seq.size());
        EXPECT_NE(std::search(twice.begin(), twice.end(), seq.begin(), seq.end()), twice.end()) << clk;
    }
    Bits data = bitsOf("1011001110");
    const Bits before = data;
    Whitener(0).apply(data.data(), data.size());
    EXPECT_EQ(data, before);
}

// Whitening the header and then the payload in separate calls must run the
// register on exactly as one long call does, whatever the lengths.
TEST(Whitening, PiecesContinueTheSequence) {
    std::mt19937_64 rng(13);
    const Bits data = test::randomBits(rng, 1000);
    for (unsigned init : {1u, 64u, 100u, 127u}) {
        Bits serial = data;
        Whitener one(init);
        for (auto& b : serial) b ^= one.next();
        Bits pieces = data;
        Whitener w(init);
        std::size_t at = 0;
        for (std::size_t n : {18u, 300u, 5u, 127u, 254u, 296u}) {
            w.apply(pieces.data() + at, n);
            at += n;
        }
        EXPECT_EQ(pieces, serial) << init;
    }
}

TEST(Scrambler741, EdgeCases) {
    const Bits zeros(300, 0);
    const Bits out = Scrambler_7bit_741(zeros, Bits(7, 1));
    EXPECT_EQ(Bits(out.begin(), out.begin() + 20), bitsOf("0000 1110 1111 0010 1100"));
    EXPECT_EQ(Bits(out.begin(), out.begin() + 127), Bits(out.begin() + 127, out.begin() + 254));
    EXPECT_TRUE(Scrambler_7bit_741({}, Bits(7, 1)).empty());
    EXPECT_EQ(Scrambler_7bit_741(zeros, Bits(7, 0)), zeros);
    EXPECT_THROW(Scrambler_7bit_741(zeros, Bits(6, 1)), Error);
}

TEST(Scrambler741, SelfSynchronisingDescramblerRecoversData) {
    std::mt19937_64 rng(3);
    const Bits data = test::randomBits(rng, 500);
    const Bits init = test::randomBits(rng, 7);
    const Bits s = Scrambler_7bit_741(data, init);
    // The receiver sees only the scrambled bits: out(n) XOR s(n-4) XOR s(n-7).
    Bits history = init;  // s1 first
    for (std::size_t n = 0; n < s.size(); ++n) {
        EXPECT_EQ(s[n] ^ history[3] ^ history[6], data[n]) << n;
        history.insert(history.begin(), s[n]);
        history.pop_back();
    }
}

}  // namespace
}  // namespace bt
