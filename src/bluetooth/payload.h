#pragma once
// The user data bits that go into packets (packet mode) or straight to the
// modulator (stream mode).
#include "bluetooth/settings.h"
#include "lib/types.h"

namespace bt {

// No waveform can carry more bits: the largest waveform memory holds 32 M
// samples and every bit takes at least two.
inline constexpr double kMaxPatternBits = 32e6;

// `len` bits (rounded down to whole bits) of pattern kind `type`: 1 zeros,
// 2 ones, 3 "01..", 4 "10..", 5 PN9, 6 PN15, 7 and 8 `pattern` repeated.
// Any other type gives no bits. Types 7 and 8 without a pattern (the
// two-argument form) or with an empty one fail, and so does a length above
// kMaxPatternBits.
Bits GenerateBitStream(double type, double len);
Bits GenerateBitStream(double type, double len, const Bits& pattern);

// The payload the settings describe. In packet mode a packet type without
// payload gives no bits. A single packet never carries more than its type's
// largest user payload, so in single-packet packet mode no more bits than
// that are generated, however long the pattern is set: the packet built
// from them is the same.
Bits Bt_GeneratePayload(const GenerationSettings& parameters);

}  // namespace bt
