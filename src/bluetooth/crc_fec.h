#pragma once
// Error checks and forward error correction of the packet: the header error
// check (HEC), the payload CRC and the rate-1/3 and rate-2/3 FEC codes.
//
// The exported coders take and return bit rows. The packet assembler calls
// them once per packet, thousands of times per waveform, so the work is done
// by word-sized kernels on raw bit arrays that the rows merely wrap.
#include <cstddef>
#include <cstdint>
#include <span>

#include "lib/types.h"

namespace bt {

// A Galois division register over GF(2) held in one machine word (cell k is
// bit k): the form that leaves the remainder of D^m d(D) modulo g(D) after
// the data has been fed first bit first. Equivalent to LfsrChecksum.
struct ChecksumRegister {
    std::uint32_t taps;   // g0 .. g(m-1), bit k holding g_k
    unsigned m;           // degree of g(D)
    std::uint32_t state;  // cells 1 .. m as bits 0 .. m-1

    void feed(std::uint8_t bit) {
        const std::uint32_t carry = (bit ^ (state >> (m - 1))) & 1u;
        state = ((state << 1) & ((1u << m) - 1)) ^ (carry ? taps : 0u);
    }
    void feed(std::span<const std::uint8_t> bits) {
        for (std::uint8_t b : bits) feed(b);
    }
    // The parity bits in transmission order: cell m down to cell 1.
    void readOut(std::uint8_t* out) const {
        for (unsigned k = 0; k < m; ++k) out[k] = (state >> (m - 1 - k)) & 1u;
    }
};

// g(D) = 1 + D + D^2 + D^5 + D^7 + D^8, started from the UAP.
ChecksumRegister hecRegister(std::uint8_t uap);

// The 16 CRC bits of `bits` into `out`, in transmission order: g(D) = 1 +
// D^5 + D^12 + D^16, register cells 1..8 started from the UAP, 9..16 at 0.
void crc16(std::span<const std::uint8_t> bits, std::uint8_t uap, std::uint8_t* out);

// The 8-bit number held by an 8-bit row, least significant bit first.
std::uint8_t packBits8(std::span<const std::uint8_t> bits);

// The 8 HEC bits of `input` (the 10 header bits) in transmission order.
// `initialState` is the 8-bit UAP row, least significant bit first.
Bits Bt_HECencoder(const Bits& input, const Bits& initialState);

// The 16 CRC bits of `input` (payload header and body) in transmission order.
Bits Bt_CRCencoder(const Bits& input, const Bits& initialState);

enum class FecRate { None, OneThird, TwoThirds };

// 1/3 and 2/3 select their codes (compared as the exact double values);
// every other rate means no coding.
FecRate fecRateOf(double rate);
// Coded length of `n` bits.
std::size_t fecCodedLength(FecRate rate, std::size_t n);
// Codes `n` bits into `out`, which must hold fecCodedLength(rate, n) bits.
// A rate-2/3 tail block is completed with zero bits.
void fecEncode(FecRate rate, const std::uint8_t* in, std::size_t n, std::uint8_t* out);

// Rate 1/3: each bit three times; rate 2/3: the shortened (15,10) Hamming
// code, 10 information bits then 5 parity bits per block; otherwise `input`.
Bits Bt_FECencoder(const Bits& input, double rate);

}  // namespace bt
