#include "bluetooth/multi_packet.h"

#include <optional>
#include <utility>
#include <vector>

#include "bluetooth/edr.h"
#include "bluetooth/gfsk_primitives.h"
#include "bluetooth/multi_packet_bits.h"
#include "bluetooth/packet_types.h"
#include "bluetooth/single_packet.h"
#include "bluetooth/size_est.h"

namespace bt {

namespace {

// Sequence bit of the packet that completes an odd count, with bursts.
constexpr std::uint8_t kBurstPadSeqn = 0;

GeneratedSignal burstSequence(std::span<const std::uint8_t> data, const PacketWaveformSettings& s,
                              const BuildOptions& options) {
    const auto packetSize = static_cast<std::size_t>(Bt_UserPayloadMaxSize(s.linkType, s.PacketType));
    const std::vector<PacketSegment> segments = bt_MultiPacketSegments(data.size(), packetSize, kBurstPadSeqn);
    if (segments.empty()) return {};

    // Every packet's bits in one row, built on this thread (cheap next to
    // the modulation), then placed slot after slot.
    PacketInputs in = bt_SinglePacketInputs(s.linkType, s.PacketType, s.BDaddr, s.AMaddr, 0, s.ArqNum,
                                            s.scramblerActive, s.scramblerInit);
    const auto perPacket = static_cast<std::size_t>(bt_SinglePacketLength(double(packetSize), s.linkType, s.PacketType));
    Bits bits;
    Bits bitMarker;
    bits.reserve(segments.size() * perPacket);
    bitMarker.reserve(segments.size() * perPacket);
    std::vector<std::size_t> starts;
    std::vector<MarkerExtent> markers;
    starts.reserve(segments.size() + 1);
    markers.reserve(segments.size());
    for (const PacketSegment& seg : segments) {
        in.SeqNum = seg.SEQN;
        starts.push_back(bits.size());
        markers.push_back(bt_AppendPacket(data.subspan(seg.start, seg.length), in, bits, bitMarker));
    }
    starts.push_back(bits.size());

    ModulatorSettings modulation = s.modulation;
    modulation.phaseCorrection = false;
    const std::size_t n = checkedFactor(modulation.oversamplingRate, "The oversampling rate");

    // EDR packets: every packet's GFSK row in one row and their DPSK
    // sections in one overlay, each burst reading its own stretch.
    const PacketTypeInfo* type = bt_PacketTypeInfo(s.linkType, s.PacketType);
    std::optional<DpskOverlay> overlay;
    Bits edrRows;
    std::vector<std::size_t> rowStarts;
    if (type && type->edr()) {
        const int bps = type->edrBitsPerSymbol;
        overlay.emplace(n, edrAmplitude(modulation.edrRelativePower));
        edrRows.reserve(segments.size() * perPacket);  // an EDR packet's length is in symbols
        rowStarts.reserve(segments.size() + 1);
        for (std::size_t k = 0; k < segments.size(); ++k) {
            const std::span<const std::uint8_t> packet(bits.data() + starts[k], starts[k + 1] - starts[k]);
            rowStarts.push_back(edrRows.size());
            overlay->addPacket(edrRows.size(), packet, bps);
            appendEdrGfskRow(packet, bps, edrRows);
            markers[k] = edrSymbolExtent(markers[k], packet.size(), bps);
        }
        rowStarts.push_back(edrRows.size());
    }

    std::vector<BurstPlacement> placements;
    placements.reserve(segments.size());
    GeneratedSignal out;
    out.packets.reserve(segments.size());
    std::size_t at = 0;
    for (std::size_t k = 0; k < segments.size(); ++k) {
        const std::span<const std::uint8_t> packet =
            overlay ? std::span<const std::uint8_t>(edrRows.data() + rowStarts[k], rowStarts[k + 1] - rowStarts[k])
                    : std::span<const std::uint8_t>(bits.data() + starts[k], starts[k + 1] - starts[k]);
        PacketSlot slot =
            bt_SinglePacketSlot(packet, markers[k], modulation, s.linkType, s.PacketType, at, gaussianGenerator());
        if (overlay) {
            slot.placement.overlay = &*overlay;
            slot.placement.overlayOrigin = rowStarts[k] * n;
        }
        placements.push_back(slot.placement);
        in.SeqNum = segments[k].SEQN;
        out.packets.push_back(packetOnAir(in, data.subspan(segments[k].start, segments[k].length), packet.size(), slot.airStart, n));
        at += slot.occupied;
    }
    allocateSignal(out, at);
    renderBursts(placements, modulation, out, gaussianGenerator(), options);
    return out;
}

GeneratedSignal streamSequence(std::span<const std::uint8_t> data, const PacketWaveformSettings& s,
                               const BuildOptions& options) {
    const MultiPacketBits packets = bt_MultiPacketGenerateBits(data, s.linkType, s.PacketType, s.BDaddr, s.AMaddr,
                                                               s.SeqNum, s.scramblerActive, s.scramblerInit);
    ModulatorSettings modulation = s.modulation;
    modulation.burstActive = false;
    modulation.phaseCorrection = true;
    const std::size_t n = checkedFactor(modulation.oversamplingRate, "The oversampling rate");
    GeneratedSignal out;
    out.packets = std::move(packets.packets);

    // EDR packets: the GFSK rows and the per-symbol marker, one after another.
    const PacketTypeInfo* type = bt_PacketTypeInfo(s.linkType, s.PacketType);
    std::optional<DpskOverlay> overlay;
    Bits edrRow;
    Bits edrMarker;
    if (type && type->edr()) {
        const int bps = type->edrBitsPerSymbol;
        overlay.emplace(n, edrAmplitude(modulation.edrRelativePower));
        for (std::size_t k = 0; k < packets.packetStarts.size(); ++k) {
            const std::size_t from = packets.packetStarts[k];
            const std::size_t to = k + 1 < packets.packetStarts.size() ? packets.packetStarts[k + 1] : packets.bits.size();
            const std::span<const std::uint8_t> packet(packets.bits.data() + from, to - from);
            out.packets[k].sampleStart = edrRow.size();
            overlay->addPacket(edrRow.size(), packet, bps);
            appendEdrGfskRow(packet, bps, edrRow);
            appendEdrSymbolMarker(std::span(packets.payloadMarker).subspan(from, to - from), bps, edrMarker);
            out.packets[k].sampleCount = edrRow.size() - out.packets[k].sampleStart;
        }
    }
    const GfskModulator m(overlay ? edrRow : packets.bits, modulation, overlay ? &*overlay : nullptr);
    const std::uint64_t noiseStart = gaussianGenerator().reserve(m.noiseDeviates());
    allocateSignal(out, m.size());
    renderRow(m, overlay ? edrMarker : packets.payloadMarker, n, out, noiseStart, gaussianGenerator(), options);
    for (PacketOnAir& p : out.packets) {
        p.sampleStart *= n;
        p.sampleCount *= n;
    }
    return out;
}

}  // namespace

GeneratedSignal Bt_MultiPacket(std::span<const std::uint8_t> databits, const PacketWaveformSettings& s,
                               const BuildOptions& options) {
    checkPacketType(s.linkType, s.PacketType);
    return s.modulation.burstActive ? burstSequence(databits, s, options) : streamSequence(databits, s, options);
}

GeneratedSignal Bt_MultiPacket(const Bits& databits, double linkType, double PacketType, double BDaddr,
                               double AMaddr, double SeqNum, double ArqNum, double scramblerActive,
                               double scramblerInit, double modIndex, double burstActive, double burstLength,
                               double burstSettle, double oversamplingRate, double AWGNactive, double AWGNratio,
                               double AWGNseed, double freqDriftActive, double freqDriftDeviation,
                               double freqDriftType, double initialDriftPhase, double freqDriftRate,
                               double freqOffsetActive, double freqOffsetFreq) {
    return Bt_MultiPacket(
        std::span<const std::uint8_t>(databits),
        packetWaveformSettings(linkType, PacketType, BDaddr, AMaddr, SeqNum, ArqNum, scramblerActive, scramblerInit,
                               modIndex, burstActive, burstLength, burstSettle, oversamplingRate, AWGNactive,
                               AWGNratio, AWGNseed, freqDriftActive, freqDriftDeviation, freqDriftType,
                               initialDriftPhase, freqDriftRate, freqOffsetActive, freqOffsetFreq));
}

}  // namespace bt
