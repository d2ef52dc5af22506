#pragma once
// Discrete Fourier transforms of any length through FFTW. Plans are made
// with FFTW_ESTIMATE, which neither measures nor touches the arrays. Plans
// for lengths under a million points (waterfall slices) are made once per
// length (and memory alignment) and reused; a whole long waveform's plan,
// whose tables are large, is made for its transform and then freed.
// Making or freeing a plan is serialised because FFTW's planner is not
// thread-safe, executing one is not.
#include <cstddef>
#include <span>

#include "lib/types.h"

namespace bt::plots {

// out = DFT(in), unnormalised, X(k) = sum_n x(n) exp(-2 pi i k n / N).
// `in` and `out` have the same length and may be the same array.
void fft(std::span<const Complex> in, std::span<Complex> out);

// Plans made so far (for tests of the plan cache).
std::size_t fftPlanCount();

}  // namespace bt::plots
