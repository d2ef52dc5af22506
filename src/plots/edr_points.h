#pragma once
// The DPSK symbol points of the Enhanced Data Rate packets in a waveform,
// as the receiver reads them at the symbol instants: each symbol turned
// back by the one before it (the differential reference), of unit mean
// power, so that they gather on the 4 (pi/4-DQPSK) or 8 (8DPSK) phase
// steps of the constellation.
#include <cstddef>
#include <span>
#include <vector>

#include "lib/types.h"

namespace bt::plots {

// Samples looked at: the packets within the first this many samples.
inline constexpr std::size_t kEdrPointsReach = std::size_t{1} << 22;

// Empty for a waveform without EDR packets (or a sample rate the receiver
// refuses).
std::vector<Complex> edrSymbolPoints(std::span<const Complex> wave, double sampleRate);

}  // namespace bt::plots
