#pragma once
// Enhanced Data Rate packets on air: the time layout of the GFSK and DPSK
// sections, and the DPSK section as a complex envelope that multiplies the
// GFSK carrier.
//
// An EDR packet's air bits are the access code with trailer and the header
// (126 bits, GFSK), then the DPSK bits: the synchronisation sequence after
// its reference symbol, the whitened payload, zero bits up to a whole
// symbol, and the two trailer symbols of zero bits. Symbol instants are
// counted from the packet's first access-code symbol: GFSK bit q at q, the
// reference symbol at 131 (the guard lasts 5 us from the end of the
// header's last symbol to the start of the reference symbol), DPSK symbol
// j at 131 + j. Four symbols after the last DPSK symbol close the packet.
//
// The GFSK modulator holds its phase through the guard and the DPSK
// section (their GFSK symbols are 0, written as 2 in its row), so the
// carrier it leaves is e^(j*phi) with phi the header's end phase. The
// overlay turns that carrier into
//   (1 - w(t)) + w(t) * a * sum_j S_j p(t - t_j)
// with S_0 = 1 (the reference symbol continues the carrier phase), S_j the
// differentially encoded Gray-mapped symbols, p the square-root raised
// cosine (roll-off 0.4, cut at +-kEdrPulseHalfSpan symbols, one symbol's
// energy per symbol), a the DPSK amplitude against the GFSK carrier and w
// a raised-cosine weight that rises inside the guard and falls after the
// trailer. Drift, offset, ramps and noise act on the product as on GFSK.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "bluetooth/packet.h"
#include "lib/types.h"

namespace bt {

inline constexpr std::size_t kEdrGfskBits = 126;
inline constexpr std::size_t kEdrReferenceSymbol = 131;
inline constexpr std::size_t kEdrSyncSymbols = 10;  // after the reference symbol
inline constexpr std::size_t kEdrTrailerSymbols = 2;
inline constexpr std::size_t kEdrCloseSymbols = 4;
inline constexpr std::size_t kEdrPulseHalfSpan = 8;
inline constexpr double kEdrRollOff = 0.4;
// The GFSK modulator's row value for a symbol without frequency deviation.
inline constexpr std::uint8_t kGfskZeroSymbol = 2;

// The synchronisation sequence's bits after the reference symbol, for 2 or
// 3 bits per symbol.
std::span<const std::uint8_t> edrSyncBits(int bitsPerSymbol);

// Symbols from an EDR packet's first access-code symbol to the end of its
// closing, for `airBits` air bits (126 GFSK bits, then whole DPSK symbols).
std::size_t edrPacketSymbols(std::size_t airBits, int bitsPerSymbol);

// The symbol during which air bit `bit` of an EDR packet is sent.
std::size_t edrSymbolOfBit(std::size_t bit, int bitsPerSymbol);

// The phase change, in steps of pi/4, that `bitsPerSymbol` bits starting
// at `bits` send (Gray mapping; first bit on air first).
int edrPhaseStep(const std::uint8_t* bits, int bitsPerSymbol);

// Appends the GFSK modulator's row of the packet whose air bits are
// `airBits`: its 126 GFSK bits, then zero symbols to its end.
void appendEdrGfskRow(std::span<const std::uint8_t> airBits, int bitsPerSymbol, Bits& row);

// The marker extent `bits` of an EDR packet with `airBits` air bits, in
// symbols of its modulator row.
MarkerExtent edrSymbolExtent(const MarkerExtent& bits, std::size_t airBits, int bitsPerSymbol);

// The DPSK amplitude for a DPSK power `relativePower` dB against the GFSK
// carrier's.
double edrAmplitude(double relativePower);

// The payload marker of an EDR packet per symbol: a symbol is marked when
// any of its bits is (as edrSymbolExtent counts them); the guard, the reference symbol and the closing
// carry none.
void appendEdrSymbolMarker(std::span<const std::uint8_t> bitMarker, int bitsPerSymbol, Bits& row);

// The DPSK sections of one modulated row.
class DpskOverlay {
public:
    // `n` samples per symbol; `amplitude` of the DPSK section against the
    // GFSK carrier (1 for equal power).
    DpskOverlay(std::size_t n, double amplitude);

    // The packet whose first access-code symbol is row symbol
    // `packetSymbol` (counted from the row's first data symbol) and whose
    // air bits are `airBits`.
    void addPacket(std::size_t packetSymbol, std::span<const std::uint8_t> airBits, int bitsPerSymbol);

    bool empty() const { return sections_.empty(); }
    // Multiplies `out`, the row's samples from data sample `first`, by the
    // overlay (1 outside the sections).
    void apply(std::size_t first, Complex* out, std::size_t count) const;

private:
    struct Section {
        std::size_t begin = 0;      // first sample the overlay changes
        std::size_t reference = 0;  // sample of the reference symbol's instant
        std::size_t fallStart = 0;  // the weight falls from here
        std::size_t end = 0;        // one past the last sample it changes
        std::size_t symbols = 0;    // offset into phases_
        std::size_t count = 0;
    };
    Complex envelope(const Section& s, std::size_t sample) const;

    std::size_t n_;
    double amplitude_;
    std::vector<double> pulse_;  // p at sample offsets -half*n .. +half*n
    std::vector<double> rise_;   // the weight over the guard's transition
    // Each DPSK symbol's phase in steps of pi/4: a byte, not a complex
    // number, as a long waveform holds millions of them.
    std::vector<std::uint8_t> phases_;
    std::vector<Section> sections_;
};

}  // namespace bt
