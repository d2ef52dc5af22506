#include "bluetooth/single_packet.h"

#include <algorithm>
#include <optional>
#include <string>

#include "bluetooth/edr.h"
#include "bluetooth/gfsk_primitives.h"
#include "bluetooth/packet_types.h"
#include "bluetooth/size_est.h"
#include "lib/errors.h"
#include "lib/numtext.h"

namespace bt {

void checkPacketType(double linkType, double packetType) {
    if (!bt_PacketTypeInfo(linkType, packetType))
        throw Error("Packet type " + formatNumber(packetType) + " is not built on " +
                    "an " + std::string(linkTypeName(linkType)) + " link.");
}

PacketSlot bt_SinglePacketSlot(std::span<const std::uint8_t> bits, const MarkerExtent& marker,
                               const ModulatorSettings& modulation, double linkType, double packetType,
                               std::size_t at, GaussianRandom& noise) {
    const std::size_t n = checkedFactor(modulation.oversamplingRate, "The oversampling rate");
    const std::size_t modulated = GfskModulator::sizeFor(bits.size(), modulation);
    PacketSlot slot;
    slot.occupied = modulated;
    // The payload marker lines up with the burst: ramp-up and settling
    // first (whole symbols: the modulator has checked them).
    std::size_t lead = 0;
    if (modulation.burstActive) {
        lead = static_cast<std::size_t>(modulation.burstLength + modulation.burstSettle) * n;
        const auto period = BT_SLOT_LENGTH * static_cast<std::size_t>(bt_NumberOfSlots(linkType, packetType)) * n;
        slot.occupied = std::max(modulated, period);
    }
    BurstPlacement& p = slot.placement;
    p.bits = bits;
    p.at = at;
    p.noiseStart = noise.reserve(GfskModulator::noiseDeviatesFor(bits.size(), modulation));
    slot.airStart = at + lead;
    p.markerFirst = at + lead + marker.headerPad * n;
    p.markerLast = p.markerFirst + marker.userPayloadLength * n;
    return slot;
}

GeneratedSignal Bt_SinglePacket(std::span<const std::uint8_t> databits, const PacketWaveformSettings& s,
                                const BuildOptions& options) {
    checkPacketType(s.linkType, s.PacketType);
    const PacketInputs in = bt_SinglePacketInputs(s.linkType, s.PacketType, s.BDaddr, s.AMaddr, s.SeqNum, s.ArqNum,
                                                  s.scramblerActive, s.scramblerInit);
    Bits bits;
    Bits bitMarker;
    MarkerExtent marker = bt_AppendPacket(databits, in, bits, bitMarker);

    ModulatorSettings modulation = s.modulation;
    modulation.phaseCorrection = !modulation.burstActive;
    const std::size_t n = checkedFactor(modulation.oversamplingRate, "The oversampling rate");
    // An EDR packet is modulated from its GFSK row with the DPSK section laid over it.
    const PacketTypeInfo* type = bt_PacketTypeInfo(s.linkType, s.PacketType);
    std::optional<DpskOverlay> overlay;
    Bits edrRow;
    if (type && type->edr() && !bits.empty()) {
        overlay.emplace(n, edrAmplitude(modulation.edrRelativePower));
        overlay->addPacket(0, bits, type->edrBitsPerSymbol);
        appendEdrGfskRow(bits, type->edrBitsPerSymbol, edrRow);
        marker = edrSymbolExtent(marker, bits.size(), type->edrBitsPerSymbol);
    }
    const std::span<const std::uint8_t> row = overlay ? std::span<const std::uint8_t>(edrRow) : bits;
    PacketSlot slot = bt_SinglePacketSlot(row, marker, modulation, s.linkType, s.PacketType, 0, gaussianGenerator());
    if (overlay) slot.placement.overlay = &*overlay;
    GeneratedSignal out;
    allocateSignal(out, slot.occupied);
    renderBursts(std::span(&slot.placement, 1), modulation, out, gaussianGenerator(), options);
    if (!bits.empty()) out.packets.push_back(packetOnAir(in, databits, row.size(), slot.airStart, n));
    return out;
}

PacketWaveformSettings packetWaveformSettings(double linkType, double PacketType, double BDaddr, double AMaddr,
                                              double SeqNum, double ArqNum, double scramblerActive,
                                              double scramblerInit, double modIndex, double burstActive,
                                              double burstLength, double burstSettle, double oversamplingRate,
                                              double AWGNactive, double AWGNratio, double AWGNseed,
                                              double freqDriftActive, double freqDriftDeviation,
                                              double freqDriftType, double initialDriftPhase, double freqDriftRate,
                                              double freqOffsetActive, double freqOffsetFreq) {
    PacketWaveformSettings s;
    s.linkType = linkType;
    s.PacketType = PacketType;
    s.BDaddr = BDaddr;
    s.AMaddr = AMaddr;
    s.SeqNum = SeqNum;
    s.ArqNum = ArqNum;
    s.scramblerActive = scramblerActive;
    s.scramblerInit = scramblerInit;
    // The builders choose the phase correction themselves.
    s.modulation = modulatorSettings(modIndex, burstActive, burstLength, burstSettle, oversamplingRate, AWGNactive,
                                     AWGNratio, AWGNseed, freqDriftActive, freqDriftDeviation, freqDriftType,
                                     initialDriftPhase, freqDriftRate, freqOffsetActive, freqOffsetFreq, 0);
    return s;
}

GeneratedSignal Bt_SinglePacket(const Bits& databits, double linkType, double PacketType, double BDaddr,
                                double AMaddr, double SeqNum, double ArqNum, double scramblerActive,
                                double scramblerInit, double modIndex, double burstActive, double burstLength,
                                double burstSettle, double oversamplingRate, double AWGNactive, double AWGNratio,
                                double AWGNseed, double freqDriftActive, double freqDriftDeviation,
                                double freqDriftType, double initialDriftPhase, double freqDriftRate,
                                double freqOffsetActive, double freqOffsetFreq) {
    return Bt_SinglePacket(
        std::span<const std::uint8_t>(databits),
        packetWaveformSettings(linkType, PacketType, BDaddr, AMaddr, SeqNum, ArqNum, scramblerActive, scramblerInit,
                               modIndex, burstActive, burstLength, burstSettle, oversamplingRate, AWGNactive,
                               AWGNratio, AWGNseed, freqDriftActive, freqDriftDeviation, freqDriftType,
                               initialDriftPhase, freqDriftRate, freqOffsetActive, freqOffsetFreq));
}

}  // namespace bt
