#pragma once
// The air bits the settings put on air, packet by packet, without
// modulating them: what `btgen bits` prints and scripts compare against.
#include <vector>

#include "bluetooth/settings.h"
#include "lib/types.h"

namespace bt {

struct AirRow {
    Bits bits;    // first air bit first
    Bits marker;  // payload marker, one value per bit
};

// One row per packet in packet mode: the single packet, or every packet of a
// multi-packet sequence in order (with bursts each packet built as a burst of
// its own, without bursts cut from the joined sequence). In stream mode the
// one row is the data itself, marked on its first bit.
std::vector<AirRow> airRows(const GenerationSettings& p);

}  // namespace bt
