#pragma once
// The waveform of a payload longer than one packet carries: the data cut
// into packet-sized segments with alternating sequence bits, one packet per
// segment. With bursts on, each packet is a whole single-packet burst with
// its slot padding; with bursts off, the packets' bits follow each other
// and are modulated as one stream.
#include <cstdint>
#include <span>

#include "bluetooth/generated_signal.h"
#include "lib/types.h"

namespace bt {

// `s.SeqNum` is not used: the packets carry 1, 0, 1, ...; an odd count is
// completed by a packet without data, with sequence bit 0 in bursts and 1
// without. No data gives an empty signal. The noise and frequency
// impairments apply burst by burst with bursts on, over the whole stream
// without. Throws bt::Error for a packet type without payload or not built
// on the link.
GeneratedSignal Bt_MultiPacket(std::span<const std::uint8_t> databits, const PacketWaveformSettings& s,
                               const BuildOptions& options = {});

// The exported argument order; flags are true when non-zero.
GeneratedSignal Bt_MultiPacket(const Bits& databits, double linkType, double PacketType, double BDaddr,
                               double AMaddr, double SeqNum, double ArqNum, double scramblerActive,
                               double scramblerInit, double modIndex, double burstActive, double burstLength,
                               double burstSettle, double oversamplingRate, double AWGNactive, double AWGNratio,
                               double AWGNseed, double freqDriftActive, double freqDriftDeviation,
                               double freqDriftType, double initialDriftPhase, double freqDriftRate,
                               double freqOffsetActive, double freqOffsetFreq);

}  // namespace bt
