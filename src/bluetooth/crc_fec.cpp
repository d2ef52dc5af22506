#include "bluetooth/crc_fec.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "lib/errors.h"

namespace bt {

namespace {

// Generator polynomials without their top term, bit k = coefficient of D^k.
constexpr std::uint32_t kHecTaps = 0b10100111;  // 1 + D + D^2 + D^5 + D^7
constexpr std::uint32_t kCrcTaps = 0x1021;      // 1 + D^5 + D^12
constexpr std::uint32_t kFec23Taps = 0b10101;   // 1 + D^2 + D^4

std::uint8_t checkedUap(const Bits& initialState) {
    if (initialState.size() != 8) throw Error("The checksum start value must have 8 bits (the UAP).");
    return packBits8(initialState);
}

}  // namespace

ChecksumRegister hecRegister(std::uint8_t uap) { return {kHecTaps, 8, uap}; }

void crc16(std::span<const std::uint8_t> bits, std::uint8_t uap, std::uint8_t* out) {
    // Eight bits at a time: the register's top byte plus the next eight data
    // bits (first bit as the most significant) decide what the eight steps
    // add to the rest of the register shifted up by eight.
    static const std::array<std::uint16_t, 256> table = [] {
        std::array<std::uint16_t, 256> t{};
        for (std::uint32_t x = 0; x < 256; ++x) {
            ChecksumRegister r{kCrcTaps, 16, x << 8};
            for (int k = 0; k < 8; ++k) r.feed(0);
            t[x] = static_cast<std::uint16_t>(r.state);
        }
        return t;
    }();
    ChecksumRegister reg{kCrcTaps, 16, uap};
    std::size_t i = 0;
    for (; i + 8 <= bits.size(); i += 8) {
        unsigned byte = 0;
        for (std::size_t k = 0; k < 8; ++k) byte = (byte << 1) | (bits[i + k] & 1u);
        reg.state = ((reg.state << 8) & 0xFFFFu) ^ table[((reg.state >> 8) ^ byte) & 0xFFu];
    }
    reg.feed(bits.subspan(i));
    reg.readOut(out);
}

std::uint8_t packBits8(std::span<const std::uint8_t> bits) {
    std::uint8_t v = 0;
    for (std::size_t k = 0; k < bits.size() && k < 8; ++k) v |= static_cast<std::uint8_t>((bits[k] & 1u) << k);
    return v;
}

Bits Bt_HECencoder(const Bits& input, const Bits& initialState) {
    ChecksumRegister reg = hecRegister(checkedUap(initialState));
    reg.feed(input);
    Bits out(8);
    reg.readOut(out.data());
    return out;
}

Bits Bt_CRCencoder(const Bits& input, const Bits& initialState) {
    Bits out(16);
    crc16(input, checkedUap(initialState), out.data());
    return out;
}

FecRate fecRateOf(double rate) {
    if (rate == 1.0 / 3.0) return FecRate::OneThird;
    if (rate == 2.0 / 3.0) return FecRate::TwoThirds;
    return FecRate::None;
}

std::size_t fecCodedLength(FecRate rate, std::size_t n) {
    switch (rate) {
        case FecRate::OneThird: return 3 * n;
        case FecRate::TwoThirds: return 15 * ((n + 9) / 10);
        case FecRate::None: break;
    }
    return n;
}

void fecEncode(FecRate rate, const std::uint8_t* in, std::size_t n, std::uint8_t* out) {
    switch (rate) {
        case FecRate::None:
            if (n) std::memcpy(out, in, n);
            return;
        case FecRate::OneThird:
            for (std::size_t i = 0; i < n; ++i) out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = in[i];
            return;
        case FecRate::TwoThirds:
            for (std::size_t b = 0; b * 10 < n; ++b) {
                const std::size_t take = std::min<std::size_t>(10, n - b * 10);
                std::uint8_t* block = out + 15 * b;
                std::memcpy(block, in + 10 * b, take);
                std::fill(block + take, block + 10, std::uint8_t{0});
                ChecksumRegister reg{kFec23Taps, 5, 0};
                for (std::size_t i = 0; i < 10; ++i) reg.feed(block[i]);
                reg.readOut(block + 10);
            }
            return;
    }
}

Bits Bt_FECencoder(const Bits& input, double rate) {
    const FecRate r = fecRateOf(rate);
    Bits out(fecCodedLength(r, input.size()));
    fecEncode(r, input.data(), input.size(), out.data());
    return out;
}

}  // namespace bt
