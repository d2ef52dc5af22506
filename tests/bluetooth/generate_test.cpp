// The generated signal checked from outside: demodulated with a frequency
// discriminator, sliced mid-symbol and decoded by the test receiver, its
// lengths against the size estimator, its markers against the demodulated
// bits.
#include "bluetooth/generate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <thread>

#include "bluetooth/multi_packet.h"
#include "bluetooth/packet_types.h"
#include "bluetooth/single_packet.h"
#include "bluetooth/size_est.h"
#include "lib/errors.h"
#include "lib/parallel.h"
#include "lib/random.h"
#include "support/bit_rows.h"
#include "support/bt_decoder.h"
#include "support/demod.h"

namespace bt {
namespace {

constexpr std::uint64_t kAddr = 0x9E8B33A1C2D5ull;

Bits receive(const ComplexRow& w, std::size_t n, std::size_t from, std::size_t symbols) {
    return testing::sliceWaveform(w, n, from, symbols);
}

GenerateInputs packetInputs(double link, double type, std::size_t n) {
    GenerateInputs in;
    in.linkType = link;
    in.packetType = type;
    in.BDaddr = double(kAddr);
    in.AMaddr = 5;
    in.oversamplingRate = double(n);
    return in;
}

struct SequenceCase {
    double link;
    double type;
    double whitening;  // start value, 0 for off
    bool bursts;
    std::size_t n;
};

std::string caseName(const ::testing::TestParamInfo<SequenceCase>& i) {
    const SequenceCase& c = i.param;
    const PacketTypeInfo* t = bt_PacketTypeInfo(c.link, c.type);
    return std::string(c.link == 1 ? "SCO_" : "ACL_") + std::string(t ? t->name : "X") + (c.whitening != 0 ? "_whitened" : "") + (c.bursts ? "_bursts" : "_stream") +
           "_x" + std::to_string(c.n);
}

class DecodeBack : public ::testing::TestWithParam<SequenceCase> {};

// Every packet of a multi-packet waveform is received with its access
// code, HEC and CRC intact, carries the right sequence bit and header
// fields, and the payloads add up to the data. An odd count ends with an
// extra packet without data.
TEST_P(DecodeBack, EveryPacketDecodes) {
    const SequenceCase c = GetParam();
    const auto size = static_cast<std::size_t>(Bt_UserPayloadMaxSize(c.link, c.type));
    GenerateInputs in = packetInputs(c.link, c.type, c.n);
    in.multiPacket = 1;
    in.SEQN = 1;  // not used: the sequence sets its own bits
    in.ARQN = 1;
    in.burstActive = c.bursts;
    in.dataWhiteningActive = c.whitening != 0;
    in.dataWhiteningInitValue = c.whitening;
    in.data = testing::randomBits(size * 5 / 2, unsigned(c.type) + 7);
    const GeneratedSignal s = Bt_GENERATE(in);

    const std::size_t payloadPackets = (in.data.size() + size - 1) / size;
    const std::size_t packets = payloadPackets + payloadPackets % 2;
    if (c.bursts) {
        EXPECT_EQ(s.waveform.size(), packets * 625 * std::size_t(bt_NumberOfSlots(c.link, c.type)) * c.n);
    }

    const Bits air = receive(s.waveform, c.n, c.bursts ? 12 * c.n : 0, 60);
    const auto decoded = test::decodeAll(air, test::keyFor(kAddr, unsigned(c.whitening), c.link));
    ASSERT_EQ(decoded.size(), packets);
    Bits received;
    for (std::size_t k = 0; k < packets; ++k) {
        const test::DecodedPacket& d = decoded[k];
        ASSERT_TRUE(d.ok()) << k << ": " << d.describe();
        EXPECT_EQ(d.type, int(c.type));
        EXPECT_EQ(d.AMaddr, 5);
        EXPECT_EQ(d.FLOW, c.bursts ? 1 : 0);
        EXPECT_EQ(d.ARQN, c.bursts ? 1 : 0);
        const int extraSeqn = c.bursts ? 0 : 1;
        EXPECT_EQ(d.SEQN, k < payloadPackets ? int((k + 1) % 2) : extraSeqn) << k;
        if (k < payloadPackets) {
            received.insert(received.end(), d.body.begin(), d.body.end());
        } else if (d.hasPayloadHeader) {
            EXPECT_EQ(d.payloadLength, 0);
        }
    }
    ASSERT_GE(received.size(), in.data.size());
    received.resize(in.data.size());  // byte or voice padding of the last packet
    EXPECT_EQ(received, in.data);
}

std::vector<SequenceCase> sequenceCases() {
    std::vector<SequenceCase> cases;
    const std::pair<double, double> types[] = {{2, 3}, {2, 4}, {2, 9}, {2, 10}, {2, 11}, {2, 14},
                                               {2, 15}, {1, 3}, {1, 5}, {1, 6}, {1, 7}};
    for (const auto& [link, type] : types)
        for (bool bursts : {true, false})
            for (double whitening : {0.0, 83.0}) cases.push_back({link, type, whitening, bursts, 4});
    cases.push_back({2, 4, 0, true, 20});
    cases.push_back({2, 4, 1, false, 3});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(PacketTypes, DecodeBack, ::testing::ValuesIn(sequenceCases()), caseName);

// Lengths agree with the size estimator for every packet type, single and
// multi-packet, with and without bursts; marker rows are as long.
TEST(GenerateLengths, MatchTheProjectedLength) {
    for (double link : {1.0, 2.0})
        for (double type = -1; type <= 15; ++type) {
            if (!bt_PacketTypeInfo(link, type)) continue;
            for (double bursts : {0.0, 1.0})
                for (double multi : {0.0, 1.0}) {
                    GenerationSettings p;
                    p.linkType = link;
                    p.packetType = type;
                    p.burstActive = bursts;
                    p.multiPacket = multi;
                    p.OverSampling = 3;
                    const double size = Bt_UserPayloadMaxSize(link, type);
                    p.patternLength = multi != 0 ? 1000 : size;
                    const GeneratedSignal s = Calculate(p);
                    const std::string what = "link " + std::to_string(int(link)) + " type " + std::to_string(int(type)) +
                                             " bursts " + std::to_string(int(bursts)) + " multi " + std::to_string(int(multi));
                    EXPECT_EQ(double(s.waveform.size()), Bt_SizeEst(p)) << what;
                    EXPECT_EQ(s.markers.row1.size(), s.waveform.size()) << what;
                    EXPECT_EQ(s.markers.row2.size(), s.waveform.size()) << what;
                }
        }
}

TEST(GenerateLengths, SlotPeriods) {
    GenerationSettings p;
    EXPECT_EQ(Calculate(p).waveform.size(), 12500u);  // default DH1: two slots at 10
    p.linkType = 1;
    p.packetType = 7;  // HV3: six slots
    p.OverSampling = 4;
    EXPECT_EQ(Calculate(p).waveform.size(), 15000u);
    p.linkType = 2;
    p.packetType = 14;  // DM5: six slots
    p.OverSampling = 2;
    EXPECT_EQ(Calculate(p).waveform.size(), 7500u);
}

// Marker 2 lies exactly over the user payload: where it is high, the
// demodulated symbols are the data bits (rate-1 types, no whitening), and
// it is low everywhere else.
TEST(GenerateMarkers, PayloadMarkerCoversTheDataSymbols) {
    const std::pair<double, double> types[] = {{2, 4}, {2, 11}, {2, 9}, {1, 7}};
    for (const auto& [link, type] : types)
        for (double bursts : {1.0, 0.0}) {
            const std::size_t n = 5;
            const auto size = static_cast<std::size_t>(Bt_UserPayloadMaxSize(link, type));
            GenerateInputs in = packetInputs(link, type, n);
            in.multiPacket = 1;
            in.burstActive = bursts;
            in.data = testing::randomBits(size * 2 + size / 2 + 3, 11);
            const GeneratedSignal s = Bt_GENERATE(in);
            const Bits air = receive(s.waveform, n, bursts != 0 ? 12 * n : 0, 60);
            // Whole symbols only, each marked for all its samples.
            Bits marked;
            for (std::size_t j = 0; j < s.waveform.size(); j += n) {
                const auto ones = std::count(s.markers.row2.begin() + std::ptrdiff_t(j),
                                             s.markers.row2.begin() + std::ptrdiff_t(j + n), 1);
                ASSERT_TRUE(ones == 0 || ones == std::ptrdiff_t(n)) << j;
                if (ones != 0) marked.push_back(air[j / n]);
            }
            // Each packet's marked bits are its segment, padded to whole
            // bytes (HV3 to its fixed 240); the extra packet of the odd
            // count marks none, except HV3's 240 zeros.
            Bits expected;
            for (std::size_t start = 0; start < in.data.size(); start += size) {
                const std::size_t len = std::min(size, in.data.size() - start);
                const std::size_t padded = type == 7 ? 240 : (len + 7) / 8 * 8;
                expected.insert(expected.end(), in.data.begin() + std::ptrdiff_t(start),
                                in.data.begin() + std::ptrdiff_t(start + len));
                expected.resize(expected.size() + padded - len, 0);
            }
            if (type == 7) expected.resize(expected.size() + 240, 0);  // three packets and the extra one
            EXPECT_EQ(marked, expected) << "type " << type << " bursts " << bursts;
        }
}

TEST(GenerateMarkers, ClockGateDelayRotatesBothRows) {
    GenerationSettings p;
    p.multiPacket = 1;
    p.patternLength = 500;
    const GeneratedSignal plain = Calculate(p);
    p.CGdelay = 1.5;  // 15 samples at 10 per symbol
    const GeneratedSignal delayed = Calculate(p);
    EXPECT_EQ(delayed.waveform, plain.waveform);
    for (const auto row : {&Markers::row1, &Markers::row2}) {
        MarkerRow expected = plain.markers.*row;
        std::rotate(expected.begin(), expected.end() - 15, expected.end());
        EXPECT_EQ(delayed.markers.*row, expected);
    }
    // Without bursts a short row wraps more than once: 100 us is 400
    // samples, the ID packet at 2 per symbol 136 (68 bits).
    GenerateInputs id = packetInputs(2, -1, 2);
    id.burstActive = 0;
    const GeneratedSignal once = Bt_GENERATE(id);
    id.CGdelay = 100;
    const GeneratedSignal wrapped = Bt_GENERATE(id);
    MarkerRow expected = once.markers.row1;
    std::rotate(expected.begin(), expected.end() - 400 % 136, expected.end());
    EXPECT_EQ(wrapped.markers.row1, expected);
}

TEST(GenerateMarkers, StreamMarksOnlyTheFirstSampleBeforeTheDelay) {
    GenerateInputs in;
    in.generationMode = 2;
    in.data = testing::randomBits(4088, 3);
    in.CGdelay = 2.3;
    const GeneratedSignal s = Bt_GENERATE(in);
    ASSERT_EQ(s.waveform.size(), 40880u);
    EXPECT_EQ(std::count(s.markers.row2.begin(), s.markers.row2.end(), 1), 1);
    EXPECT_EQ(s.markers.row2[23], 1);
    // The stream decodes back bit for bit.
    EXPECT_EQ(receive(s.waveform, 10, 0, 200), in.data);
}

// Mirroring negates Q and nothing else.
TEST(GenerateMirror, OnlyQChangesSign) {
    for (double mode : {1.0, 2.0}) {
        GenerationSettings p;
        p.generationMode = mode;
        p.patternLength = 4088;
        p.impairments.AWGNactive = 1;
        const GeneratedSignal plain = Calculate(p);
        p.MirrorSpectrum = 1;
        const GeneratedSignal mirrored = Calculate(p);
        ASSERT_EQ(mirrored.waveform.size(), plain.waveform.size());
        for (std::size_t k = 0; k < plain.waveform.size(); ++k) {
            ASSERT_EQ(mirrored.waveform[k].real(), plain.waveform[k].real()) << k;
            ASSERT_EQ(mirrored.waveform[k].imag(), -plain.waveform[k].imag()) << k;
        }
        EXPECT_EQ(mirrored.markers, plain.markers);
    }
}

TEST(GenerateDriver, PacketsWithoutPayloadAreSingleAndEmptyDataGivesNothing) {
    GenerateInputs null = packetInputs(2, 0, 10);
    null.multiPacket = 1;
    null.data = testing::randomBits(1000, 1);
    EXPECT_EQ(Bt_GENERATE(null).waveform.size(), 12500u);

    GenerateInputs empty = packetInputs(2, 4, 10);
    empty.multiPacket = 1;
    for (double bursts : {0.0, 1.0}) {
        empty.burstActive = bursts;
        const GeneratedSignal s = Bt_GENERATE(empty);
        EXPECT_TRUE(s.waveform.empty());
        EXPECT_TRUE(s.markers.empty());
    }
    GenerateInputs unbuilt = packetInputs(2, 5, 10);  // undefined on ACL
    EXPECT_THROW(Bt_GENERATE(unbuilt), Error);
}

TEST(GenerateDriver, LinearDriftAlwaysRunsAt1600Hz) {
    GenerationSettings p;
    p.impairments.FreqDriftActive = 1;
    p.impairments.FreqDriftDeviation = 40;
    p.impairments.FreqDriftType = 1;
    p.impairments.FreqDriftRate = 500;
    const GeneratedSignal at500 = Calculate(p);
    p.impairments.FreqDriftRate = 1600;
    EXPECT_EQ(Calculate(p).waveform, at500.waveform);
    p.impairments.FreqDriftType = 2;
    p.impairments.FreqDriftRate = 500;
    EXPECT_NE(Calculate(p).waveform, at500.waveform);
}

// Impaired settings used by the reproducibility checks: noise, drift and
// offset all on.
GenerationSettings impaired(double bursts, double mode) {
    GenerationSettings p;
    p.generationMode = mode;
    p.multiPacket = 1;
    p.burstActive = bursts;
    p.patternLength = 30000;
    p.OverSampling = 7;
    p.CGdelay = 3;
    p.impairments.AWGNactive = 1;
    p.impairments.AWGNratio = 20;
    p.impairments.AWGNseed = 4711;
    p.impairments.FreqDriftActive = 1;
    p.impairments.FreqDriftType = 2;
    p.impairments.FreqDriftDeviation = 30;
    p.impairments.FreqOffsetActive = 1;
    p.impairments.FreqOffset = -20;
    return p;
}

// Any number of threads gives the single-threaded signal, noise included,
// and equal settings give equal signals.
TEST(GenerateDriver, ThreadCountAndRepetitionChangeNothing) {
    for (auto [bursts, mode] : {std::pair{1.0, 1.0}, {0.0, 1.0}, {1.0, 2.0}}) {
        const GenerationSettings p = impaired(bursts, mode);
        setWorkerThreads(1);
        const GeneratedSignal reference = Calculate(p);
        for (unsigned threads : {2u, 3u, 5u}) {
            setWorkerThreads(threads);
            const GeneratedSignal s = Calculate(p);
            EXPECT_EQ(s.waveform, reference.waveform) << threads << " threads";
            EXPECT_EQ(s.markers, reference.markers) << threads << " threads";
        }
        setWorkerThreads(0);
    }
}

// Generations running side by side, each with its own seed, give what each
// gives alone: none reseeds or draws from another's noise.
TEST(GenerateDriver, ConcurrentGenerationsKeepTheirOwnNoise) {
    std::random_device rd;
    const unsigned first = rd() % 60000 + 1;
    SCOPED_TRACE("first seed " + std::to_string(first));
    std::vector<GenerationSettings> settings;
    for (unsigned k = 0; k < 6; ++k) {
        GenerationSettings p = impaired(k % 2 ? 1.0 : 0.0, 1);
        p.patternLength = 3000;
        p.impairments.AWGNseed = first + k;
        settings.push_back(p);
    }
    std::vector<ComplexRow> alone;
    for (const GenerationSettings& p : settings) alone.push_back(Calculate(p).waveform);
    for (int round = 0; round < 3; ++round) {
        std::vector<ComplexRow> together(settings.size());
        std::vector<std::thread> threads;
        for (std::size_t k = 0; k < settings.size(); ++k)
            threads.emplace_back([&, k] { together[k] = Calculate(settings[k]).waveform; });
        for (std::thread& t : threads) t.join();
        std::vector<ComplexRow> spread(settings.size());
        parallelFor(settings.size(), [&](std::size_t k) { spread[k] = Calculate(settings[k]).waveform; });
        for (std::size_t k = 0; k < settings.size(); ++k) {
            EXPECT_EQ(together[k], alone[k]) << "thread " << k;
            EXPECT_EQ(spread[k], alone[k]) << "task " << k;
        }
    }
}

// With bursts, a sequence is its single packets one after the other, each
// drawing its noise after the one before.
TEST(GenerateDriver, BurstSequenceIsItsSinglePacketsInOrder) {
    GenerationSettings p = impaired(1, 1);
    p.patternLength = 216 * 4 + 100;  // five packets and the extra one
    p.CGdelay = 0;
    const GeneratedSignal sequence = Calculate(p);

    GenerateInputs in = generateInputs(p);
    gaussianGenerator().reseed(in.AWGNseed);
    GeneratedSignal joined;
    for (std::size_t k = 0; k < 6; ++k) {
        const std::size_t start = std::min<std::size_t>(k * 216, in.data.size());
        const Bits segment(in.data.begin() + std::ptrdiff_t(start),
                           in.data.begin() + std::ptrdiff_t(std::min<std::size_t>(start + 216, in.data.size())));
        const double seqn = k < 5 ? double((k + 1) % 2) : 0;  // the extra packet carries 0
        const GeneratedSignal one = Bt_SinglePacket(
            segment, in.linkType, in.packetType, in.BDaddr, in.AMaddr, seqn, in.ARQN,
            in.dataWhiteningActive, in.dataWhiteningInitValue, in.modIndex, in.burstActive, in.burstLength,
            in.burstSettle, in.oversamplingRate, in.AWGNactive, in.AWGNratio, in.AWGNseed, in.freqDriftActive,
            in.freqDriftDeviation, in.freqDriftType, in.initialDriftPhase, in.freqDriftRate, in.freqOffsetActive,
            in.freqOffsetFreq);
        joined.waveform.insert(joined.waveform.end(), one.waveform.begin(), one.waveform.end());
        joined.markers.row1.insert(joined.markers.row1.end(), one.markers.row1.begin(), one.markers.row1.end());
        joined.markers.row2.insert(joined.markers.row2.end(), one.markers.row2.begin(), one.markers.row2.end());
    }
    EXPECT_EQ(sequence.waveform, joined.waveform);
    EXPECT_EQ(sequence.markers, joined.markers);
}

}  // namespace
}  // namespace bt
