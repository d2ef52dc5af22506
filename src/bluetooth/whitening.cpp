#include "bluetooth/whitening.h"

#include "lib/errors.h"

namespace bt {

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
