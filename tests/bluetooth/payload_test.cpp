#include "bluetooth/payload.h"

#include <gtest/gtest.h>

#include "bluetooth/packet.h"
#include "bluetooth/shift_registers.h"
#include "lib/errors.h"
#include "support/bit_text.h"

namespace bt {
namespace {

using test::bitsOf;

TEST(GenerateBitStream, PatternKinds) {
    EXPECT_EQ(GenerateBitStream(1, 4), bitsOf("0000"));
    EXPECT_EQ(GenerateBitStream(2, 3), bitsOf("111"));
    EXPECT_EQ(GenerateBitStream(3, 5), bitsOf("01010"));
    EXPECT_EQ(GenerateBitStream(4, 5), bitsOf("10101"));
    EXPECT_EQ(GenerateBitStream(5, 20), bitsOf("11111111100000111101"));
    EXPECT_EQ(GenerateBitStream(6, 20), bitsOf("00000000000000011111"));
    EXPECT_EQ(GenerateBitStream(7, 12, bitsOf("10101010")), bitsOf("101010101010"));
    EXPECT_EQ(GenerateBitStream(8, 7, bitsOf("110")), bitsOf("1101101"));
    EXPECT_TRUE(GenerateBitStream(9, 10).empty());
    EXPECT_TRUE(GenerateBitStream(0, 10).empty());
}

TEST(GenerateBitStream, LengthsAreWholeBitsWithinTheLimit) {
    EXPECT_EQ(GenerateBitStream(2, 7.9).size(), 7u);
    EXPECT_TRUE(GenerateBitStream(5, 0).empty());  // not the one bit PN of length 0 would give
    EXPECT_TRUE(GenerateBitStream(5, 0.5).empty());
    EXPECT_TRUE(GenerateBitStream(5, std::nan("")).empty());
    EXPECT_THROW(GenerateBitStream(5, 1e12), Error);
    EXPECT_THROW(GenerateBitStream(7, 8), Error);       // pattern missing
    EXPECT_THROW(GenerateBitStream(8, 8, {}), Error);   // empty pattern
}

GenerationSettings packetMode(double packetType, double payloadType, double patternLength) {
    GenerationSettings p;
    p.packetType = packetType;
    p.payloadType = payloadType;
    p.patternLength = patternLength;
    return p;
}

TEST(GeneratePayload, DefaultsAreTheFirst216BitsOfPn9) {
    const Bits data = Bt_GeneratePayload(GenerationSettings{});
    const Bits pn9 = PNgenerator(9, 511);
    EXPECT_EQ(data, Bits(pn9.begin(), pn9.begin() + 216));
}

TEST(GeneratePayload, PacketsWithoutPayloadGetNoData) {
    for (double type : {-1.0, 0.0, 1.0, 2.0})
        EXPECT_TRUE(Bt_GeneratePayload(packetMode(type, 2, 216)).empty()) << type;
    EXPECT_TRUE(Bt_GeneratePayload(packetMode(4, 2, 0.5)).empty());
}

TEST(GeneratePayload, BytePatternAndUserBits) {
    GenerationSettings p = packetMode(4, 7, 12);
    p.bitPattern = 0x55;
    EXPECT_EQ(Bt_GeneratePayload(p), bitsOf("101010101010"));
    p = packetMode(4, 8, 7);
    p.dataSourceBitstream = bitsOf("110");
    EXPECT_EQ(Bt_GeneratePayload(p), bitsOf("1101101"));
}

TEST(GeneratePayload, StreamModeIgnoresThePacketType) {
    GenerationSettings p = packetMode(0, 5, 4088);
    p.generationMode = 2;
    const Bits data = Bt_GeneratePayload(p);
    ASSERT_EQ(data.size(), 4088u);
    const Bits period = PNgenerator(9, 511);
    for (std::size_t k = 0; k < 8; ++k) EXPECT_TRUE(std::equal(period.begin(), period.end(), data.begin() + 511 * k));
    p.patternLength = 1e12;
    EXPECT_THROW(Bt_GeneratePayload(p), Error);
}

// A single packet takes at most its largest payload, so an enormous pattern
// length must neither allocate it nor change the packet.
TEST(GeneratePayload, SinglePacketGeneratesOnlyWhatThePacketCanCarry) {
    for (double type : {4.0, 15.0}) {
        GenerationSettings huge = packetMode(type, 5, 1e12);
        const Bits data = Bt_GeneratePayload(huge);
        const double largest = type == 4 ? 216 : 2712;
        EXPECT_EQ(data.size(), largest);
        const PacketInputs in = bt_SinglePacketInputs(2, type, 8, 1, 0, 0, 0, 1);
        // The packet built from the pattern generated in full.
        const Bits full = GenerateBitStream(5, 5000);
        EXPECT_EQ(Bt_Packet(data, in).bitstream, Bt_Packet(full, in).bitstream);
    }
    GenerationSettings multi = packetMode(4, 5, 1e12);
    multi.multiPacket = 1;
    EXPECT_THROW(Bt_GeneratePayload(multi), Error);
}

TEST(GeneratePayload, FractionalPatternLengthGivesWholeBits) {
    EXPECT_EQ(Bt_GeneratePayload(packetMode(4, 2, 100.7)).size(), 100u);
    EXPECT_EQ(Bt_GeneratePayload(packetMode(4, 2, 1.5)).size(), 1u);
}

}  // namespace
}  // namespace bt
