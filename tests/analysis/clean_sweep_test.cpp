// Clean generated packets measured back across the settings an engineer
// meets: every packet type, oversampling 2 to 20, burst ramps on and off,
// payloads 11110000, 10101010 and PN9. A perfect signal passes every test,
// shows no drift, and its lowest delta f2max agrees with a direct reading
// of the waveform (the test's own channel filter and discriminator, at the
// symbol centres of its eye).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/receiver.h"
#include "bluetooth/generate.h"
#include "support/channel_reference.h"
#include "support/demod.h"
#include "support/settings_edits.h"

namespace bt::analysis {
namespace {

using bttest::Edits;
using bttest::settingsWith;

struct Ramp {
    const char* name;
    Edits edits;
};

const std::vector<Ramp>& ramps() {
    static const std::vector<Ramp> r = {
        {"ramp6", {}},
        {"ramp1", {{"burstLength", "1"}, {"burstSettle", "2"}}},
        {"noramp", {{"burstActive", "0"}}},
    };
    return r;
}

struct Payload {
    const char* name;
    Edits edits;
};

const std::vector<Payload>& payloads() {
    static const std::vector<Payload> p = {
        {"11110000", {{"payloadType", "7"}, {"bitPattern", "0F"}}},
        {"10101010", {{"payloadType", "7"}, {"bitPattern", "55"}}},
        {"PN9", {{"payloadType", "5"}}},
    };
    return p;
}

struct TypeOf {
    double link, type;
};
constexpr TypeOf kTypes[] = {{2, -1}, {2, 0}, {2, 1}, {2, 3}, {2, 4}, {2, 9}, {2, 10},
                             {2, 11}, {2, 14}, {2, 15}, {1, 5}, {1, 6}, {1, 7}};
constexpr int kOversampling[] = {2, 3, 4, 5, 8, 10, 16, 20};

// Payload header bits ahead of the body of the types without FEC that
// carry a test pattern.
std::size_t payloadHeaderBits(double link, double type) {
    if (link == 1) return 0;
    return type == 4 || type == 9 ? 8 : 16;
}

// The lowest delta f2max of the body, read directly: the waveform through
// the test's own channel filter at 40 samples a symbol or more, its
// frequency at the centres of the eye found over the packet, each 8-symbol
// group against its mean.
double directF2Lowest(const GeneratedSignal& g, int n, double link, double type) {
    const testing::ChannelReference r = testing::channelReference(g.waveform, n);
    const RealRow& f = r.freq;
    const auto N = static_cast<std::size_t>(r.period);
    const std::size_t factor = N / std::size_t(n);
    const PacketOnAir& p = g.packets.at(0);
    const std::size_t symbols = p.sampleCount / std::size_t(n);
    // The eye from half a symbol after the first centre (a packet may
    // start on the first sample), then back one symbol.
    const std::size_t from = p.sampleStart * factor + N / 2;
    testing::SymbolClock clock = testing::findSymbolClock(f, N, from, symbols - 1);
    clock.first -= double(N);
    const std::size_t body = 72 + 54 + payloadHeaderBits(link, type);
    const auto at = [&](double t) {
        const auto i = static_cast<std::size_t>(t);
        return f[i] + (t - double(i)) * (f[i + 1] - f[i]);
    };
    double lowest = 1e9;
    for (std::size_t gr = 0; gr + 8 <= p.payloadBytes * 8; gr += 8) {
        const double c0 = clock.first + double(body + gr) * double(N);
        double mean = 0;
        const auto a = static_cast<std::size_t>(c0 - double(N) / 2 + 0.5);
        for (std::size_t e = a; e < a + 8 * N; ++e) mean += f[e];
        mean /= double(8 * N);
        for (std::size_t k = 0; k < 8; ++k) lowest = std::min(lowest, std::fabs(at(c0 + double(k * N)) - mean));
    }
    return lowest;
}

TEST(CleanSweep, EveryTypeOversamplingRampAndPayloadPasses) {
    std::size_t cases = 0;
    for (std::size_t oi = 0; oi < std::size(kOversampling); ++oi) {
        for (std::size_t ti = 0; ti < std::size(kTypes); ++ti) {
            const int n = kOversampling[oi];
            const TypeOf t = kTypes[ti];
            // Every pairing of type and oversampling, the payloads and ramps
            // taken in turn so that each meets every type and rate.
            const Payload& pay = payloads()[(oi + ti) % payloads().size()];
            const Ramp& ramp = ramps()[(oi + 2 * ti) % ramps().size()];
            Edits e = {{"linkType", std::to_string(int(t.link))},
                       {"packetType", std::to_string(int(t.type))},
                       {"OverSampling", std::to_string(n)}};
            const bool payload = t.type > 1;
            if (payload) e.insert(e.end(), pay.edits.begin(), pay.edits.end());
            e.insert(e.end(), ramp.edits.begin(), ramp.edits.end());
            const Parameters p = settingsWith(e);
            SCOPED_TRACE("OverSampling " + std::to_string(n) + " link " + std::to_string(int(t.link)) + " type " +
                         std::to_string(int(t.type)) + " " + pay.name + " " + ramp.name);
            const GeneratedSignal g = Calculate(p);
            ReceiverOptions o;
            o.lap = static_cast<std::uint32_t>(std::uint64_t(p.BDaddr) & 0xFFFFFF);
            o.uap = static_cast<std::uint8_t>((std::uint64_t(p.BDaddr) >> 24) & 0xFF);
            o.whitening = 0;
            o.linkType = t.link;
            o.cyclic = true;
            const Reception r = receive(g.waveform.data(), g.waveform.size(), n * 1e6, o);
            ++cases;
            // An ID packet alone, without ramps, is the whole recording:
            // its first and last symbols are cut by its ends.
            if (t.type == -1 && std::string(ramp.name) == "noramp") continue;
            ASSERT_EQ(r.packets.size(), 1u);
            const ReceivedPacket& q = r.packets[0];
            EXPECT_TRUE(q.decoded.ok()) << q.decoded.describe();
            for (const TestResult& test : r.summary.tests)
                EXPECT_TRUE(test.pass) << test.name << ": " << test.value << " " << test.unit;
            const PacketMeasurements& m = q.measured;
            ASSERT_TRUE(m.initialFrequency);
            // Without ramps the looped waveform jumps at its ends, right
            // ahead of the first preamble symbol.
            EXPECT_NEAR(*m.initialFrequency, 0, std::string(ramp.name) == "noramp" ? 5e3 : 1e3);
            if (m.drift) {
                EXPECT_NEAR(*m.drift, 0, 500);
            }
            if (m.driftRate) {
                EXPECT_NEAR(*m.driftRate, 0, 500);
            }
            const bool f2 = payload && std::string(pay.name) == "10101010" && (t.type == 4 || t.type == 9 || t.type == 11 ||
                                                                    t.type == 15 || t.type == 7);
            EXPECT_EQ(!m.f2max.empty(), f2);
            // Without ramps the packet fills the row, whose ends meet at a
            // jump that the reference's transform spreads over the row's
            // last groups: the comparison is made with ramps.
            if (f2 && !m.f2max.empty() && std::string(ramp.name) != "noramp") {
                const double lowest = *std::min_element(m.f2max.begin(), m.f2max.end());
                EXPECT_NEAR(lowest, directF2Lowest(g, n, t.link, t.type), 2e3);
            }
        }
    }
    EXPECT_EQ(cases, std::size(kOversampling) * std::size(kTypes));
}

// The recording the first complaint came from: default DH1 at 10 samples a
// symbol with 10101010, and the same at 16 and 20 and for DH3.
TEST(CleanSweep, AlternatingPayloadPassesAtEveryRateAndLength) {
    for (const char* type : {"4", "11", "15"})
        for (const char* n : {"2", "10", "16", "20"}) {
            SCOPED_TRACE(std::string("type ") + type + " OverSampling " + n);
            const Parameters p = settingsWith({{"payloadType", "7"}, {"bitPattern", "55"}, {"packetType", type},
                                               {"OverSampling", n}});
            const GeneratedSignal g = Calculate(p);
            ReceiverOptions o;
            o.cyclic = true;
            const Reception r = receive(g.waveform.data(), g.waveform.size(), p.OverSampling * 1e6, o);
            ASSERT_EQ(r.packets.size(), 1u);
            const PacketMeasurements& m = r.packets[0].measured;
            ASSERT_FALSE(m.f2max.empty());
            EXPECT_GE(*std::min_element(m.f2max.begin(), m.f2max.end()), 115e3);
            ASSERT_TRUE(m.drift);
            EXPECT_NEAR(*m.drift, 0, 500);
            EXPECT_TRUE(r.summary.allPass());
        }
}

}  // namespace
}  // namespace bt::analysis
