#include "bluetooth/access_code.h"

#include <algorithm>

#include "bluetooth/bit_utils.h"
#include "bluetooth/shift_registers.h"
#include "lib/errors.h"

namespace bt {

namespace {

// Rows of at most 64 coefficients as one word, element k in bit k.
std::uint64_t packRow(const Bits& row) {
    std::uint64_t v = 0;
    for (std::size_t k = 0; k < row.size() && k < 64; ++k) v |= std::uint64_t{row[k] & 1u} << k;
    return v;
}

struct SyncCode {
    std::uint64_t pn;         // covering sequence, bit k added to sync bit k
    std::uint64_t generator;  // g(D) of degree 34, bit k = coefficient of D^k
};

const SyncCode& syncCode() {
    static const SyncCode code = [] {
        // The 63-bit m-sequence of the register, one 0 appended, reversed.
        Bits pn = Lfsr(6, {1, 0, 1, 1, 0, 1, 1}, 63, {1, 0, 0, 0, 0, 0});
        pn.push_back(0);
        std::reverse(pn.begin(), pn.end());
        return SyncCode{packRow(pn), packRow(Oct2bin("260534236651", "left-msb"))};
    }();
    return code;
}

constexpr unsigned kParityBits = 34;
constexpr std::uint64_t kBarker = 0b101100;  // 0 0 1 1 0 1 in air order

}  // namespace

std::uint64_t bt_SyncWord(std::uint32_t lap) {
    const SyncCode& code = syncCode();
    lap &= 0xFFFFFF;
    // LAP followed by the Barker bits, complemented when the LAP's top bit is set
    // so that the information part keeps its DC balance.
    const std::uint64_t barker = (lap >> 23) & 1u ? (~kBarker & 0x3F) : kBarker;
    const std::uint64_t info = lap | (barker << 24);
    const std::uint64_t message = (info ^ (code.pn >> kParityBits)) << kParityBits;
    // Systematic encoding: the parity is D^34 x(D) modulo g(D).
    std::uint64_t rem = message;
    for (unsigned k = 63; k >= kParityBits; --k)
        if ((rem >> k) & 1u) rem ^= code.generator << (k - kParityBits);
    return (message | rem) ^ code.pn;
}

void bt_AppendAccessCode(std::uint32_t lap, bool trailer, Bits& out) {
    const std::uint64_t sync = bt_SyncWord(lap);
    const std::uint8_t first = sync & 1u;
    const std::uint8_t last = (sync >> 63) & 1u;
    // Preamble and trailer alternate with the sync bit next to them.
    for (unsigned k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(first ^ (k & 1u)));
    for (unsigned k = 0; k < 64; ++k) out.push_back((sync >> k) & 1u);
    if (trailer)
        for (unsigned k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(last ^ (k & 1u) ^ 1u));
}

Bits Bt_AccessCode(const Bits& LAPaddr, bool trailer) {
    if (LAPaddr.size() != 24) throw Error("The LAP must have 24 bits.");
    std::uint32_t lap = 0;
    for (std::size_t k = 0; k < 24; ++k) lap |= std::uint32_t{LAPaddr[k] & 1u} << k;
    Bits out;
    out.reserve(72);
    bt_AppendAccessCode(lap, trailer, out);
    return out;
}

}  // namespace bt
