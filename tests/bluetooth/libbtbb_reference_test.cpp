// Packets read back by a third-party baseband decoder (libbtbb), which
// shares nothing with the builders or with the product's receiver: its own
// sync-word search, header FEC and HEC, whitening table, FEC 2/3 and CRC.
// It tells its whitening start by the six clock bits a sniffer tries, so
// only start values with the top bit set (64..127) are whitening it knows.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "bluetooth/packet.h"
#include "bluetooth/packet_types.h"
#include "bluetooth/size_est.h"
#include "support/bit_text.h"

#ifdef BTGEN_HAVE_LIBBTBB
#include <btbb.h>
#endif

namespace bt {
namespace {

#ifdef BTGEN_HAVE_LIBBTBB

std::uint32_t fieldOf(const char* bits, std::size_t from, unsigned width) {
    std::uint32_t v = 0;
    for (unsigned k = 0; k < width; ++k) v |= std::uint32_t(bits[from + k] & 1) << k;
    return v;
}

// The payload CRC from its definition: a 16-bit register started from the
// UAP in its low half, each bit entering at the top, taps for D^12 and D^5;
// the check bits go out lowest register bit first.
Bits crcBits(const char* bits, std::size_t n, std::uint8_t uap) {
    unsigned reg = 0;
    for (unsigned k = 0; k < 8; ++k) reg |= ((uap >> k) & 1u) << (15 - k);  // UAP bit k in register bit 15 - k
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned in = (reg ^ static_cast<unsigned>(bits[i])) & 1u;
        reg = (reg >> 1) | (in << 15);
        if (in) reg ^= (1u << 10) | (1u << 3);
    }
    Bits out(16);
    for (unsigned k = 0; k < 16; ++k) out[k] = (reg >> k) & 1u;
    return out;
}

struct Read {
    bool header = false;
    int type = -1, ltAddr = -1, rv = 0, length = 0;
    std::vector<char> payload;  // dewhitened payload bits as libbtbb returns them
};

Read readWithLibbtbb(const Bits& air, std::uint32_t lap, std::uint8_t uap, unsigned whitening) {
    static const int init = btbb_init(0);
    (void)init;
    // libbtbb's rows start at the sync word; room after the packet lets its
    // length searches run to their end.
    std::vector<char> symbols(air.begin() + 4, air.end());
    symbols.resize(symbols.size() + 2000, 0);
    btbb_packet* pkt = nullptr;
    Read r;
    if (btbb_find_ac(symbols.data(), 1, lap, 0, &pkt) != 0 || !pkt) return r;
    // CLK1-6 start the whitening with a seventh bit of one.
    const std::uint32_t clkn = whitening >= 64 ? 2 * (whitening - 64) : 0;
    btbb_packet_set_data(pkt, symbols.data(), static_cast<int>(symbols.size()), 0, clkn);
    btbb_packet_set_uap(pkt, uap);
    btbb_packet_set_flag(pkt, BTBB_WHITENED, whitening != 0);
    btbb_packet_set_flag(pkt, BTBB_CLK6_VALID, 1);
    r.header = btbb_decode_header(pkt) != 0;
    if (r.header) {
        r.type = btbb_packet_get_type(pkt);
        r.ltAddr = btbb_packet_get_lt_addr(pkt);
        r.rv = btbb_decode_payload(pkt);
        r.length = btbb_packet_get_payload_length(pkt);
        const char* p = btbb_get_payload(pkt);
        r.payload.assign(p, p + 8 * r.length);
    }
    btbb_packet_unref(pkt);
    return r;
}

struct Case {
    double link;
    double type;
};

std::string caseName(const testing::TestParamInfo<Case>& info) {
    return std::string(linkTypeName(info.param.link)) + "_" +
           std::string(bt_PacketTypeInfo(info.param.link, info.param.type)->name);
}

class Libbtbb : public testing::TestWithParam<Case> {};

TEST_P(Libbtbb, ReadsWhatWasBuilt) {
    const Case c = GetParam();
    const PacketTypeInfo& info = *bt_PacketTypeInfo(c.link, c.type);
    // Fixed data: the EV4 reader stops at the first length whose CRC
    // happens to check, which random data would meet about once in a
    // hundred runs.
    std::mt19937_64 rng(static_cast<std::uint64_t>(100 * c.link + c.type));
    for (int round = 0; round < 6; ++round) {
        std::uint64_t addr = rng() & 0xFFFFFFFFFFFFull;
        addr = round % 2 ? addr | 0x800000 : addr & ~0x800000ull;
        const auto lap = static_cast<std::uint32_t>(addr & 0xFFFFFF);
        const auto uap = static_cast<std::uint8_t>(addr >> 24);
        // libbtbb whitens the DV data field as if the voice field were not
        // there; it is read back unwhitened only.
        const unsigned whitening = round < 2 || info.kind == PayloadKind::DataVoice ? 0 : 64 + rng() % 64;
        PacketInputs in = bt_SinglePacketInputs(c.link, c.type, static_cast<double>(addr),
                                                static_cast<double>(rng() % 8), 1, 0, whitening != 0, whitening);
        const auto largest = static_cast<std::size_t>(Bt_UserPayloadMaxSize(c.link, c.type));
        const Bits data = test::randomBits(rng, largest);
        const Bits air = Bt_Packet(data, in).bitstream;
        SCOPED_TRACE("address " + std::to_string(addr) + " whitening " + std::to_string(whitening));

        const Read r = readWithLibbtbb(air, lap, uap, whitening);
        ASSERT_TRUE(r.header);
        EXPECT_EQ(r.type, static_cast<int>(c.type));
        EXPECT_EQ(r.ltAddr, static_cast<int>(packBits8(in.AMaddr)));
        const char* p = r.payload.data();
        switch (info.kind) {
            case PayloadKind::Fhs:
                EXPECT_EQ(r.rv, 1000);  // its CRC checks
                ASSERT_EQ(r.length, 20);
                EXPECT_EQ(fieldOf(p, 34, 24), lap);
                EXPECT_EQ(fieldOf(p, 64, 8), uap);
                EXPECT_EQ(fieldOf(p, 72, 16), addr >> 32);
                EXPECT_EQ(fieldOf(p, 112, 3), packBits8(in.AMaddr));
                break;
            case PayloadKind::Data:
            case PayloadKind::DataVoice: {
                EXPECT_EQ(r.rv, 10);  // its CRC checks
                const std::size_t header = info.payloadHeaderBits;
                const std::size_t bodyBits = info.kind == PayloadKind::DataVoice ? largest - 80 : largest;
                ASSERT_EQ(static_cast<std::size_t>(r.length), (header + bodyBits + 16) / 8);
                EXPECT_EQ(fieldOf(p, 3, header == 8 ? 5 : 9), bodyBits / 8);
                const auto from = static_cast<std::ptrdiff_t>(largest - bodyBits);
                EXPECT_EQ(Bits(p + header, p + header + bodyBits), Bits(data.begin() + from, data.end()));
                break;
            }
            case PayloadKind::Sync: {
                // Its EV4 reader searches the length by the CRC and may stop
                // late; the body and the check bits are compared.
                ASSERT_GE(r.payload.size(), largest + 16);
                EXPECT_EQ(Bits(p, p + largest), data);
                EXPECT_EQ(Bits(p + largest, p + largest + 16), crcBits(p, largest, uap));
                break;
            }
            default: FAIL() << "no reading for this kind";
        }
    }
}

// The CRC written above agrees with libbtbb's own check on DH5.
TEST(LibbtbbCrc, AgreesWithTheLibrarysCheck) {
    std::mt19937_64 rng(7);
    const PacketInputs in = bt_SinglePacketInputs(2, 15, 0x0123A5C0FFEE, 3, 1, 0, 0, 0);
    const Bits air = Bt_Packet(test::randomBits(rng, 2712), in).bitstream;
    const Read r = readWithLibbtbb(air, 0xC0FFEE, 0xA5, 0);
    ASSERT_EQ(r.rv, 10);
    const std::size_t n = r.payload.size() - 16;
    EXPECT_EQ(crcBits(r.payload.data(), n, 0xA5), Bits(r.payload.begin() + static_cast<std::ptrdiff_t>(n), r.payload.end()));
}

// EV3 and EV5 are left out: the library's readers of those two read the
// first payload byte again and again instead of stepping through the body.
INSTANTIATE_TEST_SUITE_P(NewTypes, Libbtbb,
                         testing::Values(Case{2, 2}, Case{1, 2}, Case{3, 2}, Case{1, 8}, Case{3, 12}, Case{3, 3},
                                         Case{2, 15}),
                         caseName);

#else

TEST(Libbtbb, ReadsWhatWasBuilt) { GTEST_SKIP() << "libbtbb is not installed (scripts/install-deps.sh)"; }

#endif

}  // namespace
}  // namespace bt
