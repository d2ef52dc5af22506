#pragma once
// Bit rows for tests: seeded random data and repeated patterns.
#include <random>
#include <string_view>

#include "lib/types.h"

namespace bt::testing {

inline Bits randomBits(std::size_t count, unsigned seed) {
    std::mt19937 gen(seed);
    Bits bits(count);
    for (auto& b : bits) b = static_cast<std::uint8_t>(gen() & 1);
    return bits;
}

// "11110000" repeated `times` times.
inline Bits repeatedPattern(std::string_view pattern, std::size_t times) {
    Bits bits;
    bits.reserve(pattern.size() * times);
    for (std::size_t t = 0; t < times; ++t)
        for (char c : pattern) bits.push_back(static_cast<std::uint8_t>(c == '1'));
    return bits;
}

}  // namespace bt::testing
