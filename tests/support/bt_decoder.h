#pragma once
// A receiver of basic-rate packets for the tests, written from the baseband
// rules and sharing no code with the encoders: it checks the access code as
// a code word of the sync-word code, undoes FEC and whitening, checks HEC
// and CRC by polynomial division and reads the payload header.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "lib/types.h"

namespace bt::test {

// What a receiver knows before it listens.
struct DecodeKey {
    std::uint32_t lap = 0;   // lower address part (24 bits)
    std::uint8_t uap = 0;    // upper address part: starts HEC and CRC
    unsigned whitening = 0;  // whitening start value; 0 for none
    double linkType = 2;     // 1 SCO, anything else ACL
};

// The key of a 48-bit device address.
DecodeKey keyFor(std::uint64_t BDaddr, unsigned whitening = 0, double linkType = 2);

struct DecodedPacket {
    std::size_t start = 0;   // first preamble bit in the decoded row
    std::size_t length = 0;  // air bits of the packet as far as it was read

    bool accessCodeOk = false;  // preamble, sync word of this LAP
    bool trailer = false;       // a trailer follows the sync word
    bool isId = false;          // access code only

    // Packet header (-1 until read).
    int AMaddr = -1, type = -1, FLOW = -1, ARQN = -1, SEQN = -1;
    int headerTriplesCorrected = 0;  // 1/3 triples that were not unanimous
    bool hecOk = false;

    // Payload.
    bool payloadKnown = false;  // the decoder knows this type's payload
    bool hasPayloadHeader = false;
    int LLID = -1, payloadFlow = -1, payloadLength = -1;  // header; LENGTH in bytes
    bool lengthOk = false;        // LENGTH within the type's maximum
    Bits body;                    // user payload bits
    bool crcPresent = false;
    bool crcOk = false;
    int fecCorrected = 0;      // 2/3 blocks (or 1/3 triples) with a corrected bit
    int fecUncorrectable = 0;  // 2/3 blocks with more than one error
    bool truncated = false;    // the row ended inside the packet

    // Everything checked out.
    bool ok() const;
    std::string describe() const;
};

// Decodes the packet whose first preamble bit is air[0]. The packet may be
// followed by anything; a row that ends after the sync word, or a sync word
// without its trailer, is an ID packet.
DecodedPacket decodePacket(std::span<const std::uint8_t> air, const DecodeKey& key);

// Every packet of the key's LAP in a long row, in order: each sync word of
// the LAP behind a matching preamble is decoded, and the search goes on
// after the packet.
std::vector<DecodedPacket> decodeAll(std::span<const std::uint8_t> row, const DecodeKey& key);

}  // namespace bt::test
