#pragma once
// The packet header: AM address, type, FLOW, ARQN and SEQN (10 bits), the
// 8-bit header error check, then rate-1/3 repetition: 54 bits on air.
#include <array>
#include <cstdint>

#include "lib/types.h"

namespace bt {

// Header field values; bits beyond each field's width are ignored.
struct HeaderFields {
    std::uint8_t AMaddr = 0;      // 3 bits
    std::uint8_t PacketType = 0;  // 4 bits
    std::uint8_t FlowBit = 0;
    std::uint8_t ArqNum = 0;
    std::uint8_t SeqNum = 0;
};

// The 18 header bits before FEC: the 10 field bits, each field least
// significant bit first, and the HEC started from `uap`.
std::array<std::uint8_t, 18> bt_RawHeader(const HeaderFields& fields, std::uint8_t uap);

// The 54 header air bits. The field rows have 3, 4, 1, 1 and 1 bits and
// `HECinitialState` is the 8-bit UAP row, all least significant bit first.
Bits Bt_Header(const Bits& AMaddr, const Bits& PacketType, const Bits& FlowBit, const Bits& ArqNum,
               const Bits& SeqNum, const Bits& HECinitialState);

}  // namespace bt
