// The dirty-transmitter calculation with a stand-in generator whose samples
// say where they came from: lengths, frame layout, SEQN, timing error and
// markers of every segment.
#include "bluetooth/dirty_tx_calc.h"

#include <gtest/gtest.h>

#include <numeric>

#include "bluetooth/dirty_tx_edits.h"
#include "lib/errors.h"
#include "support/dt_fake_packet.h"

namespace bt {
namespace {

using bttest::FakeBurst;
using bttest::fakeBurst;
using bttest::fakeGenerator;

DirtyTxState defaultState() {
    Parameters p;
    return initialDtState(p);
}

struct Mode {
    double packetType;
    bool external;
    bool omitPoll;
    std::size_t dtLength;  // from the segment table, at 10 samples per symbol
    int repetitions;
    std::size_t frames;
    std::size_t pollSlots;  // slots ahead of the packet in a frame
};

class SegmentTable : public ::testing::TestWithParam<Mode> {};

TEST_P(SegmentTable, LengthsFramesSeqnAndTiming) {
    const Mode m = GetParam();
    DirtyTxState s = defaultState();
    dtSelectPacketType(s, m.packetType);
    dtSetOmitPoll(s, m.omitPoll);
    dtSetExternalTrigger(s, m.external);
    ASSERT_TRUE(dtCalculate(s, fakeGenerator()));

    EXPECT_EQ(s.dtCalcNeeded, 0);
    EXPECT_EQ(s.dtRepetitions, m.repetitions);
    EXPECT_EQ(s.dtPacketType, m.packetType == 3 ? 4 : m.packetType);
    ASSERT_EQ(s.dtWaveform.size(), 10u);
    ASSERT_EQ(s.dtMarkers.size(), 10u);
    const std::size_t slot = 6250;
    const std::size_t frame = m.dtLength / m.frames;
    const FakeBurst b = fakeBurst(s.dtParameters);
    const std::size_t packetStart = m.pollSlots * slot;
    for (std::size_t n = 0; n < 10; ++n) {
        const ComplexRow& w = s.dtWaveform[n];
        ASSERT_EQ(w.size(), m.dtLength);
        ASSERT_EQ(s.dtMarkers[n].row1.size(), m.dtLength);
        ASSERT_EQ(s.dtMarkers[n].row2.size(), m.dtLength);
        const double ppm = s.dtImpairmentsCurrent[n].SymbolTimingError;
        for (std::size_t f = 0; f < m.frames; ++f) {
            const std::size_t at = f * frame;
            // Nothing but zeros ahead of the packet: the poll period.
            for (std::size_t k = 0; k < packetStart; k += 97) ASSERT_EQ(w[at + k], Complex(0, 0)) << n << " " << f;
            // The packet, resampled by the set's timing error: the fake's
            // straight line 1 + k runs 1 + ppm x 1e-6 times as fast.
            const double seqn = f % 2 == 0 ? 1 : 0;
            for (std::size_t k = 0; k + 20 < b.samples; k += 101) {
                const Complex z = w[at + packetStart + k];
                ASSERT_NEAR(z.real(), 1 + static_cast<double>(k) * (1 + ppm * 1e-6), 1e-6) << n << " " << f << " " << k;
                ASSERT_DOUBLE_EQ(z.imag(), 1000 * seqn + s.dtImpairmentsCurrent[n].FreqOffset) << n << " " << f;
            }
            // The rest of the frame is idle.
            for (std::size_t k = packetStart + b.samples + 2; k < frame; k += 97) ASSERT_EQ(w[at + k], Complex(0, 0));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    DirtyTx, SegmentTable,
    ::testing::Values(Mode{4, false, false, 25000, 8, 2, 1}, Mode{4, true, false, 50000, 4, 4, 1},
                      Mode{11, false, false, 75000, 3, 2, 3}, Mode{11, true, false, 75000, 3, 2, 3},
                      Mode{15, false, false, 125000, 2, 2, 5}, Mode{15, true, false, 125000, 2, 2, 5},
                      Mode{4, false, true, 12500, 16, 2, 0}, Mode{11, false, true, 37500, 6, 2, 0},
                      Mode{15, false, true, 62500, 4, 2, 0},
                      // DM1, any other code: laid out as DH1
                      Mode{3, false, false, 25000, 8, 2, 1}),
    [](const auto& info) {
        const Mode& m = info.param;
        return "type" + std::to_string(static_cast<int>(m.packetType)) + (m.external ? "_external" : "") +
               (m.omitPoll ? "_omitPoll" : "");
    });

// One set selected, then none: the other rows are zeros, and nothing is
// generated for them.
TEST(DirtyTxCalc, UnselectedSetsAreRowsOfZeros) {
    DirtyTxState s = defaultState();
    s.dtTestSelect = {0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    for (std::size_t generated : {2u, 0u}) {
        auto calls = std::make_shared<std::vector<GenerationSettings>>();
        ASSERT_TRUE(dtCalculate(s, fakeGenerator(calls)));
        EXPECT_EQ(calls->size(), generated);
        ASSERT_EQ(s.dtWaveform.size(), 10u);
        for (std::size_t n = 0; n < 10; ++n) {
            const bool zeros = s.dtWaveform[n] == ComplexRow(25000) && s.dtMarkers[n].row2 == MarkerRow(25000, 0);
            EXPECT_EQ(zeros, n != 2 || generated == 0) << n;
        }
        s.dtTestSelect.fill(0);
    }
}

// Marker 1 as a one-symbol pulse marker1Timing after the first symbol, and
// each kind of marker 2, checked against the fake packet's known layout.
TEST(DirtyTxCalc, EventMarkersFollowTheFrame) {
    for (const bool omit : {false, true}) {
        DirtyTxState s = defaultState();
        dtSelectPacketType(s, 11);
        dtSetOmitPoll(s, omit);
        s.dtParameters.burstLength = 3;
        s.dtParameters.burstSettle = 4;
        s.dtParameters.marker1Timing = omit ? 12.3 : -100;
        const FakeBurst b = fakeBurst(s.dtParameters);
        const std::size_t packetStart = omit ? 0 : 3 * 6250;
        const std::size_t firstSymbol = packetStart + (3 + 4) * 10;
        const std::size_t frame = omit ? 3 * 6250 : 6 * 6250;
        for (const double type2 : {1.0, 2.0, 4.0}) {
            s.dtParameters.marker2Type = type2;
            ASSERT_TRUE(dtCalculate(s, fakeGenerator()));
            const Markers& m = s.dtMarkers[4];
            const auto pulse = static_cast<std::size_t>(static_cast<double>(firstSymbol) + s.dtParameters.marker1Timing * 10 + 0.5);
            // Burst as it is after resampling: where the segment is non-zero.
            std::size_t burstEnd = packetStart;
            while (burstEnd < frame && s.dtWaveform[4][burstEnd] != Complex(0, 0)) ++burstEnd;
            for (std::size_t f = 0; f < 2; ++f)
                for (std::size_t k = 0; k < frame; ++k) {
                    const std::size_t at = f * frame + k;
                    ASSERT_EQ(m.row1[at], k >= pulse && k < pulse + 10) << k;
                    bool expected = false;
                    if (type2 == 1) expected = k > firstSymbol && k < burstEnd - 30;
                    if (type2 == 2) expected = k >= packetStart && k < burstEnd;
                    if (type2 == 4)
                        expected = k >= packetStart + b.payload && k < packetStart + b.payload + b.payloadSamples + 160;
                    ASSERT_EQ(m.row2[at], expected) << "type " << type2 << " omit " << omit << " sample " << k;
                }
        }
    }
}

TEST(DirtyTxCalc, CancelAndFailureLeaveTheStateAsItWas) {
    DirtyTxState s = defaultState();
    std::string seen;
    EXPECT_FALSE(dtCalculate(s, fakeGenerator(), [&](const DtProgressEvent& e) {
        seen += std::to_string(e.set) + (e.finished ? "." : " ");
        return e.stage == DtStage::Calculating && e.set != 4;
    }));
    EXPECT_EQ(seen, "1 1.2 2.3 3.4 ");
    EXPECT_TRUE(s.dtWaveform.empty());
    EXPECT_EQ(s.dtCalcNeeded, 1);

    // A packet that does not fit the frame (here a DM3 packet, four slots
    // long, where a one-slot packet is laid out) is an error, not a ragged
    // segment.
    s.dtParameters.packetType = 10;
    s.dtParameters.patternLength = 1000;
    EXPECT_THROW(dtCalculate(s, [](const GenerationSettings&) {
                     GeneratedSignal g;
                     g.waveform.assign(25000, Complex(1, 0));
                     g.markers.resize(25000);
                     return g;
                 }),
                 Error);
    EXPECT_TRUE(s.dtWaveform.empty());
    EXPECT_EQ(s.dtCalcNeeded, 1);
}

TEST(DirtyTxCalc, ProjectedLengthIsWhatTheSegmentsNeed) {
    DirtyTxState s = defaultState();
    EXPECT_EQ(setDTProjectedLength(4, 'c', 0, s.dtTestSelect, 10), "Projected Length: 250000");
    EXPECT_EQ(setDTProjectedLength(4, 'b', 0, s.dtTestSelect, 10), "Projected Length: 500000");
    s.dtTestSelect = {0, 1, 0, 1, 1, 0, 0, 0, 0, 1};
    for (const double type : {4.0, 11.0, 15.0})
        for (const bool external : {false, true})
            for (const bool omit : {false, true}) {
                if (external && omit) continue;  // the external mode keeps the poll periods
                dtSelectPacketType(s, type);
                dtSetExternalTrigger(s, external);
                dtSetOmitPoll(s, omit);
                ASSERT_TRUE(dtCalculate(s, fakeGenerator()));
                std::size_t needed = 0;
                for (std::size_t n = 0; n < 10; ++n)
                    if (s.dtTestSelect[n] != 0) needed += s.dtWaveform[n].size();
                EXPECT_EQ(dtProjectedLength(type, 'c', omit, s.dtTestSelect, 10, external), static_cast<double>(needed))
                    << type << " " << external << " " << omit;
            }
}

TEST(DirtyTxEdits, PacketTypeExternalModeAndClamps) {
    DirtyTxState s = defaultState();
    s.dtQ7395.SlotSyncDelay = -5000;
    dtSelectPacketType(s, 11);
    EXPECT_EQ(s.dtParameters.patternLength, 1464);
    EXPECT_DOUBLE_EQ(s.dtParameters.patternReps, 1464.0 / 511);
    EXPECT_EQ(s.dtImpairmentsCurrent[9].FreqDriftRate, 500);
    dtSelectPacketType(s, 4);
    EXPECT_EQ(s.dtQ7395.SlotSyncDelay, -(3 * 625 - 121));

    dtSetOmitPoll(s, true);
    dtSetExternalTrigger(s, true);
    EXPECT_EQ(s.dtOmitPollPeriods, 0);
    dtSetExternalTrigger(s, false);
    EXPECT_EQ(s.dtOmitPollPeriods, 1);

    EXPECT_DOUBLE_EQ(dtEditImpairment(s, 0, "ModIndex", 0.3154), 0.315);
    EXPECT_EQ(dtEditImpairment(s, 0, "FreqOffset", 200), 150);
    EXPECT_EQ(dtEditImpairment(s, 9, "InitialDriftPhase", 400), 359);
    EXPECT_EQ(s.dtImpairmentsCurrent[0].InitialDriftPhase, 359);
    EXPECT_THROW(dtEditImpairment(s, 0, "AWGNratio", 20), Error);
}

}  // namespace
}  // namespace bt
