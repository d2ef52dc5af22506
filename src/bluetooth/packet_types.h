#pragma once
// The basic-rate packet types that can be built, per link: payload size,
// payload header, CRC, FEC and the extent of the payload marker.
#include <cstddef>
#include <string_view>

#include "bluetooth/crc_fec.h"

namespace bt {

enum class PayloadKind {
    None,   // ID, NULL, POLL: no payload
    Data,   // DM, DH, AUX1: payload header, body cut to whole bytes, CRC if any
    Voice,  // HV: fixed-size body, padded or cut to it, no header, no CRC
};

struct PacketTypeInfo {
    int code;                      // TYPE field; -1 for the ID packet
    std::string_view name;
    PayloadKind kind;
    std::size_t payloadBits;       // largest user payload (the fixed size for HV)
    std::size_t payloadHeaderBits; // 0, 8 or 16
    bool crc;
    FecRate fec;
};

// The type `packetType` on link `linkType` (1 SCO, anything else ACL), or
// nullptr for FHS, DV, the undefined codes and non-whole numbers.
const PacketTypeInfo* bt_PacketTypeInfo(double linkType, double packetType);

}  // namespace bt
