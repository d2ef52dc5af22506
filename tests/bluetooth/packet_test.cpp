#include "bluetooth/packet.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "bluetooth/access_code.h"
#include "bluetooth/packet_types.h"
#include "bluetooth/size_est.h"
#include "lib/errors.h"
#include "support/bit_text.h"
#include "support/bt_decoder.h"

namespace bt {
namespace {

using test::bitsOf;
using test::bitsOfValue;
using test::decodePacket;
using test::keyFor;

constexpr std::uint64_t kAddr = 0x0123A5C0FFEEull;  // UAP A5, LAP C0FFEE (top bit set)

PacketInputs inputs(double linkType, double type) {
    return bt_SinglePacketInputs(linkType, type, static_cast<double>(kAddr), 5, 1, 0, 0, 0);
}

std::size_t ones(const Bits& b) { return static_cast<std::size_t>(std::count(b.begin(), b.end(), 1)); }

// Marker: headerPad zeros, then the ones, then endOffset zeros.
void expectMarker(const PacketBits& p, std::size_t ones, std::size_t endOffset) {
    ASSERT_EQ(p.payloadMarker.size(), p.bitstream.size());
    const std::size_t n = p.bitstream.size();
    EXPECT_EQ(p.marker, (MarkerExtent{n - ones - endOffset, ones, endOffset}));
    Bits expected(n, 0);
    std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(n - ones - endOffset), ones, std::uint8_t{1});
    EXPECT_EQ(p.payloadMarker, expected);
}

TEST(Packet, Dh1WithHundredBitsIsPaddedToThirteenBytes) {
    std::mt19937_64 rng(1);
    const Bits data = test::randomBits(rng, 100);
    const PacketBits p = Bt_Packet(data, inputs(2, 4));
    ASSERT_EQ(p.bitstream.size(), 126u + 8 + 104 + 16);
    const auto d = decodePacket(p.bitstream, keyFor(kAddr));
    ASSERT_TRUE(d.ok()) << d.describe();
    EXPECT_EQ(d.payloadLength, 13);
    Bits padded = data;
    padded.resize(104, 0);
    EXPECT_EQ(d.body, padded);
    expectMarker(p, 104, 16);
}

TEST(Packet, DataIsCutToThePayloadSize) {
    const Bits data(3000, 1);
    const auto dm1 = decodePacket(Bt_Packet(data, inputs(2, 3)).bitstream, keyFor(kAddr));
    EXPECT_EQ(dm1.payloadLength, 17);
    EXPECT_EQ(dm1.body, Bits(136, 1));
    const PacketBits dh5 = Bt_Packet(data, inputs(2, 15));
    const auto d = decodePacket(dh5.bitstream, keyFor(kAddr));
    ASSERT_TRUE(d.ok()) << d.describe();
    EXPECT_EQ(d.payloadLength, 339);  // the four bits after LENGTH are checked zero by the decoder
    // Payload header on air: L_CH 0 1, FLOW 1, LENGTH 339 in 9 bits, 4 zeros.
    Bits header = bitsOf("011");
    const Bits length = bitsOfValue(339, 9);
    header.insert(header.end(), length.begin(), length.end());
    header.resize(16, 0);
    EXPECT_EQ(Bits(dh5.bitstream.begin() + 126, dh5.bitstream.begin() + 142), header);
}

TEST(Packet, Hv1IsPaddedAndMarksItsLastEightyBits) {
    const Bits data(40, 1);
    const PacketBits p = Bt_Packet(data, inputs(1, 5));
    ASSERT_EQ(p.bitstream.size(), 126u + 240);
    Bits padded = data;
    padded.resize(80, 0);
    EXPECT_EQ(decodePacket(p.bitstream, keyFor(kAddr, 0, 1)).body, padded);
    expectMarker(p, 80, 0);
}

TEST(Packet, PacketsWithoutPayload) {
    const PacketBits id = Bt_Packet(Bits(50, 1), inputs(2, -1));
    EXPECT_EQ(id.bitstream, Bt_AccessCode(bitsOfValue(kAddr & 0xFFFFFF, 24), false));
    expectMarker(id, 0, 0);
    for (double type : {0.0, 1.0}) {
        const PacketBits p = Bt_Packet(Bits(50, 1), inputs(1, type));
        ASSERT_EQ(p.bitstream.size(), 126u);
        EXPECT_EQ(Bits(p.bitstream.begin(), p.bitstream.begin() + 72),
                  Bt_AccessCode(bitsOfValue(kAddr & 0xFFFFFF, 24), true));
        expectMarker(p, 0, 0);
        const auto d = decodePacket(p.bitstream, keyFor(kAddr, 0, 1));
        EXPECT_TRUE(d.ok()) << d.describe();
        EXPECT_EQ(d.type, static_cast<int>(type));
    }
}

TEST(Packet, TypesNotBuiltOnTheLinkGiveEmptyRows) {
    const std::pair<double, double> cases[] = {{1, 4},  {1, 9},  {1, 12}, {1, 15}, {2, 5},  {2, 8},  {2, 12},
                                               {2, 13}, {2, -2}, {2, 22}, {1, 16}, {3, 20}, {2, 3.5}, {3, 4}, {3, 5}, {3, 6},
                                               {3, 8},  {3, 11}, {3, 15}};
    for (auto [link, type] : cases) {
        PacketInputs in = inputs(link, 0);
        in.PacketType = type;
        const PacketBits none = Bt_Packet(Bits(8, 1), in);
        EXPECT_TRUE(none.bitstream.empty() && none.payloadMarker.empty()) << link << " " << type;
    }
}

TEST(Packet, WhiteningKeepsLengthAndAccessCode) {
    PacketInputs in = inputs(2, 15);
    const Bits data(2712, 0);
    const PacketBits plain = Bt_Packet(data, in);
    in.scramblerActive = 1;
    in.scramblerInit = 1;
    const PacketBits white = Bt_Packet(data, in);
    ASSERT_EQ(white.bitstream.size(), plain.bitstream.size());
    EXPECT_TRUE(std::equal(plain.bitstream.begin(), plain.bitstream.begin() + 72, white.bitstream.begin()));
    EXPECT_NE(white.bitstream, plain.bitstream);
    // Start value 0 leaves the register empty.
    in.scramblerInit = 0;
    EXPECT_EQ(Bt_Packet(data, in).bitstream, plain.bitstream);
}

// AUX1 has no CRC: its marker covers exactly its data bits, the last ones of
// the packet, not 8 header bits and all but the last 16 data bits.
TEST(Packet, Aux1MarkerCoversItsDataBits) {
    const PacketBits p = Bt_Packet(Bits(232, 1), inputs(2, 9));
    ASSERT_EQ(p.bitstream.size(), 126u + 8 + 232);
    expectMarker(p, 232, 0);
}

TEST(Packet, DmMarkerCoversTheCodedDataAndStopsSixteenBitsBeforeTheEnd) {
    const PacketBits p = Bt_Packet(Bits(136, 1), inputs(2, 3));
    ASSERT_EQ(p.bitstream.size(), 126u + 240);
    expectMarker(p, 204, 16);
}

TEST(Packet, RejectsImpossibleInputs) {
    PacketInputs in = inputs(2, 4);
    in.AMaddr = {1, 0};
    EXPECT_THROW(Bt_Packet({}, in), Error);
    in = inputs(2, 4);
    in.CheckSumInitialState.pop_back();
    EXPECT_THROW(Bt_Packet({}, in), Error);
    in = inputs(2, 4);
    in.scramblerActive = 1;
    for (double v : {128.0, -1.0, 2.5}) {
        in.scramblerInit = v;
        EXPECT_THROW(Bt_Packet({}, in), Error) << v;
    }
    in.scramblerActive = 0;  // unused start values do not matter
    EXPECT_NO_THROW(Bt_Packet({}, in));
    EXPECT_THROW(bt_PacketAddressing(281474976710656.0, 1), Error);
    EXPECT_THROW(bt_PacketAddressing(1, 8), Error);
}

TEST(Packet, AppendingJoinsPacketsAndReusesTheRows) {
    const PacketInputs in = inputs(2, 4);
    Bits bits, marker;
    const Bits data(216, 1);
    bt_AppendPacket(data, in, bits, marker);
    const std::size_t one = bits.size();
    const MarkerExtent second = bt_AppendPacket(data, in, bits, marker);
    EXPECT_EQ(bits.size(), 2 * one);
    EXPECT_EQ(Bits(bits.begin() + static_cast<std::ptrdiff_t>(one), bits.end()), Bt_Packet(data, in).bitstream);
    EXPECT_EQ(second, Bt_Packet(data, in).marker);
    EXPECT_EQ(ones(marker), 2 * 216u);
    Bits shortMarker;
    EXPECT_THROW(bt_AppendPacket(data, in, bits, shortMarker), Error);
}

// ------------------------------------------------------------ round trips
// Every packet type on its link, decoded by the independent receiver with
// whitening off and on, many addresses and payload lengths from empty to
// past the packet's size.

struct LinkType {
    double link;
    double type;
};

std::string typeName(const testing::TestParamInfo<LinkType>& info) {
    const PacketTypeInfo* t = bt_PacketTypeInfo(info.param.link, info.param.type);
    return std::string(linkTypeName(info.param.link)) + "_" + std::string(t->name);
}

std::vector<LinkType> allBuiltTypes() {
    std::vector<LinkType> out;
    for (double link : {kLinkSco, kLinkAcl, kLinkEsco})
        for (double type = -1; type <= 15; ++type)
            if (bt_PacketTypeInfo(link, type)) out.push_back({link, type});
    return out;
}

class PacketRoundTrip : public testing::TestWithParam<LinkType> {
protected:
    double link() const { return GetParam().link; }
    double type() const { return GetParam().type; }
    const PacketTypeInfo& info() const { return *bt_PacketTypeInfo(link(), type()); }

