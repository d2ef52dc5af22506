#pragma once
// Modulated bursts rendered straight into the final, pre-sized waveform and
// marker rows, spread over the worker threads. The output is the same
// whatever the number of threads: every burst's place and noise positions
// are fixed before any sample is made.
#include <cstddef>
#include <cstdint>
#include <span>

#include "bluetooth/generated_signal.h"
#include "bluetooth/modulator.h"
#include "lib/random.h"

namespace bt {

// One modulated row and where it goes in the output.
struct BurstPlacement {
    std::span<const std::uint8_t> bits;
    std::size_t at = 0;            // output sample of its first sample
    std::uint64_t noiseStart = 0;  // its first deviate of the noise stream
    // Output samples [markerFirst, markerLast) carry the payload marker.
    std::size_t markerFirst = 0;
    std::size_t markerLast = 0;
    // The DPSK sections of EDR packets, and where the row's data starts in it.
    const DpskOverlay* overlay = nullptr;
    std::size_t overlayOrigin = 0;
};

// `out` sized to `samples` with every sample and marker 0, which the idle
// time between bursts keeps. Large rows are advised for huge pages.
void allocateSignal(GeneratedSignal& out, std::size_t samples);

// Renders every burst, modulated with `s`, into its place in `out`, the
// clock marker into row 1 and the payload marker into row 2.
void renderBursts(std::span<const BurstPlacement> bursts, const ModulatorSettings& s, GeneratedSignal& out,
                  const GaussianRandom& noise, const BuildOptions& options);

// Renders all of `m` into `out` from sample 0 in stretches, the clock
// marker into row 1 and `bitMarker` (one value per symbol, held for
// `oversampling` samples) into row 2.
void renderRow(const GfskModulator& m, std::span<const std::uint8_t> bitMarker, std::size_t oversampling,
               GeneratedSignal& out, std::uint64_t noiseStart, const GaussianRandom& noise,
               const BuildOptions& options);

}  // namespace bt
