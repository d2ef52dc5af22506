#pragma once
// Bit rows written as text in the tests ("0101", spaces ignored).
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "lib/types.h"

namespace bt::test {

Bits bitsOf(std::string_view text);
std::string textOf(const Bits& bits);
// `n` bits of `value`, least significant first.
Bits bitsOfValue(std::uint64_t value, unsigned n);
// `n` random bits.
Bits randomBits(std::mt19937_64& rng, std::size_t n);

}  // namespace bt::test
