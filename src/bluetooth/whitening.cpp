#include "bluetooth/whitening.h"

#include <algorithm>
#include <array>

#include "lib/errors.h"

namespace bt {

void Whitener::apply(std::uint8_t* bits, std::size_t n) {
    // g(D) is primitive: the register returns to its state after 127 steps
    // (an empty register stays empty), so one period of output serves a
    // long row, and only the remainder is stepped to leave the state right.
    constexpr std::size_t kPeriod = 127;
    if (n < kPeriod) {
        for (std::size_t i = 0; i < n; ++i) bits[i] ^= next();
        return;
    }
    std::array<std::uint8_t, kPeriod> period;
    for (auto& b : period) b = next();
    for (std::size_t i = 0; i < n; i += kPeriod) {
        const std::size_t m = std::min(kPeriod, n - i);
        for (std::size_t k = 0; k < m; ++k) bits[i + k] ^= period[k];
    }
    for (std::size_t k = 0; k < n % kPeriod; ++k) next();
}

Bits Scrambler_7bit_741(const Bits& input, const Bits& initState) {
    if (initState.size() != 7) throw Error("The scrambler start value must have 7 bits.");
    // Cells s1..s7 as bits 0..6; each output bit enters as the new s1.
    unsigned reg = 0;
    for (unsigned k = 0; k < 7; ++k) reg |= (initState[k] & 1u) << k;
    Bits out(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        const unsigned bit = (input[i] ^ (reg >> 3) ^ (reg >> 6)) & 1u;
        out[i] = static_cast<std::uint8_t>(bit);
        reg = ((reg << 1) | bit) & 0x7Fu;
    }
    return out;
}

}  // namespace bt
