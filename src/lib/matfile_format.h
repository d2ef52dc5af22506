#pragma once
// Constants of the version 5 MAT-file layout, shared by the screener and the
// streaming writer.
#include <cstddef>
#include <cstdint>

namespace bt::matformat {

inline constexpr std::size_t kHeaderBytes = 128;
inline constexpr std::size_t kHeaderTextBytes = 116;

// Data element types.
inline constexpr std::uint32_t miINT8 = 1, miUINT8 = 2, miINT16 = 3, miUINT16 = 4, miINT32 = 5, miUINT32 = 6,
                               miSINGLE = 7, miDOUBLE = 9, miINT64 = 12, miUINT64 = 13, miMATRIX = 14,
                               miCOMPRESSED = 15, miUTF8 = 16, miUTF16 = 17;

// Array flag bits (first word of the array flags element).
inline constexpr std::uint32_t kComplexFlag = 0x0800, kLogicalFlag = 0x0200;

// Largest element count of one array; dimensions are 32-bit and matio
// indexes with int in places.
inline constexpr std::uint64_t kMaxElements = 0x7FFFFFFF;
// Longest array or field name accepted (the format's own limit is 63).
inline constexpr std::size_t kMaxNameLength = 256;

inline std::uint64_t paddedSize(std::uint64_t n) { return (n + 7) & ~std::uint64_t{7}; }

// Bytes per number of a numeric element type; 0 for other types.
inline std::size_t numericTypeSize(std::uint32_t type) {
    switch (type) {
        case miINT8: case miUINT8: return 1;
        case miINT16: case miUINT16: return 2;
        case miINT32: case miUINT32: case miSINGLE: return 4;
        case miDOUBLE: case miINT64: case miUINT64: return 8;
        default: return 0;
    }
}

// A 32-bit word stored little-endian, or big-endian when `bigEndian`.
inline std::uint32_t readU32(const char* p, bool bigEndian) {
    const auto b = [p](int k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(p[k])); };
    return bigEndian ? (b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3)
                     : b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24);
}

}  // namespace bt::matformat