    // The user bits a receiver must find for `data` (FHS: its fields, sent
    // by the device `in` addresses; `air` gives its sync word).
    Bits expectedBody(const Bits& data, const PacketInputs& in, const Bits& air) const {
        if (info().kind == PayloadKind::Fhs) return fhsFields(in, air);
        const auto largest = static_cast<std::size_t>(Bt_UserPayloadMaxSize(link(), type()));
        const bool fixed = info().kind == PayloadKind::Voice || info().kind == PayloadKind::Sync;
        std::size_t size = fixed ? largest : std::min((data.size() + 7) / 8 * 8, largest);
        if (info().kind == PayloadKind::DataVoice) size = std::max<std::size_t>(size, 80);  // the whole voice field
        Bits body(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(std::min(size, data.size())));
        body.resize(size, 0);
        return body;
    }

    // Parity bits of the sync word, LAP, EIR 0, undefined 0, SR R1,
    // reserved 10, UAP, NAP, class of device 0, LT_ADDR, clock 0, page scan
    // mode 0: 144 bits.
    static Bits fhsFields(const PacketInputs& in, const Bits& air) {
        Bits f(air.begin() + 4, air.begin() + 4 + 34);
        f.insert(f.end(), in.BDaddr.begin(), in.BDaddr.begin() + 24);
        for (std::uint8_t b : {0, 0, 1, 0, 0, 1}) f.push_back(b);
        f.insert(f.end(), in.BDaddr.begin() + 24, in.BDaddr.end());
        f.resize(f.size() + 24, 0);
        f.insert(f.end(), in.AMaddr.begin(), in.AMaddr.end());
        f.resize(f.size() + 29, 0);
        return f;
    }

