// The dirty-transmitter segments measured as a receiver test set would see
// them: every packet decodes (with SEQN 1 in the first frame, 0 in the
// second), and each set's carrier offset, drift, modulation index and
// symbol timing error are those of the test-set table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>

#include "bluetooth/dirty_tx_calc.h"
#include "bluetooth/dirty_tx_edits.h"
#include "support/bt_decoder.h"
#include "support/demod.h"

namespace bt {
namespace {

using namespace bt::testing;

constexpr double kRate = 10e6;
constexpr std::size_t kPerSymbol = 10;

struct Measured {
    test::DecodedPacket packet;
    double offset = 0;     // Hz
    double drift = 0;      // Hz, amplitude of the sinusoidal drift
    double modIndex = 0;
    double timingPpm = 0;  // the symbol clock's error
};

// Mean frequency of the packet's blocks of `block` symbols, less what the
// symbols' own modulation contributes (h x 500 kHz per symbol of +-1).
RealRow driftTrack(const RealRow& f, SymbolClock c, const Bits& bits, std::size_t block, double h) {
    RealRow track;
    for (std::size_t k = 0; k + block <= bits.size(); k += block) {
        const auto from = static_cast<std::size_t>(std::lround(c.first + double(k) * c.period - c.period / 2));
        double symbols = 0;
        for (std::size_t j = k; j < k + block; ++j) symbols += bits[j] ? 1 : -1;
        track.push_back(meanFrequency(f, from, block * kPerSymbol) - h * 500e3 * symbols / double(block));
    }
    return track;
}

// One frame's packet, from the first sample of its burst.
Measured measure(std::span<const Complex> burst, double leadSymbols, double driftRate) {
    RealRow f = instantaneousFrequency(burst, kRate);
    const auto lead = static_cast<std::size_t>(leadSymbols) * kPerSymbol;
    const std::size_t maxBits = burst.size() / kPerSymbol - static_cast<std::size_t>(leadSymbols) - 2;
    constexpr std::size_t kBlock = 32;

    // A first look at offset and drift from the raw blocks, so the bits
    // slice cleanly; then the bits, and offset and drift again without the
    // modulation.
    SymbolClock clock = findSymbolClock(f, kPerSymbol, lead, maxBits);
    SineFit fit = fitSine(driftTrack(f, clock, Bits(maxBits, 0), kBlock, 0), double(kBlock) * 1e-6, driftRate, driftRate);
    RealRow corrected = f;
    const auto removeDrift = [&](const SineFit& s) {
        for (std::size_t k = 0; k < f.size(); ++k) {
            const double t = (double(k) + 0.5 - (clock.first - 5)) / kRate - double(kBlock) * 0.5e-6;
            corrected[k] = f[k] - (s.mean + s.amplitude * std::sin(2 * std::numbers::pi * s.frequency * t + s.phase));
        }
    };
    Measured m;
    for (int pass = 0; pass < 2; ++pass) {
        removeDrift(fit);
        clock = findSymbolClock(corrected, kPerSymbol, lead, maxBits);
        const Bits sliced = sliceBits(symbolFrequencies(corrected, clock, maxBits));
        m.packet = test::decodePacket(sliced, test::keyFor(0xBDBDBDBDBDBD));
        const Bits bits(sliced.begin(), sliced.begin() + static_cast<std::ptrdiff_t>(std::min(m.packet.length, sliced.size())));
        m.modIndex = modulationIndex(corrected, clock, bits, kRate);
        fit = fitSine(driftTrack(f, clock, bits, kBlock, m.modIndex), double(kBlock) * 1e-6, driftRate, driftRate);
        m.offset = fit.mean;
        m.drift = fit.amplitude;
        const TimingFit timing = measureSymbolTiming(corrected, kPerSymbol, lead, bits.size() * kPerSymbol);
        m.timingPpm = (double(kPerSymbol) / timing.period - 1) * 1e6;
    }
    return m;
}

class DirtyTxMeasured : public ::testing::TestWithParam<double> {};

TEST_P(DirtyTxMeasured, EverySetIsWhatTheTableSays) {
    const double packetType = GetParam();
    DirtyTxState s;
    Parameters p;
    initDtParameters(s, p);
    initDtImpairments(s);
    initDtTestSelect(s);
    dtSelectPacketType(s, packetType);
    ASSERT_TRUE(dtCalculate(s, dtGenerator()));

    const DtSegmentLayout layout = dtLayout(s);
    const double lead = s.dtParameters.burstLength + s.dtParameters.burstSettle;
    const std::size_t packetSamples = layout.packetSlots * layout.slotSamples;
    for (std::size_t n = 0; n < kDtTestSets; ++n) {
        const Impairments& set = s.dtImpairmentsCurrent[n];
        for (std::size_t frame = 0; frame < layout.numFrames; ++frame) {
            const std::size_t start = frame * layout.frameSamples() + layout.pollSlots * layout.slotSamples;
            const Measured m = measure(std::span(s.dtWaveform[n]).subspan(start, packetSamples), lead, set.FreqDriftRate);
            SCOPED_TRACE("set " + std::to_string(n + 1) + " frame " + std::to_string(frame + 1));
            ASSERT_TRUE(m.packet.ok()) << m.packet.describe();
            EXPECT_EQ(m.packet.SEQN, frame % 2 == 0 ? 1 : 0);
            EXPECT_EQ(m.packet.type, packetType);
            EXPECT_NEAR(m.offset, set.FreqOffset * 1e3, 1e3);
            EXPECT_NEAR(m.drift, set.FreqDriftDeviation * 1e3, 1e3);
            EXPECT_NEAR(m.modIndex, set.ModIndex, 0.005);
            EXPECT_NEAR(m.timingPpm, set.SymbolTimingError, 2);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(DirtyTx, DirtyTxMeasured, ::testing::Values(4.0, 11.0, 15.0),
                         [](const auto& info) { return "type" + std::to_string(static_cast<int>(info.param)); });

}  // namespace
}  // namespace bt
