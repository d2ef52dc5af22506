#pragma once
// The tests read packets back with the product's own packet decoder, so
// the receiver that measures recordings is the one every generation test
// relies on. What keeps both honest is outside them: the published sample
// data the packet tests check against, and round trips through the
// generator's encoders written from the other side.
#include <cstdint>

#include "analysis/packet_decoder.h"

namespace bt::test {

using analysis::decodeAll;
using analysis::DecodedPacket;
using analysis::DecodeKey;
using analysis::decodePacket;

// The key of a 48-bit device address; link type 1 is SCO, 3 eSCO, anything
// else ACL, as the builders read it.
inline DecodeKey keyFor(std::uint64_t BDaddr, unsigned whitening = 0, double linkType = 2) {
    return analysis::keyFor(BDaddr, whitening, linkType == 1 || linkType == 3 ? linkType : 2);
}

}  // namespace bt::test
