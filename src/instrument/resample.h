#pragma once
// Shift_sample_rate: gives a waveform a sample-clock error in parts per
// million by cubic Hermite interpolation; output sample n (from 0) is the
// input at position n x (1 + ppm x 1e-6). The length stays the same; the
// end is extended by a cubic extrapolation so the last samples have data.
#include "lib/types.h"

namespace bt {

// Raises bt::Error for fewer than four samples (unless ppm is 0).
ComplexRow Shift_sample_rate(const ComplexRow& x, double ppm);
RealRow Shift_sample_rate(const RealRow& x, double ppm);

}  // namespace bt
