// The measurements under noise: a clean DH1 transmitter under 20 dB C/N
// (in 1 MHz) passes every test but the delta f2max share, and reads its
// index and delta f1avg. Seeds are
// drawn per run and printed. The disabled test makes the table of mean
// errors and spreads at 20, 15, 12 and 10 dB over 200 packets or more
// (run it with --gtest_also_run_disabled_tests).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "analysis/receiver.h"
#include "bluetooth/generate.h"
#include "support/settings_edits.h"

namespace bt::analysis {
namespace {

using bttest::settingsWith;

constexpr int kPacketsPerFile = 20;

Reception noisyFile(const char* pattern, double ratio, unsigned seed) {
    const Parameters p = settingsWith({{"multiPacket", "1"}, {"payloadType", "7"}, {"bitPattern", pattern},
                                       {"patternLength", std::to_string(216 * kPacketsPerFile)},
                                       {"impairments.AWGNactive", ratio > 0 ? "1" : "0"},
                                       {"impairments.AWGNratio", std::to_string(ratio)},
                                       {"impairments.AWGNseed", std::to_string(seed)}});
    const GeneratedSignal g = Calculate(p);
    ReceiverOptions o;
    o.lap = static_cast<std::uint32_t>(std::uint64_t(p.BDaddr) & 0xFFFFFF);
    o.uap = static_cast<std::uint8_t>((std::uint64_t(p.BDaddr) >> 24) & 0xFF);
    o.whitening = 0;
    return receive(g.waveform.data(), g.waveform.size(), p.OverSampling * 1e6, o);
}

const TestResult* testNamed(const MeasurementSummary& s, const std::string& name) {
    for (const TestResult& t : s.tests)
        if (t.name == name) return &t;
    return nullptr;
}

unsigned drawSeed() {
    static std::mt19937 rng(std::random_device{}());
    return rng() % 65000 + 1;  // the seed field holds 1 to 65535
}

TEST(NoiseStatistics, CleanTransmitterPassesAtTwentyDecibelsButTheDeltaF2maxShare) {
    for (int file = 0; file < 4; ++file) {
        for (const char* pattern : {"0F", "55"}) {
            const unsigned seed = drawSeed();
            std::printf("pattern %s seed %u\n", pattern, seed);
            const Reception r = noisyFile(pattern, 20, seed);
            SCOPED_TRACE(std::string("pattern ") + pattern + " seed " + std::to_string(seed));
            EXPECT_GE(r.summary.confirmedPackets, std::size_t(kPacketsPerFile - 1));
            // Every test passes but the delta f2max share: it reads the
            // frequency at one instant a symbol, where the noise of a 1 MHz
            // channel at 20 dB swings it by tens of kHz (the test procedures
            // measure it on a clean signal).
            // The drift test takes the largest of 20 packets' drifts, each
            // with about 8 kHz of spread at 20 dB: its tail reaches the
            // 25 kHz limit in a few files in a thousand, so it is held to the
            // limit with that margin instead.
            for (const TestResult& t : r.summary.tests) {
                if (t.name == "modulation delta f2max") continue;
                if (t.name == "carrier frequency drift") EXPECT_LE(std::fabs(t.value), 30.0) << t.name;
                else EXPECT_TRUE(t.pass) << t.name << " " << t.value;
            }
            if (pattern[0] == '0') {
                ASSERT_TRUE(testNamed(r.summary, "modulation delta f1avg"));
                EXPECT_NEAR(testNamed(r.summary, "modulation delta f1avg")->value, 157.2, 2.5);
            }
            ASSERT_TRUE(r.summary.modulationIndex);
            EXPECT_NEAR(*r.summary.modulationIndex, 0.315, 0.01);
        }
    }
}

struct Stats {
    std::vector<double> v;
    void add(double x) { v.push_back(x); }
    double mean() const {
        double s = 0;
        for (const double x : v) s += x;
        return v.empty() ? NAN : s / double(v.size());
    }
    double sd() const {
        const double m = mean();
        double s = 0;
        for (const double x : v) s += (x - m) * (x - m);
        return v.size() > 1 ? std::sqrt(s / double(v.size() - 1)) : NAN;
    }
};

// The clean signal's own figures are the truth the errors are taken from.
TEST(NoiseStatistics, DISABLED_TableOfBiasAndSpread) {
    const Reception clean1 = noisyFile("0F", 0, 1), clean2 = noisyFile("55", 0, 1);  // 0: no noise
    const double trueF1 = *clean1.packets.at(0).measured.f1avg;
    const double trueIndex = *clean1.packets.at(0).measured.modulationIndex;
    std::printf("clean: delta f1avg %.3f kHz, h %.4f\n", trueF1 / 1e3, trueIndex);
    std::printf("| C/N dB | packets | decoded %% | f0 mean / sd kHz | df1avg mean err / sd kHz | h mean err / sd | "
                "drift mean / sd kHz |\n");
    for (const double ratio : {20.0, 15.0, 12.0, 10.0}) {
        Stats f0, f1, h, drift, share;
        std::size_t sent = 0, ok = 0, files = 0, allPass = 0;
        std::map<std::string, std::size_t> failures;
        const unsigned first = drawSeed();
        for (unsigned file = 0; file < 10; ++file) {
            for (const char* pattern : {"0F", "55"}) {
                const Reception r = noisyFile(pattern, ratio, first + file);
                sent += kPacketsPerFile;
                ++files;
                allPass += r.summary.allPass();
                for (const TestResult& t : r.summary.tests) {
                    if (!t.pass) ++failures[t.name];
                    if (t.name == "modulation delta f2max") share.add(t.value);
                }
                for (const ReceivedPacket& q : r.packets) {
                    if (!q.decoded.ok()) continue;
                    ++ok;
                    const PacketMeasurements& m = q.measured;
                    if (m.initialFrequency) f0.add(*m.initialFrequency);
                    if (m.f1avg) f1.add(*m.f1avg - trueF1);
                    if (m.modulationIndex) h.add(*m.modulationIndex - trueIndex);
                    if (m.drift) drift.add(*m.drift);
                }
            }
        }
        std::printf("| %g | %zu | %.1f | %+.2f / %.2f | %+.2f / %.2f | %+.4f / %.4f | %+.2f / %.2f |  (seeds %u-%u)\n",
                    ratio, sent, 100.0 * double(ok) / double(sent), f0.mean() / 1e3, f0.sd() / 1e3, f1.mean() / 1e3,
                    f1.sd() / 1e3, h.mean(), h.sd(), drift.mean() / 1e3, drift.sd() / 1e3, first, first + 9);
        std::printf("    files passing every test: %zu of %zu; delta f2max >= 115 kHz: %.1f %% of the values;", allPass,
                    files, share.mean());
        for (const auto& [name, count] : failures) std::printf(" %s fails in %zu;", name.c_str(), count);
        std::printf("\n");
    }
    (void)clean2;
}

}  // namespace
}  // namespace bt::analysis
