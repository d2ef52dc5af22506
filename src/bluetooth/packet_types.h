#pragma once
// The packet types that can be built, per link: payload size, payload
// header, CRC, FEC and the extent of the payload marker. Enhanced Data Rate
// packets have codes from 16 up (kEdrCodeBase): the header TYPE field they
// send is shared with basic-rate packets, so it is kept apart from the code.
#include <cstddef>
#include <string_view>

#include "bluetooth/crc_fec.h"

namespace bt {

// The `linkType` codes. eSCO came later than the other two and took the
// next code, so that a program that knows only 1 and 2 refuses its files.
inline constexpr double kLinkSco = 1;
inline constexpr double kLinkAcl = 2;
inline constexpr double kLinkEsco = 3;

enum class PayloadKind {
    None,       // ID, NULL, POLL: no payload
    Data,       // DM, DH, AUX1: payload header, body cut to whole bytes, CRC if any
    Voice,      // HV: fixed-size body, padded or cut to it, no header, no CRC
    Sync,       // EV: fixed-size body, padded or cut to it, no header, CRC
    Fhs,        // FHS: 144 bits built from the addresses, CRC
    DataVoice,  // DV: 80-bit voice field, then a data field with header and CRC
};

struct PacketTypeInfo {
    int code;                      // TYPE field; -1 for the ID packet
    std::string_view name;
    PayloadKind kind;
    std::size_t payloadBits;       // largest user payload (the fixed size for HV and EV)
    std::size_t payloadHeaderBits; // 0, 8 or 16
    bool crc;
    FecRate fec;                   // of the payload (DV: of its data field)
    // Enhanced Data Rate: bits per DPSK payload symbol (2 or 3), 0 for a
    // basic-rate packet; then the header TYPE field and the slots it takes.
    int edrBitsPerSymbol = 0;
    int typeField = 0;
    int slots = 0;

    bool edr() const { return edrBitsPerSymbol != 0; }
    // The TYPE field the header carries.
    int headerType() const { return edr() ? typeField : code; }
};

inline constexpr int kEdrCodeBase = 16;

// The voice field of a DV packet, and the largest body of its data field.
inline constexpr std::size_t kDvVoiceBits = 80;
inline constexpr std::size_t kDvDataBits = 72;
// The FHS payload before its CRC.
inline constexpr std::size_t kFhsBits = 144;

// The type `packetType` on link `linkType` (1 SCO, 3 eSCO, anything else
// ACL), or nullptr for the undefined codes and non-whole numbers. Codes
// from 16 are the link's Enhanced Data Rate packets.
const PacketTypeInfo* bt_PacketTypeInfo(double linkType, double packetType);

// "SCO", "ACL" or "eSCO"; anything but 1 and 3 reads as ACL, as the
// builders take it.
std::string_view linkTypeName(double linkType);

}  // namespace bt
