#pragma once
// The modulator computed the slow, literal way, step by step as its
// definition reads: zero-stuffed symbols, the full 24n-tap causal FIR over
// the pre- and end-charged row, phase accumulation, impairments, ramps,
// noise and clock marker. Filter sums and the running phase are kept in
// long double so that the reference's own rounding stays far below the
// 1e-9 rad the fast path is held to.
#include "bluetooth/modulator.h"

namespace bt::testing {

// `noise` is used as Bt_Modulate uses it (it advances the same way).
ModulatedSignal referenceModulate(const Bits& bits, const ModulatorSettings& s,
                                  GaussianRandom& noise);

}  // namespace bt::testing
