#pragma once
// Data whitening of header and payload, and the self-synchronising 7-bit
// scrambler that is offered as a routine of its own.
#include <cstddef>
#include <cstdint>

#include "lib/types.h"

namespace bt {

// Bluetooth data whitening: a free-running register with g(D) = D^7 + D^4 + 1
// whose output bits are added to the data. Cell k starts with bit k of the
// start value (the baseband loads 64 + CLK6..CLK1); cell 6 is the output.
// A start value of 0 leaves the register empty: nothing is whitened. The
// same call undoes the whitening.
class Whitener {
public:
    explicit Whitener(unsigned initValue) : reg_(initValue & 0x7Fu) {}

    std::uint8_t next() {
        const unsigned out = (reg_ >> 6) & 1u;
        reg_ = ((reg_ << 1) & 0x7Fu) | out;
        if (out) reg_ ^= 0x10u;  // the feedback also enters cell 4
        return static_cast<std::uint8_t>(out);
    }
    // Adds the next `n` output bits to `bits`.
    void apply(std::uint8_t* bits, std::size_t n);

private:
    unsigned reg_;
};

// Self-synchronising scrambler with taps 4 and 7: out(n) = in(n) XOR s4 XOR
// s7, the register holding the previous output bits and, before them,
// `initState` (7 bits, s1 = first element). Not the packet whitening: a
// receiver could not de-whiten a packet scrambled this way.
Bits Scrambler_7bit_741(const Bits& input, const Bits& initState);

}  // namespace bt
