#pragma once
// Basic-rate packets read back from their air bits: access code, header
// (FEC 1/3, whitening, HEC) and payload by type (FEC 1/3 or 2/3, payload
// header, CRC). Written from the codes' definitions as a receiver meets
// them: code words are checked by polynomial division, whitening and
// address parts may be unknown and are then found the way a sniffer finds
// them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "lib/types.h"

namespace bt::analysis {

// What a receiver knows before it listens.
struct DecodeKey {
    std::uint32_t lap = 0;   // lower address part (24 bits)
    std::uint8_t uap = 0;    // upper address part: starts HEC and CRC
    unsigned whitening = 0;  // whitening start value 1..127; 0 for none
    double linkType = 2;     // 1 SCO, 2 ACL, 3 eSCO, 0 any (told by the type code and CRC)
    // The UAP is not known: take the one the header's HEC names and let the
    // payload CRC confirm it.
    bool findUap = false;
    // Whitening is not known: try none, then every start value 1..127
    // (the 64 clock values a sniffer tries are among them); a CRC confirms.
    bool findWhitening = false;
    // The bits after the header are an EDR payload's, demapped from its
    // DPSK symbols at 2 or 3 bits each (0: basic rate).
    int edrBitsPerSymbol = 0;
};

// The key of a 48-bit device address.
DecodeKey keyFor(std::uint64_t BDaddr, unsigned whitening = 0, double linkType = 2);

struct DecodedPacket {
    std::size_t start = 0;   // first preamble bit in the decoded row
    std::size_t length = 0;  // air bits of the packet as far as it was read

    bool accessCodeOk = false;  // preamble, sync word of this LAP
    int syncErrors = 0;         // sync-word bits that differed (correlation search)
    bool trailer = false;       // a trailer follows the sync word
    bool isId = false;          // access code only
    std::uint32_t lap = 0;

    // Packet header (-1 until read).
    int AMaddr = -1, type = -1, FLOW = -1, ARQN = -1, SEQN = -1;
    int headerTriplesCorrected = 0;  // 1/3 triples that were not unanimous
    bool hecOk = false;
    std::uint8_t uap = 0;    // the UAP the checks used (found when not known)
    unsigned whitening = 0;  // the whitening start value used (0 none)
    bool confirmedByCrc = false;  // a found UAP or whitening passed the CRC too
    // The UAP or the whitening was found rather than known: the packet
    // stands only when its CRC confirms it (a header check alone passes for
    // one of the 128 whitening values in two).
    bool guessed = false;

    // Payload.
    bool payloadKnown = false;  // the decoder knows this type's payload
    int edrBitsPerSymbol = 0;   // an EDR payload: 2 or 3 bits per DPSK symbol
    double linkType = 0;        // 1 SCO, 2 ACL, 3 eSCO: the link the type belongs to
    bool fecTwoThirds = false, fecThird = false;
    bool hasPayloadHeader = false;
    int LLID = -1, payloadFlow = -1, payloadLength = -1;  // header; LENGTH in bytes
    bool lengthOk = false;        // LENGTH within the type's maximum
    std::size_t bodyStart = 0;    // air position of the first body bit (no-FEC types)
    Bits body;                    // user payload bits (DV: voice field, then data)
    bool crcPresent = false;
    bool crcOk = false;
    int fecCorrected = 0;      // 2/3 blocks (or 1/3 triples) with a corrected bit
    int fecUncorrectable = 0;  // 2/3 blocks with more than one error
    bool truncated = false;    // the row ended inside the packet

    // Everything checked out, and a found key was confirmed by the CRC.
    bool ok() const;
    // "ok", "unconfirmed" (the checks pass but a found key is not
    // confirmed), "HEC fail", "CRC fail", or "bad" (FEC, length, cut off).
    std::string status() const;
    std::string describe() const;
};

// The 64 sync-word bits of `lap`, air bit k in bit k.
std::uint64_t syncWordOf(std::uint32_t lap);
// The LAP of a received sync word (air bit k in bit k) when it is a code
// word with the Barker bits its LAP calls for; none otherwise.
std::optional<std::uint32_t> lapOfSyncWord(std::uint64_t word);

// Type names: "DH1", "HV3", "POLL"...; "type N" for codes the link does not use.
std::string packetTypeName(int type, double linkType, int edrBitsPerSymbol = 0);
// The Enhanced Data Rate form of a header TYPE on a link (0: any): bits per
// DPSK symbol and the largest payload in bits (payload header, body, CRC);
// none where the code has no EDR form.
struct EdrTypeInfo {
    int bitsPerSymbol = 0;
    std::size_t maxPayloadBits = 0;
};
std::optional<EdrTypeInfo> edrTypeInfo(int type, double linkType);

// Slots a packet of this type occupies (1, 3 or 5).
int packetTypeSlots(int type);

// Decodes the packet whose first preamble bit is air[0]. The packet may be
// followed by anything; a row that ends after the sync word, or a sync word
// without its trailer, is an ID packet. With `accessCodeFound` the access
// code was already found by correlation (bit errors allowed) and is not
// checked again.
DecodedPacket decodePacket(std::span<const std::uint8_t> air, const DecodeKey& key, bool accessCodeFound = false);

// Every packet of the key's LAP in a long row, in order: each sync word of
// the LAP behind a matching preamble is decoded, and the search goes on
// after the packet.
std::vector<DecodedPacket> decodeAll(std::span<const std::uint8_t> row, const DecodeKey& key);

}  // namespace bt::analysis
