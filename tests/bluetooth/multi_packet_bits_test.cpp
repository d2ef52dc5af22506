#include "bluetooth/multi_packet_bits.h"

#include <gtest/gtest.h>

#include "bluetooth/payload.h"
#include "bluetooth/size_est.h"
#include "lib/errors.h"
#include "support/bit_text.h"
#include "support/bt_decoder.h"

namespace bt {
namespace {

constexpr std::uint64_t kAddr = 0xBEEF47654321ull;

TEST(MultiPacketSegments, CutsDataAndCompletesOddCounts) {
    const auto s = bt_MultiPacketSegments(4088, 216, 1);
    ASSERT_EQ(s.size(), 20u);
    for (std::size_t k = 0; k < 18; ++k) EXPECT_EQ(s[k], (PacketSegment{216 * k, 216, static_cast<std::uint8_t>((k + 1) % 2)}));
    EXPECT_EQ(s[18], (PacketSegment{3888, 200, 1}));
    EXPECT_EQ(s[19], (PacketSegment{4088, 0, 1}));
    EXPECT_EQ(bt_MultiPacketSegments(4088, 216, 0)[19].SEQN, 0);
    EXPECT_EQ(bt_MultiPacketSegments(432, 216, 1).size(), 2u);  // exactly two packets: none added
    EXPECT_TRUE(bt_MultiPacketSegments(0, 216, 1).empty());
    EXPECT_THROW(bt_MultiPacketSegments(10, 0, 1), Error);
}

struct Case {
    double link, type, whitening, dataBits;
};

class MultiPacketBitsTest : public testing::TestWithParam<Case> {};

// The receiver finds every packet in the joined row and the payloads add up
// to the data; the size projection predicts the row's length.
TEST_P(MultiPacketBitsTest, ReceiverRecoversTheWholePattern) {
    const Case c = GetParam();
    const Bits data = GenerateBitStream(5, c.dataBits);
    const MultiPacketBits m =
        bt_MultiPacketGenerateBits(data, c.link, c.type, static_cast<double>(kAddr), 3, 1, c.whitening != 0, c.whitening);
    ASSERT_EQ(m.payloadMarker.size(), m.bits.size());
    const auto packets = test::decodeAll(m.bits, test::keyFor(kAddr, static_cast<unsigned>(c.whitening), c.link));
    const auto segments = bt_MultiPacketSegments(data.size(), static_cast<std::size_t>(Bt_UserPayloadMaxSize(c.link, c.type)), 1);
    ASSERT_EQ(packets.size(), segments.size());
    ASSERT_EQ(m.packetStarts.size(), segments.size());
    Bits received;
    for (std::size_t k = 0; k < packets.size(); ++k) {
        const auto& d = packets[k];
        ASSERT_TRUE(d.ok()) << d.describe();
        EXPECT_EQ(d.start, m.packetStarts[k]);
        EXPECT_EQ(d.SEQN, segments[k].SEQN) << k;
        EXPECT_EQ(d.FLOW, 0);
        EXPECT_EQ(d.ARQN, 0);
        EXPECT_EQ(d.AMaddr, 3);
        if (d.hasPayloadHeader) {
            EXPECT_EQ(d.LLID, 0);
            EXPECT_EQ(d.payloadFlow, 0);
        }
        received.insert(received.end(), d.body.begin(), d.body.end());
    }
    received.resize(data.size());  // the last packet's byte or voice padding
    EXPECT_EQ(received, data);

    GenerationSettings p;
    p.linkType = c.link;
    p.packetType = c.type;
    p.multiPacket = 1;
    p.burstActive = 0;
    p.OverSampling = 1;
    p.patternLength = c.dataBits;
    EXPECT_EQ(static_cast<double>(m.bits.size()), Bt_SizeEst(p));
}

INSTANTIATE_TEST_SUITE_P(Sequences, MultiPacketBitsTest,
                         testing::Values(Case{2, 4, 0, 4088}, Case{2, 4, 85, 432}, Case{2, 15, 127, 3 * 2712},
                                         Case{2, 14, 1, 5000}, Case{2, 9, 0, 1000}, Case{1, 3, 64, 700},
                                         Case{1, 5, 0, 170}, Case{1, 6, 77, 1000}, Case{1, 7, 0, 240}));

TEST(MultiPacketBits, EmptyDataGivesNoPackets) {
    const MultiPacketBits m = bt_MultiPacketGenerateBits({}, 2, 4, 8, 1, 0, 0, 0);
    EXPECT_TRUE(m.bits.empty() && m.payloadMarker.empty() && m.packetStarts.empty());
}

}  // namespace
}  // namespace bt
