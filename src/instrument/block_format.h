#pragma once
// The wire format of waveform transfers: IEEE 488.2 definite-length block
// headers, the 16-bit big-endian I/Q encoding, the marker bytes and the CRC32
// used to check what an instrument holds.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "lib/types.h"

namespace bt {

// The longest block a nine-digit length field can announce.
inline constexpr std::uint64_t kMaxBlockBytes = 999'999'999;

// "#<digits><length>" for a block of `length` bytes; nothing when the length
// does not fit into nine digits.
std::optional<std::string> blockHeader(std::uint64_t length);

struct BlockHeaderParse {
    enum class State { Complete, NeedMore, Malformed } state = State::NeedMore;
    std::size_t headerSize = 0;  // bytes of "#<d><length>"
    std::uint64_t length = 0;    // bytes of data that follow
    std::string error;           // why a header is malformed
};

// Reads a block header at the start of `bytes` (which begins with '#').
// Indefinite-length blocks ("#0") are refused: their end cannot be told from
// binary data.
BlockHeaderParse parseBlockHeader(std::string_view bytes);

// Scales I/Q samples so that the largest component is +/-32767 (times
// `level`, 0 < level <= 1) and writes
// them as interleaved big-endian 16-bit I, Q pairs, a slice at a time so a
// long waveform is never copied whole.
class IqEncoder {
public:
    explicit IqEncoder(const ComplexRow& data, double level = 1);

    // False when a sample is not a finite number.
    bool valid() const { return valid_; }
    double scale() const { return scale_; }
    std::size_t samples() const { return data_.size(); }

    // Writes samples [first, first + count) as 4 * count bytes to `out`.
    void encode(std::size_t first, std::size_t count, std::uint8_t* out) const;

private:
    const ComplexRow& data_;
    double scale_ = 0;
    bool valid_ = true;
};

// One byte per sample: bit 0 marker 1, bit 1 marker 2. Empty markers give
// zero bytes.
void encodeMarkers(const Markers& markers, std::size_t first, std::size_t count, std::uint8_t* out);

// CRC-32 (the common reflected 0xEDB88320 polynomial), continuing from `crc`.
std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

}  // namespace bt
