#pragma once
// The bit level of the multi-packet signal: a payload cut into packet-sized
// segments, one packet per segment, with alternating sequence bits.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "bluetooth/packet_layout.h"
#include "lib/types.h"

namespace bt {

struct PacketSegment {
    std::size_t start = 0;   // first data bit of the segment
    std::size_t length = 0;  // 0 for the packet that completes an odd count
    std::uint8_t SEQN = 0;
    bool operator==(const PacketSegment&) const = default;
};

// `dataLength` bits cut into segments of `packetSize` (the last one may be
// shorter), with sequence bits 1, 0, 1, ...; an odd number of segments is
// completed by one more packet without data carrying `padSeqn`. No data
// gives no packets. Throws bt::Error when data meets a `packetSize` of 0.
std::vector<PacketSegment> bt_MultiPacketSegments(std::size_t dataLength, std::size_t packetSize,
                                                  std::uint8_t padSeqn);

struct MultiPacketBits {
    Bits bits;
    Bits payloadMarker;                    // one value per bit
    std::vector<std::size_t> packetStarts; // first bit of every packet in `bits`
    PacketLayout packets;                  // the same, counted in bits (one sample per symbol)
};

// The packets of the sequence without bursts, back to back: FLOW 0, ARQN 0,
// payload L_CH 0 0 and payload FLOW 0, one access code (with trailer) for
// all, and sequence bit 1 on the packet that completes an odd count.
// `SeqNum` is not used: the sequence bits are the builder's own.
MultiPacketBits bt_MultiPacketGenerateBits(std::span<const std::uint8_t> databits, double linkType,
                                           double packetType, double BDaddr, double AMaddr, double SeqNum,
                                           double scramblerActive, double scramblerInit);

}  // namespace bt
