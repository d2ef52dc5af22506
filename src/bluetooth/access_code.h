#pragma once
// The access code that opens every packet: 4 preamble bits, the 64-bit sync
// word derived from the lower address part (LAP) and an optional 4-bit
// trailer.
#include <cstdint>

#include "lib/types.h"

namespace bt {

// The sync word of a 24-bit LAP; bit k is the (k+1)-th bit on air.
std::uint64_t bt_SyncWord(std::uint32_t lap);

// Appends the 68 (no trailer) or 72 (trailer) access code bits of `lap`.
void bt_AppendAccessCode(std::uint32_t lap, bool trailer, Bits& out);

// `LAPaddr`: the 24 LAP bits, least significant first (bits 1..24 of the
// 48-bit device address row). Returns 68 or 72 bits in transmission order.
Bits Bt_AccessCode(const Bits& LAPaddr, bool trailer);

}  // namespace bt
