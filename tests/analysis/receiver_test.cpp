// Generated waveforms received back: every packet type on every link is
// found and decodes with its checks valid, whitening on and off, with the
// address parts and whitening given or found.
#include "analysis/receiver.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "bluetooth/generate.h"
#include "bluetooth/packet_types.h"
#include "bluetooth/settings_editor.h"
#include "support/settings_edits.h"

namespace bt::analysis {
namespace {

using bttest::Edits;
using bttest::settingsWith;

constexpr std::uint32_t kLap = 0xC0FFEE;  // top bit set: the other Barker bits
constexpr std::uint8_t kUap = 0xA5;

struct TypeCase {
    double link;
    double type;
    bool whitening;
};

std::string caseName(const ::testing::TestParamInfo<TypeCase>& info) {
    return std::string(linkTypeName(info.param.link)) + "_type" +
           (info.param.type < 0 ? std::string("ID") : std::to_string(int(info.param.type))) +
           (info.param.whitening ? "_whitened" : "");
}

class EveryType : public ::testing::TestWithParam<TypeCase> {};

TEST_P(EveryType, DecodesWithChecksValidKeyGivenOrFound) {
    const TypeCase c = GetParam();
    const Parameters p = settingsWith({{"linkType", std::to_string(int(c.link))},
                                       {"packetType", std::to_string(int(c.type))},
                                       {"BDaddr", "0123A5C0FFEE"},
                                       {"AMaddr", "5"},
                                       {"SEQN", "1"},
                                       {"dataWhiteningActive", c.whitening ? "1" : "0"},
                                       {"dataWhiteningInitValue", "83"}});
    const GeneratedSignal s = Calculate(p);
    const double rate = p.OverSampling * 1e6;

    ReceiverOptions known;
    known.lap = kLap;
    known.uap = kUap;
    known.whitening = c.whitening ? 83u : 0u;
    known.linkType = c.link;
    for (const ReceiverOptions& o : {known, ReceiverOptions{}}) {
        SCOPED_TRACE(o.lap ? "key given" : "key found");
        const Reception r = receive(s.waveform.data(), s.waveform.size(), rate, o);
        ASSERT_EQ(r.packets.size(), 1u);
        const DecodedPacket& d = r.packets[0].decoded;
        EXPECT_EQ(d.lap, kLap);
        EXPECT_EQ(d.syncErrors, 0);
        EXPECT_TRUE(d.accessCodeOk);
        if (c.type < 0) {
            EXPECT_TRUE(d.isId);
            continue;
        }
        // Whitened without a CRC, a header reads as valid under several
        // start values and UAPs: nothing tells the sender's apart.
        const bool crc = bt_PacketTypeInfo(c.link, c.type)->crc;
        if (!o.lap && c.whitening && !crc) {
            // And so it is not called ok.
            EXPECT_FALSE(d.ok()) << d.describe();
            continue;
        }
        // A found key stands only when a CRC confirms it.
        EXPECT_EQ(d.ok(), crc || o.lap.has_value()) << d.describe();
        EXPECT_EQ(d.status(), crc || o.lap ? "ok" : "unconfirmed");
        EXPECT_EQ(d.type, int(c.type));
        EXPECT_EQ(packetTypeName(d.type, d.linkType), bt_PacketTypeInfo(c.link, c.type)->name);
        EXPECT_EQ(d.AMaddr, 5);
        EXPECT_EQ(d.SEQN, 1);
        EXPECT_TRUE(d.hecOk);
        // Without a CRC a found key cannot be confirmed; with one it must be
        // the sender's.
        if (crc || o.lap) {
            EXPECT_EQ(d.uap, kUap);
            EXPECT_EQ(d.whitening, c.whitening ? 83u : 0u);
        }
        EXPECT_EQ(d.fecCorrected, 0);
        EXPECT_LT(r.packets[0].startSample, s.waveform.size());
    }
}

std::vector<TypeCase> allTypes() {
    std::vector<TypeCase> cases;
    for (const bool w : {false, true}) {
        for (const double t : {-1.0, 0.0, 1.0, 2.0, 3.0, 4.0, 9.0, 10.0, 11.0, 14.0, 15.0}) cases.push_back({2, t, w});
        for (const double t : {2.0, 3.0, 5.0, 6.0, 7.0, 8.0}) cases.push_back({1, t, w});
        for (const double t : {0.0, 2.0, 3.0, 7.0, 12.0, 13.0}) cases.push_back({3, t, w});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Receiver, EveryType, ::testing::ValuesIn(allTypes()), caseName);

// The receiver dates a packet where the generator's layout (the source of
// the SigMF annotations) starts its access code, to a fraction of a symbol,
// at any oversampling and for short and long packets alike; in a
// multi-packet waveform every packet is dated.
TEST(StartSample, MatchesTheLayoutAnnotationOfEveryPacket) {
    struct Case {
        const char* link;
        const char* type;
        bool multi;
    };
    for (const char* oversampling : {"2", "4", "10", "20"}) {
        for (const Case c : {Case{"2", "4", false}, Case{"2", "15", false}, Case{"2", "-1", false},
                             Case{"1", "7", false}, Case{"2", "4", true}}) {
            SCOPED_TRACE(std::string("oversampling ") + oversampling + " link " + c.link + " type " + c.type +
                         (c.multi ? " multi-packet" : ""));
            Edits edits = {{"OverSampling", oversampling}, {"linkType", c.link}, {"packetType", c.type}};
            if (c.multi) edits.emplace_back("multiPacket", "1");
            const Parameters p = settingsWith(edits);
            const GeneratedSignal s = Calculate(p);
            ReceiverOptions o;
            o.lap = static_cast<std::uint32_t>(std::uint64_t(p.BDaddr) & 0xFFFFFF);
            const Reception r = receive(s.waveform.data(), s.waveform.size(), p.OverSampling * 1e6, o);
            ASSERT_EQ(r.packets.size(), s.packets.size());
            ASSERT_FALSE(r.packets.empty());
            for (std::size_t k = 0; k < r.packets.size(); ++k) {
                const double found = double(r.packets[k].startSample);
                EXPECT_NEAR(found, double(s.packets[k].sampleStart), p.OverSampling / 4) << "packet " << k;
                EXPECT_NEAR(r.packets[k].startTime * p.OverSampling * 1e6, found, 0.5);
            }
        }
    }
}

}  // namespace
}  // namespace bt::analysis
