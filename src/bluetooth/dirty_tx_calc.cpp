#include "bluetooth/dirty_tx_calc.h"

#include <algorithm>

#include "bluetooth/generate.h"
#include "instrument/resample.h"
#include "lib/errors.h"
#include "lib/numtext.h"

namespace bt {

namespace {

template <class Row>
void append(Row& to, const Row& from) {
    to.insert(to.end(), from.begin(), from.end());
}

template <class Row>
void doubleInPlace(Row& row) {
    const std::size_t n = row.size();
    row.resize(2 * n);
    std::copy_n(row.begin(), n, row.begin() + static_cast<std::ptrdiff_t>(n));
}

bool tell(const DtProgress& progress, DtStage stage, std::size_t set, bool finished) {
    return !progress || progress({stage, static_cast<int>(set) + 1, finished});
}

// Where a generated packet lies once its waveform (`generated` samples) has
// been resampled with the timing error and put into its frame at
// `frameStart`: output sample n is the input at n x (1 + ppm x 1e-6), and
// with poll periods the frame opens with the zero slots and the samples
// after the packet's slots, the packet last.
PacketOnAir framedPacket(PacketOnAir q, std::size_t generated, double ppm, const DtSegmentLayout& l,
                         std::size_t frameStart) {
    const double stretch = 1 + ppm * 1e-6;
    const auto at = [&](std::size_t input) { return std::size_t(roundHalfAway(double(input) / stretch)); };
    const std::size_t first = at(q.sampleStart);
    q.sampleCount = at(q.sampleStart + q.sampleCount) - first;
    q.sampleStart = first + frameStart;
    if (l.pollSlots > 0) {
        const std::size_t packet = l.packetSlots * l.slotSamples;
        q.sampleStart += l.zeroSlots * l.slotSamples + (generated - packet);
    }
    return q;
}

}  // namespace

DtSegmentLayout dtLayout(const DirtyTxState& s) {
    return dtSegmentLayout(s.dtParameters.packetType, s.dtQ7395.enable != 0, s.dtOmitPollPeriods != 0,
                           s.dtParameters.OverSampling);
}

GenerationSettings dtFrameSettings(const DirtyTxState& s, std::size_t set, int frame) {
    GenerationSettings p = s.dtParameters;
    p.impairments = s.dtImpairmentsCurrent.at(set);
    p.impairments.SymbolTimingErrorActive = 0;
    p.impairments.SymbolTimingError = 0;
    p.SEQN = frame % 2 == 0 ? 1 : 0;
    return p;
}

GeneratedSignal dtSegment(const DirtyTxState& s, std::size_t set, const DtSegmentLayout& layout,
                          const DtGenerator& generate) {
    const GenerationSettings& dt = s.dtParameters;
    const double ppm = s.dtImpairmentsCurrent.at(set).SymbolTimingError;
    const DtSegmentLayout l = dtSegmentLayout(dt.packetType, false, s.dtOmitPollPeriods != 0, dt.OverSampling);
    GeneratedSignal segment;
    segment.waveform.reserve(layout.dtLength());
    segment.markers.row1.reserve(layout.dtLength());
    segment.markers.row2.reserve(layout.dtLength());
    for (int frame = 0; frame < 2; ++frame) {
        const GenerationSettings p = dtFrameSettings(s, set, frame);
        const GeneratedSignal packet = generate ? generate(p) : Calculate(p);
        const ComplexRow shifted = Shift_sample_rate(packet.waveform, ppm);
        GeneratedSignal f = reorderPacketPoll(shifted, packet.markers, dt.packetType, dt.OverSampling,
                                              s.dtOmitPollPeriods);
        f.markers = adjustMarkers(f.markers, dt.packetType, dt.OverSampling, f.waveform, dt.burstLength,
                                  dt.burstSettle, dt.marker1Type, dt.marker2Type, dt.marker1Timing,
                                  s.dtOmitPollPeriods);
        // Every segment of the sequence must be as long as the table says,
        // or the sets would drift apart in time.
        if (f.waveform.size() != layout.frameSamples())
            throw Error("The dirty-transmitter packet settings give a frame of " + std::to_string(f.waveform.size()) +
                        " samples instead of " + std::to_string(layout.frameSamples()) +
                        ": they must describe one burst packet (DH1, DH3 or DH5) with its slot padding");
        const std::size_t frameStart = segment.waveform.size();
        for (const PacketOnAir& q : packet.packets)
            segment.packets.push_back(framedPacket(q, packet.waveform.size(), ppm, l, frameStart));
        append(segment.waveform, f.waveform);
        append(segment.markers.row1, f.markers.row1);
        append(segment.markers.row2, f.markers.row2);
    }
    for (std::size_t frames = 2; frames < layout.numFrames; frames += 2) {
        const std::size_t half = segment.waveform.size();
        doubleInPlace(segment.waveform);
        doubleInPlace(segment.markers.row1);
        doubleInPlace(segment.markers.row2);
        const std::size_t count = segment.packets.size();
        for (std::size_t k = 0; k < count; ++k) {
            PacketOnAir q = segment.packets[k];
            q.sampleStart += half;
            segment.packets.push_back(q);
        }
    }
    return segment;
}

bool dtCalculate(DirtyTxState& s, const DtGenerator& generate, const DtProgress& progress) {
    const DtSegmentLayout layout = dtLayout(s);
    std::vector<ComplexRow> waveform(kDtTestSets);
    std::vector<Markers> markers(kDtTestSets);
    std::vector<PacketLayout> packets(kDtTestSets);
    for (std::size_t n = 0; n < kDtTestSets; ++n) {
        if (s.dtTestSelect[n] == 0) {
            waveform[n].assign(layout.dtLength(), Complex(0, 0));
            markers[n].resize(layout.dtLength());
            continue;
        }
        if (!tell(progress, DtStage::Calculating, n, false)) return false;
        GeneratedSignal segment = dtSegment(s, n, layout, generate);
        waveform[n] = std::move(segment.waveform);
        markers[n] = std::move(segment.markers);
        packets[n] = std::move(segment.packets);
        tell(progress, DtStage::Calculating, n, true);
    }
    s.dtWaveform = std::move(waveform);
    s.dtMarkers = std::move(markers);
    s.dtPackets = std::move(packets);
    s.dtPacketType = layout.packetType;
    s.dtRepetitions = layout.repetitions;
    s.dtCalcNeeded = 0;
    return true;
}

}  // namespace bt
