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

// Samples of the carrier's frequency over time, at times in seconds from
// the first discriminator element.
struct Track {
    RealRow t;
    RealRow y;
    void add(double element, double value) {
        t.push_back((element + 0.5) / kRate);
        y.push_back(value);
    }
};

// Least squares y = mean + amplitude sin(2 pi rate t + phase), the rate
// known (Cramer's rule on the normal equations).
SineFit fitDrift(const Track& track, double rate) {
    double a[3][3] = {};
    double b[3] = {};
    for (std::size_t k = 0; k < track.t.size(); ++k) {
        const double w = 2 * std::numbers::pi * rate * track.t[k];
        const double basis[3] = {1, std::sin(w), std::cos(w)};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) a[i][j] += basis[i] * basis[j];
            b[i] += basis[i] * track.y[k];
        }
    }
    const auto det = [](const double (&m)[3][3]) {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    };
    double x[3];
    for (int c = 0; c < 3; ++c) {
        double m[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) m[i][j] = j == c ? b[i] : a[i][j];
        x[c] = det(m) / det(a);
    }
    return {std::hypot(x[1], x[2]), rate, std::atan2(x[2], x[1]), x[0]};
}

RealRow withoutDrift(const RealRow& f, const SineFit& s) {
    RealRow out(f.size());
    for (std::size_t k = 0; k < f.size(); ++k) {
        const double t = (double(k) + 0.5) / kRate;
        out[k] = f[k] - (s.mean + s.amplitude * std::sin(2 * std::numbers::pi * s.frequency * t + s.phase));
    }
    return out;
}

// Mean frequency over one symbol period centred on symbol k.
double symbolMean(const RealRow& f, SymbolClock c, std::size_t k, double& start) {
    start = std::round(c.first + double(k) * c.period - c.period / 2);
    return meanFrequency(f, static_cast<std::size_t>(start), kPerSymbol);
}

// One frame's packet slots.
Measured measure(std::span<const Complex> frame, double driftRate) {
    const RealRow f = instantaneousFrequency(frame, kRate);
    const std::size_t symbols = frame.size() / kPerSymbol - 2;
    Measured m;

    // A first look at offset and drift from the means of 32-symbol blocks,
    // so that the bits slice cleanly.
    SymbolClock clock = findSymbolClock(f, kPerSymbol, 0, symbols);
    Track blocks;
    for (std::size_t k = 0; k + 32 <= symbols; k += 32) {
        double start = 0;
        symbolMean(f, clock, k, start);
        blocks.add(start + 160 - 0.5, meanFrequency(f, static_cast<std::size_t>(start), 320));
    }
    SineFit fit = fitDrift(blocks, driftRate);
    for (int pass = 0; pass < 2; ++pass) {
        const RealRow corrected = withoutDrift(f, fit);
        clock = findSymbolClock(corrected, kPerSymbol, 0, symbols);
        const Bits sliced = sliceBits(symbolFrequencies(corrected, clock, symbols));
        const auto packets = test::decodeAll(sliced, test::keyFor(0xBDBDBDBDBDBD));
        if (packets.empty()) return m;
        m.packet = packets.front();
        clock.first += double(m.packet.start) * clock.period;
        const Bits bits(sliced.begin() + static_cast<std::ptrdiff_t>(m.packet.start),
                        sliced.begin() + static_cast<std::ptrdiff_t>(m.packet.start + m.packet.length));
        m.modIndex = modulationIndex(corrected, clock, bits, kRate);
        // Within a run of three equal symbols the middle one is at the full
        // deviation, h x 500 kHz: what is left is the carrier's own frequency.
        Track carrier;
        for (std::size_t k = 1; k + 1 < bits.size(); ++k) {
            if (bits[k - 1] != bits[k] || bits[k + 1] != bits[k]) continue;
            double start = 0;
            const double mean = symbolMean(f, clock, k, start);
            carrier.add(start + double(kPerSymbol) / 2 - 0.5, mean - (bits[k] ? 1 : -1) * m.modIndex * 500e3);
        }
        fit = fitDrift(carrier, driftRate);
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
    ASSERT_TRUE(dtCalculate(s));

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
