#pragma once
// The DPSK section of an Enhanced Data Rate packet as a receiver reads it:
// square-root raised-cosine matched filter (roll-off 0.4) at the symbol
// instants that the GFSK part's symbol clock continues, the synchronisation
// sequence found by its phase steps, and the symbols' phase steps decided
// and demapped (Gray) to the payload's bits. Written from the radio's
// definitions, sharing nothing with the generator.
//
// Symbol instants are counted from the packet's first access-code symbol:
// GFSK symbol q at q, the DPSK reference symbol at 131 (after the 5 us
// guard), DPSK symbol j at 131 + j; symbols 1 .. 10 are the
// synchronisation sequence, the payload's bits start at symbol 11.
#include <complex>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "lib/types.h"

namespace bt::analysis {

using CFloat = std::complex<float>;

inline constexpr std::size_t kEdrGfskBits = 126;  // access code with trailer, header
inline constexpr double kEdrReferenceSymbol = 131;
inline constexpr std::size_t kEdrSyncSymbols = 10;
inline constexpr double kEdrPulseSpan = 8;  // matched filter: +-8 symbols

// Phase steps of the synchronisation sequence after the reference symbol,
// in units of pi/4 (the same for both modulations).
std::span<const int> edrSyncSteps();

// The bits a phase step of `step` x pi/4 sends (first on air first) at 2
// (pi/4-DQPSK, odd steps) or 3 (8DPSK) bits per symbol.
void edrBitsOfStep(int step, int bitsPerSymbol, std::uint8_t* out);

struct EdrSymbols {
    int bitsPerSymbol = 0;  // 0: no synchronisation sequence of either kind
    int syncErrors = 0;     // sync symbols whose step read otherwise
    double firstTime = 0;   // sample time of the reference symbol (of x)
    double period = 0;      // samples per symbol
    // Matched-filter outputs at the instants: the reference symbol, the
    // sync sequence, then the payload on.
    std::vector<Complex> z;
    // Decided step of z[j] over z[j - 1] in units of pi/4 (steps[0] = 0).
    std::vector<int> steps;
};

// The clock of the GFSK part: symbol q of the packet lies at sample time
// start + q * period of the row the reader is given.
struct EdrClock {
    double start = 0;
    double period = 0;
};

// Reads `symbols` DPSK symbols (reference included, as far as the samples
// go) of the packet on `clock`, with the carrier offset `carrierHz`
// removed. The instants are refined to the matched filter's largest output
// power within half a sample or so. Without a synchronisation sequence of
// either modulation, bitsPerSymbol is 0 and only the first 11 symbols are
// read. `blockTiming`: each block of 50 payload symbols at its own instants
// of least error near the line (for measuring; decoding needs only the line).
EdrSymbols readEdrSymbols(const CFloat* x, std::size_t n, EdrClock clock, double sampleRate, double carrierHz,
                          std::size_t symbols, int bitsPerSymbol, bool blockTiming = true);

// The payload's bits of the symbols from symbol 11 on: bitsPerSymbol per
// symbol.
Bits edrPayloadBits(const EdrSymbols& s);

// The EDR transmitter figures of one packet.
// - Relative power: mean |x|^2 over the DPSK part (first sync symbol to
//   last payload symbol) against the GFSK part (first access-code symbol
//   to last header symbol), dB.
// - DEVM over blocks of 50 symbols from the first payload symbol to the
//   last (the last sync symbol its first reference): the differential error E(k) = Z(k) - Z(k-1) e^(j(phi_k
//   + d)) with phi_k the decided phase step and d the turn per symbol that
//   minimises the block's error (its frequency error omega_o); RMS DEVM =
//   sqrt(sum |E|^2 / sum |Z|^2) per block, a symbol's DEVM
//   |E(k)| / rms |Z| of its block.
struct EdrMeasurements {
    int bitsPerSymbol = 0;
    std::optional<double> relativePowerDb;
    std::vector<double> omegaO;     // Hz, per block
    std::vector<double> blockDevm;  // RMS DEVM per block
    std::vector<float> symbolDevm;  // per symbol
    double peakDevm = 0;
    // The symbols after the differential reference (each turned back by
    // the one before), of unit mean power: the constellation of the phase
    // steps. Kept only on request.
    std::vector<Complex> points;
};

// `payloadSymbols`: the payload's symbols after the sync sequence that the
// decoder used (header, body, CRC); `clock` the GFSK part's.
EdrMeasurements measureEdr(const CFloat* x, std::size_t n, const EdrSymbols& s, std::size_t payloadSymbols,
                           EdrClock clock, double sampleRate, bool keepPoints);

}  // namespace bt::analysis
