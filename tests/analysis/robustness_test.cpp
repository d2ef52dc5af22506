// Damaged and empty input: bit errors within and beyond what the codes
// correct are counted as they should be; noise, zeros, a burst cut off by
// the end of the recording and a burst without its access code give "no
// packet" (or a packet marked cut off), never a crash or a hang; blocks of
// any size give the same packets.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "analysis/packet_decoder.h"
#include "analysis/receiver.h"
#include "bluetooth/generate.h"
#include "bluetooth/modulator.h"
#include "bluetooth/packet.h"
#include "bluetooth/settings_editor.h"
#include "lib/errors.h"

namespace bt::analysis {
namespace {

constexpr std::uint64_t kAddr = 0x0123A5C0FFEEull;
constexpr double kRate = 10e6;

// The published sync words of three LAPs (first air bit printed first).
TEST(SyncWord, PublishedSamplesAndTheirLaps) {
    const std::pair<std::uint32_t, std::uint64_t> samples[] = {
        {0x9E8B33, 0x475C58CC73345E72ull}, {0x000000, 0x7E7041E34000000Dull}, {0xFFFFFF, 0xE758B5227FFFFFF2ull}};
    for (const auto& [lap, printed] : samples) {
        std::uint64_t air = 0;  // bit k = air bit k
        for (unsigned k = 0; k < 64; ++k) air |= ((printed >> (63 - k)) & 1u) << k;
        EXPECT_EQ(syncWordOf(lap), air) << std::hex << lap;
        EXPECT_EQ(lapOfSyncWord(air), lap);
        // Any single bit error makes it no code word.
        for (unsigned k = 0; k < 64; ++k) EXPECT_FALSE(lapOfSyncWord(air ^ (std::uint64_t(1) << k)));
    }
}

Bits packetBits(double link, double type) {
    std::mt19937_64 rng(7);
    Bits data(3000);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng() & 1u);
    return Bt_Packet(data, bt_SinglePacketInputs(link, type, double(kAddr), 5, 1, 0, 0, 0)).bitstream;
}

Reception receiveBits(const Bits& air, double link, int maxSyncErrors = 6) {
    ModulatorSettings s;
    s.oversamplingRate = 10;
    s.burstActive = true;
    s.burstLength = 6;
    s.burstSettle = 6;
    const ModulatedSignal m = Bt_Modulate(air, s);
    ReceiverOptions o;
    o.lap = 0xC0FFEE;
    o.uap = 0xA5;
    o.whitening = 0;
    o.linkType = link;
    o.maxSyncErrors = maxSyncErrors;
    return receive(m.waveform.data(), m.waveform.size(), kRate, o);
}

void flip(Bits& b, std::size_t at) { b[at] ^= 1u; }

constexpr std::size_t kPayload = 126;

TEST(Damage, CorrectableErrorsAreCountedAndTheChecksHold) {
    // DM1: one error in each of three 2/3 blocks, and one header triple.
    Bits dm1 = packetBits(2, 3);
    for (std::size_t block : {0, 2, 5}) flip(dm1, kPayload + 15 * block + 3);
    flip(dm1, 72 + 3 * 4 + 1);
    Reception r = receiveBits(dm1, 2);
    ASSERT_EQ(r.packets.size(), 1u);
    EXPECT_TRUE(r.packets[0].decoded.ok()) << r.packets[0].decoded.describe();
    EXPECT_EQ(r.packets[0].decoded.fecCorrected, 3);
    EXPECT_EQ(r.packets[0].decoded.headerTriplesCorrected, 1);

    // HV1: one error in each of five 1/3 triples.
    Bits hv1 = packetBits(1, 5);
    for (std::size_t t : {0, 10, 20, 30, 79}) flip(hv1, kPayload + 3 * t + 2);
    r = receiveBits(hv1, 1);
    ASSERT_EQ(r.packets.size(), 1u);
    EXPECT_TRUE(r.packets[0].decoded.ok());
    EXPECT_EQ(r.packets[0].decoded.fecCorrected, 5);

    // A trailer with two errors: the header behind it decides.
    Bits trailer = packetBits(2, 4);
    flip(trailer, 68);
    flip(trailer, 70);
    r = receiveBits(trailer, 2);
    ASSERT_EQ(r.packets.size(), 1u);
    EXPECT_FALSE(r.packets[0].decoded.isId);
    EXPECT_TRUE(r.packets[0].decoded.ok());

    // Sync-word errors up to the limit are found and counted.
    Bits dh1 = packetBits(2, 4);
    for (std::size_t k : {6, 20, 40, 60}) flip(dh1, k);
    r = receiveBits(dh1, 2);
    ASSERT_EQ(r.packets.size(), 1u);
    EXPECT_EQ(r.packets[0].decoded.syncErrors, 4);
    EXPECT_TRUE(r.packets[0].decoded.ok());
}

TEST(Damage, UncorrectableErrorsFailTheChecks) {
    // DM1: two errors in one block's information bits.
    Bits dm1 = packetBits(2, 3);
    flip(dm1, kPayload + 15 * 2 + 1);
    flip(dm1, kPayload + 15 * 2 + 4);
    Reception r = receiveBits(dm1, 2);
    ASSERT_EQ(r.packets.size(), 1u);
    EXPECT_EQ(r.packets[0].decoded.fecUncorrectable, 1);
    EXPECT_FALSE(r.packets[0].decoded.crcOk);
    EXPECT_FALSE(r.packets[0].decoded.ok());

    // DH1: one payload error, no FEC to help.
    Bits dh1 = packetBits(2, 4);
    flip(dh1, kPayload + 40);
    r = receiveBits(dh1, 2);
    ASSERT_EQ(r.packets.size(), 1u);
    EXPECT_TRUE(r.packets[0].decoded.hecOk);
    EXPECT_FALSE(r.packets[0].decoded.crcOk);

    // Two errors in one header triple: the HEC fails.
    dh1 = packetBits(2, 4);
    flip(dh1, 72 + 3 * 5);
    flip(dh1, 72 + 3 * 5 + 1);
    r = receiveBits(dh1, 2);
    ASSERT_EQ(r.packets.size(), 1u);
    EXPECT_FALSE(r.packets[0].decoded.hecOk);

    // More sync-word errors than the search allows: the burst's one
    // position of fewest errors stands when the header behind it checks,
    // and reports its errors; with a header that fails, or beyond 13
    // errors, there is no packet.
    dh1 = packetBits(2, 4);
    for (std::size_t k = 4; k < 68; k += 8) flip(dh1, k);
    r = receiveBits(dh1, 2);
    ASSERT_EQ(r.packets.size(), 1u);
    EXPECT_EQ(r.packets[0].decoded.syncErrors, 8);
    EXPECT_TRUE(r.packets[0].decoded.ok());
    EXPECT_NEAR(double(r.packets[0].startSample), double(receiveBits(packetBits(2, 4), 2).packets.at(0).startSample), 1);
    flip(dh1, 72 + 3 * 5);
    flip(dh1, 72 + 3 * 5 + 1);
    EXPECT_TRUE(receiveBits(dh1, 2).packets.empty());
    dh1 = packetBits(2, 4);
    for (std::size_t k = 4; k < 68; k += 4) flip(dh1, k);
    EXPECT_TRUE(receiveBits(dh1, 2).packets.empty());
}

GeneratedSignal multiPacket() {
    Parameters p;
    p = editField(p, "multiPacket", "1", EditContext{}).parameters;
    return Calculate(p);
}

TEST(Empty, NoiseZerosAndMissingAccessCodesGiveNoPacket) {
    ComplexRow zeros(200000);
    EXPECT_TRUE(receive(zeros.data(), zeros.size(), kRate).packets.empty());
    EXPECT_TRUE(receive(zeros.data(), 0, kRate).packets.empty());
    EXPECT_TRUE(receive(zeros.data(), 1, kRate).packets.empty());

    std::mt19937_64 rng(3);
    std::normal_distribution<double> g;
    ComplexRow noise(400000);
    for (auto& z : noise) z = {g(rng), g(rng)};
    ReceiverOptions small;
    small.blockSamples = 50000;  // streamed in many blocks
    EXPECT_TRUE(receive(noise.data(), noise.size(), kRate, small).packets.empty());
    EXPECT_TRUE(receive(noise.data(), noise.size(), 2e6).packets.empty());
    // A known LAP gives every burst a second search for its sync word:
    // noise still holds none.
    ReceiverOptions knownLap = small;
    knownLap.lap = 0xC0FFEE;
    EXPECT_TRUE(receive(noise.data(), noise.size(), kRate, knownLap).packets.empty());
    // Values that are not numbers, huge or infinite: still no packet, no fault.
    for (std::size_t k = 0; k < noise.size(); k += 7)
        noise[k] = {k % 3 ? std::nan("") : 1e300, k % 2 ? -INFINITY : INFINITY};
    EXPECT_TRUE(receive(noise.data(), noise.size(), kRate).packets.empty());

    // Every access code replaced by its own samples shifted half a symbol
    // in frequency: bursts without packets.
    GeneratedSignal s = multiPacket();
    const Reception clean = receive(s.waveform.data(), s.waveform.size(), kRate);
    ASSERT_FALSE(clean.packets.empty());
    for (const ReceivedPacket& p : clean.packets)
        for (std::size_t k = p.startSample; k < p.startSample + 680; ++k) s.waveform[k] = std::conj(s.waveform[k]);
    EXPECT_TRUE(receive(s.waveform.data(), s.waveform.size(), kRate).packets.empty());
    ReceiverOptions defaultLap;
    defaultLap.lap = 0x000008;  // the generator's default address
    EXPECT_TRUE(receive(s.waveform.data(), s.waveform.size(), kRate, defaultLap).packets.empty());
}

TEST(Empty, ABurstCutOffByTheEndIsReportedCutOff) {
    const GeneratedSignal s = multiPacket();
    const Reception whole = receive(s.waveform.data(), s.waveform.size(), kRate);
    ASSERT_GE(whole.packets.size(), 2u);
    // End the recording 200 symbols into the second packet.
    const std::size_t end = whole.packets[1].startSample + 2000;
    const Reception cut = receive(s.waveform.data(), end, kRate);
    ASSERT_EQ(cut.packets.size(), 2u);
    EXPECT_TRUE(cut.packets[0].decoded.ok());
    EXPECT_TRUE(cut.packets[1].decoded.truncated);
    EXPECT_FALSE(cut.packets[1].decoded.ok());
}

TEST(Blocks, AnyBlockSizeFindsTheSamePackets) {
    const GeneratedSignal s = multiPacket();
    const Reception whole = receive(s.waveform.data(), s.waveform.size(), kRate);
    ReceiverOptions small;
    small.blockSamples = 1000;  // raised to four times the longest packet
    const Reception blocks = receive(s.waveform.data(), s.waveform.size(), kRate, small);
    ASSERT_EQ(blocks.packets.size(), whole.packets.size());
    for (std::size_t k = 0; k < whole.packets.size(); ++k) {
        EXPECT_EQ(blocks.packets[k].startSample, whole.packets[k].startSample);
        EXPECT_TRUE(blocks.packets[k].decoded.ok());
    }
}

TEST(Options, ImpossibleRatesAndKeysAreRefused) {
    ComplexRow w(100);
    EXPECT_THROW(receive(w.data(), w.size(), 1e6), Error);
    EXPECT_THROW(receive(w.data(), w.size(), std::nan("")), Error);
    ReceiverOptions o;
    o.whitening = 200;
    EXPECT_THROW(receive(w.data(), w.size(), 10e6, o), Error);
}

}  // namespace
}  // namespace bt::analysis
