#include "bluetooth/dirty_tx_frames.h"

#include <algorithm>
#include <cmath>

#include "bluetooth/packet_types.h"
#include "lib/errors.h"
#include "lib/numtext.h"

namespace bt {

namespace {

constexpr double kSlotUs = 625;

const PacketTypeInfo* edrAcl(double packetType) {
    const PacketTypeInfo* t = packetType >= kEdrCodeBase ? bt_PacketTypeInfo(kLinkAcl, packetType) : nullptr;
    return t && t->edr() ? t : nullptr;
}

double normalisedType(double packetType) {
    return packetType == 11 || packetType == 15 || edrAcl(packetType) ? packetType : 4;
}

std::size_t packetSlots(double packetType) { return static_cast<std::size_t>(dtPacketSlots(packetType)); }

std::size_t samplesOf(double us, double oversample) {
    const double n = roundHalfAway(us * oversample);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

// Sets row[from, to) to `value`, cut to the row.
void fill(MarkerRow& row, std::size_t from, std::size_t to, std::uint8_t value) {
    to = std::min(to, row.size());
    if (from < to) std::fill(row.begin() + static_cast<std::ptrdiff_t>(from), row.begin() + static_cast<std::ptrdiff_t>(to), value);
}

MarkerRow burstOf(const ComplexRow& w, std::size_t n) {
    MarkerRow m(n, 0);
    for (std::size_t k = 0; k < std::min(n, w.size()); ++k) m[k] = w[k] != Complex(0, 0);
    return m;
}

}  // namespace

int dtPacketSlots(double packetType) {
    if (const PacketTypeInfo* t = edrAcl(packetType)) return t->slots;
    return packetType == 15 ? 5 : packetType == 11 ? 3 : 1;
}

DtSegmentLayout dtSegmentLayout(double packetType, bool externalTrigger, bool omitPoll, double oversample) {
    DtSegmentLayout l;
    l.packetType = normalisedType(packetType);
    l.slotSamples = samplesOf(kSlotUs, oversample);
    l.packetSlots = packetSlots(packetType);
    l.zeroSlots = l.packetSlots - 1;  // DH3 and DH5 frames are padded to twice the packet
    l.pollSlots = omitPoll ? 0 : l.packetSlots;
    l.frameSlots = omitPoll ? l.packetSlots : 2 * l.packetSlots;
    const bool oneSlot = l.packetSlots == 1;
    l.numFrames = oneSlot && externalTrigger ? 4 : 2;
    l.repetitions = l.packetSlots == 5 ? 2 : l.packetSlots == 3 ? 3 : externalTrigger ? 4 : 8;
    if (omitPoll) l.repetitions *= 2;
    return l;
}

GeneratedSignal reorderPacketPoll(const ComplexRow& wfm, const Markers& mkrs, double packetType, double oversample,
                                  double omitPoll) {
    const DtSegmentLayout l = dtSegmentLayout(packetType, false, omitPoll != 0, oversample);
    const std::size_t packet = l.packetSlots * l.slotSamples;
    if (wfm.size() < packet)
        throw Error("The generated packet (" + std::to_string(wfm.size()) + " samples) does not fill the " +
                    std::to_string(l.packetSlots) + " slots of its packet type");
    if (mkrs.row1.size() != wfm.size() || mkrs.row2.size() != wfm.size())
        throw Error("The markers (" + std::to_string(mkrs.row1.size()) + " and " + std::to_string(mkrs.row2.size()) +
                    " samples) do not match the waveform (" + std::to_string(wfm.size()) + " samples)");
    const auto cut = static_cast<std::ptrdiff_t>(packet);
    GeneratedSignal f;
    if (omitPoll != 0) {
        f.waveform.assign(wfm.begin(), wfm.begin() + cut);
        f.markers.row1.assign(mkrs.row1.begin(), mkrs.row1.begin() + cut);
        f.markers.row2.assign(mkrs.row2.begin(), mkrs.row2.begin() + cut);
        return f;
    }
    const std::size_t zeros = l.zeroSlots * l.slotSamples;
    const auto rotate = [&](const auto& from, auto& to) {
        to.reserve(zeros + from.size());
        to.assign(zeros, {});
        to.insert(to.end(), from.begin() + cut, from.end());
        to.insert(to.end(), from.begin(), from.begin() + cut);
    };
    rotate(wfm, f.waveform);
    rotate(mkrs.row1, f.markers.row1);
    rotate(mkrs.row2, f.markers.row2);
    return f;
}

Markers adjustMarkers(const Markers& markers, double packetType, double oversample, const ComplexRow& wfmdata,
                      double burstRampLength, double burstSettle, double marker1Type, double marker2Type,
                      double marker1Timing, double omitPoll) {
    const DtSegmentLayout l = dtSegmentLayout(packetType, false, omitPoll != 0, oversample);
    const double offset = kSlotUs * static_cast<double>(l.pollSlots) + burstRampLength + burstSettle;
    const std::size_t symbol = samplesOf(1, oversample);
    const std::size_t n = markers.size();
    Markers m = markers;

    if (marker1Type == 2) {
        m.row1.assign(n, 0);
        const double start = roundHalfAway((offset + marker1Timing) * oversample);
        if (start >= 0) fill(m.row1, static_cast<std::size_t>(start), static_cast<std::size_t>(start) + symbol, 1);
    }
    if (marker2Type == 4) {
        const auto first = std::find(m.row2.begin(), m.row2.end(), 1);
        if (first != m.row2.end()) {
            const auto last = std::find(m.row2.rbegin(), m.row2.rend(), 1).base() - 1;
            const auto from = static_cast<std::size_t>(first - m.row2.begin());
            const auto to = static_cast<std::size_t>(last - m.row2.begin()) + 16 * symbol + 1;
            m.row2.assign(n, 0);
            fill(m.row2, from, to, 1);
        }
    } else if (marker2Type == 2) {
        m.row2 = burstOf(wfmdata, n);
    } else if (marker2Type == 1) {
        m.row2 = burstOf(wfmdata, n);
        fill(m.row2, 0, samplesOf(offset, oversample) + 1, 0);
        // The ramp-down: the last rampWidth marked samples.
        std::size_t ramp = samplesOf(burstRampLength, oversample);
        for (std::size_t k = n; k-- > 0 && ramp > 0;)
            if (m.row2[k]) {
                m.row2[k] = 0;
                --ramp;
            }
    }
    return m;
}

std::size_t dtSelectedCount(const DtTestSelect& dtTestSelect) {
    return static_cast<std::size_t>(std::count_if(dtTestSelect.begin(), dtTestSelect.end(), [](double x) { return x != 0; }));
}

double dtProjectedLength(double dtPacketType, char platform, double omitPollPeriods, const DtTestSelect& dtTestSelect,
                         double oversample, double externalTrigger) {
    const std::size_t packet = packetSlots(dtPacketType);
    double slots = packet == 5 ? 20 : packet == 3 ? 12 : (platform == 'b' || externalTrigger != 0) ? 8 : 4;
    if (omitPollPeriods != 0) slots /= 2;
    return slots * static_cast<double>(dtSelectedCount(dtTestSelect)) * kSlotUs * oversample;
}

std::string setDTProjectedLength(double dtPacketType, char platform, double omitPollPeriods,
                                 const DtTestSelect& dtTestSelect, double oversample, double externalTrigger) {
    return "Projected Length: " + formatNumber(dtProjectedLength(dtPacketType, platform, omitPollPeriods, dtTestSelect,
                                                                 oversample, externalTrigger));
}

}  // namespace bt
