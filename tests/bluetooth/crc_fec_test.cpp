#include "bluetooth/crc_fec.h"

#include <gtest/gtest.h>

#include "bluetooth/shift_registers.h"
#include "lib/errors.h"
#include "support/bit_text.h"

namespace bt {
namespace {

using test::bitsOf;
using test::bitsOfValue;

const Bits kCrcTaps = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1};
const Bits kUap47 = bitsOfValue(0x47, 8);

Bits bytesToBits(std::initializer_list<std::uint8_t> bytes) {
    Bits out;
    for (auto b : bytes) {
        const Bits bits = bitsOfValue(b, 8);
        out.insert(out.end(), bits.begin(), bits.end());
    }
    return out;
}

TEST(Crc, PublishedSamples) {
    EXPECT_EQ(Bt_CRCencoder(bytesToBits({0xA5}), kUap47), bitsOf("1010001001001111"));
    // Ten payload bytes 4E 01 .. 09 with UAP 47 give the CRC bytes 6D D2.
    EXPECT_EQ(Bt_CRCencoder(bytesToBits({0x4E, 1, 2, 3, 4, 5, 6, 7, 8, 9}), kUap47), bytesToBits({0x6D, 0xD2}));
}

TEST(Crc, EmptyPayloadGivesStartValueReadBackwards) {
    Bits expected(8, 0);
    expected.insert(expected.end(), kUap47.rbegin(), kUap47.rend());
    EXPECT_EQ(Bt_CRCencoder({}, kUap47), expected);
}

TEST(Crc, AgreesWithGenericDivisionRegister) {
    std::mt19937_64 rng(5);
    for (std::size_t n : {1u, 7u, 16u, 100u, 2728u}) {
        const Bits data = test::randomBits(rng, n);
        const Bits uap = test::randomBits(rng, 8);
        Bits start = uap;
        start.resize(16, 0);
        EXPECT_EQ(Bt_CRCencoder(data, uap), LfsrChecksum(kCrcTaps, start, data)) << n;
    }
    EXPECT_THROW(Bt_CRCencoder(bitsOf("1"), Bits(7, 0)), Error);
}

TEST(Fec, TwoThirdsBlocks) {
    const Bits ten = bitsOf("1011001110");
    const Bits coded = Bt_FECencoder(ten, 2.0 / 3.0);
    ASSERT_EQ(coded.size(), 15u);
    EXPECT_EQ(Bits(coded.begin(), coded.begin() + 10), ten);
    EXPECT_EQ(Bt_FECencoder(Bits(10, 0), 2.0 / 3.0), Bits(15, 0));
    EXPECT_EQ(Bt_FECencoder(bitsOf("0000000001"), 2.0 / 3.0), bitsOf("0000000001 10101"));
    // 11 bits: 9 zero pad bits, two blocks.
    Bits eleven = ten;
    eleven.push_back(1);
    const Bits padded = Bt_FECencoder(eleven, 2.0 / 3.0);
    ASSERT_EQ(padded.size(), 30u);
    EXPECT_EQ(Bits(padded.begin() + 15, padded.end()), Bt_FECencoder(bitsOf("1000000000"), 2.0 / 3.0));
    EXPECT_EQ(Bt_FECencoder(Bits(20, 1), 2.0 / 3.0).size(), 30u);
    EXPECT_TRUE(Bt_FECencoder({}, 2.0 / 3.0).empty());
}

TEST(Fec, TwoThirdsParityIsTheBlockRemainder) {
    std::mt19937_64 rng(9);
    const Bits taps = {1, 0, 1, 0, 1, 1};
    const Bits data = test::randomBits(rng, 200);
    const Bits coded = Bt_FECencoder(data, 2.0 / 3.0);
    for (std::size_t b = 0; b < 20; ++b) {
        const Bits block(data.begin() + 10 * b, data.begin() + 10 * b + 10);
        EXPECT_EQ(Bits(coded.begin() + 15 * b + 10, coded.begin() + 15 * b + 15), LfsrChecksum(taps, Bits(5, 0), block));
    }
}

TEST(Fec, OneThirdRepeatsAndOtherRatesPassThrough) {
    EXPECT_EQ(Bt_FECencoder(bitsOf("10"), 1.0 / 3.0), bitsOf("111000"));
    const Bits x = bitsOf("1101");
    EXPECT_EQ(Bt_FECencoder(x, 1), x);
    EXPECT_EQ(Bt_FECencoder(x, 0.33), x);  // only the exact third codes
    EXPECT_TRUE(Bt_FECencoder({}, 1.0 / 3.0).empty());
}

}  // namespace
}  // namespace bt
