#pragma once
// The waveform of one Bluetooth packet: its bits modulated, and with bursts
// on, the burst padded with idle samples to the packet's slot period so that
// played in a loop it repeats at the rate a link would send it.
#include <cstddef>
#include <cstdint>
#include <span>

#include "bluetooth/generated_signal.h"
#include "bluetooth/packet.h"
#include "bluetooth/signal_render.h"
#include "lib/random.h"
#include "lib/types.h"

namespace bt {

// Symbols of one Bluetooth slot.
inline constexpr std::size_t BT_SLOT_LENGTH = 625;

// One packet: header FLOW 1, payload L_CH 0 1 and payload FLOW 1, the
// settings' sequence, acknowledge and whitening values; phase correction on
// exactly when bursts are off. Marker 2 covers the user payload's samples.
// Throws bt::Error for a packet type that is not built on the link.
GeneratedSignal Bt_SinglePacket(std::span<const std::uint8_t> databits, const PacketWaveformSettings& s,
                                const BuildOptions& options = {});

// The exported argument order; flags are true when non-zero.
GeneratedSignal Bt_SinglePacket(const Bits& databits, double linkType, double PacketType, double BDaddr,
                                double AMaddr, double SeqNum, double ArqNum, double scramblerActive,
                                double scramblerInit, double modIndex, double burstActive, double burstLength,
                                double burstSettle, double oversamplingRate, double AWGNactive, double AWGNratio,
                                double AWGNseed, double freqDriftActive, double freqDriftDeviation,
                                double freqDriftType, double initialDriftPhase, double freqDriftRate,
                                double freqOffsetActive, double freqOffsetFreq);

// ---- Shared with the multi-packet builder.

// The settings of the 24-input form.
PacketWaveformSettings packetWaveformSettings(double linkType, double PacketType, double BDaddr, double AMaddr,
                                              double SeqNum, double ArqNum, double scramblerActive,
                                              double scramblerInit, double modIndex, double burstActive,
                                              double burstLength, double burstSettle, double oversamplingRate,
                                              double AWGNactive, double AWGNratio, double AWGNseed,
                                              double freqDriftActive, double freqDriftDeviation,
                                              double freqDriftType, double initialDriftPhase, double freqDriftRate,
                                              double freqOffsetActive, double freqOffsetFreq);

// Throws bt::Error unless the packet type is built on the link.
void checkPacketType(double linkType, double packetType);

// Where a packet whose burst starts at output sample `at` lies: its
// placement (noise reserved from `noise` now, in call order) and the samples
// it occupies: its slot period with bursts on (or the burst, if longer),
// else exactly the modulated packet.
struct PacketSlot {
    BurstPlacement placement;
    std::size_t occupied = 0;
    std::size_t airStart = 0;  // output sample of the packet's first air bit
};
PacketSlot bt_SinglePacketSlot(std::span<const std::uint8_t> bits, const MarkerExtent& marker,
                               const ModulatorSettings& modulation, double linkType, double packetType,
                               std::size_t at, GaussianRandom& noise);

}  // namespace bt
