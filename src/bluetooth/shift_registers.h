#pragma once
// Shift-register sequences, checksum division and PN patterns.
#include <cstddef>
#include <optional>
#include <span>
#include <utility>

#include "lib/types.h"
#include "lib/value.h"

namespace bt {

// Fibonacci register history: the first `order` bits are the seed, then
// a(i) = sum over k of taps(k) * a(i - order + k - 1) mod 2. At least `order`
// bits are returned.
Bits Lfsr(std::size_t order, const Bits& taps, std::size_t m, const Bits& seed);

// Remainder of D^m d(D) modulo g(D) with the data fed first bit first, read
// from the highest register cell down (the order the parity goes on air).
// `taps` is g0..gm in ascending powers; `initialState` has m elements.
Bits LfsrChecksum(const Bits& taps, const Bits& initialState, const Bits& data);

// Full argument set of the PN pattern generator; every field left empty
// takes its default (order 9, one period, not inverted, all-ones seed).
struct PnOptions {
    std::optional<Value> order;
    std::optional<Value> dataLength;
    std::optional<Value> userInvert;
    std::optional<Value> seed;
    std::optional<Value> zeroSuppression;
};
Bits PNgenerator(const PnOptions& options);
// The form the payload generator uses: `dataLength` bits of PN`order`.
Bits PNgenerator(double order, double dataLength);
// Positional form: order, dataLength, userInvert, seed, zeroSuppression.
Bits PNgenerator(std::span<const Value> args);

// GF(2) polynomial arithmetic on ascending coefficient rows.
Bits gfadd(const Bits& a, const Bits& b);
// Quotient and remainder of b(D) / a(D). Both are trimmed of high-order
// zeros (a zero polynomial is the single coefficient 0).
std::pair<Bits, Bits> gfdeconv(const Bits& b, const Bits& a);

}  // namespace bt