    MarkerExtent expectedMarker(std::size_t length, std::size_t body) const {
        std::size_t ones = body, end = 0;
        if (info().kind == PayloadKind::Data && info().crc) end = 16;
        if (info().kind == PayloadKind::Data && info().fec == FecRate::TwoThirds) ones = body * 3 / 2;
        switch (info().kind) {
            case PayloadKind::Fhs: return {length - 232, 216, 16};   // the coded fields, as for DM
            case PayloadKind::DataVoice: return {126, length - 142, 16};  // voice and data, not the CRC
            case PayloadKind::Sync:  // the coded body; the coded CRC after it
                end = info().fec == FecRate::TwoThirds ? 30 : 16;
                ones = length - 126 - end;
                break;
            default: break;
        }
        return {length - ones - end, ones, end};
    }
};

TEST_P(PacketRoundTrip, DecodesToWhatWasSent) {
    std::mt19937_64 rng(static_cast<std::uint64_t>(100 * link() + type() + 1));
    const auto largest = static_cast<std::size_t>(Bt_UserPayloadMaxSize(link(), type()));
    const std::size_t lengths[] = {0, 1, 7, 8, 9, largest / 2, largest > 0 ? largest - 1 : 3, largest, largest + 1,
                                   largest + 37};
    for (int round = 0; round < 12; ++round) {
        // LAPs with the top bit set and clear, any UAP, any whitening start.
        std::uint64_t addr = rng() & 0xFFFFFFFFFFFFull;
        addr = round % 2 ? addr | 0x800000 : addr & ~0x800000ull;
        const unsigned whiten = round < 2 ? 0 : round == 2 ? 127 : round == 3 ? 1 : 64 + rng() % 64;
        PacketInputs in = bt_PacketAddressing(static_cast<double>(addr), static_cast<double>(rng() % 8));
        in.linkType = link();
        in.PacketType = type();
        in.trailerActive = type() == -1 ? 0 : 1;
        in.FlowBit = rng() & 1;
        in.ArqNum = rng() & 1;
        in.SeqNum = rng() & 1;
        in.playloadLChFlags = test::randomBits(rng, 2);
        in.playloadFlowFlag = rng() & 1;
        in.scramblerActive = whiten != 0 || round == 1;  // round 1: on, start value 0
        in.scramblerInit = whiten;
        for (std::size_t len : lengths) {
            const Bits data = test::randomBits(rng, len);
            const PacketBits p = Bt_Packet(data, in);
            SCOPED_TRACE("address " + std::to_string(addr) + ", whitening " + std::to_string(whiten) +
                         ", data " + std::to_string(len));
            const auto d = decodePacket(p.bitstream, keyFor(addr, whiten, link()));
            ASSERT_TRUE(d.ok()) << d.describe();
            EXPECT_EQ(d.length, p.bitstream.size());
            EXPECT_EQ(test::decodeAll(p.bitstream, keyFor(addr, whiten, link())).size(), 1u);
            if (type() == -1) {
                EXPECT_TRUE(d.isId);
                EXPECT_EQ(p.marker, (MarkerExtent{68, 0, 0}));
                continue;
            }
            EXPECT_EQ(d.type, type());
            EXPECT_EQ(d.AMaddr, static_cast<int>(packBits8(in.AMaddr)));
            EXPECT_EQ(d.FLOW, in.FlowBit);
            EXPECT_EQ(d.ARQN, in.ArqNum);
            EXPECT_EQ(d.SEQN, in.SeqNum);
            const Bits body = info().kind == PayloadKind::None ? Bits{} : expectedBody(data, in, p.bitstream);
            EXPECT_EQ(d.body, body);
            EXPECT_EQ(d.crcPresent, info().crc);
            if (info().kind == PayloadKind::Data || info().kind == PayloadKind::DataVoice) {
                EXPECT_EQ(d.LLID, in.playloadLChFlags[0] + 2 * in.playloadLChFlags[1]);
                EXPECT_EQ(d.payloadFlow, in.playloadFlowFlag);
                EXPECT_EQ(d.payloadLength, static_cast<int>(body.size() / 8) - (type() == 8 ? 10 : 0));
            }
            // The size projection and the marker agree with what was built.
            EXPECT_EQ(p.bitstream.size(), bt_SinglePacketLength(static_cast<double>(body.size()), link(), type()));
            EXPECT_EQ(p.marker, expectedMarker(p.bitstream.size(), body.size()));
            Bits row(p.bitstream.size(), 0);
            std::fill_n(row.begin() + static_cast<std::ptrdiff_t>(p.marker.headerPad), p.marker.userPayloadLength,
                        std::uint8_t{1});
            EXPECT_EQ(p.payloadMarker, row);
        }
    }
}

// Single flipped bits: the access code stops matching; a header bit is
// outvoted by its two copies, while a whole flipped triple fails the HEC;
// payload bits are corrected by the FEC or caught by the CRC. HV3 and AUX1
// payloads, and the DV voice field, carry neither: there the error reaches
// the receiver's data.
TEST_P(PacketRoundTrip, SingleBitErrorsAreCaught) {
    const auto largest = static_cast<std::size_t>(Bt_UserPayloadMaxSize(link(), type()));
    const bool protectedPayload = info().fec != FecRate::None || info().crc;
    std::mt19937_64 rng(42);
    PacketInputs in = inputs(link(), type());
    in.scramblerActive = 1;
    in.scramblerInit = 99;
    const auto key = keyFor(kAddr, 99, link());
    const Bits sent = Bt_Packet(test::randomBits(rng, largest), in).bitstream;
    const auto original = decodePacket(sent, key);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (i >= 68 && i < 72) continue;  // a broken trailer reads as an ID packet
        Bits air = sent;
        air[i] ^= 1;
        const auto d = decodePacket(air, key);
        const bool voiceField = info().kind == PayloadKind::DataVoice && i >= 126 && i < 126 + 80;
        if (i < 68) EXPECT_FALSE(d.accessCodeOk) << i;
        else if (i < 126) EXPECT_TRUE(d.ok() && d.headerTriplesCorrected == 1) << i << ": " << d.describe();
        else if (voiceField) EXPECT_TRUE(d.ok() && d.body != original.body) << i << ": " << d.describe();
        else if (info().fec != FecRate::None) EXPECT_TRUE(d.ok() && d.fecCorrected == 1) << i << ": " << d.describe();
        else if (protectedPayload) EXPECT_FALSE(d.ok()) << i << ": " << d.describe();
        else
            EXPECT_TRUE(!d.ok() || d.body != original.body || d.LLID != original.LLID ||
                        d.payloadFlow != original.payloadFlow)
                << i << ": " << d.describe();
    }
    if (type() == -1) return;
    for (std::size_t t = 0; t < 18; ++t) {
        Bits air = sent;
        for (std::size_t k = 0; k < 3; ++k) air[72 + 3 * t + k] ^= 1;
        EXPECT_FALSE(decodePacket(air, key).hecOk) << t;
    }
}

INSTANTIATE_TEST_SUITE_P(AllTypes, PacketRoundTrip, testing::ValuesIn(allBuiltTypes()), typeName);

}  // namespace
}  // namespace bt
