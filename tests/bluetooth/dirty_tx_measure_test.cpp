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

// The frequency less a fitted offset and drift; `origin` is the element
// at which the fit's time 0 lies.
RealRow withoutDrift(const RealRow& f, const SineFit& s, double origin) {
    RealRow out(f.size());
    for (std::size_t k = 0; k < f.size(); ++k) {
        const double t = (double(k) - origin) / kRate;
        out[k] = f[k] - (s.mean + s.amplitude * std::sin(2 * std::numbers::pi * s.frequency * t + s.phase));
    }
    return out;
}

// One frame's packet slots.
Measured measure(std::span<const Complex> frame, double driftRate) {
    constexpr std::size_t kBlock = 32;
    const double blockSeconds = double(kBlock) / 1e6;
    const RealRow f = instantaneousFrequency(frame, kRate);
    const std::size_t symbols = frame.size() / kPerSymbol - 2;
    Measured m;

    // A first look at offset and drift from the raw blocks, so that the
    // bits slice cleanly; then, knowing the bits, offset and drift without
    // the modulation, and again.
    SymbolClock clock = findSymbolClock(f, kPerSymbol, 0, symbols);
    SineFit fit = fitSine(driftTrack(f, clock, Bits(symbols, 0), kBlock, 0), blockSeconds, driftRate, driftRate);
    for (int pass = 0; pass < 2; ++pass) {
        // Block k's mean lies half a block after its start.
        const double origin = clock.first - double(kPerSymbol) / 2 + double(kBlock * kPerSymbol) / 2 - 0.5;
        const RealRow corrected = withoutDrift(f, fit, origin);
        clock = findSymbolClock(corrected, kPerSymbol, 0, symbols);
        const Bits sliced = sliceBits(symbolFrequencies(corrected, clock, symbols));
        const auto packets = test::decodeAll(sliced, test::keyFor(0xBDBDBDBDBDBD));
        if (packets.empty()) return m;
        m.packet = packets.front();
        clock.first += double(m.packet.start) * clock.period;
        const Bits bits(sliced.begin() + static_cast<std::ptrdiff_t>(m.packet.start),
                        sliced.begin() + static_cast<std::ptrdiff_t>(m.packet.start + m.packet.length));
        m.modIndex = modulationIndex(corrected, clock, bits, kRate);
        fit = fitSine(driftTrack(f, clock, bits, kBlock, m.modIndex), blockSeconds, driftRate, driftRate);
        m.offset = fit.mean;
        m.drift = fit.amplitude;
        const auto from = static_cast<std::size_t>(clock.first);
        const TimingFit timing = measureSymbolTiming(corrected, kPerSymbol, from, bits.size() * kPerSymbol);
        m.timingPpm = (double(kPerSymbol) / timing.period - 1) * 1e6;
    }
    return m;
}

class DirtyTxMeasured : public ::testing::TestWithParam<double> {};

TEST_P(DirtyTxMeasured, EverySetIsWhatTheTableSays) {
    const double packetType = GetParam();
    Parameters p;
    DirtyTxState s = initialDtState(p);
    dtSelectPacketType(s, packetType);
    ASSERT_TRUE(dtCalculate(s, dtGenerator()));

    const DtSegmentLayout layout = dtLayout(s);
    const std::size_t packetSamples = layout.packetSlots * layout.slotSamples;
    for (std::size_t n = 0; n < kDtTestSets; ++n) {
        const Impairments& set = s.dtImpairmentsCurrent[n];
        for (std::size_t frame = 0; frame < layout.numFrames; ++frame) {
            const std::size_t start = frame * layout.frameSamples() + layout.pollSlots * layout.slotSamples;
            const Measured m = measure(std::span(s.dtWaveform[n]).subspan(start, packetSamples), set.FreqDriftRate);
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
