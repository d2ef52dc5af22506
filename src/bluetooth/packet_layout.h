#pragma once
// Where each packet of a generated signal lies and what its header says:
// the ground truth a receiver under test is checked against. The builders
// record it as they place the packets, so it always matches the samples.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace bt {

struct PacketInputs;

// One packet on air: the samples from its first access-code symbol to its
// last payload symbol (ramps and settling excluded), and its header.
struct PacketOnAir {
    std::size_t sampleStart = 0;
    std::size_t sampleCount = 0;
    double linkType = 2;
    double packetType = 4;  // packet type code (as the settings), -1 for the ID packet
    std::uint8_t AMaddr = 0;
    std::uint8_t SEQN = 0;
    std::uint8_t ARQN = 0;
    std::uint8_t FLOW = 0;
    std::size_t payloadBytes = 0;  // user payload the packet carries (0 without payload; FHS: its fields)
    // Those bytes, first on air first, each byte's first bit its least
    // significant.
    std::vector<std::uint8_t> payload;
    bool operator==(const PacketOnAir&) const = default;
};

using PacketLayout = std::vector<PacketOnAir>;

// The record of a packet built from `in` with the user data `data` (bits)
// and `airSymbols` symbols on air (its air bits; for an EDR packet the
// symbols to the end of its closing), whose access code starts at sample
// `sampleStart` at `oversampling` samples per symbol.
PacketOnAir packetOnAir(const PacketInputs& in, std::span<const std::uint8_t> data, std::size_t airSymbols,
                        std::size_t sampleStart, std::size_t oversampling);

}  // namespace bt
