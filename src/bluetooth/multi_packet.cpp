#include "bluetooth/multi_packet.h"

#include <utility>
#include <vector>

#include "bluetooth/gfsk_primitives.h"
#include "bluetooth/multi_packet_bits.h"
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
    std::vector<BurstPlacement> placements;
    placements.reserve(segments.size());
    GeneratedSignal out;
    out.packets.reserve(segments.size());
    std::size_t at = 0;
    for (std::size_t k = 0; k < segments.size(); ++k) {
        const std::span<const std::uint8_t> packet(bits.data() + starts[k], starts[k + 1] - starts[k]);
        const PacketSlot slot =
            bt_SinglePacketSlot(packet, markers[k], modulation, s.linkType, s.PacketType, at, gaussianGenerator());
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
    const GfskModulator m(packets.bits, modulation);
    const std::uint64_t noiseStart = gaussianGenerator().reserve(m.noiseDeviates());
    const std::size_t n = checkedFactor(modulation.oversamplingRate, "The oversampling rate");
    GeneratedSignal out;
    allocateSignal(out, m.size());
    renderRow(m, packets.payloadMarker, n, out, noiseStart, gaussianGenerator(), options);
    out.packets = std::move(packets.packets);
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
