#pragma once
// Discrete Fourier transforms of any length through FFTW. Plans are made
// with FFTW_ESTIMATE, which neither measures nor touches the arrays. Plans
// for lengths under a million points (waterfall slices) are kept in a small
// cache, the least recently used let go first when their tables would pass
// kFftPlanCacheBytes; a whole long waveform's plan, whose tables are large,
// is made for its transform and then freed.
// Making or freeing a plan is serialised because FFTW's planner is not
// thread-safe, executing one is not.
#include <cstddef>
#include <span>

#include "lib/types.h"

namespace bt::plots {

// out = DFT(in), unnormalised, X(k) = sum_n x(n) exp(-2 pi i k n / N).
// `in` and `out` have the same length and may be the same array.
void fft(std::span<const Complex> in, std::span<Complex> out);

inline constexpr std::size_t kFftPlanCacheBytes = std::size_t{64} << 20;

// Plans in the cache and the bytes their tables are reckoned at (for tests
// of the plan cache).
std::size_t fftPlanCount();
std::size_t fftPlanCacheBytes();

}  // namespace bt::plots
