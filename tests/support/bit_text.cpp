#include "support/bit_text.h"

namespace bt::test {

Bits bitsOf(std::string_view text) {
    Bits out;
    for (char c : text)
        if (c == '0' || c == '1') out.push_back(static_cast<std::uint8_t>(c - '0'));
    return out;
}

std::string textOf(const Bits& bits) {
    std::string s;
    for (auto b : bits) s.push_back(static_cast<char>('0' + b));
    return s;
}

Bits bitsOfValue(std::uint64_t value, unsigned n) {
    Bits out(n);
    for (unsigned k = 0; k < n; ++k) out[k] = (value >> k) & 1u;
    return out;
}

Bits randomBits(std::mt19937_64& rng, std::size_t n) {
    Bits out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng() & 1u);
    return out;
}

}  // namespace bt::test
