// The generator's EDR packets through the receiver: every EDR type, both
// links, whitening on and off, read back with their checks valid, DEVM of
// the clean signal under 0.01 and the relative power as set.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "analysis/receiver.h"
#include "bluetooth/generate.h"
#include "support/settings_edits.h"

namespace bt::analysis {
namespace {

TEST(EdrGenerated, EveryTypeReadsBackCleanWithItsRelativePower) {
    struct Case {
        double link, code;
        const char* name;
        bool whitening;
        double relative;
        double oversampling = 10;
    };
    for (const Case c : {Case{2, 16, "2-DH1", false, 0}, Case{2, 18, "2-DH5", true, -3}, Case{2, 20, "3-DH3", true, 0.5},
                         Case{2, 21, "3-DH5", false, -1}, Case{3, 16, "2-EV3", true, 0}, Case{3, 19, "3-EV5", true, 0}, Case{2, 21, "3-DH5", false, -2},
                         // The body mostly one symbol repeated (216 bits of PN9, then a constant fill):
                         // long runs without phase changes, so without timing information.
                         Case{3, 19, "3-EV5", false, 0},
                         // Two samples a symbol: the GFSK clock's guess may be half a symbol off.
                         Case{2, 21, "3-DH5", true, 0, 2}, Case{2, 16, "2-DH1", false, 0, 2}}) {
        SCOPED_TRACE(c.name);
        GenerationSettings p;
        p.linkType = c.link;
        p.packetType = c.code;
        p.dataWhiteningActive = c.whitening ? 1 : 0;
        p.dataWhiteningInitValue = 45;
        p.edrRelativePower = c.relative;
        p.OverSampling = c.oversampling;
        const GeneratedSignal s = Calculate(p);
        const Reception r = receive(s.waveform.data(), s.waveform.size(), p.OverSampling * 1e6);
        ASSERT_EQ(r.packets.size(), 1u);
        const ReceivedPacket& q = r.packets[0];
        EXPECT_TRUE(q.decoded.ok()) << q.decoded.describe();
        EXPECT_EQ(packetTypeName(q.decoded.type, q.decoded.linkType, q.decoded.edrBitsPerSymbol), c.name);
        ASSERT_TRUE(q.measured.edr && !q.measured.edr->blockDevm.empty());
        const auto& b = q.measured.edr->blockDevm;
        EXPECT_LT(*std::max_element(b.begin(), b.end()), 0.01) << ::testing::PrintToString(b);
        ASSERT_TRUE(q.measured.edr->relativePowerDb);
        EXPECT_NEAR(*q.measured.edr->relativePowerDb, c.relative, 0.1);
    }
}

// Packets back to back without bursts: no power gap tells where one ends,
// the GFSK slicer runs on through every DPSK section, and the last two
// packets (shorter) end a few symbols before the recording does. Every
// packet is found where the layout puts it, with its payload, its checks
// valid and the DEVM of a clean signal.
TEST(EdrGenerated, BackToBackPacketsWithoutBurstsReadBackEveryOne) {
    struct Case {
        const char *link, *code, *name;
    };
    for (const double oversampling : {2.0, 4.0, 10.0}) {
        for (const Case c : {Case{"2", "16", "2-DH1"}, Case{"2", "17", "2-DH3"}, Case{"2", "18", "2-DH5"},
                             Case{"2", "19", "3-DH1"}, Case{"2", "20", "3-DH3"}, Case{"2", "21", "3-DH5"},
                             Case{"3", "16", "2-EV3"}}) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(int(oversampling)) + " samples per symbol");
            // As a user sets it: a multi-packet sequence of PN9 payloads, its
            // last packets shorter.
            const Parameters p = bttest::settingsWith({{"linkType", c.link},
                                                       {"packetType", c.code},
                                                       {"OverSampling", std::to_string(int(oversampling))},
                                                       {"multiPacket", "1"},
                                                       {"burstActive", "0"}});
            const GeneratedSignal s = Calculate(p);
            ASSERT_GE(s.packets.size(), 2u);
            const Reception r = receive(s.waveform.data(), s.waveform.size(), oversampling * 1e6);
            ASSERT_EQ(r.packets.size(), s.packets.size());
            for (std::size_t k = 0; k < s.packets.size(); ++k) {
                SCOPED_TRACE("packet " + std::to_string(k + 1) + " of " + std::to_string(s.packets.size()));
                const PacketOnAir& want = s.packets[k];
                const ReceivedPacket& q = r.packets[k];
                EXPECT_NEAR(double(q.startSample), double(want.sampleStart), oversampling / 4);
                ASSERT_TRUE(q.decoded.ok()) << q.decoded.describe();
                EXPECT_EQ(packetTypeName(q.decoded.type, q.decoded.linkType, q.decoded.edrBitsPerSymbol), c.name);
                Bits body;
                for (const std::uint8_t byte : want.payload)
                    for (unsigned b = 0; b < 8; ++b) body.push_back(static_cast<std::uint8_t>((byte >> b) & 1u));
                EXPECT_EQ(q.decoded.body, body);
                ASSERT_TRUE(q.measured.edr && !q.measured.edr->blockDevm.empty());
                const auto& devm = q.measured.edr->blockDevm;
                EXPECT_LT(*std::max_element(devm.begin(), devm.end()), 0.01) << ::testing::PrintToString(devm);
            }
        }
    }
}

}  // namespace
}  // namespace bt::analysis
