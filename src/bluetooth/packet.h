#pragma once
// Assembly of one basic-rate packet: access code, header with HEC, payload
// with payload header, CRC and FEC, data whitening, and the payload marker.
#include <cstddef>
#include <cstdint>
#include <span>

#include "lib/types.h"

namespace bt {

// Everything but the user data that decides a packet's air bits. Bit rows
// are least significant bit first, like every field on air.
struct PacketInputs {
    double linkType = 2;    // 1 SCO, 3 eSCO, anything else ACL
    double PacketType = 0;  // TYPE code 0..15, or -1 for the ID packet
    Bits accessCode;        // empty: built from the LAP (BDaddr bits 1..24)
    Bits BDaddr;            // the 48 device address bits
    double trailerActive = 1;
    Bits AMaddr = Bits(3, 0);
    std::uint8_t FlowBit = 0;
    std::uint8_t ArqNum = 0;
    std::uint8_t SeqNum = 0;
    Bits CheckSumInitialState = Bits(8, 0);  // the UAP, BDaddr bits 25..32
    Bits playloadLChFlags = Bits(2, 0);      // L_CH of the payload header
    std::uint8_t playloadFlowFlag = 0;       // FLOW of the payload header
    double scramblerActive = 0;              // non-zero: whiten header and payload
    double scramblerInit = 0;                // whitening start value 0..127
};

// The payload marker of a packet: `headerPad` zeros, `userPayloadLength`
// ones, `endOffset` zeros, one value per air bit.
struct MarkerExtent {
    std::size_t headerPad = 0;
    std::size_t userPayloadLength = 0;
    std::size_t endOffset = 0;
    std::size_t length() const { return headerPad + userPayloadLength + endOffset; }
    bool operator==(const MarkerExtent&) const = default;
};

struct PacketBits {
    Bits bitstream;      // air bits, first element first on air
    Bits payloadMarker;  // as long as `bitstream`
    MarkerExtent marker;
};

// Builds the packet carrying `databits` (cut to what the type carries; HV
// and EV data is padded to its fixed size; DV puts the first 80 bits in its
// voice field; FHS carries the addresses instead). A type that is not built
// on the link (undefined codes) gives two empty rows. Throws bt::Error for
// field rows of the wrong width and for a whitening start value outside
// 0..127 while whitening is on.
PacketBits Bt_Packet(std::span<const std::uint8_t> databits, const PacketInputs& in);

// The same packet appended to `bitstream` and its marker to `payloadMarker`
// (which must be equally long), for builders that join many packets; the
// rows' spare capacity is reused, so a warm call allocates nothing.
// Returns the packet's marker extent (all zero when nothing was appended).
MarkerExtent bt_AppendPacket(std::span<const std::uint8_t> databits, const PacketInputs& in, Bits& bitstream,
                             Bits& payloadMarker);

// The 144 bits an FHS packet carries before its CRC, for the device that
// `in` addresses. Throws bt::Error without the 48 address bits.
Bits bt_FhsFields(const PacketInputs& in);

// Inputs with the address fields of `BDaddr` (0 .. 2^48-1) and `AMaddr`
// (0..7) filled in: BDaddr, AMaddr and the UAP as CheckSumInitialState.
PacketInputs bt_PacketAddressing(double BDaddr, double AMaddr);

// The inputs the single-packet builder passes: FLOW 1, payload L_CH 0 1 and
// payload FLOW 1, a trailer unless it is the ID packet, and the settings'
// sequence, acknowledge and whitening values.
PacketInputs bt_SinglePacketInputs(double linkType, double packetType, double BDaddr, double AMaddr,
                                   double SeqNum, double ArqNum, double scramblerActive, double scramblerInit);

}  // namespace bt
