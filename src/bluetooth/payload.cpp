#include "bluetooth/payload.h"

#include <algorithm>
#include <cmath>

#include "bluetooth/bit_utils.h"
#include "bluetooth/shift_registers.h"
#include "bluetooth/size_est.h"
#include "lib/errors.h"

namespace bt {

namespace {

std::size_t bitCount(double len) {
    if (!(len >= 1)) return 0;  // also NaN
    if (len > kMaxPatternBits) throw Error("The payload pattern is too long.");
    return static_cast<std::size_t>(std::floor(len));
}

Bits generate(double type, std::size_t n, const Bits* pattern) {
    if (n == 0) return {};
    const auto alternating = [n](std::uint8_t first) {
        Bits b(n);
        for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(first ^ (i & 1u));
        return b;
    };
    if (type == 1) return Bits(n, 0);
    if (type == 2) return Bits(n, 1);
    if (type == 3) return alternating(0);
    if (type == 4) return alternating(1);
    if (type == 5) return PNgenerator(9, static_cast<double>(n));
    if (type == 6) return PNgenerator(15, static_cast<double>(n));
    if (type == 7 || type == 8) {
        if (!pattern) throw Error("Payload types 7 and 8 need a pattern.");
        if (pattern->empty()) throw Error("The payload pattern is empty.");
        return ExtendVector(*pattern, static_cast<double>(n));
    }
    return {};
}

}  // namespace

Bits GenerateBitStream(double type, double len) { return generate(type, bitCount(len), nullptr); }

Bits GenerateBitStream(double type, double len, const Bits& pattern) {
    return generate(type, bitCount(len), &pattern);
}

Bits Bt_GeneratePayload(const GenerationSettings& p) {
    double len = p.patternLength;
    if (p.generationMode == 1) {
        const double largest = Bt_UserPayloadMaxSize(p.linkType, p.packetType);
        if (largest == 0 || !(len >= 1)) return {};
        if (p.multiPacket == 0) len = std::min(len, largest);
    }
    if (p.payloadType == 8) return GenerateBitStream(8, len, p.dataSourceBitstream);
    // The byte pattern, least significant bit first; only type 7 reads it.
    if (p.payloadType == 7) return GenerateBitStream(7, len, BitVector(p.bitPattern, 8));
    return GenerateBitStream(p.payloadType, len);
}

}  // namespace bt
